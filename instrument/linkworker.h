// A background thread that talks to the instrument, and the one way to stop it: the
// stop request wakes its waits at once and makes the links it uses give up a send
// stalled on a dead line (each link is told the request by setStopRequest), then the
// owner joins the thread. Each worker has its own request, so stopping one never
// disturbs another.
#pragma once

#include "link/protocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace hmx {

class LinkWorker {
public:
    LinkWorker() = default;
    ~LinkWorker();  // stop()

    // Runs `work` on a new thread. A thread from an earlier start is joined first, so
    // call it once that work has ended (or after stop()).
    void start(std::function<void()> work);
    // Raises the stop request, wakes the worker and joins it. Returns at once when no
    // thread runs; safe to call twice.
    void stop();

    bool running() const { return m_thread.joinable(); }  // owner's thread only
    bool stopRequested() const { return m_stop.load(std::memory_order_acquire); }
    // The request itself, for the links this worker's thread uses.
    const std::atomic<bool>* stopFlag() const { return &m_stop; }

    // For the worker's waits: false when a stop request cut the sleep short.
    bool sleepFor(std::chrono::milliseconds duration);
    SleepFunction sleeper();

    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
};

} // namespace hmx
