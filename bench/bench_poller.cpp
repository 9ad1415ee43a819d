// The Poller's per-cycle cost beyond its 500 ms wait: measured against the simulator
// from the spacing of consecutive readings.
#include "bench.h"

#include "instrument/poller.h"
#include "link/protocol.h"
#include "link/seriallink.h"
#include "log/measurementlog.h"
#include "tools/simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

HMX_BENCH("poller: per-cycle overhead beyond the measure wait")
{
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    hmx::sim::Simulator simulator;
    qputenv("HMX700_PORTS", QByteArray::fromStdString(simulator.devicePath()));
    if (hmx::OpenPort(1) == hmx::InvalidPort) {
        std::printf("cannot open the simulator's port\n");
        return;
    }
    hmx::MeasurementLog log(QDir(dir.path()).filePath(QStringLiteral("jrt1.txt")));
    log.create();

    constexpr int cycles = 12;
    std::vector<Clock::time_point> stamps;
    std::mutex stampsMutex;
    QEventLoop loop;
    {
        hmx::Poller poller(log);
        QObject::connect(&poller, &hmx::Poller::readingArrived, &poller,
                         [&](const hmx::Reading&) {
                             std::lock_guard lock(stampsMutex);
                             stamps.push_back(Clock::now());
                         },
                         Qt::DirectConnection);
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            std::lock_guard lock(stampsMutex);
            if (stamps.size() >= std::size_t(cycles))
                loop.quit();
        });
        check.start(50);
        poller.start();
        loop.exec();
        poller.stop();
    }
    {
        std::lock_guard lock(hmx::LinkLock());
        hmx::ClosePort(hmx::Port);
    }

    std::vector<double> overheadMs;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const double period = std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count();
        overheadMs.push_back(period - double(hmx::MeasureWait.count()));
    }
    std::sort(overheadMs.begin(), overheadMs.end());
    bench::report("poller cycle overhead, median (target < 2 ms)", overheadMs[overheadMs.size() / 2], "ms");
    bench::report("poller cycle overhead, worst", overheadMs.back(), "ms");
}
