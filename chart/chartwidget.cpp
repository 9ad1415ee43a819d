#include "chart/chartwidget.h"

#include "chart/minmaxpyramid.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPolygonF>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QBuffer>
#if HMX700_SVG
#include <QSvgGenerator>
#endif
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace hmx::chart {

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMillisecond = kSecond / 1000;
constexpr double kZoomStep = 0.8;           // span factor of one wheel notch or key press
constexpr double kPanStep = 0.1;            // part of the span one arrow key moves
constexpr double kMinTimeSpan = kSecond;    // deepest zoom: labels are whole seconds
constexpr double kMaxTimeSpan = 100000;     // days
constexpr int kFollowPixels = 2;            // a right end this close to the newest point follows it
constexpr int kZoomMinPixels = 3;           // a narrower dragged rectangle leaves that axis alone
constexpr int kBoxPad = 4;                  // inside the read-out box and the view sign
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

// Whole multiples k of `step` with k * step in [lo, hi]. A bound on a step, up to
// rounding, keeps its tick: near 46,000 days a 10-second step gives quotients of
// about 4e8, where the division's rounding error outgrows any fixed epsilon.
void stepsWithin(double lo, double hi, double step, double& first, double& last)
{
    const double slack = step * 1e-6;  // far below a pixel at any step in use
    first = std::ceil(lo / step);
    if ((first - 1) * step >= lo - slack)
        first -= 1;
    else if (first * step < lo - slack)
        first += 1;
    last = std::floor(hi / step);
    if ((last + 1) * step <= hi + slack)
        last += 1;
    else if (last * step > hi + slack)
        last -= 1;
}

// n / 10 rounded to the nearest integer, halves to the even one (n >= 0).
int tenthsRounded(int n)
{
    int q = n / 10;
    const int r = n % 10;
    if (r > 5 || (r == 5 && q % 2 != 0))
        ++q;
    return q;
}

QTime fractionOfDay(double x)
{
    double ms = std::round((x - std::floor(x)) * 86400000.0);
    if (!(ms >= 0) || ms >= 86400000.0)
        ms = 0;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

// "hh:mm" or "hh:mm:ss", 24-hour, with the locale's time separator.
QString clockText(QTime t, bool seconds)
{
    const QString sep = ChartWidget::timeSeparator();
    QString text = QStringLiteral("%1%2%3").arg(t.hour(), 2, 10, QLatin1Char('0')).arg(sep).arg(t.minute(), 2, 10, QLatin1Char('0'));
    if (seconds)
        text += sep + QStringLiteral("%1").arg(t.second(), 2, 10, QLatin1Char('0'));
    return text;
}

double interpolate(double xa, double ya, double xb, double yb, double x)
{
    return xb == xa ? yb : ya + (yb - ya) * (x - xa) / (xb - xa);
}

QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
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
    bool visible = true;
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

bool LineSeries::visible() const { return d->visible; }

void LineSeries::setVisible(bool on)
{
    d->visible = on;
    m_chart->seriesChanged();
}

void LineSeries::reserve(std::size_t points)
{
    d->xs.reserve(points);
    d->ys.reserve(points);
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
    m_chart->axisSetByCaller(this);
}

void ChartAxis::setMaximum(double value)
{
    if (!(value >= m_min))
        throw AxisError("Axis Maximum Value must be >= Minimum");
    m_max = value;
    m_chart->axisSetByCaller(this);
}

void ChartAxis::setAutomatic(bool on)
{
    m_automatic = on;
    m_chart->axisSetByCaller(this);
}

// ---------------------------------------------------------------- ChartWidget

struct ChartWidget::Impl {
    QString title;
    std::vector<std::unique_ptr<LineSeries>> series;
    bool decimation = true;
    std::function<QTime(double)> timeOfDay;
    ChartTexts texts;

    // A zoomed or panned time axis whose right end keeps this distance from the newest point.
    bool following = false;
    double followGap = 0;

    // Mouse drag: pending until it moves past the drag distance, then a pan or a zoom rectangle.
    enum class Drag { None, Pending, Pan, Zoom };
    Drag drag = Drag::None;
    Qt::MouseButton dragButton = Qt::NoButton;
    bool dragZooms = false;
    QPoint pressPos;
    QPoint dragPos;
    ChartLayout pressLayout;
    bool pressValueAutomatic = true;

    bool hover = false;
    QPoint hoverPos;
    QRect drawnPlot;  // the plot of the last drawing: moves elsewhere need no redraw

    QAction* resetView = nullptr;
    QAction* saveImage = nullptr;
    QAction* copyImage = nullptr;
    QAction* print = nullptr;
    QAction* exportCsv = nullptr;
    QMenu* menu = nullptr;
};

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the hover read-out
    setFocusPolicy(Qt::WheelFocus);
    d->resetView = new QAction(this);
    d->saveImage = new QAction(this);
    d->copyImage = new QAction(this);
    d->print = new QAction(this);
    d->exportCsv = new QAction(this);
    connect(d->resetView, &QAction::triggered, this, &ChartWidget::resetView);
    connect(d->saveImage, &QAction::triggered, this, &ChartWidget::saveImageDialog);
    connect(d->copyImage, &QAction::triggered, this, &ChartWidget::copyImage);
    connect(d->print, &QAction::triggered, this, &ChartWidget::printDialog);
    connect(d->exportCsv, &QAction::triggered, this, &ChartWidget::exportCsvDialog);
    setTexts(d->texts);
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

void ChartWidget::setTimeOfDay(std::function<QTime(double)> mapping)
{
    d->timeOfDay = std::move(mapping);
    update();
}

QTime ChartWidget::timeOfDay(double x) const
{
    if (d->timeOfDay) {
        const QTime t = d->timeOfDay(x);
        if (t.isValid())
            return t;
    }
    return fractionOfDay(x);
}

void ChartWidget::setTexts(const ChartTexts& texts)
{
    d->texts = texts;
    d->resetView->setText(texts.resetView);
    d->saveImage->setText(texts.saveImage);
    d->copyImage->setText(texts.copyImage);
    d->print->setText(texts.print);
    d->exportCsv->setText(texts.exportCsv);
    update();
}

const ChartTexts& ChartWidget::texts() const { return d->texts; }

QList<QAction*> ChartWidget::menuActions() const
{
    return {d->resetView, d->saveImage, d->copyImage, d->print, d->exportCsv};
}

void ChartWidget::seriesChanged()
{
    update();  // Qt merges these into one paint
}

void ChartWidget::axisSetByCaller(const ChartAxis* axis)
{
    // A caller's own limits are kept as set, not moved along with new points.
    if (axis == &m_bottom)
        d->following = false;
    update();
}

void ChartWidget::resetView()
{
    m_bottom.m_automatic = true;
    m_left.m_automatic = true;
    d->following = false;
    d->drag = Impl::Drag::None;
    d->dragButton = Qt::NoButton;
    unsetCursor();
    update();
}

bool ChartWidget::followsNewest() const { return d->following && !m_bottom.m_automatic; }

bool ChartWidget::lineCountsInRanges(int index) const
{
    const LineSeries::Impl& s = *d->series[static_cast<std::size_t>(index)]->d;
    return s.visible && !s.xs.empty();
}

void ChartWidget::updateRanges()
{
    MinMax times;
    for (int i = 0; i < seriesCount(); ++i) {
        if (lineCountsInRanges(i)) {
            const auto& xs = d->series[static_cast<std::size_t>(i)]->d->xs;
            times.add(xs.front());
            times.add(xs.back());
        }
    }
    if (m_bottom.m_automatic) {
        m_bottom.m_min = times.empty() ? 0 : times.lo;
        m_bottom.m_max = times.empty() ? 0 : times.hi;
    } else if (d->following && !times.empty()) {
        const double shift = times.hi + d->followGap - m_bottom.m_max;
        m_bottom.m_min += shift;
        m_bottom.m_max += shift;
    }
    if (m_left.m_automatic) {
        // The values drawn in the shown time range, with the segments reaching in;
        // with an automatic time axis that is every value.
        double lo = 0, hi = 0;
        drawnRange(m_bottom.m_min, m_bottom.m_max, 60 * kSecond, lo, hi);
        MinMax range;
        for (int i = 0; i < seriesCount(); ++i) {
            if (!lineCountsInRanges(i))
                continue;
            LineSeries::Impl& s = *d->series[static_cast<std::size_t>(i)]->d;
            const std::size_t n = s.xs.size();
            const std::size_t i0 = static_cast<std::size_t>(std::lower_bound(s.xs.begin(), s.xs.end(), lo) - s.xs.begin());
            const std::size_t i1 = static_cast<std::size_t>(std::upper_bound(s.xs.begin(), s.xs.end(), hi) - s.xs.begin());
            range.add(s.ySummary.query(s.ys, i0, i1));
            if (i0 > 0 && i0 < n)
                range.add(interpolate(s.xs[i0 - 1], s.ys[i0 - 1], s.xs[i0], s.ys[i0], lo));
            if (i1 > 0 && i1 < n)
                range.add(interpolate(s.xs[i1 - 1], s.ys[i1 - 1], s.xs[i1], s.ys[i1], hi));
        }
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
    return clockText(fractionOfDay(x), false);
}

ChartLayout ChartWidget::chartLayout() const
{
    return layoutFor(size(), true);
}

ChartLayout ChartWidget::layoutFor(QSize size, bool overlays) const
{
    ChartLayout L;
    const int w = size.width();
    const int h = size.height();
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
        const int sample = tenthsRounded(3 * (widest + 4));  // 30 %, halves to even
        const int count = static_cast<int>(d->series.size());
        entries += count * (sample + kSampleGap) + (count - 1) * kLegendSpacing;
        const int lw = entries + 2 * kLegendPad;
        const int lh = fm.height() + 2 * kLegendPad;
        L.legend = QRect(inner.left() + (inner.width() - lw) / 2, inner.bottom() - lh, lw, lh);
        int x = L.legend.left() + kLegendPad;
        const int y = L.legend.top() + kLegendPad;
        const int sampleHeight = std::max(4, fm.ascent() / 2);
        for (const auto& s : d->series) {
            const int tw = fm.horizontalAdvance(s->d->title);
            L.legendSamples.emplace_back(x, y + (fm.height() - sampleHeight) / 2, sample, sampleHeight);
            L.legendEntries.emplace_back(x, y, sample + kSampleGap + tw, fm.height());
            x += sample + kSampleGap + tw + kLegendSpacing;
        }
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
        double firstK = 0, lastK = 0;
        stepsWithin(L.valueMin, L.valueMax, L.valueStep, firstK, lastK);
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
    if (pixelsPerDay > 0 && std::isfinite(pixelsPerDay)) {  // else a range too wide to label
        while (L.timeStep * pixelsPerDay < needed)
            L.timeStep *= 2;  // a chart spanning years
        double first = 0, last = 0;
        stepsWithin(L.timeMin, L.timeMax, L.timeStep, first, last);
        const int labelTop = L.plot.bottom() + 1 + kTick + kLabelGap;
        QString lastText;
        for (double k = first; k <= last; k += 1) {
            const double t = k * L.timeStep;
            const int centre = L.plot.left() + qRound((t - L.timeMin) * pixelsPerDay);
            QString label = clockText(timeOfDay(t), false);
            if (!L.timeTexts.empty() && label == lastText)
                label.clear();
            else
                lastText = label;
            L.timeTicks.push_back(t);
            L.timeTexts.push_back(label);
            L.timeLabels.emplace_back(centre - fm.height() / 2, labelTop, fm.height(), fm.horizontalAdvance(label));
        }
    }
    if (!overlays)
        return L;

    if (!m_bottom.m_automatic || !m_left.m_automatic) {
        const int sw = fm.horizontalAdvance(d->texts.manualView) + 2 * kBoxPad;
        const int sh = fm.height() + 2 * kBoxPad;
        L.manualSign = QRect(L.plot.right() - kBoxPad - sw + 1, L.plot.top() + kBoxPad, sw, sh);
    }
    if (d->drag == Impl::Drag::Zoom)
        L.zoomRect = QRect(d->pressPos, d->dragPos).normalized().intersected(L.plot);
    if (d->hover && L.plot.contains(d->hoverPos))
        L.readOut = readOutAt(L, d->hoverPos.x());
    return L;
}

ChartLayout::ReadOut ChartWidget::readOutAt(const ChartLayout& L, int column) const
{
    ChartLayout::ReadOut r;
    const double sx = L.plot.width() / (L.timeMax - L.timeMin);
    if (!(sx > 0) || !std::isfinite(sx))
        return r;
    const double cursor = L.timeMin + (column + 0.5 - L.plot.left()) / sx;

    // Per visible line, the points it is drawn from: those in the shown range plus
    // one on either side when its segment reaches into the plot.
    struct Span {
        int series;
        std::size_t lo, hi;
    };
    std::vector<Span> spans;
    for (int i = 0; i < seriesCount(); ++i) {
        const LineSeries::Impl& s = *d->series[static_cast<std::size_t>(i)]->d;
        const std::size_t n = s.xs.size();
        if (!s.visible || n == 0)
            continue;
        const std::size_t i0 = static_cast<std::size_t>(std::lower_bound(s.xs.begin(), s.xs.end(), L.timeMin) - s.xs.begin());
        const std::size_t i1 = static_cast<std::size_t>(std::upper_bound(s.xs.begin(), s.xs.end(), L.timeMax) - s.xs.begin());
        if (i0 == i1 && (i0 == 0 || i1 == n))
            continue;  // the line does not cross the plot
        spans.push_back({i, i0 > 0 ? i0 - 1 : 0, std::min(n, i1 + 1)});
    }
    // Nearest point to x within [lo, hi) by binary search; the earlier one on a tie.
    auto nearest = [this](const Span& span, double x) {
        const std::vector<double>& xs = d->series[static_cast<std::size_t>(span.series)]->d->xs;
        const auto first = xs.begin() + static_cast<std::ptrdiff_t>(span.lo);
        const auto last = xs.begin() + static_cast<std::ptrdiff_t>(span.hi);
        auto at = std::lower_bound(first, last, x);
        if (at == last || (at != first && x - *(at - 1) <= *at - x))
            --at;
        return static_cast<std::size_t>(at - xs.begin());
    };
    bool found = false;
    for (const Span& span : spans) {
        const double x = d->series[static_cast<std::size_t>(span.series)]->d->xs[nearest(span, cursor)];
        if (!found || std::abs(x - cursor) < std::abs(r.x - cursor))
            r.x = x;
        found = true;
    }
    if (!found)
        return r;

    r.shown = true;
    r.pixel = static_cast<int>(std::floor(L.plot.left() + (r.x - L.timeMin) * sx));
    r.time = clockText(timeOfDay(r.x), true);
    const QLocale locale = numberLocale();
    const QFontMetrics fm(font());
    int widest = fm.horizontalAdvance(r.time);
    for (const Span& span : spans) {
        const LineSeries::Impl& s = *d->series[static_cast<std::size_t>(span.series)]->d;
        const std::size_t index = nearest(span, r.x);
        QString text = locale.toString(s.ys[index], 'f', 2) + QLatin1Char(' ') + s.title;
        widest = std::max(widest, fm.horizontalAdvance(text));
        r.values.push_back({span.series, index, std::move(text)});
    }
    // Beside the line, on the side with room, at the height of the cursor.
    const int bw = widest + 2 * kBoxPad;
    const int bh = fm.height() * static_cast<int>(1 + r.values.size()) + 2 * kBoxPad;
    int left = r.pixel + 8;
    if (left + bw > L.plot.right())
        left = r.pixel - 8 - bw;
    left = std::max(left, L.plot.left() + 1);
    const int top = std::clamp(d->hoverPos.y() - bh / 2, L.plot.top() + 1, std::max(L.plot.top() + 1, L.plot.bottom() - bh));
    r.box = QRect(left, top, bw, bh);
    return r;
}

namespace {

// Maps data to pixels inside the plot.
struct Mapper {
    double t0, v0, left, base, sx, sy, scale;
    QPointF operator()(double x, double y) const
    {
        // Snapped to device pixel centres, so a column drawn from its extremes sets
        // exactly the pixels its points would; far-off points (manual ranges) kept
        // within what the rasteriser handles.
        return {snap(left + (x - t0) * sx), snap(base - (y - v0) * sy)};
    }
    double snap(double v) const { return (std::floor(std::clamp(v, -1e6, 1e6) * scale) + 0.5) / scale; }
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

} // namespace

void ChartWidget::paintEvent(QPaintEvent*)
{
    updateRanges();
    const ChartLayout L = chartLayout();
    d->drawnPlot = L.plot;
    QPainter p(this);
    paintChart(p, L, true);
}

void ChartWidget::paintChart(QPainter& p, const ChartLayout& L, bool overlays) const
{
    const QFontMetrics fm(font());
    p.fillRect(QRect(QPoint(0, 0), size()), palette().color(QPalette::Window));
    const QColor text = palette().color(QPalette::WindowText);
    // Device pixels per chart pixel: 1 on screen, more for large images and prints.
    const QTransform device = p.deviceTransform();
    const double scale = std::max(1.0, std::hypot(device.m11(), device.m12()));
    const bool thinPasses = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster
        && std::abs(scale - 1) < 1e-9 && device.m12() == 0;

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
    const Mapper map{L.timeMin, L.valueMin, static_cast<double>(plot.left()), base, sx, sy, scale};

    // Grid, ticks and labels.
    QPen grid(QColor(200, 200, 200), 1, Qt::DotLine);
    for (double v : L.valueTicks) {
        const int y = qRound(map(L.timeMin, v).y() - 0.5 / scale + 0.5);
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
        if (n == 0 || !data.visible)
            continue;
        // Visible points, plus the segments reaching in from either side.
        const std::size_t i0 = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), L.timeMin) - xs.begin());
        const std::size_t i1 = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), L.timeMax) - xs.begin());
        QPolygonF line;
        if (i0 > 0 && i0 < n)
            line << map(L.timeMin, interpolate(xs[i0 - 1], ys[i0 - 1], xs[i0], ys[i0], L.timeMin));
        const std::size_t columns = static_cast<std::size_t>(std::ceil(plot.width() * scale));
        if (!d->decimation || i1 - i0 < 2 * columns) {
            line.reserve(static_cast<qsizetype>(i1 - i0 + 2));
            for (std::size_t i = i0; i < i1; ++i)
                line << map(xs[i], ys[i]);
        } else {
            // Per device pixel column: first, lowest, highest and last value, which
            // draws the same pixels as every point would.
            line.reserve(static_cast<qsizetype>(4 * columns + 2));
            MinMaxPyramid& summary = s->d->ySummary;
            std::size_t from = i0;
            for (std::size_t c = 0; c < columns && from < i1; ++c) {
                std::size_t to = i1;
                if (c + 1 < columns) {
                    const double edge = L.timeMin + static_cast<double>(c + 1) / (sx * scale);
                    to = firstNotBelow(xs, from, i1, edge);
                }
                if (to - from == 1) {
                    line << map(xs[from], ys[from]);
                } else if (to > from) {
                    const MinMax mm = summary.query(ys, from, to);
                    const double cx = plot.left() + (static_cast<double>(c) + 0.5) / scale;
                    line << map(xs[from], ys[from]) << QPointF(cx, map(xs[from], mm.lo).y())
                         << QPointF(cx, map(xs[from], mm.hi).y()) << map(xs[to - 1], ys[to - 1]);
                }
                from = to;
            }
        }
        if (i1 > 0 && i1 < n)
            line << map(L.timeMax, interpolate(xs[i1 - 1], ys[i1 - 1], xs[i1], ys[i1], L.timeMax));
        const int w = std::max(1, data.width);
        if (thinPasses) {
            // A w-pixel line as w x w one-pixel passes: the rasteriser's fast path for
            // thin lines, several times cheaper than stroking a wide pen, and the same
            // square dot.
            p.setPen(QPen(data.color, 0));
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
        } else {
            // Scaled or vector output: a real pen, so the line keeps its width.
            p.setPen(QPen(data.color, w, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            if (line.size() == 1)
                p.drawPoint(line.front());
            else
                p.drawPolyline(line);
        }
    }
    p.restore();

    // Legend with a 1-pixel shadow; a hidden line's entry greyed out.
    if (!L.legend.isNull()) {
        p.fillRect(L.legend.translated(1, 1), QColor(96, 96, 96));
        p.fillRect(L.legend, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(L.legend.adjusted(0, 0, -1, -1));
        const QColor grey(160, 160, 160);
        for (std::size_t i = 0; i < d->series.size(); ++i) {
            const LineSeries::Impl& s = *d->series[i]->d;
            const QRect& sample = L.legendSamples[i];
            const QRect& entry = L.legendEntries[i];
            p.fillRect(sample, s.visible ? s.color : QColor(220, 220, 220));
            p.setPen(s.visible ? QColor(Qt::black) : grey);
            p.drawRect(sample.adjusted(0, 0, -1, -1));
            p.drawText(QRect(sample.right() + 1 + kSampleGap, entry.top(), entry.right() - sample.right() - kSampleGap, entry.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, s.title);
        }
    }
    if (overlays)
        paintOverlays(p, L);
}

void ChartWidget::paintOverlays(QPainter& p, const ChartLayout& L) const
{
    const QFontMetrics fm(font());
    const QColor text = palette().color(QPalette::WindowText);
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
        QRect row(r.box.left() + kBoxPad, r.box.top() + kBoxPad, r.box.width() - 2 * kBoxPad, fm.height());
        p.setPen(text);
        p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, r.time);
        for (const ChartLayout::Value& v : r.values) {
            row.translate(0, fm.height());
            p.setPen(d->series[static_cast<std::size_t>(v.series)]->d->color);
            p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, v.text);
        }
    }
    if (!L.manualSign.isNull()) {
        p.fillRect(L.manualSign, QColor(255, 244, 200));
        p.setPen(QColor(150, 110, 0));
        p.drawRect(L.manualSign.adjusted(0, 0, -1, -1));
        p.setPen(text);
        p.drawText(L.manualSign, Qt::AlignCenter, d->texts.manualView);
    }
}

// ---------------------------------------------------------------- view changes

namespace {

// Keeps the span of [lo, hi] within [minSpan, maxSpan] around its middle; false when the
// result is not a finite range.
bool ClampSpan(double& lo, double& hi, double minSpan, double maxSpan)
{
    const double span = std::clamp(hi - lo, minSpan, maxSpan);
    if (span != hi - lo) {
        const double mid = lo / 2 + hi / 2;
        lo = mid - span / 2;
        hi = mid + span / 2;
    }
    return std::isfinite(lo) && std::isfinite(hi);
}

} // namespace

void ChartWidget::setTimeView(double lo, double hi)
{
    if (!ClampSpan(lo, hi, kMinTimeSpan, kMaxTimeSpan))
        return;
    const double span = hi - lo;
    m_bottom.m_min = lo;
    m_bottom.m_max = hi;
    m_bottom.m_automatic = false;
    // A right end at (or past) the newest point keeps following it.
    MinMax times;
    for (int i = 0; i < seriesCount(); ++i) {
        if (lineCountsInRanges(i))
            times.add(d->series[static_cast<std::size_t>(i)]->d->xs.back());
    }
    const double pixel = span / std::max(1, layoutFor(size(), false).plot.width());
    d->following = !times.empty() && hi >= times.hi - kFollowPixels * pixel;
    d->followGap = d->following ? std::max(0.0, hi - times.hi) : 0;
    update();
}

void ChartWidget::setValueView(double lo, double hi)
{
    const double magnitude = std::max({1.0, std::abs(lo), std::abs(hi)});
    if (!ClampSpan(lo, hi, magnitude * 1e-9, 1e12))
        return;
    m_left.m_min = lo;
    m_left.m_max = hi;
    m_left.m_automatic = false;
    update();
}

void ChartWidget::zoomTime(double factor, double anchorX)
{
    updateRanges();
    const ChartLayout L = layoutFor(size(), false);
    setTimeView(anchorX - (anchorX - L.timeMin) * factor, anchorX + (L.timeMax - anchorX) * factor);
}

void ChartWidget::zoomValue(double factor, double anchorY)
{
    updateRanges();
    const ChartLayout L = layoutFor(size(), false);
    setValueView(anchorY - (anchorY - L.valueMin) * factor, anchorY + (L.valueMax - anchorY) * factor);
}

void ChartWidget::panBy(double timeFraction, double valueFraction)
{
    updateRanges();
    const ChartLayout L = layoutFor(size(), false);
    if (timeFraction != 0) {
        const double shift = timeFraction * (L.timeMax - L.timeMin);
        setTimeView(L.timeMin + shift, L.timeMax + shift);
    }
    if (valueFraction != 0) {
        const double shift = valueFraction * (L.valueMax - L.valueMin);
        setValueView(L.valueMin + shift, L.valueMax + shift);
    }
}

namespace {

// X and value at a point of the widget, in the frame of a layout.
double timeAt(const ChartLayout& L, double px)
{
    return L.timeMin + (px - L.plot.left()) * (L.timeMax - L.timeMin) / L.plot.width();
}

double valueAt(const ChartLayout& L, double py)
{
    const double base = L.plot.top() + L.plot.height() * (1 - kValueInset);
    return L.valueMin + (base - py) * (L.valueMax - L.valueMin) / (L.plot.height() * (1 - 2 * kValueInset));
}

} // namespace

// ---------------------------------------------------------------- mouse and keys

void ChartWidget::mousePressEvent(QMouseEvent* event)
{
    updateRanges();
    const ChartLayout L = chartLayout();
    const QPoint pos = event->position().toPoint();
    if (d->drag != Impl::Drag::None)
        return;  // a second button during a drag
    if (event->button() == Qt::LeftButton) {
        if (L.manualSign.contains(pos)) {
            resetView();
            return;
        }
        for (std::size_t i = 0; i < L.legendEntries.size(); ++i) {
            if (L.legendEntries[i].contains(pos)) {
                LineSeries* s = d->series[i].get();
                s->setVisible(!s->visible());
                return;
            }
        }
    }
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    d->drag = Impl::Drag::Pending;
    d->dragButton = event->button();
    d->dragZooms = event->button() == Qt::RightButton || (event->modifiers() & Qt::ShiftModifier);
    d->pressPos = pos;
    d->dragPos = pos;
    d->pressLayout = layoutFor(size(), false);
    d->pressValueAutomatic = m_left.m_automatic;
    if (!L.plot.contains(pos) && event->button() == Qt::LeftButton)
        d->drag = Impl::Drag::None;  // dragging starts inside the plot
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const bool wasInPlot = d->hover && d->drawnPlot.contains(d->hoverPos);
    d->hover = true;
    d->hoverPos = pos;
    if (d->drag == Impl::Drag::Pending && (pos - d->pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        d->drag = d->dragZooms ? Impl::Drag::Zoom : Impl::Drag::Pan;
        if (d->drag == Impl::Drag::Pan)
            setCursor(Qt::ClosedHandCursor);
    }
    if (d->drag == Impl::Drag::Pan) {
        // Relative to where the drag began, so no rounding piles up over a long drag.
        const ChartLayout& L = d->pressLayout;
        const double dt = (pos.x() - d->pressPos.x()) * (L.timeMax - L.timeMin) / L.plot.width();
        setTimeView(L.timeMin - dt, L.timeMax - dt);
        if (!d->pressValueAutomatic) {
            const double dv = (pos.y() - d->pressPos.y()) * (L.valueMax - L.valueMin)
                / (L.plot.height() * (1 - 2 * kValueInset));
            setValueView(L.valueMin + dv, L.valueMax + dv);
        }
    } else if (d->drag == Impl::Drag::Zoom) {
        d->dragPos = pos;
    }
    if (wasInPlot || d->drawnPlot.contains(pos) || d->drag == Impl::Drag::Zoom)
        update();
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != d->dragButton)
        return;
    const Impl::Drag drag = d->drag;
    d->drag = Impl::Drag::None;
    d->dragButton = Qt::NoButton;
    unsetCursor();
    if (drag == Impl::Drag::Zoom) {
        const ChartLayout& L = d->pressLayout;
        const QRect r = QRect(d->pressPos, event->position().toPoint()).normalized().intersected(L.plot);
        if (r.width() >= kZoomMinPixels)
            setTimeView(timeAt(L, r.left()), timeAt(L, r.right() + 1));
        if (r.height() >= kZoomMinPixels)
            setValueView(valueAt(L, r.bottom() + 1), valueAt(L, r.top()));
        update();
    } else if (drag == Impl::Drag::Pending && event->button() == Qt::RightButton) {
        showMenu(event->globalPosition().toPoint());
    }
}

void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const ChartLayout L = chartLayout();
    const QPoint pos = event->position().toPoint();
    for (std::size_t i = 0; i < L.legendEntries.size(); ++i) {
        if (L.legendEntries[i].contains(pos)) {
            LineSeries* s = d->series[i].get();
            s->setVisible(!s->visible());  // the second click of a quick pair
            return;
        }
    }
    if (L.plot.contains(pos) || L.manualSign.contains(pos))
        resetView();
}

void ChartWidget::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int notches = delta.y() != 0 ? delta.y() : delta.x();
    if (notches == 0) {
        event->ignore();
        return;
    }
    updateRanges();
    const ChartLayout L = layoutFor(size(), false);
    const double factor = std::pow(kZoomStep, notches / 120.0);
    const QPointF pos = event->position();
    if (event->modifiers() & Qt::ControlModifier) {
        const double y = std::clamp(pos.y(), double(L.plot.top()), double(L.plot.bottom() + 1));
        zoomValue(factor, valueAt(L, y));
    } else {
        const double x = std::clamp(pos.x(), double(L.plot.left()), double(L.plot.right() + 1));
        zoomTime(factor, timeAt(L, x));
    }
    event->accept();
}

void ChartWidget::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    auto zoom = [&](double factor) {
        updateRanges();
        const ChartLayout L = layoutFor(size(), false);
        if (ctrl)
            zoomValue(factor, (L.valueMin + L.valueMax) / 2);
        else
            zoomTime(factor, (L.timeMin + L.timeMax) / 2);
    };
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(kZoomStep);
        break;
    case Qt::Key_Minus:
        zoom(1 / kZoomStep);
        break;
    case Qt::Key_Left:
        panBy(-kPanStep, 0);
        break;
    case Qt::Key_Right:
        panBy(kPanStep, 0);
        break;
    case Qt::Key_Up:
        panBy(0, kPanStep);
        break;
    case Qt::Key_Down:
        panBy(0, -kPanStep);
        break;
    case Qt::Key_Home:
    case Qt::Key_Escape:
        resetView();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ChartWidget::leaveEvent(QEvent* event)
{
    d->hover = false;
    update();
    QWidget::leaveEvent(event);
}

void ChartWidget::contextMenuEvent(QContextMenuEvent* event)
{
    // The mouse's menu opens on the right button's release, after any rectangle drag.
    if (event->reason() != QContextMenuEvent::Mouse)
        showMenu(mapToGlobal(chartLayout().plot.center()));
    event->accept();
}

void ChartWidget::showMenu(const QPoint& globalPos)
{
    if (!d->menu) {
        d->menu = new QMenu(this);
        d->menu->addAction(d->resetView);
        d->menu->addSeparator();
        d->menu->addAction(d->saveImage);
        d->menu->addAction(d->copyImage);
        d->menu->addAction(d->print);
        d->menu->addSeparator();
        d->menu->addAction(d->exportCsv);
    }
    d->menu->popup(globalPos);
}

// ---------------------------------------------------------------- output

QImage ChartWidget::toImage(double scale)
{
    updateRanges();
    scale = std::clamp(scale, 0.1, 16.0);
    QImage image((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    paintChart(p, layoutFor(size(), false), false);
    p.end();
    return image;
}

bool ChartWidget::saveImage(const QString& fileName, double scale, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = d->texts.cannotWrite.arg(QDir::toNativeSeparators(fileName), reason);
        return false;
    };
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (suffix == "svg") {
#if !HMX700_SVG
        return fail(QStringLiteral("SVG"));  // no SVG writer in this build
#else
        updateRanges();
        QBuffer svg;
        svg.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&svg);
        generator.setResolution(logicalDpiX());  // text the size it has on screen
        generator.setSize((QSizeF(size()) * scale).toSize());
        generator.setViewBox(QRect(QPoint(0, 0), size()));
        generator.setTitle(d->title);
        QPainter p(&generator);
        paintChart(p, layoutFor(size(), false), false);
        p.end();
        if (file.write(svg.data()) != svg.data().size())
            return fail(file.errorString());
#endif
    } else {
        const QByteArray format = QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("png");
        QImage image = toImage(scale);
        image.setDevicePixelRatio(1);
        if (!image.save(&file, format.constData()))
            return fail(file.error() != QFileDevice::NoError ? file.errorString() : QString::fromLatin1(format));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

void ChartWidget::copyImage()
{
    QApplication::clipboard()->setImage(toImage(1));
}

bool ChartWidget::print(QPrinter& printer)
{
    QPainter p;
    if (!p.begin(&printer))
        return false;
    // Drawn as a picture at the printer's resolution (fonts on a printer scale by its
    // own resolution, not by the painter's), fitted into the page.
    const QRect page = p.viewport();
    const double fit = std::min(page.width() / double(std::max(1, width())), page.height() / double(std::max(1, height())));
    const QImage image = toImage(std::clamp(fit, 1.0, 4.0));
    const QSizeF shown = QSizeF(size()) * fit;
    p.drawImage(QRectF(QPointF(0, 0), shown), image);
    return p.end();
}

bool ChartWidget::exportCsv(const QString& fileName, QString* error)
{
    updateRanges();
    const ChartLayout L = layoutFor(size(), false);
    const QLocale locale = numberLocale();
    const QString decimal = locale.decimalPoint();
    const QString separator = decimal == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(",");
    auto field = [&separator](const QString& text) {
        if (!text.contains(separator) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
            && !text.contains(QLatin1Char('\r')))
            return text;
        QString quoted = text;
        quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    };

    struct Cursor {
        const LineSeries::Impl* s;
        std::size_t at, end;
    };
    std::vector<Cursor> lines;
    QString out = QStringLiteral("\uFEFF") + field(d->texts.timeColumn);
    for (const auto& series : d->series) {
        const LineSeries::Impl& s = *series->d;
        if (!s.visible)
            continue;
        const std::size_t i0 = static_cast<std::size_t>(std::lower_bound(s.xs.begin(), s.xs.end(), L.timeMin) - s.xs.begin());
        const std::size_t i1 = static_cast<std::size_t>(std::upper_bound(s.xs.begin(), s.xs.end(), L.timeMax) - s.xs.begin());
        lines.push_back({&s, i0, i1});
        out += separator + field(s.title);
    }
    out += QLatin1String("\r\n");
    // Merge the lines by time: each row takes the next point of every line that lies
    // within a millisecond of the earliest one.
    for (;;) {
        double t = std::numeric_limits<double>::infinity();
        for (const Cursor& c : lines) {
            if (c.at < c.end)
                t = std::min(t, c.s->xs[c.at]);
        }
        if (!std::isfinite(t))
            break;
        const QTime time = timeOfDay(t);
        out += clockText(time, true) + decimal + QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
        for (Cursor& c : lines) {
            out += separator;
            if (c.at < c.end && c.s->xs[c.at] - t < kMillisecond)
                out += locale.toString(c.s->ys[c.at++], 'f', QLocale::FloatingPointShortest);
        }
        out += QLatin1String("\r\n");
    }

    QSaveFile file(fileName);
    const QByteArray bytes = out.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = d->texts.cannotWrite.arg(QDir::toNativeSeparators(fileName), file.errorString());
        return false;
    }
    return true;
}

void ChartWidget::reportWriteError(const QString& message)
{
    QMessageBox::warning(this, d->texts.errorTitle, message);
}

namespace {

QString withoutEllipsis(QString text)
{
    while (text.endsWith(QChar(0x2026)) || text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text.trimmed();
}

} // namespace

void ChartWidget::saveImageDialog()
{
    QString filter;
    QString filters = d->texts.imageFilter;
#if !HMX700_SVG
    QStringList offered = filters.split(QStringLiteral(";;"));
    offered.removeIf([](const QString& f) { return f.contains(QLatin1String("*.svg")); });
    filters = offered.join(QStringLiteral(";;"));
#endif
    QString name = QFileDialog::getSaveFileName(this, withoutEllipsis(d->texts.saveImage),
                                                d->texts.defaultFileName + QStringLiteral(".png"),
                                                filters, &filter);
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += filter.contains(QLatin1String("*.svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
    QStringList sizes;
    for (int k = 1; k <= 4; ++k)
        sizes << QStringLiteral("%1 × %2").arg(width() * k).arg(height() * k);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, d->texts.imageSizeTitle, d->texts.imageSizeLabel, sizes, 0, false, &ok);
    if (!ok)
        return;
    QString error;
    if (!saveImage(name, sizes.indexOf(chosen) + 1.0, &error))
        reportWriteError(error);
}

void ChartWidget::exportCsvDialog()
{
    QString name = QFileDialog::getSaveFileName(this, withoutEllipsis(d->texts.exportCsv),
                                                d->texts.defaultFileName + QStringLiteral(".csv"), d->texts.csvFilter);
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".csv");
    QString error;
    if (!exportCsv(name, &error))
        reportWriteError(error);
}

void ChartWidget::printDialog()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(width() > height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        print(printer);
}

} // namespace hmx::chart
