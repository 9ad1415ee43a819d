#include "instrument/linkworker.h"

namespace hmx {

LinkWorker::~LinkWorker()
{
    stop();
}

void LinkWorker::start(std::function<void()> work)
{
    if (m_thread.joinable())
        m_thread.join();
    m_stop.store(false, std::memory_order_release);
    m_thread = std::thread(std::move(work));
}

void LinkWorker::stop()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_stop.store(true, std::memory_order_release);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool LinkWorker::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_waitMutex);
    return !m_wake.wait_for(lock, duration, [this] { return stopRequested(); });
}

SleepFunction LinkWorker::sleeper()
{
    return [this](std::chrono::milliseconds duration) { return sleepFor(duration); };
}

} // namespace hmx
