// Chart engine: redraw time and memory per point against the number of points, the
// cost of adding a point, and a picture of a day of measurements.
#include "benchutil.h"

#include "chart/chartwidget.h"
#include "ui/chartview.h"

#include <QDate>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

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

void fill(hmx::ChartLines& lines, std::size_t perSeries)
{
    DayWeather weather;
    const double start = todayStart();
    for (std::size_t i = 0; i < perSeries; ++i) {
        const double f = static_cast<double>(i) / static_cast<double>(perSeries);
        double dp = 0, rh = 0, t = 0;
        weather.reading(f, dp, rh, t);
        lines.dewPoint->addXY(start + f, dp);
        lines.humidity->addXY(start + f, rh);
        lines.ambient->addXY(start + f, t);
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
    hmx::ChartLines lines = hmx::ConfigureChart1(chart);
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

// One iteration appends 3e6 points in time order to an empty series;
// ns_per_point is the cost of one addXY.
void ChartAddPoint(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t count = 3000000;
    const double start = todayStart();
    double totalNs = 0;
    for (auto _ : state) {
        hmx::chart::ChartWidget chart;
        hmx::ChartLines lines = hmx::ConfigureChart1(chart);
        const auto t0 = Clock::now();
        for (std::size_t i = 0; i < count; ++i)
            lines.dewPoint->addXY(start + static_cast<double>(i) * 1e-6, static_cast<double>(i % 1000) * 0.1);
        const std::chrono::duration<double> elapsed = Clock::now() - t0;
        state.SetIterationTime(elapsed.count());
        totalNs += elapsed.count() * 1e9;
    }
    state.counters["ns_per_point"] = totalNs / (static_cast<double>(state.iterations()) * static_cast<double>(count));
}
BENCHMARK(ChartAddPoint)->Apply(bench::Defaults)->UseManualTime();

// A day at two readings a second: one iteration is one redraw. The last picture is
// written to $HMX_CHART_PNG when that names a file (docs/chart-day.png comes from here).
void ChartDayPicture(benchmark::State& state)
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart);
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

} // namespace
