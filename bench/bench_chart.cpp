// Chart engine: redraw time and memory against the number of points, the cost of
// adding a point, and a picture of a day of measurements.
#include "bench.h"

#include "chart/chartwidget.h"
#include "ui/chartview.h"

#include <QDate>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

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

double medianRedrawMs(hmx::chart::ChartWidget& chart, int runs)
{
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> ms;
    chart.render(&image);  // warm-up: fonts, glyph caches
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        chart.render(&image);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
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

void redrawAndMemory(std::size_t perSeries)
{
    const std::string n = std::to_string(perSeries);
    const std::size_t heapBefore = heapInUse();
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart);
    fill(lines, perSeries);
    const double points = 3.0 * static_cast<double>(perSeries);
    const std::size_t counted = lines.dewPoint->memoryBytes() + lines.humidity->memoryBytes() + lines.ambient->memoryBytes();
    bench::report("chart redraw 780x540, 3 series x " + n + " points (median)", medianRedrawMs(chart, 21), "ms");
    bench::report("chart memory, counted capacity, 3 x " + n + " points", static_cast<double>(counted) / points, "bytes/point");
    if (heapBefore != 0)
        bench::report("chart memory, heap growth (mallinfo2), 3 x " + n + " points",
                      static_cast<double>(heapInUse() - heapBefore) / points, "bytes/point");
}

} // namespace

HMX_BENCH("chart redraw and memory, 10^3 points per series") { redrawAndMemory(1000); }
HMX_BENCH("chart redraw and memory, 10^5 points per series") { redrawAndMemory(100000); }
HMX_BENCH("chart redraw and memory, 10^6 points per series") { redrawAndMemory(1000000); }

HMX_BENCH("chart add point in time order")
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart);
    const std::size_t count = 3000000;
    const double start = todayStart();
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < count; ++i)
        lines.dewPoint->addXY(start + static_cast<double>(i) * 1e-6, static_cast<double>(i % 1000) * 0.1);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    bench::report("chart addXY, appending 3e6 points", ns / static_cast<double>(count), "ns/point");
}

// Writes the picture of a day at 2 readings a second to $HMX_CHART_PNG (docs/chart-day.png
// comes from here); without the variable it only times the drawing.
HMX_BENCH("chart day picture")
{
    hmx::chart::ChartWidget chart;
    chart.resize(780, 540);
    hmx::ChartLines lines = hmx::ConfigureChart1(chart);
    fill(lines, 2 * 86400);
    QImage image(chart.size(), QImage::Format_RGB32);
    chart.render(&image);
    if (!qEnvironmentVariableIsSet("HMX_CHART_PNG"))
        return;
    const QString path = qEnvironmentVariable("HMX_CHART_PNG");
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
}
