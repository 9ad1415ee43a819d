// Chart engine: redraw time and memory per point against the number of points, the
// cost of adding a point, zoomed and panned views, the hover read-out, pictures of a
// day of measurements, and the statistics of a range.
#include "benchutil.h"

#include "chart/chartwidget.h"
#include "humidity/quantities.h"
#include "readings/statistics.h"
#include "report/chartview.h"

#include <QApplication>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

#include <time.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

double todayStart()
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 7)));
}

// A day of smoothly varying readings in tenths, as the instrument gives them.
struct DayWeather {
    std::mt19937 random{7};
    std::normal_distribution<double> noise{0.0, 0.006};
    double drift = 0;

    void reading(double dayFraction, double& dewPoint, double& humidity, double& ambient)
    {
        drift = 0.9995 * drift + noise(random);
        const double phase = 2 * M_PI * (dayFraction - 0.375);  // warmest mid-afternoon
        const double t = 21.0 + 3.2 * std::sin(phase) + 0.6 * std::sin(3 * phase + 1) + drift;
        const double rh = std::clamp(48.0 - 11.0 * std::sin(phase) + 3.0 * std::sin(5 * phase) - 1.5 * drift, 1.0, 100.0);
        // Magnus formula for the dew point.
        const double g = std::log(rh / 100.0) + 17.62 * t / (243.12 + t);
        const double dp = 243.12 * g / (17.62 - g);
        ambient = std::round(t * 10) / 10;
        humidity = std::round(rh * 10) / 10;
        dewPoint = std::round(dp * 10) / 10;
    }
};

// X of a moment the way the program's clock makes it: whole milliseconds since 1970.
double ClockX(std::int64_t msecsSinceEpoch)
{
    return 25569 + static_cast<double>(msecsSinceEpoch) / 86400000.0;
}

void fill(hmx::ChartLines& lines, std::size_t perSeries)
{
    DayWeather weather;
    const auto startMs = static_cast<std::int64_t>((todayStart() - 25569) * 86400000.0);
    for (std::size_t i = 0; i < perSeries; ++i) {
        const double f = static_cast<double>(i) / static_cast<double>(perSeries);
        const double x = ClockX(startMs + std::llround(f * 86400000.0));
        double dp = 0, rh = 0, t = 0;
        weather.reading(f, dp, rh, t);
        lines.dewPoint->addXY(x, dp);
        lines.humidity->addXY(x, rh);
        lines.ambient->addXY(x, t);
    }
}

std::size_t heapInUse()
{
#if defined(__GLIBC__)
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // small blocks plus mmap'ed big ones
#else
    return 0;
#endif
}

// One iteration is one full redraw of a 780 x 540 chart with three series of
// range(0) points each. Counters: bytes per point the series count as held, and the
// heap growth per point while filling them (glibc only).
void ChartRedraw(benchmark::State& state)
{
    const auto perSeries = static_cast<std::size_t>(state.range(0));
    const std::size_t heapBefore = heapInUse();
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, perSeries);
    const std::size_t heapAfter = heapInUse();

    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);  // warm-up: fonts, glyph caches
    for (auto _ : state)
        chart.render(&image);

    const double points = 3.0 * static_cast<double>(perSeries);
    const std::size_t counted = lines.dewPoint->memoryBytes() + lines.humidity->memoryBytes() + lines.ambient->memoryBytes();
    state.counters["bytes_per_point"] = static_cast<double>(counted) / points;
    if (heapBefore != 0)
        state.counters["heap_bytes_per_point"] = static_cast<double>(heapAfter - heapBefore) / points;
}
BENCHMARK(ChartRedraw)->Apply(bench::Defaults)->UseRealTime()->Arg(1000)->Arg(100000)->Arg(1000000);

// ChartRedraw with a fourth line, absolute humidity from each reading, on the right
// value axis, and a fifth (ppmV) that is only read out: what a chosen derived quantity adds.
void ChartRedrawFourthLine(benchmark::State& state)
{
    const auto perSeries = static_cast<std::size_t>(state.range(0));
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, perSeries);
    hmx::chart::LineSeries* fourth = chart.addSeries(QStringLiteral("g/m³"), QColor(128, 0, 160));
    hmx::chart::LineSeries* fifth = chart.addSeries(QStringLiteral("ppmV"), QColor(128, 0, 160));
    fourth->setRightAxis(true);
    fifth->setRightAxis(true);
    fifth->setPlotted(false);
    for (std::size_t i = 0; i < perSeries; ++i) {
        const hmx::humidity::State air = hmx::humidity::FromReading(lines.ambient->y(i), lines.dewPoint->y(i), 101325);
        fourth->addXY(lines.dewPoint->x(i), air[hmx::humidity::Quantity::AbsoluteHumidity].value_or(0));
        fifth->addXY(lines.dewPoint->x(i), air[hmx::humidity::Quantity::VolumeRatio].value_or(0));
    }

    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    for (auto _ : state)
        chart.render(&image);
}
BENCHMARK(ChartRedrawFourthLine)->Apply(bench::Defaults)->UseRealTime()->Arg(1000)->Arg(1000000);

// A day of readings every half second, the instrument lost for a minute every ten
// minutes: the lines break 144 times each.
void ChartRedrawBroken(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    const double start = todayStart();
    for (std::int64_t halfSeconds = 0; halfSeconds < 2 * 86400; ++halfSeconds) {
        if (halfSeconds % 1200 >= 1080)
            continue;
        const double x = start + static_cast<double>(halfSeconds) / (2 * 86400.0);
        const double wave = std::sin(static_cast<double>(halfSeconds) * 1e-3);
        lines.dewPoint->addXY(x, 5 + wave);
        lines.humidity->addXY(x, 50 + 10 * wave);
        lines.ambient->addXY(x, 22 - wave);
    }
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    for (auto _ : state)
        chart.render(&image);
}
BENCHMARK(ChartRedrawBroken)->Apply(bench::Defaults)->UseRealTime();

// One iteration appends 3e6 points in time order to an empty series;
// ns_per_point is the cost of one addXY.
void ChartAddPoint(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t Count = 3000000;
    const double start = todayStart();
    double totalNs = 0;
    for (auto _ : state) {
        hmx::chart::ChartWidget chart;
        hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
        const auto t0 = Clock::now();
        for (std::size_t i = 0; i < Count; ++i)
            lines.dewPoint->addXY(start + static_cast<double>(i) * 1e-6, static_cast<double>(i % 1000) * 0.1);
        const std::chrono::duration<double> elapsed = Clock::now() - t0;
        state.SetIterationTime(elapsed.count());
        totalNs += elapsed.count() * 1e9;
    }
    state.counters["ns_per_point"] = totalNs / (static_cast<double>(state.iterations()) * static_cast<double>(Count));
}
BENCHMARK(ChartAddPoint)->Apply(bench::Defaults)->UseManualTime();

// CPU time of this thread: a pause of the addition itself, not of the machine's
// other work.
double ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// One iteration appends 10^7 readings (tenths, half a second apart on the clock's
// millisecond grid) to an empty series, timing every addXY in thread CPU time.
// Counters: the slowest single addXY, the mean, and the bytes per point then held.
void ChartAddWorst(benchmark::State& state)
{
    constexpr std::size_t Count = 10000000;
    const auto startMs = static_cast<std::int64_t>((todayStart() - 25569) * 86400000.0);
    double worstNs = 0, totalNs = 0, bytesPerPoint = 0;
    for (auto _ : state) {
        hmx::chart::ChartWidget chart;
        hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
        for (std::size_t i = 0; i < Count; ++i) {
            const double x = ClockX(startMs + static_cast<std::int64_t>(i) * 500);
            const double y = static_cast<double>(static_cast<int>(i % 600) - 200) / 10.0;
            const double t0 = ThreadCpuNs();
            lines.dewPoint->addXY(x, y);
            const double ns = ThreadCpuNs() - t0;
            worstNs = std::max(worstNs, ns);
            totalNs += ns;
        }
        bytesPerPoint = static_cast<double>(lines.dewPoint->memoryBytes()) / static_cast<double>(Count);
    }
    state.counters["worst_add_us"] = worstNs / 1000;
    state.counters["ns_per_point"] = totalNs / (static_cast<double>(state.iterations()) * static_cast<double>(Count));
    state.counters["bytes_per_point"] = bytesPerPoint;
}
BENCHMARK(ChartAddWorst)->Apply(bench::Defaults)->UseRealTime()->Iterations(1);

// A day at two readings a second: one iteration is one redraw. The last picture is
// written to $HMX_CHART_PNG when that names a file (docs/chart-day.png comes from here).
void ChartDayPicture(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, 2 * 86400);
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state)
        chart.render(&image);
    if (!qEnvironmentVariableIsSet("HMX_CHART_PNG"))
        return;
    const QString path = qEnvironmentVariable("HMX_CHART_PNG");
    if (!image.save(path))
        state.SkipWithError(qPrintable(QStringLiteral("could not write ") + path));
}
BENCHMARK(ChartDayPicture)->Apply(bench::Defaults)->UseRealTime();

// The chart zoomed by wheel notches at a fraction of the plot's width, as a user does.
void zoomAt(hmx::chart::ChartWidget& chart, double fraction, int notches)
{
    chart.updateRanges();
    const QRect plot = chart.chartLayout().plot;
    const QPointF pos(plot.left() + fraction * plot.width(), plot.center().y());
    QWheelEvent e(pos, pos, QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &e);
}

void mouse(hmx::chart::ChartWidget& chart, QEvent::Type type, QPointF pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, pos, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&chart, &e);
}

// One iteration is one redraw of a 780 x 540 chart, 3 x 10^6 points, zoomed by wheel
// notches around the middle of the day (0: the full view; 10 notches: about 2.5 hours;
// 20: 17 minutes; 30: 1.8 minutes, where every point is drawn).
void ChartRedrawZoomed(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, 1000000);
    zoomAt(chart, 0.5, static_cast<int>(state.range(0)));
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    for (auto _ : state)
        chart.render(&image);
    const hmx::chart::ChartLayout l = chart.chartLayout();
    state.counters["span_minutes"] = (l.timeMax - l.timeMin) * 1440;
}
BENCHMARK(ChartRedrawZoomed)->Apply(bench::Defaults)->UseRealTime()->Arg(0)->Arg(10)->Arg(20)->Arg(30);

// One iteration is one frame of a left-button drag across a zoomed view (3 x 10^6
// points, about 2.5 hours shown): the mouse moves 7 pixels and the chart is redrawn.
void ChartPanFrame(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, 1000000);
    zoomAt(chart, 0.5, 10);
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    const QRect plot = chart.chartLayout().plot;
    const QPointF start(plot.left() + plot.width() * 0.2, plot.center().y());
    mouse(chart, QEvent::MouseButtonPress, start, Qt::LeftButton);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 80;  // back and forth over 280 pixels
        const double dx = 7.0 * (step < 40 ? step : 80 - step);
        mouse(chart, QEvent::MouseMove, start + QPointF(dx + 12, 0), Qt::LeftButton);
        chart.render(&image);
    }
    mouse(chart, QEvent::MouseButtonRelease, start, Qt::NoButton);
}
BENCHMARK(ChartPanFrame)->Apply(bench::Defaults)->UseRealTime();

// One iteration moves the mouse to another column of the plot and computes the layout
// with the hover read-out (nearest point of each line by binary search), at range(0)
// points per line.
void ChartHoverReadOut(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, static_cast<std::size_t>(state.range(0)));
    chart.updateRanges();
    const QRect plot = chart.chartLayout().plot;
    int column = 0;
    for (auto _ : state) {
        column = (column + 37) % plot.width();
        mouse(chart, QEvent::MouseMove, QPointF(plot.left() + column, plot.center().y()), Qt::NoButton);
        const hmx::chart::ChartLayout l = chart.chartLayout();
        benchmark::DoNotOptimize(l.readOut.values.data());
    }
}
BENCHMARK(ChartHoverReadOut)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond)->UseRealTime()->Arg(1000)->Arg(1000000);

// As ChartAddPoint, with the time axis zoomed: range(0) 0 leaves the view in the
// middle of the data, 1 zooms at its right end so that the view follows new points.
void ChartAddPointZoomed(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t Count = 3000000;
    const double start = todayStart();
    double totalNs = 0;
    for (auto _ : state) {
        hmx::chart::ChartWidget chart;
        chart.resize(780, 540);
        hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
        for (std::size_t i = 0; i < 1000; ++i)
            lines.dewPoint->addXY(start + static_cast<double>(i) * 1e-6, 0);
        zoomAt(chart, state.range(0) == 0 ? 0.5 : 1.0, 5);
        const auto t0 = Clock::now();
        for (std::size_t i = 1000; i < Count; ++i)
            lines.dewPoint->addXY(start + static_cast<double>(i) * 1e-6, static_cast<double>(i % 1000) * 0.1);
        const std::chrono::duration<double> elapsed = Clock::now() - t0;
        state.SetIterationTime(elapsed.count());
        totalNs += elapsed.count() * 1e9;
        if (chart.followsNewest() != (state.range(0) == 1))
            state.SkipWithError("the view did not follow as asked");
    }
    state.counters["ns_per_point"] = totalNs / (static_cast<double>(state.iterations()) * static_cast<double>(Count - 1000));
}
BENCHMARK(ChartAddPointZoomed)->Apply(bench::Defaults)->UseManualTime()->Arg(0)->Arg(1);

// A day at two readings a second zoomed to about an hour in the afternoon, with the
// hover read-out; one iteration is one redraw. The last picture is written to
// $HMX_CHART_ZOOM_PNG when that names a file (docs/chart-zoom.png comes from here).
void ChartZoomPicture(benchmark::State& state)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));  // the read-out's decimal comma
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    fill(lines, 2 * 86400);
    zoomAt(chart, 0.62, 14);
    const QRect plot = chart.chartLayout().plot;
    mouse(chart, QEvent::MouseMove, QPointF(plot.left() + plot.width() * 0.4, plot.top() + plot.height() * 0.3), Qt::NoButton);
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state)
        chart.render(&image);
    QLocale::setDefault(before);
    if (!qEnvironmentVariableIsSet("HMX_CHART_ZOOM_PNG"))
        return;
    const QString path = qEnvironmentVariable("HMX_CHART_ZOOM_PNG");
    if (!image.save(path))
        state.SkipWithError(qPrintable(QStringLiteral("could not write ") + path));
}
BENCHMARK(ChartZoomPicture)->Apply(bench::Defaults)->UseRealTime();

// 3e6 dew points a second apart (about 35 days), lost for a minute every six hours,
// the limits crossed daily. range(0): 0 the whole line, 1 random ranges of any
// length, 2 the whole line with a limit its noisy values cross in every block of 32
// (the time past it then walks every point: the cost the statistics header states).
void ChartStatistics(benchmark::State& state)
{
    constexpr std::int64_t Count = 3000000;
    hmx::chart::ChartWidget chart;
    hmx::ChartLines lines = hmx::ConfigureChart1(chart, hmx::Language::Polish);
    hmx::chart::LineSeries& line = *lines.dewPoint;
    DayWeather weather;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto startMs = static_cast<std::int64_t>((todayStart() - 25569) * 86400000.0);
    for (std::int64_t s = 0; s < Count; ++s) {
        if (s % 21600 < 60)
            continue;
        double dp = 0, rh = 0, t = 0;
        weather.reading(static_cast<double>(s % 86400) / 86400.0, dp, rh, t);
        if (state.range(0) == 2)
            dp = 10.5 + std::round(unit(random) * 10) / 10;  // 10.5 to 11.5 about the upper limit
        line.addXY(ClockX(startMs + s * 1000), dp);
    }
    const std::vector<hmx::readings::StatisticsLimit> limits = {{11.0, true, QStringLiteral("high")},
                                                                {9.0, false, QStringLiteral("low")}};
    const double first = line.x(0), last = line.x(line.count() - 1);
    double points = 0;
    for (auto _ : state) {
        double lo = first, hi = last;
        if (state.range(0) == 1) {
            lo = first + unit(random) * (last - first);
            hi = first + unit(random) * (last - first);
            if (lo > hi)
                std::swap(lo, hi);
        }
        const hmx::readings::LineStatistics s = hmx::readings::StatisticsOf(*line.data(), lo, hi, limits);
        benchmark::DoNotOptimize(s.past.data());
        points += static_cast<double>(s.count);
    }
    state.counters["points_per_query"] = points / static_cast<double>(state.iterations());
}
BENCHMARK(ChartStatistics)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1)->Arg(2);

} // namespace
