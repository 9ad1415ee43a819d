#include "chart/chartwidget.h"

#include "chart/minmaxpyramid.h"

#include <QLocale>
#include <QPainter>
#include <QPolygonF>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace hmx::chart {

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr int kTick = 4;        // axis tick length
constexpr int kLabelGap = 2;    // between a tick and its label
constexpr int kLegendPad = 3;   // inside the legend box
constexpr int kLegendSpacing = 12;
constexpr int kSampleGap = 4;   // between a colour sample and its text
constexpr double kValueInset = 0.03;  // value axis starts/ends 3 % inside the plot

// Label steps of the time axis. Below a minute the "hh:mm" text repeats, so there
// only the first label and those where the minute changes are written.
constexpr double kTimeSteps[] = {
    1 * kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    60 * kSecond, 120 * kSecond, 300 * kSecond, 600 * kSecond, 900 * kSecond, 1800 * kSecond,
    1.0 / 24, 2.0 / 24, 3.0 / 24, 4.0 / 24, 6.0 / 24, 12.0 / 24,
    1, 2, 7, 14, 28, 56, 112, 224, 448};

// The range an axis is drawn with: a zero-width range gets some room around it.
void drawnRange(double min, double max, double pad, double& lo, double& hi)
{
    lo = min;
    hi = max;
    if (!(hi > lo)) {
        lo = min - pad;
        hi = min + pad;
    }
}

// 1, 2 or 5 times a power of ten, at least `raw`.
double niceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * decade >= raw * (1 - 1e-12))
            return m * decade;
    }
    return 10 * decade;
}

int decimalsFor(double step)
{
    return std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
}

QString valueLabel(double v, double step)
{
    if (std::abs(v) < step * 1e-6)
        v = 0;  // no "-0"
    return QLocale().toString(v, 'f', decimalsFor(step));
}

QFont titleFontOf(const QFont& base)
{
    QFont f = base;
    f.setBold(true);
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * 1.2);
    else
        f.setPixelSize(f.pixelSize() * 6 / 5);
    return f;
}

} // namespace

// ---------------------------------------------------------------- LineSeries

struct LineSeries::Impl {
    QString title;
    QColor color;
    int width = 2;
    std::vector<double> xs;
    std::vector<double> ys;
    MinMaxPyramid ySummary;
};

LineSeries::LineSeries(ChartWidget* chart, QString title, QColor color, int width)
    : d(std::make_shared<Impl>()), m_chart(chart)
{
    d->title = std::move(title);
    d->color = color;
    d->width = width;
}

QString LineSeries::title() const { return d->title; }
QColor LineSeries::color() const { return d->color; }
int LineSeries::lineWidth() const { return d->width; }
std::size_t LineSeries::count() const { return d->xs.size(); }
double LineSeries::x(std::size_t index) const { return d->xs.at(index); }
double LineSeries::y(std::size_t index) const { return d->ys.at(index); }

void LineSeries::addXY(double x, double y)
{
    // A point without a finite place in time or value can be neither ordered nor drawn.
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    std::vector<double>& xs = d->xs;
    std::vector<double>& ys = d->ys;
    const std::size_t n = xs.size();
    if (n == 0 || x >= xs.back()) {
        xs.push_back(x);
        ys.push_back(y);
        d->ySummary.appended(ys);
    } else {
        // Search back from the end, doubling the stride (late points are usually near
        // the end), then finish with a binary search: after the last X <= x.
        std::size_t stride = 1;
        while (stride <= n && xs[n - stride] > x)
            stride *= 2;
        const std::size_t lo = stride > n ? 0 : n - stride;
        const std::size_t hi = n - stride / 2;
        const auto at = std::upper_bound(xs.begin() + static_cast<std::ptrdiff_t>(lo),
                                         xs.begin() + static_cast<std::ptrdiff_t>(hi), x);
        const std::size_t pos = static_cast<std::size_t>(at - xs.begin());
        xs.insert(at, x);
        ys.insert(ys.begin() + static_cast<std::ptrdiff_t>(pos), y);
        d->ySummary.changedFrom(pos);
    }
    m_chart->seriesChanged();
}

void LineSeries::clear()
{
    std::vector<double>().swap(d->xs);
    std::vector<double>().swap(d->ys);
    d->ySummary.clear();
    m_chart->seriesChanged();
}

std::size_t LineSeries::memoryBytes() const
{
    return sizeof(LineSeries) + sizeof(Impl) + (d->xs.capacity() + d->ys.capacity()) * sizeof(double)
        + d->ySummary.memoryBytes();
}

// ---------------------------------------------------------------- ChartAxis

double ChartAxis::minimum() const { return m_min; }
double ChartAxis::maximum() const { return m_max; }
bool ChartAxis::automatic() const { return m_automatic; }

void ChartAxis::setMinimum(double value)
{
    if (!(value <= m_max))
        throw AxisError("Axis Minimum Value must be <= Maximum");
    m_min = value;
    m_chart->seriesChanged();
}

void ChartAxis::setMaximum(double value)
{
    if (!(value >= m_min))
        throw AxisError("Axis Maximum Value must be >= Minimum");
    m_max = value;
    m_chart->seriesChanged();
}

void ChartAxis::setAutomatic(bool on)
{
    m_automatic = on;
    m_chart->seriesChanged();
}

// ---------------------------------------------------------------- ChartWidget

struct ChartWidget::Impl {
    QString title;
    std::vector<std::unique_ptr<LineSeries>> series;
    bool decimation = true;
};

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ChartWidget::~ChartWidget() = default;

QString ChartWidget::title() const { return d->title; }

void ChartWidget::setTitle(const QString& title)
{
    d->title = title;
    update();
}

LineSeries* ChartWidget::addSeries(const QString& title, const QColor& color, int lineWidth)
{
    d->series.push_back(std::unique_ptr<LineSeries>(new LineSeries(this, title, color, lineWidth)));
    update();
    return d->series.back().get();
}

int ChartWidget::seriesCount() const { return static_cast<int>(d->series.size()); }

LineSeries* ChartWidget::series(int index) const
{
    return index >= 0 && index < seriesCount() ? d->series[static_cast<std::size_t>(index)].get() : nullptr;
}

ChartAxis* ChartWidget::bottomAxis() { return &m_bottom; }
ChartAxis* ChartWidget::leftAxis() { return &m_left; }

void ChartWidget::setDecimation(bool on)
{
    d->decimation = on;
    update();
}

bool ChartWidget::decimation() const { return d->decimation; }

void ChartWidget::seriesChanged()
{
    update();  // Qt merges these into one paint
}

void ChartWidget::updateRanges()
{
    if (m_bottom.m_automatic) {
        MinMax range;
        for (const auto& s : d->series) {
            if (!s->d->xs.empty()) {
                range.add(s->d->xs.front());
                range.add(s->d->xs.back());
            }
        }
        m_bottom.m_min = range.empty() ? 0 : range.lo;
        m_bottom.m_max = range.empty() ? 0 : range.hi;
    }
    if (m_left.m_automatic) {
        MinMax range;
        for (const auto& s : d->series)
            range.add(s->d->ySummary.query(s->d->ys, 0, s->d->ys.size()));
        m_left.m_min = range.empty() ? 0 : range.lo;
        m_left.m_max = range.empty() ? 0 : range.hi;
    }
}

QString ChartWidget::timeSeparator()
{
    // Qt has no direct query; take what stands between hours and minutes in the
    // locale's short time format, e.g. "HH:mm" -> ":", "H.mm" -> ".".
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    const qsizetype h = format.lastIndexOf(QRegularExpression(QStringLiteral("[hH]")));
    const qsizetype m = format.indexOf(QLatin1Char('m'), h + 1);
    if (h < 0 || m < 0)
        return QStringLiteral(":");
    QString sep = format.mid(h + 1, m - h - 1);
    sep.remove(QLatin1Char('\''));
    return sep.isEmpty() ? QStringLiteral(":") : sep;
}

QString ChartWidget::timeLabel(double x)
{
    double ms = std::round((x - std::floor(x)) * 86400000.0);
    if (ms >= 86400000.0)
        ms = 0;
    const int minutes = static_cast<int>(ms / 60000.0);
    return QStringLiteral("%1%2%3")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(timeSeparator())
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

ChartLayout ChartWidget::chartLayout() const
{
    ChartLayout L;
    const int w = width();
    const int h = height();
    const int marginX = qRound(0.02 * w);
    const QRect inner(marginX, qRound(0.02 * h), std::max(0, w - 2 * marginX),
                      std::max(0, h - qRound(0.02 * h) - qRound(0.01 * h)));
    const QFontMetrics tfm(titleFontOf(font()));
    const QFontMetrics fm(font());

    L.title = QRect(inner.left(), inner.top(), inner.width(), tfm.height());

    // Legend: one entry per series, side by side, centred under the plot.
    if (!d->series.empty()) {
        int widest = 0;
        int entries = 0;
        for (const auto& s : d->series) {
            const int text = fm.horizontalAdvance(s->d->title);
            widest = std::max(widest, text);
            entries += text;
        }
        const int sample = qRound(0.3 * (widest + 4));
        const int count = static_cast<int>(d->series.size());
        entries += count * (sample + kSampleGap) + (count - 1) * kLegendSpacing;
        const int lw = entries + 2 * kLegendPad;
        const int lh = fm.height() + 2 * kLegendPad;
        L.legend = QRect(inner.left() + (inner.width() - lw) / 2, inner.bottom() - lh, lw, lh);
    }
    const int legendTop = L.legend.isNull() ? inner.bottom() : L.legend.top() - 1;

    int labelLength = 0;
    const QString sep = timeSeparator();
    for (QChar digit = u'0'; digit <= u'9'; digit = QChar(digit.unicode() + 1))
        labelLength = std::max(labelLength, fm.horizontalAdvance(QString(2, digit) + sep + QString(2, digit)));

    const int plotTop = L.title.bottom() + 1 + fm.height() / 2;
    const int plotBottom = legendTop - fm.height() / 2 - labelLength - kLabelGap - kTick;
    const int plotHeight = std::max(1, plotBottom - plotTop + 1);

    // Value axis: a 1-2-5 step leaving about two text lines between labels.
    drawnRange(m_left.m_min, m_left.m_max, 1, L.valueMin, L.valueMax);
    const double axisPixels = plotHeight * (1 - 2 * kValueInset);
    L.valueStep = niceStep((L.valueMax - L.valueMin) * 2 * fm.height() / std::max(1.0, axisPixels));
    int valueLabelWidth = 0;
    if ((L.valueMax - L.valueMin) / L.valueStep < 10000) {
        const double firstK = std::ceil(L.valueMin / L.valueStep - 1e-9);
        const double lastK = std::floor(L.valueMax / L.valueStep + 1e-9);
        for (double k = firstK; k <= lastK; k += 1) {
            const double v = k * L.valueStep;
            L.valueTicks.push_back(v);
            valueLabelWidth = std::max(valueLabelWidth, fm.horizontalAdvance(valueLabel(v, L.valueStep)));
        }
    }

    const int plotLeft = inner.left() + valueLabelWidth + kLabelGap + kTick;
    L.plot = QRect(plotLeft, plotTop, std::max(1, inner.right() - plotLeft + 1), plotHeight);

    // Time axis: the finest whole step whose vertical labels stay apart.
    drawnRange(m_bottom.m_min, m_bottom.m_max, 60 * kSecond, L.timeMin, L.timeMax);
    const double pixelsPerDay = L.plot.width() / (L.timeMax - L.timeMin);
    const double needed = fm.height() + 2;
    L.timeStep = kTimeSteps[std::size(kTimeSteps) - 1];
    for (double step : kTimeSteps) {
        if (step * pixelsPerDay >= needed) {
            L.timeStep = step;
            break;
        }
    }
    if (!(pixelsPerDay > 0) || !std::isfinite(pixelsPerDay))
        return L;  // a range too wide to label (manual limits far apart)
    while (L.timeStep * pixelsPerDay < needed)
        L.timeStep *= 2;  // a chart spanning years
    const double first = std::ceil(L.timeMin / L.timeStep - 1e-9);
    const double last = std::floor(L.timeMax / L.timeStep + 1e-9);
    const int labelTop = L.plot.bottom() + 1 + kTick + kLabelGap;
    QString lastText;
    for (double k = first; k <= last; k += 1) {
        const double t = k * L.timeStep;
        const int centre = L.plot.left() + qRound((t - L.timeMin) * pixelsPerDay);
        QString label = timeLabel(t);
        if (!L.timeTexts.empty() && label == lastText)
            label.clear();
        else
            lastText = label;
        L.timeTicks.push_back(t);
        L.timeTexts.push_back(label);
        L.timeLabels.emplace_back(centre - fm.height() / 2, labelTop, fm.height(), fm.horizontalAdvance(label));
    }
    return L;
}

namespace {

// Maps data to pixels inside the plot.
struct Mapper {
    double t0, v0, left, base, sx, sy;
    QPointF operator()(double x, double y) const
    {
        // Snapped to pixel centres, so a column drawn from its extremes sets exactly the
        // pixels its points would; far-off points (manual ranges) kept within what the
        // rasteriser handles.
        return {std::floor(std::clamp(left + (x - t0) * sx, -1e6, 1e6)) + 0.5,
                std::floor(std::clamp(base - (y - v0) * sy, -1e6, 1e6)) + 0.5};
    }
};

// First index in [from, to) whose X is >= x, or `to`. Gallops forward from `from`:
// a pixel column holds few points compared with the line, and the look-ups stay near
// each other in memory.
std::size_t firstNotBelow(const std::vector<double>& xs, std::size_t from, std::size_t to, double x)
{
    std::size_t lo = from;
    std::size_t step = 1;
    while (lo + step < to && xs[lo + step - 1] < x) {
        lo += step;
        step *= 2;
    }
    const std::size_t hi = std::min(to, lo + step);
    return static_cast<std::size_t>(std::lower_bound(xs.begin() + static_cast<std::ptrdiff_t>(lo),
                                                     xs.begin() + static_cast<std::ptrdiff_t>(hi), x)
                                    - xs.begin());
}

double interpolate(double xa, double ya, double xb, double yb, double x)
{
    return xb == xa ? yb : ya + (yb - ya) * (x - xa) / (xb - xa);
}

} // namespace

void ChartWidget::paintEvent(QPaintEvent*)
{
    updateRanges();
    const ChartLayout L = chartLayout();
    const QFontMetrics fm(font());
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QColor text = palette().color(QPalette::WindowText);

    // Title.
    p.setFont(titleFontOf(font()));
    p.setPen(text);
    p.drawText(L.title, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
               QFontMetrics(p.font()).elidedText(d->title, Qt::ElideRight, L.title.width()));
    p.setFont(font());

    const QRect& plot = L.plot;
    const double base = plot.top() + plot.height() * (1 - kValueInset);
    const double sy = plot.height() * (1 - 2 * kValueInset) / (L.valueMax - L.valueMin);
    const double sx = plot.width() / (L.timeMax - L.timeMin);
    const Mapper map{L.timeMin, L.valueMin, static_cast<double>(plot.left()), base, sx, sy};

    // Grid, ticks and labels.
    QPen grid(QColor(200, 200, 200), 1, Qt::DotLine);
    for (double v : L.valueTicks) {
        const int y = qRound(map(L.timeMin, v).y());
        p.setPen(grid);
        p.drawLine(plot.left() + 1, y, plot.right(), y);
        p.setPen(text);
        p.drawLine(plot.left() - kTick, y, plot.left() - 1, y);
        const QString label = valueLabel(v, L.valueStep);
        p.drawText(QRect(0, y - fm.height() / 2, plot.left() - kTick - kLabelGap, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (std::size_t i = 0; i < L.timeTicks.size(); ++i) {
        const QRect& box = L.timeLabels[i];
        const int x = box.left() + fm.height() / 2;
        p.setPen(grid);
        p.drawLine(x, plot.top(), x, plot.bottom() - 1);
        p.setPen(text);
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + kTick);
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

    // Lines.
    p.save();
    p.setClipRect(plot.adjusted(1, -1, 1, 0));
    for (const auto& s : d->series) {
        const LineSeries::Impl& data = *s->d;
        const std::vector<double>& xs = data.xs;
        const std::vector<double>& ys = data.ys;
        const std::size_t n = xs.size();
        if (n == 0)
            continue;
        // Visible points, plus the segments reaching in from either side.
        const std::size_t i0 = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), L.timeMin) - xs.begin());
        const std::size_t i1 = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), L.timeMax) - xs.begin());
        QPolygonF line;
        if (i0 > 0 && i0 < n)
            line << map(L.timeMin, interpolate(xs[i0 - 1], ys[i0 - 1], xs[i0], ys[i0], L.timeMin));
        const std::size_t columns = static_cast<std::size_t>(plot.width());
        if (!d->decimation || i1 - i0 < 2 * columns) {
            line.reserve(static_cast<qsizetype>(i1 - i0 + 2));
            for (std::size_t i = i0; i < i1; ++i)
                line << map(xs[i], ys[i]);
        } else {
            // Per pixel column: first, lowest, highest and last value, which draws the
            // same pixels as every point would.
            line.reserve(static_cast<qsizetype>(4 * columns + 2));
            MinMaxPyramid& summary = s->d->ySummary;
            std::size_t from = i0;
            for (std::size_t c = 0; c < columns && from < i1; ++c) {
                std::size_t to = i1;
                if (c + 1 < columns) {
                    const double edge = L.timeMin + static_cast<double>(c + 1) / sx;
                    to = firstNotBelow(xs, from, i1, edge);
                }
                if (to - from == 1) {
                    line << map(xs[from], ys[from]);
                } else if (to > from) {
                    const MinMax mm = summary.query(ys, from, to);
                    const double cx = plot.left() + static_cast<double>(c) + 0.5;
                    line << map(xs[from], ys[from]) << QPointF(cx, map(xs[from], mm.lo).y())
                         << QPointF(cx, map(xs[from], mm.hi).y()) << map(xs[to - 1], ys[to - 1]);
                }
                from = to;
            }
        }
        if (i1 > 0 && i1 < n)
            line << map(L.timeMax, interpolate(xs[i1 - 1], ys[i1 - 1], xs[i1], ys[i1], L.timeMax));
        // A w-pixel line as w x w one-pixel passes: the rasteriser's fast path for thin
        // lines, several times cheaper than stroking a wide pen, and the same square dot.
        p.setPen(QPen(data.color, 0));
        const int w = std::max(1, data.width);
        for (int dx = 0; dx < w; ++dx) {
            for (int dy = 0; dy < w; ++dy) {
                p.save();
                p.translate(dx - w / 2, dy - w / 2);
                if (line.size() == 1)
                    p.drawPoint(line.front());  // a lone point would draw nothing as a line
                else
                    p.drawPolyline(line);
                p.restore();
            }
        }
    }
    p.restore();

    // Legend with a 1-pixel shadow.
    if (!L.legend.isNull()) {
        p.fillRect(L.legend.translated(1, 1), QColor(96, 96, 96));
        p.fillRect(L.legend, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(L.legend.adjusted(0, 0, -1, -1));
        int widest = 0;
        for (const auto& s : d->series)
            widest = std::max(widest, fm.horizontalAdvance(s->d->title));
        const int sample = qRound(0.3 * (widest + 4));
        int x = L.legend.left() + kLegendPad;
        const int y = L.legend.top() + kLegendPad;
        for (const auto& s : d->series) {
            const int sampleHeight = std::max(4, fm.ascent() / 2);
            const QRect box(x, y + (fm.height() - sampleHeight) / 2, sample, sampleHeight);
            p.fillRect(box, s->d->color);
            p.drawRect(box.adjusted(0, 0, -1, -1));
            x += sample + kSampleGap;
            const int tw = fm.horizontalAdvance(s->d->title);
            p.drawText(QRect(x, y, tw, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, s->d->title);
            x += tw + kLegendSpacing;
        }
    }
}

} // namespace hmx::chart
