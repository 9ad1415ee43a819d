// Makes written lines durable off the writer's thread, so the measuring cycle keeps its
// pace while each line still reaches the disk before its reading is shown: every file
// handed over is synced on a thread of its own, then its follow-up runs, in the order
// they were handed over.
#pragma once

#include "files/file.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hmx {

class SyncQueue {
public:
    SyncQueue() = default;
    ~SyncQueue();  // runs what is left, then ends the thread

    // Takes over `file` (a duplicate; closed once synced). A closed one: nothing to sync,
    // the follow-up simply runs in its turn.
    void push(files::File file, std::function<void()> then);
    // Returns once everything pushed so far has been synced and its follow-up has run.
    void drain();
    // The reason of the first failed sync since the last call; empty when all went well.
    QString takeFailure();

    SyncQueue(const SyncQueue&) = delete;
    SyncQueue& operator=(const SyncQueue&) = delete;

private:
    struct Entry {
        files::File file;
        std::function<void()> then;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_entries;
    bool m_busy = false;    // an entry is being synced
    bool m_ending = false;
    QString m_failure;
    std::thread m_thread;   // started with the first push
};

} // namespace hmx
