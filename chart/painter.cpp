#include "chart/painter.h"

#include "chart/scale.h"
#include "readings/spans.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace hmx::chart {

namespace {


// A layout's mapping snapped to device pixel centres, so a column drawn from its
// extremes sets exactly the pixels its points would; far-off points (manual ranges)
// kept within what the rasteriser handles.
struct DeviceMap {
    PlotMap map;
    double scale;
    QPointF operator()(double x, double y) const { return {snap(map.px(x)), snap(map.py(y))}; }
    double snap(double v) const { return (std::floor(std::clamp(v, -1e6, 1e6) * scale) + 0.5) / scale; }
};

// A polyline, or with `dots` each of its points alone (readings between breaks).
void PaintLine(QPainter& p, const LineSeriesPrivate& line, const std::vector<QPointF>& polyline, bool thinPasses,
               bool dots = false)
{
    const int count = static_cast<int>(polyline.size());
    const int w = std::max(1, line.width);
    if (thinPasses) {
        // A w-pixel line as w x w one-pixel passes: the rasteriser's fast path for thin
        // lines, several times cheaper than stroking a wide pen, and the same square dot.
        p.setPen(QPen(line.color, 0));
        for (int dx = 0; dx < w; ++dx) {
            for (int dy = 0; dy < w; ++dy) {
                p.save();
                p.translate(dx - w / 2, dy - w / 2);
                if (dots || count == 1)
                    p.drawPoints(polyline.data(), count);  // a lone point would draw nothing as a line
                else
                    p.drawPolyline(polyline.data(), count);
                p.restore();
            }
        }
    } else {
        // Scaled or vector output: a real pen, so the line keeps its width.
        p.setPen(QPen(line.color, w, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        if (dots || count == 1)
            p.drawPoints(polyline.data(), count);
        else
            p.drawPolyline(polyline.data(), count);
    }
}

// The periods of a shown line, lightly in its colour, behind everything drawn in the plot.
void PaintShading(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& L)
{
    const PlotMap map(L);
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        const LineSeriesPrivate& line = d.line(i);
        if (!d.lineCounts(i) || line.shaded.empty())
            continue;
        QColor shade = line.color;
        shade.setAlpha(40);
        for (const ShadedPeriod& period : line.shaded) {
            const double from = std::max(period.from, L.timeMin);
            const double to = std::min(std::isinf(period.to) ? line.points().lastX() : period.to, L.timeMax);
            if (!(to >= from))
                continue;
            const double left = std::floor(map.px(from));
            p.fillRect(QRectF(left, L.plot.top(), std::max(1.0, std::ceil(map.px(to)) - left), L.plot.height()), shade);
        }
    }
}

// The limit lines of a shown line inside the value range, in its colour.
void PaintLimitLines(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& L, const DeviceMap& map)
{
    const QFontMetrics fm(d.q->font());
    const DeviceMap rightMap{PlotMap(L, true), map.scale};
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        const LineSeriesPrivate& line = d.line(i);
        if (!d.lineDrawnOn(i, line.right))
            continue;
        const double lo = line.right ? L.rightMin : L.valueMin;
        const double hi = line.right ? L.rightMax : L.valueMax;
        const DeviceMap& lineMap = line.right ? rightMap : map;
        for (const LimitLine& limit : line.limits) {
            if (!(limit.value >= lo && limit.value <= hi))
                continue;
            QPen pen(line.color, 1, limit.kind == LimitLine::Kind::Alarm ? Qt::SolidLine : Qt::DashLine);
            if (limit.kind == LimitLine::Kind::Threshold) {
                pen.setWidth(0);
                pen.setDashPattern({3, 3});
            }
            p.setPen(pen);
            const int y = qRound(lineMap(L.timeMin, limit.value).y() - 0.5 / map.scale + 0.5);
            p.drawLine(L.plot.left() + 1, y, L.plot.right(), y);
            if (!limit.label.isEmpty())
                p.drawText(QRect(L.plot.left() + 1, y - fm.height(), L.plot.width() - 1 - BoxPad, fm.height()),
                           Qt::AlignRight | Qt::AlignBottom, limit.label);
        }
    }
}

void PaintOverlays(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& L)
{
    const QFontMetrics fm(d.q->font());
    const QColor text = d.q->palette().color(QPalette::WindowText);
    if (!L.zoomRect.isNull()) {
        p.fillRect(L.zoomRect, QColor(0, 120, 215, 40));
        p.setPen(QPen(QColor(0, 90, 180), 1, Qt::DashLine));
        p.drawRect(L.zoomRect.adjusted(0, 0, -1, -1));
    }
    const ChartLayout::ReadOut& r = L.readOut;
    if (r.shown) {
        if (r.pixel >= L.plot.left() && r.pixel <= L.plot.right()) {
            p.setPen(QPen(QColor(90, 90, 90), 0));
            p.drawLine(r.pixel, L.plot.top(), r.pixel, L.plot.bottom() - 1);
        }
        p.fillRect(r.box, QColor(255, 255, 255, 230));
        p.setPen(QColor(90, 90, 90));
        p.drawRect(r.box.adjusted(0, 0, -1, -1));
        QRect row(r.box.left() + BoxPad, r.box.top() + BoxPad, r.box.width() - 2 * BoxPad, fm.height());
        p.setPen(text);
        p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, r.time);
        for (const ChartLayout::Value& v : r.values) {
            row.translate(0, fm.height());
            p.setPen(d.line(static_cast<std::size_t>(v.series)).color);
            p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, v.text);
        }
    }
    if (!L.manualSign.isNull()) {
        p.fillRect(L.manualSign, QColor(255, 244, 200));
        p.setPen(QColor(150, 110, 0));
        p.drawRect(L.manualSign.adjusted(0, 0, -1, -1));
        p.setPen(text);
        p.drawText(L.manualSign, Qt::AlignCenter, d.texts.manualView);
    }
}

} // namespace

namespace {

// The polyline of the points with lo <= X <= hi, with the segments reaching in over
// the ends that are the layout's (a break's end is a point of its own), into `line`
// from empty.
void PiecePolyline(const PointStore& points, const ChartLayout& L, double scale, bool decimate, bool right,
                   double lo, double hi, std::vector<QPointF>& line)
{
    line.clear();
    const DeviceMap map{PlotMap(L, right), scale};
    const std::size_t n = points.size();
    const Span shown = SpanOf(points, lo, hi);
    const std::size_t i0 = shown.lo, i1 = shown.hi;
    if (lo == L.timeMin && i0 > 0 && i0 < n)
        line.push_back(map(L.timeMin, Interpolate(points.x(i0 - 1), points.y(i0 - 1), points.x(i0), points.y(i0), L.timeMin)));
    const double perColumn = map.map.sx * scale;  // device columns per unit of X
    const std::size_t columns = static_cast<std::size_t>(std::ceil(L.plot.width() * scale));
    const double first = std::floor((lo - L.timeMin) * perColumn);
    // Decimated when the stretch has more points than its columns could show.
    const double spanned = std::min(std::floor((hi - L.timeMin) * perColumn) - first + 1, static_cast<double>(columns));
    if (!decimate || static_cast<double>(i1 - i0) < 2 * spanned) {
        points.forEach(i0, i1, [&](double x, double y) { line.push_back(map(x, y)); });
    } else {
        std::size_t from = i0;
        for (std::size_t c = first > 0 ? static_cast<std::size_t>(first) : 0; c < columns && from < i1; ++c) {
            std::size_t to = i1;
            if (c + 1 < columns)
                to = points.lowerBound(L.timeMin + static_cast<double>(c + 1) / perColumn, from, i1);
            if (to - from == 1) {
                line.push_back(map(points.x(from), points.y(from)));
            } else if (to > from) {
                const double x = points.x(from);
                const MinMax mm = points.extent(from, to);
                const double cx = L.plot.left() + (static_cast<double>(c) + 0.5) / scale;
                line.push_back(map(x, points.y(from)));
                line.emplace_back(cx, map(x, mm.lo).y());
                line.emplace_back(cx, map(x, mm.hi).y());
                line.push_back(map(points.x(to - 1), points.y(to - 1)));
            }
            from = to;
        }
    }
    if (hi == L.timeMax && i1 > 0 && i1 < n)
        line.push_back(map(L.timeMax, Interpolate(points.x(i1 - 1), points.y(i1 - 1), points.x(i1), points.y(i1), L.timeMax)));
}

// Points a decimated piece can have: four a device column, and the two ends.
std::size_t DecimatedCapacity(const ChartLayout& L, double scale)
{
    return 4 * static_cast<std::size_t>(std::ceil(L.plot.width() * scale)) + 2;
}

// f(polyline) for each non-empty piece of a line between its breaks, built in `buffer`.
template <class F>
void ForEachPiece(const PointStore& points, const Gaps& gaps, const ChartLayout& L, double scale, bool decimate,
                  bool right, std::vector<QPointF>& buffer, F&& f)
{
    if (points.empty())
        return;
    double from = L.timeMin;
    const auto& list = gaps.list();
    for (std::size_t g = gaps.firstAfter(L.timeMin); g < list.size() && list[g].first < L.timeMax; ++g) {
        if (list[g].first >= from) {
            PiecePolyline(points, L, scale, decimate, right, from, list[g].first, buffer);
            if (!buffer.empty())
                f(std::as_const(buffer));
        }
        from = list[g].second;
    }
    PiecePolyline(points, L, scale, decimate, right, from, L.timeMax, buffer);
    if (!buffer.empty())
        f(std::as_const(buffer));
}

} // namespace

std::vector<QPolygonF> LinePolylines(const PointStore& points, const Gaps& gaps, const ChartLayout& L, double scale,
                                     bool decimate, bool right)
{
    std::vector<QPolygonF> pieces;
    std::vector<QPointF> buffer;
    ForEachPiece(points, gaps, L, scale, decimate, right, buffer, [&](const std::vector<QPointF>& piece) {
        pieces.emplace_back(QPolygonF(piece.begin(), piece.end()));
    });
    return pieces;
}

void PaintChart(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& L, bool overlays)
{
    const QFontMetrics fm(d.q->font());
    p.fillRect(QRect(QPoint(0, 0), d.q->size()), d.q->palette().color(QPalette::Window));
    const QColor text = d.q->palette().color(QPalette::WindowText);
    // Device pixels per chart pixel: 1 on screen, more for large images and prints.
    const QTransform device = p.deviceTransform();
    const double scale = std::max(1.0, std::hypot(device.m11(), device.m12()));
    const bool thinPasses = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster
        && std::abs(scale - 1) < 1e-9 && device.m12() == 0;

    // Title.
    p.setFont(TitleFont(d.q->font()));
    p.setPen(text);
    p.drawText(L.title, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
               QFontMetrics(p.font()).elidedText(d.title, Qt::ElideRight, L.title.width()));
    p.setFont(d.q->font());

    p.save();
    p.setClipRect(L.plot.adjusted(1, 0, 0, 0));
    PaintShading(p, d, L);
    p.restore();

    // Grid, ticks and labels.
    const QRect& plot = L.plot;
    const DeviceMap map{PlotMap(L), scale};
    QPen grid(QColor(200, 200, 200), 1, Qt::DotLine);
    for (double v : L.valueTicks) {
        const int y = qRound(map(L.timeMin, v).y() - 0.5 / scale + 0.5);
        p.setPen(grid);
        p.drawLine(plot.left() + 1, y, plot.right(), y);
        p.setPen(text);
        p.drawLine(plot.left() - Tick, y, plot.left() - 1, y);
        p.drawText(QRect(0, y - fm.height() / 2, plot.left() - Tick - LabelGap, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, ValueLabel(v, L.valueStep));
    }
    for (std::size_t i = 0; i < L.timeTicks.size(); ++i) {
        const QRect& box = L.timeLabels[i];
        const int x = box.left() + fm.height() / 2;
        p.setPen(grid);
        p.drawLine(x, plot.top(), x, plot.bottom() - 1);
        p.setPen(text);
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + Tick);
        // Written upwards, ending next to the axis.
        p.save();
        p.translate(box.left() + (fm.height() + fm.ascent() - fm.descent()) / 2.0, box.bottom() + 1);
        p.rotate(-90);
        p.drawText(0, 0, L.timeTexts[i]);
        p.restore();
    }
    p.setPen(text);
    p.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    p.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
    if (L.rightAxis) {
        // Its own ticks and labels, without a grid of its own.
        const DeviceMap rightMap{PlotMap(L, true), scale};
        const int labelLeft = plot.right() + 1 + Tick + LabelGap;
        p.drawLine(plot.right() + 1, plot.top(), plot.right() + 1, plot.bottom());
        for (double v : L.rightTicks) {
            const int y = qRound(rightMap(L.timeMin, v).y() - 0.5 / scale + 0.5);
            p.drawLine(plot.right() + 2, y, plot.right() + Tick, y);
            p.drawText(QRect(labelLeft, y - fm.height() / 2, d.q->width() - labelLeft, fm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, ValueLabel(v, L.rightStep));
        }
    }

    // Limits under the lines, then the lines.
    p.save();
    p.setClipRect(plot.adjusted(1, -1, 1, 0));
    PaintLimitLines(p, d, L, map);
    // Every redraw builds its polylines in the same buffer, sized for a decimated piece
    // from the first: a redraw allocates nothing that grows with the line, which in a
    // long run would leave the allocator's pages ever higher.
    std::vector<QPointF>& buffer = d.polyline;
    buffer.reserve(DecimatedCapacity(L, scale));
    std::vector<QPointF> dots;  // drawn together: one pass instead of one per reading
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        const LineSeriesPrivate& line = d.line(i);
        if (!line.visible || !line.plotted)
            continue;
        dots.clear();
        ForEachPiece(line.points(), line.gaps(), L, scale, d.decimation, line.right, buffer,
                     [&](const std::vector<QPointF>& piece) {
                         if (piece.size() == 1)
                             dots.push_back(piece.front());
                         else
                             PaintLine(p, line, piece, thinPasses);
                     });
        if (!dots.empty())
            PaintLine(p, line, dots, thinPasses, true);
    }
    // A drawing without decimation (or for a larger device) may have grown it past that.
    if (buffer.capacity() > DecimatedCapacity(L, scale))
        std::vector<QPointF>().swap(buffer);
    p.restore();

    // Legend with a 1-pixel shadow; a hidden line's entry greyed out.
    if (!L.legend.isNull()) {
        p.fillRect(L.legend.translated(1, 1), QColor(96, 96, 96));
        p.fillRect(L.legend, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(L.legend.adjusted(0, 0, -1, -1));
        const QColor grey(160, 160, 160);
        for (std::size_t i = 0; i < d.lineCount(); ++i) {
            const LineSeriesPrivate& s = d.line(i);
            const QRect& sample = L.legendSamples[i];
            const QRect& entry = L.legendEntries[i];
            if (entry.isNull())
                continue;  // a line only read out
            p.fillRect(sample, s.visible ? s.color : QColor(220, 220, 220));
            p.setPen(s.visible ? QColor(Qt::black) : grey);
            p.drawRect(sample.adjusted(0, 0, -1, -1));
            p.drawText(QRect(sample.right() + 1 + SampleGap, entry.top(), entry.right() - sample.right() - SampleGap, entry.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, s.title);
        }
    }
    if (overlays)
        PaintOverlays(p, d, L);
}

} // namespace hmx::chart
