#include "chart/layout.h"

#include "chart/scale.h"
#include "readings/clocktext.h"
#include "readings/spans.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace hmx::chart {

namespace {

constexpr int LegendPad = 3;       // inside the legend box
constexpr int LegendSpacing = 12;

// n / 10 rounded to the nearest integer, halves to the even one (n >= 0).
int TenthsRounded(int n)
{
    int q = n / 10;
    const int r = n % 10;
    if (r > 5 || (r == 5 && q % 2 != 0))
        ++q;
    return q;
}

QLocale NumberLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

PlotMap::PlotMap(const ChartLayout& layout, bool right)
    : timeMin(layout.timeMin), timeSpan(layout.timeMax - layout.timeMin),
      valueMin(right ? layout.rightMin : layout.valueMin),
      valueSpan(right ? layout.rightMax - layout.rightMin : layout.valueMax - layout.valueMin), left(layout.plot.left()),
      base(layout.plot.top() + layout.plot.height() * (1 - ValueInset)), width(layout.plot.width()),
      height(ValueAxisPixels(layout.plot.height())), sx(width / timeSpan), sy(height / valueSpan)
{
}

double ValueAxisPixels(int height)
{
    return height * (1 - 2 * PlotMap::ValueInset);
}

QFont TitleFont(const QFont& base)
{
    QFont f = base;
    f.setBold(true);
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * 1.2);
    else
        f.setPixelSize(f.pixelSize() * 6 / 5);
    return f;
}

ChartLayout LayoutChart(const ChartWidgetPrivate& d, QSize size, bool overlays)
{
    ChartLayout L;
    const int w = size.width();
    const int h = size.height();
    const int marginX = qRound(0.02 * w);
    const QRect inner(marginX, qRound(0.02 * h), std::max(0, w - 2 * marginX),
                      std::max(0, h - qRound(0.02 * h) - qRound(0.01 * h)));
    const QFontMetrics tfm(TitleFont(d.q->font()));
    const QFontMetrics fm(d.q->font());

    L.title = QRect(inner.left(), inner.top(), inner.width(), tfm.height());

    // Legend: one entry per series, side by side, centred under the plot.
    // A line that is only read out has an empty entry.
    int count = 0;
    for (std::size_t i = 0; i < d.lineCount(); ++i)
        count += d.line(i).plotted ? 1 : 0;
    if (count > 0) {
        int widest = 0;
        int entries = 0;
        for (std::size_t i = 0; i < d.lineCount(); ++i) {
            if (!d.line(i).plotted)
                continue;
            const int text = fm.horizontalAdvance(d.line(i).title);
            widest = std::max(widest, text);
            entries += text;
        }
        const int sample = TenthsRounded(3 * (widest + 4));  // 30 %, halves to even
        entries += count * (sample + SampleGap) + (count - 1) * LegendSpacing;
        const int lw = entries + 2 * LegendPad;
        const int lh = fm.height() + 2 * LegendPad;
        L.legend = QRect(inner.left() + (inner.width() - lw) / 2, inner.bottom() - lh, lw, lh);
        int x = L.legend.left() + LegendPad;
        const int y = L.legend.top() + LegendPad;
        const int sampleHeight = std::max(4, fm.ascent() / 2);
        for (std::size_t i = 0; i < d.lineCount(); ++i) {
            if (!d.line(i).plotted) {
                L.legendSamples.emplace_back();
                L.legendEntries.emplace_back();
                continue;
            }
            const int tw = fm.horizontalAdvance(d.line(i).title);
            L.legendSamples.emplace_back(x, y + (fm.height() - sampleHeight) / 2, sample, sampleHeight);
            L.legendEntries.emplace_back(x, y, sample + SampleGap + tw, fm.height());
            x += sample + SampleGap + tw + LegendSpacing;
        }
    }
    const int legendTop = L.legend.isNull() ? inner.bottom() : L.legend.top() - 1;

    // Over more than a day each label carries its date (with the year where the range
    // spans two), so days are told apart; room is made for the longest such label.
    const Range shown = DrawnRange(d.view.time.min, d.view.time.max, 60 * Second);
    const bool dated = shown.hi - shown.lo > 1;
    const auto dateAt = [&d](double x) { return ClockDate(x, d.timeOfDayAt(x)); };
    const bool withYear = dated && dateAt(shown.lo).year() != dateAt(shown.hi).year();
    int labelLength = 0;
    const QString sep = TimeSeparator();
    for (QChar digit = u'0'; digit <= u'9'; digit = QChar(digit.unicode() + 1)) {
        QString sample = QString(2, digit) + sep + QString(2, digit);
        if (dated) {
            for (double x : {shown.lo, shown.hi}) {
                QString date = ShortDateText(dateAt(x), withYear);
                for (QChar& c : date) {
                    if (c.isDigit())
                        c = digit;
                }
                labelLength = std::max(labelLength, fm.horizontalAdvance(date + QLatin1Char(' ') + sample));
            }
        }
        labelLength = std::max(labelLength, fm.horizontalAdvance(sample));
    }

    const int plotTop = L.title.bottom() + 1 + fm.height() / 2;
    const int plotBottom = legendTop - fm.height() / 2 - labelLength - LabelGap - Tick;
    const int plotHeight = std::max(1, plotBottom - plotTop + 1);

    // Value axes: a 1-2-5 step leaving about two text lines between labels; the
    // right one only while a line drawn against it is shown.
    const auto valueAxis = [&](const AxisRange& range, double& min, double& max, double& step,
                               std::vector<double>& ticks) {
        const Range values = DrawnRange(range.min, range.max, 1);
        min = values.lo;
        max = values.hi;
        step = NiceStep((max - min) * 2 * fm.height() / std::max(1.0, ValueAxisPixels(plotHeight)));
        int labelWidth = 0;
        if ((max - min) / step < 10000) {
            ticks = TicksWithin(min, max, step);
            for (double v : ticks)
                labelWidth = std::max(labelWidth, fm.horizontalAdvance(ValueLabel(v, step)));
        }
        return labelWidth;
    };
    const int valueLabelWidth = valueAxis(d.view.value, L.valueMin, L.valueMax, L.valueStep, L.valueTicks);
    for (std::size_t i = 0; i < d.lineCount() && !L.rightAxis; ++i)
        L.rightAxis = d.lineDrawnOn(i, true);
    const int rightRoom = L.rightAxis
        ? valueAxis(d.view.right, L.rightMin, L.rightMax, L.rightStep, L.rightTicks) + LabelGap + Tick
        : 0;

    const int plotLeft = inner.left() + valueLabelWidth + LabelGap + Tick;
    L.plot = QRect(plotLeft, plotTop, std::max(1, inner.right() - rightRoom - plotLeft + 1), plotHeight);

    // Time axis: the finest whole step whose vertical labels stay apart.
    const Range times = DrawnRange(d.view.time.min, d.view.time.max, 60 * Second);
    L.timeMin = times.lo;
    L.timeMax = times.hi;
    const double pixelsPerDay = L.plot.width() / (L.timeMax - L.timeMin);
    L.timeStep = TimeStep(pixelsPerDay, fm.height() + 2);
    if (pixelsPerDay > 0 && std::isfinite(pixelsPerDay)) {  // else a range too wide to label
        const int labelTop = L.plot.bottom() + 1 + Tick + LabelGap;
        QString lastText;
        L.timeTicks = TicksWithin(L.timeMin, L.timeMax, L.timeStep);
        for (double t : L.timeTicks) {
            const int centre = L.plot.left() + qRound((t - L.timeMin) * pixelsPerDay);
            const QTime clock = d.timeOfDayAt(t);
            QString label = ClockText(clock, false);
            if (dated) {
                // Steps of whole days: the date alone says it.
                const QString date = ShortDateText(ClockDate(t, clock), withYear);
                label = L.timeStep >= 1 - 1e-9 ? date : date + QLatin1Char(' ') + label;
            }
            if (!L.timeTexts.empty() && label == lastText)
                label.clear();
            else
                lastText = label;
            L.timeTexts.push_back(label);
            L.timeLabels.emplace_back(centre - fm.height() / 2, labelTop, fm.height(), fm.horizontalAdvance(label));
        }
    }
    if (!overlays)
        return L;

    if (!d.view.time.automatic || !d.view.value.automatic) {
        const int sw = fm.horizontalAdvance(d.texts.manualView) + 2 * BoxPad;
        const int sh = fm.height() + 2 * BoxPad;
        L.manualSign = QRect(L.plot.right() - BoxPad - sw + 1, L.plot.top() + BoxPad, sw, sh);
    }
    if (d.view.drag == ViewState::Drag::Zoom)
        L.zoomRect = QRect(d.view.pressPos, d.view.dragPos).normalized().intersected(L.plot);
    if (d.view.hover && L.plot.contains(d.view.hoverPos))
        L.readOut = ReadOutAt(d, L, d.view.hoverPos);
    return L;
}

ChartLayout::ReadOut ReadOutAt(const ChartWidgetPrivate& d, const ChartLayout& L, QPoint cursorPos)
{
    ChartLayout::ReadOut r;
    const PlotMap map(L);
    if (!(map.sx > 0) || !std::isfinite(map.sx))
        return r;
    const double cursor = map.timeMin + (cursorPos.x() + 0.5 - map.left) / map.sx;

    // Per visible line, the points it is drawn from.
    std::vector<std::pair<std::size_t, Span>> spans;
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        if (!d.lineCounts(i))
            continue;
        const Span span = DrawnSpan(d.line(i).points(), L.timeMin, L.timeMax);
        if (!span.empty())
            spans.emplace_back(i, span);
    }
    // The point nearest the cursor of the lines not broken there; where every line is
    // (the instrument was lost), the cursor's own moment.
    bool found = false;
    for (const auto& [i, span] : spans) {
        const PointStore& points = d.line(i).points();
        if (d.line(i).gaps().inside(cursor))
            continue;
        const double x = points.x(Nearest(points, span, cursor));
        if (!found || std::abs(x - cursor) < std::abs(r.x - cursor))
            r.x = x;
        found = true;
    }
    if (!found && !spans.empty()) {
        r.x = cursor;
        found = true;
    }
    if (!found)
        return r;

    r.shown = true;
    r.pixel = static_cast<int>(std::floor(map.px(r.x)));
    const QTime clock = d.timeOfDayAt(r.x);
    r.time = ClockText(clock, true);
    if (L.timeMax - L.timeMin > 1)
        r.time = QLocale().toString(ClockDate(r.x, clock), QLocale::ShortFormat) + QLatin1Char(' ') + r.time;
    const QLocale locale = NumberLocale();
    const QFontMetrics fm(d.q->font());
    int widest = fm.horizontalAdvance(r.time);
    for (const auto& [i, span] : spans) {
        const LineSeriesPrivate& line = d.line(i);
        const std::size_t index = Nearest(line.points(), span, r.x);
        QString text = (line.gaps().inside(r.x) ? d.texts.noReading : locale.toString(line.points().y(index), 'f', 2))
            + QLatin1Char(' ') + line.title;
        widest = std::max(widest, fm.horizontalAdvance(text));
        r.values.push_back({static_cast<int>(i), index, std::move(text)});
    }
    // Beside the line, on the side with room, at the height of the cursor.
    const int bw = widest + 2 * BoxPad;
    const int bh = fm.height() * static_cast<int>(1 + r.values.size()) + 2 * BoxPad;
    int left = r.pixel + 8;
    if (left + bw > L.plot.right())
        left = r.pixel - 8 - bw;
    left = std::max(left, L.plot.left() + 1);
    const int top = std::clamp(cursorPos.y() - bh / 2, L.plot.top() + 1, std::max(L.plot.top() + 1, L.plot.bottom() - bh));
    r.box = QRect(left, top, bw, bh);
    return r;
}

} // namespace hmx::chart
