// Several instruments measured by one process, as the window's added instruments and
// `hmx700-logger --all` measure them: a session per simulated instrument, each in a
// folder of its own, all handing their readings to the one main thread. One iteration
// is ten seconds of measuring. Counters: main_busy_pct, the main thread's CPU time as a
// share of one core (what the sessions ask of it: readings, lines, limits, the journal);
// overhead_ms, each instrument's cycle beyond its measure wait, the mean over
// instruments; worst_ms, the slowest cycle of any. After the run every log is checked to
// hold its own unit's readings only, numbered without a gap: a mixed or lost reading
// ends the benchmark with an error.
#include "benchutil.h"

#include "readings/lines.h"
#include "session/instrumentset.h"
#include "session/measuringsession.h"
#include "tools/simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread.
std::chrono::microseconds ThreadCpu()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Each simulator's own values, so a line in the wrong log shows.
hmx::sim::MeasurementTenths ValuesOf(int instrument)
{
    return {std::int16_t(400 + instrument), std::int16_t(-100 - instrument), std::int16_t(200 + instrument)};
}

// Whether every line of the log is the instrument's, numbered 1, 2, ... `count`.
bool OwnLines(const QString& log, int instrument, int count)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const hmx::sim::MeasurementTenths own = ValuesOf(instrument);
    int number = 0;
    for (const QByteArray& row : file.readAll().split('\n')) {
        const QList<QByteArray> f = row.trimmed().split('\t');
        if (f.size() < 5)
            continue;
        if (f[0].toInt() != ++number || f[2].toInt() != own.dewPoint || f[3].toInt() != own.humidity ||
            f[4].toInt() != own.ambient)
            return false;
    }
    return number == count;
}

void InstrumentsAtOnce(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    hmx::InstrumentSet set(dir.path());
    std::vector<std::unique_ptr<hmx::sim::Simulator>> simulators;
    std::vector<std::unique_ptr<hmx::readings::Lines>> lines;
    std::vector<int> told(std::size_t(count), 0);
    std::vector<double> lastX(std::size_t(count), 0);
    std::vector<double> overheadSum(std::size_t(count), 0);
    std::vector<int> cycles(std::size_t(count), 0);
    double worstMs = 0;
    int measuring = 0;
    for (int i = 0; i < count; ++i) {
        simulators.push_back(std::make_unique<hmx::sim::Simulator>());
        simulators.back()->setVersion(1, 0, quint16(1000 + i));
        simulators.back()->setMeasurement(ValuesOf(i));
        QDir().mkpath(set.folderFor(quint16(1000 + i)));
        hmx::SessionOptions options;
        options.folder = set.folderFor(quint16(1000 + i));
        hmx::MeasuringSession* session = set.add(options);
        // The lines a chart would draw, filled as the window's are.
        lines.push_back(std::make_unique<hmx::readings::Lines>());
        session->setLines(lines.back().get());
        QObject::connect(session, &hmx::MeasuringSession::scanned, session, [session](const hmx::ScanResult& scan) {
            if (scan.connected)
                session->readInstrument();
        });
        QObject::connect(session, &hmx::MeasuringSession::measuring, session, [&measuring] { ++measuring; });
        const auto at = std::size_t(i);
        QObject::connect(session, &hmx::MeasuringSession::reading, session, [&, at](const hmx::SessionReading& r) {
            ++told[at];
            const double x = r.reading.dewPointX;
            if (lastX[at] > 0) {
                const double overheadMs = (x - lastX[at]) * 86400000.0 - double(hmx::MeasureWait.count());
                overheadSum[at] += std::max(overheadMs, 0.0);
                ++cycles[at];
                worstMs = std::max(worstMs, overheadMs);
            }
            lastX[at] = x;
        });
        session->connectInstrument({simulators.back()->linkPath()});
    }
    QElapsedTimer waited;
    waited.start();
    while (measuring < count && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (measuring < count) {
        state.SkipWithError("not every instrument was measured");
        return;
    }

    double busy = 0;
    for (auto _ : state) {
        const auto cpuBefore = ThreadCpu();
        const auto wallBefore = Clock::now();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(10), &loop, &QEventLoop::quit);
        loop.exec();
        const std::chrono::duration<double> wall = Clock::now() - wallBefore;
        const std::chrono::duration<double> cpu = ThreadCpu() - cpuBefore;
        busy = cpu.count() / wall.count() * 100;
        state.SetIterationTime(wall.count());
    }
    set.stopAll();

    double overhead = 0;
    for (int i = 0; i < count; ++i) {
        const auto at = std::size_t(i);
        if (!OwnLines(QDir(set.folderFor(quint16(1000 + i))).filePath(QStringLiteral("jrt1.txt")), i, told[at])) {
            state.SkipWithError("a log holds another unit's reading, or misses one");
            return;
        }
        overhead += cycles[at] ? overheadSum[at] / cycles[at] : 0;
    }
    state.counters["main_busy_pct"] = busy;
    state.counters["overhead_ms"] = overhead / count;
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(InstrumentsAtOnce)->Apply(bench::Defaults)->UseManualTime()->Iterations(1)->Arg(1)->Arg(8);

} // namespace
