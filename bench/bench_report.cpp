// The run report of a day: 172,800 readings per line (one every half second), three
// lines, with limits in force. One iteration is the whole report as the window makes
// it: statistics, texts and the PDF written to disk. Counter: the PDF's size in KiB.
#include "benchutil.h"

#include "chart/chartwidget.h"
#include "readings/lines.h"
#include "report/chartlimits.h"
#include "report/chartview.h"
#include "report/pdfreport.h"
#include "report/runreport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>

namespace {

constexpr int DayReadings = 2 * 86400;

void BM_ReportOfADay(benchmark::State& state)
{
    using hmx::humidity::Quantity;
    hmx::chart::ChartWidget chart;
    chart.resize(900, 500);
    hmx::readings::Lines lines;
    hmx::ShowLines(chart, hmx::ConfigureChart1(chart, hmx::Language::Polish), lines);
    const double start = 46089;  // a day in 2026
    for (int i = 0; i < DayReadings; ++i) {
        const double x = start + i / double(DayReadings);
        // Slow drifts with noise, on the instrument's grid of tenths.
        const double noise = std::sin(i * 12.9898) * 0.6;
        lines.line(Quantity::DewPoint)->add(x, std::round((-20 + 8 * std::sin(i / 9000.0) + noise) * 10) / 10);
        lines.line(Quantity::RelativeHumidity)->add(x, std::round((45 + 10 * std::sin(i / 14000.0) + noise) * 10) / 10);
        lines.line(Quantity::Temperature)->add(x, std::round((22 + 2 * std::sin(i / 30000.0) + noise) * 10) / 10);
    }
    hmx::RunReportSource source;
    source.model = QStringLiteral("HMX-700");
    source.preferences.limits[hmx::limits::QuantityId::DewPoint][hmx::limits::Bound::AlarmHigh] = -15;
    source.preferences.limits[hmx::limits::QuantityId::Humidity][hmx::limits::Bound::WarningLow] = 40;
    for (const auto& [quantity, line] : hmx::ChartLineOf)
        chart.setLimitLines(line, hmx::ChartLimitLines(quantity, source.preferences.of(quantity), {}));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        const hmx::ReportReadings data = hmx::ShownReadings(chart, lines);
        if (!hmx::report::WriteReportPdf(hmx::RunReport(data, source, {start, start + 1}, hmx::Language::Polish), chart, pdf)) {
            state.SkipWithError("the report could not be written");
            return;
        }
    }
    state.counters["pdf_KiB"] = double(QFileInfo(pdf).size()) / 1024.0;
    state.counters["readings"] = 3.0 * DayReadings;
}

} // namespace

BENCHMARK(BM_ReportOfADay)->Apply(bench::Defaults)->Repetitions(3);
