#include "log/syncqueue.h"

#include <utility>

namespace hmx {

SyncQueue::~SyncQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SyncQueue::push(files::File file, std::function<void()> then)
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back({std::move(file), std::move(then)});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    m_changed.notify_all();
}

void SyncQueue::drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_entries.empty() && !m_busy; });
}

QString SyncQueue::takeFailure()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_failure, QString());
}

void SyncQueue::run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return !m_entries.empty() || m_ending; });
        if (m_entries.empty())
            return;  // ending, and nothing left
        Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_busy = true;
        lock.unlock();
        const bool synced = !entry.file.isOpen() || entry.file.sync();
        entry.file.close();
        if (entry.then)
            entry.then();
        lock.lock();
        if (!synced && m_failure.isEmpty())
            m_failure = entry.file.error();
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace hmx
