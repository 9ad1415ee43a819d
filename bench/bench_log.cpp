// What a durable log line costs. LogLineDurable: one appendLine that returns with the line
// on the disk (reopen, write, sync), the cost the log's own thread pays per reading.
// LogLineHandedOver: what the Poller's cycle pays instead, handing the sync to that
// thread (the wait for the disk is left out of the time).
#include "benchutil.h"

#include "log/measurementlog.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

hmx::LogLine Line(std::int32_t number)
{
    return {number, QTime(12, 0, 0), -105, 450, 235, "-10.50", "45.00", "23.50"};
}

// A new log in a folder of its own on the disk the program would write to.
struct NewLog {
    QTemporaryDir dir;
    hmx::MeasurementLog log{QDir(dir.path()).filePath(QStringLiteral("jrt1.txt"))};
    bool created(benchmark::State& state)
    {
        if (dir.isValid() && log.create())
            return true;
        state.SkipWithError("cannot create the log");
        return false;
    }
};

void LogLineDurable(benchmark::State& state)
{
    NewLog fresh;
    if (!fresh.created(state))
        return;
    hmx::MeasurementLog& log = fresh.log;
    const QLocale locale;
    std::int32_t number = 0;
    for (auto _ : state) {
        if (!log.appendLine(Line(++number), locale)) {
            state.SkipWithError("the log failed");
            break;
        }
    }
}
BENCHMARK(LogLineDurable)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond);

void LogLineHandedOver(benchmark::State& state)
{
    NewLog fresh;
    if (!fresh.created(state))
        return;
    hmx::MeasurementLog& log = fresh.log;
    const QLocale locale;
    std::int32_t number = 0;
    int durable = 0;
    for (auto _ : state) {
        log.appendLine(Line(++number), locale, [&durable] { ++durable; });
        state.PauseTiming();
        log.waitUntilDurable();  // one line at a time, as the Poller's cycles come
        state.ResumeTiming();
    }
    if (durable != number)
        state.SkipWithError("a line was never made durable");
}
BENCHMARK(LogLineHandedOver)->Apply(bench::Defaults)->Unit(benchmark::kMicrosecond);

} // namespace
