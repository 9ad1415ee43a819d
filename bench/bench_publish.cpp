// Publishing: a queue of 10^5 readings left by an outage drains to a local Mosquitto
// (QoS 1, every one acknowledged, unpaced); counter readings_per_s. One iteration is one drain,
// from the start of the publisher to the empty queue.
#include "benchutil.h"

#include "instrument/poller.h"
#include "publish/payloads.h"
#include "publish/publisher.h"
#include "tools/testbroker.h"

#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int QueuedReadings = 100000;

void PublishQueueDrain(benchmark::State& state)
{
    QTemporaryDir dir;
    hmx::sim::TestBroker broker(dir.path());
    if (!broker.start()) {
        state.SkipWithError("cannot start mosquitto");
        return;
    }
    hmx::PublishSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.port();
    const QString queuePath = dir.filePath(QStringLiteral("jrt1.queue"));
    double slowest = 0;
    for (auto _ : state) {
        {
            hmx::DiskQueue queue(queuePath);
            queue.open();
            std::vector<QByteArray> messages;
            hmx::Reading reading;
            reading.time = QDateTime::currentDateTime();
            for (int i = 1; i <= QueuedReadings; ++i) {
                reading.number = i;
                reading.humidity = std::int16_t(i % 1000);
                messages.push_back("hmx700/1/reading " + hmx::ReadingPayload(reading));
            }
            queue.append(messages);
        }
        std::mutex mutex;
        std::condition_variable drained;
        bool empty = false;
        hmx::Publisher publisher(settings, {}, queuePath);
        publisher.setDrainPace(0);  // the publisher's own speed, not the pace kept for subscribers
        QObject::connect(&publisher, &hmx::Publisher::stateChanged, &publisher, [&](const hmx::PublishState& s) {
            if (s.link == hmx::PublishState::Link::Connected && s.queued == 0) {
                std::lock_guard lock(mutex);
                empty = true;
                drained.notify_one();
            }
        }, Qt::DirectConnection);
        const auto started = Clock::now();
        publisher.start();
        std::unique_lock lock(mutex);
        if (!drained.wait_for(lock, std::chrono::seconds(120), [&] { return empty; })) {
            state.SkipWithError("the queue did not drain");
            break;
        }
        const std::chrono::duration<double> spent = Clock::now() - started;
        state.SetIterationTime(spent.count());
        slowest = std::max(slowest, spent.count());
        lock.unlock();
        publisher.stop();
    }
    state.counters["readings_per_s"] = QueuedReadings / std::max(slowest, 1e-9);
}
BENCHMARK(PublishQueueDrain)->Apply(bench::Defaults)->UseManualTime()->Iterations(3);

} // namespace
