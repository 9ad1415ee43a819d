// The Poller's per-cycle cost beyond its measure wait, against the simulator: one
// iteration is one cycle, timed as the spacing of two consecutive readings minus the
// wait. A reading is handed over once its log line is on the disk, off the Poller's
// thread, so the spacing is taken from the moments the Poller's thread stamped on the
// readings (their chart times, to the millisecond). Counter worst_ms: the slowest cycle.
// Argument 1: with a publisher attached as the recorder attaches it, its broker away,
// so every reading goes to the on-disk queue.
#include "benchutil.h"

#include "instrument/poller.h"
#include "link/protocol.h"
#include "link/seriallink.h"
#include "log/measurementlog.h"
#include "publish/publisher.h"
#include "tools/simulator.h"
#include "tools/testbroker.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <condition_variable>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// A chart time (days) as a point on a clock.
Clock::time_point At(double chartX)
{
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(chartX * 86400000.0)));
}

// Readings' arrival times, handed from the Poller's thread to the benchmark's.
class Stamps {
public:
    void add(Clock::time_point at)
    {
        {
            std::lock_guard lock(m_mutex);
            m_last = at;
            ++m_count;
        }
        m_arrived.notify_one();
    }

    // Waits for the reading after the one numbered `seen`; false after a time-out.
    bool next(std::size_t& seen, Clock::time_point& at)
    {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, std::chrono::seconds(5), [&] { return m_count > seen; }))
            return false;
        seen = m_count;
        at = m_last;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    Clock::time_point m_last;
    std::size_t m_count = 0;
};

void PollerCycleOverhead(benchmark::State& state)
{
    QTemporaryDir dir;
    hmx::sim::Simulator simulator;
    std::unique_ptr<hmx::SerialLink> link = hmx::SerialLink::Open(simulator.devicePath()).link;
    if (!link) {
        state.SkipWithError("cannot open the simulator's port");
        return;
    }
    hmx::MeasurementLog log(QDir(dir.path()).filePath(QStringLiteral("jrt1.txt")));
    log.create();

    Stamps stamps;
    double worstMs = 0;
    std::unique_ptr<hmx::Publisher> publisher;
    if (state.range(0) == 1) {
        hmx::PublishSettings settings;
        settings.enabled = true;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = hmx::sim::TestBroker::FreePort();
        publisher = std::make_unique<hmx::Publisher>(settings, hmx::VersionInfo{}, QDir(dir.path()).filePath(QStringLiteral("jrt1.queue")));
        publisher->start();
    }
    {
        hmx::Poller poller(log, std::move(link));
        if (publisher)
            publisher->follow(poller);
        QObject::connect(&poller, &hmx::Poller::readingArrived, &poller, [&](const hmx::Reading& r) { stamps.add(At(r.dewPointX)); },
                         Qt::DirectConnection);
        poller.start();
        std::size_t seen = 0;
        Clock::time_point previous;
        bool running = stamps.next(seen, previous);
        for (auto _ : state) {
            Clock::time_point at;
            if (!running || !(running = stamps.next(seen, at))) {
                state.SkipWithError("the Poller stopped delivering readings");
                break;
            }
            const std::chrono::duration<double> overhead = at - previous - hmx::MeasureWait;
            state.SetIterationTime(std::max(overhead.count(), 0.0));
            worstMs = std::max(worstMs, overhead.count() * 1e3);
            previous = at;
        }
        poller.stop();
    }
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(PollerCycleOverhead)->Apply(bench::Defaults)->UseManualTime()->Iterations(10)->Arg(0)->Arg(1);

} // namespace
