// The run report of a day: 172,800 readings per line (one every half second), three
// lines, with limits in force. One iteration is the whole report as the window makes
// it: statistics, texts and the PDF written to disk. Counter: the PDF's size in KiB.
// Then hmx700-report as a user runs it, of own logs of a million lines and of 30 days
// at two readings a second, from start to exit, loading included.
#include "benchutil.h"

#include "chart/chartwidget.h"
#include "readings/lines.h"
#include "report/chartlimits.h"
#include "report/chartview.h"
#include "report/pdfreport.h"
#include "report/runreport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

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

// An own log as the program writes it (C locale), two readings a second, ending now.
bool WriteLog(const QString& name, std::int64_t lines)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    const std::int64_t first = (QTime::currentTime().msecsSinceStartOfDay() / 500 - lines) % DayReadings + DayReadings;
    for (std::int64_t i = 0; i < lines; ++i) {
        const std::int64_t second = (first + i) % DayReadings / 2;
        const int dewPoint = int(-105 + i % 300), humidity = int(450 + i % 100), ambient = int(235 + i % 50);
        char line[128];
        const int n = std::snprintf(line, sizeof line, "%lld\t%02d:%02d:%02d\t%d\t%d\t%d\t%.2f\t%.2f\t%.2f\r\n",
                                    static_cast<long long>(i + 1), int(second / 3600), int(second / 60 % 60),
                                    int(second % 60), dewPoint, humidity, ambient, dewPoint / 10.0, humidity / 10.0,
                                    ambient / 10.0);
        chunk.append(line, n);
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

void ReportCommand(benchmark::State& state)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/hmx700-report");
    // Each log written once per run of the program, in a folder of its own.
    static std::map<std::int64_t, std::unique_ptr<QTemporaryDir>> folders;
    std::unique_ptr<QTemporaryDir>& dir = folders[state.range(0)];
    const bool fresh = !dir;
    if (fresh)
        dir = std::make_unique<QTemporaryDir>();
    const QString log = dir->filePath(QStringLiteral("jrt1.txt"));
    const QString pdf = dir->filePath(QStringLiteral("report.pdf"));
    if (!QFileInfo(program).isExecutable() || (fresh && !WriteLog(log, state.range(0)))) {
        state.SkipWithError("no hmx700-report beside the benchmarks, or the log could not be written");
        return;
    }
    for (auto _ : state) {
        QFile::remove(pdf);
        QProcess report;
        report.start(program, {log, QStringLiteral("-o"), pdf});
        if (!report.waitForFinished(600000) || report.exitCode() != 0) {
            state.SkipWithError(qPrintable(QStringLiteral("hmx700-report failed: ") + report.readAllStandardError()));
            return;
        }
    }
    state.counters["pdf_KiB"] = double(QFileInfo(pdf).size()) / 1024.0;
    state.counters["log_MiB"] = double(QFileInfo(log).size()) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(BM_ReportOfADay)->Apply(bench::Defaults)->Repetitions(3);
BENCHMARK(ReportCommand)->Apply(bench::Defaults)->UseRealTime()->Arg(1000000)->Arg(30 * DayReadings)->Iterations(1)->Repetitions(3);
