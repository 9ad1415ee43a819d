// The messages waiting for the broker, on disk beside the log so that neither an outage
// nor a crash or power cut loses them. One file holds the messages, one per line
// ("<topic> <payload>"), appended and synced; a second holds the byte offset of the first
// message not yet delivered. A crash may leave that offset a little behind, so a message
// can be sent twice, never skipped.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace hmx {

class DiskQueue {
public:
    // About 14 hours of readings at two a second, some 15 MB on disk. Beyond it the oldest
    // are dropped: they are still in the log, while the plant wants the present first.
    static constexpr std::size_t DefaultLimit = 100000;

    explicit DiskQueue(QString path, std::size_t limit = DefaultLimit);
    ~DiskQueue();  // close()

    // Opens (creating) the files and loads what an earlier run left undelivered; a line cut
    // off by a crash is removed. False with error() set when the files cannot be used.
    bool open();
    // Appends the messages ("<topic> <payload>", no line breaks) and syncs them to disk.
    // Beyond the limit the oldest are dropped and counted. False with error() set when the
    // disk refused them; they are kept in memory all the same.
    bool append(const std::vector<QByteArray>& messages);

    std::size_t size() const { return m_messages.size(); }
    bool empty() const { return m_messages.empty(); }
    const QByteArray& at(std::size_t index) const { return m_messages[index]; }
    // The first `count` messages were delivered.
    void removeFront(std::size_t count);
    // Writes the delivered offset (done by removeFront at most once a second).
    void saveOffset();
    void close();

    std::uint64_t droppedCount() const { return m_dropped; }
    QString path() const { return m_path; }
    QString error() const { return m_error; }

    DiskQueue(const DiskQueue&) = delete;
    DiskQueue& operator=(const DiskQueue&) = delete;

private:
    bool fail(const QString& what);
    void dropFront(std::size_t count);
    bool compact();
    void writeOffset(bool sync);

    QString m_path;
    std::size_t m_limit;
    std::deque<QByteArray> m_messages;
    std::int64_t m_offset = 0;      // of m_messages.front() in the file
    std::int64_t m_fileSize = 0;
    std::int64_t m_savedOffset = -1;
    std::int64_t m_savedAtMs = 0;
    std::uint64_t m_dropped = 0;
    int m_fd = -1;
    int m_offsetFd = -1;
    bool m_memoryOnly = false;  // an append failed: some messages are not in the file
    QString m_error;
};

} // namespace hmx
