// The messages waiting for the broker, on disk beside the log so that neither an outage
// nor a crash or power cut loses them. One file holds the messages, one per line
// ("<topic> <payload>"), appended and synced; a second holds the byte offset of the first
// message not yet delivered. A crash may leave that offset a little behind, so a message
// can be sent twice, never skipped. The file stays within a bound: the delivered or
// dropped lines at its head are rewritten away as it reaches it.
#pragma once

#include "files/file.h"

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

    // Opens (creating) the files and loads what an earlier run left undelivered, the newest
    // `limit` of it at most, reading the file piece by piece; a line cut off by a crash is
    // removed, and a file beyond the bound is rewritten at once. False with error() set
    // when the files cannot be used.
    bool open();
    // Appends the messages ("<topic> <payload>", no line breaks) to the file and, with
    // `sync`, syncs it; otherwise sync() does. Beyond the limit the oldest are dropped and
    // counted. False with error() set when the disk refused them; they are kept in memory
    // all the same.
    bool append(const std::vector<QByteArray>& messages, bool sync = true);
    // Puts what append() wrote on the disk itself; true when nothing waits for it.
    bool sync();

    std::size_t size() const { return m_messages.size(); }
    bool empty() const { return m_messages.empty(); }
    const QByteArray& at(std::size_t index) const { return m_messages[index]; }
    // Each message keeps a number while queued: the front's is firstSeq(), counting every
    // message that left the front (delivered or dropped) since open().
    std::uint64_t firstSeq() const { return m_firstSeq; }
    std::uint64_t endSeq() const { return m_firstSeq + m_messages.size(); }
    // The first `count` messages were delivered.
    void removeFront(std::size_t count);
    // Writes the delivered offset (done by removeFront at most once a second).
    void saveOffset();
    void close();

    // The file holds at most this many lines, delivered and dropped ones included.
    std::size_t lineBound() const { return m_limit + m_limit / 16; }
    std::size_t fileLines() const { return m_fileLines; }
    // The file has reached its bound, or its delivered head is large: rewrite() it.
    bool wantsRewrite() const;

    // Rewriting the file without holding up appends for long: begin (a snapshot of the
    // messages), write (the slow part, which touches nothing of the queue, so the caller
    // may release its lock meanwhile), finish (what came and went meanwhile).
    struct Rewrite {
        std::vector<QByteArray> messages;
        std::uint64_t firstSeq = 0;
        files::File file;
        std::int64_t bytes = 0;
        bool written = false;
        QString reason;  // why it failed, in the system's words
    };
    Rewrite beginRewrite() const;
    void writeRewrite(Rewrite& rewrite) const;
    bool finishRewrite(Rewrite& rewrite);
    // All three at once; error() says why it failed.
    bool rewrite();

    // Keeps a message that cannot be sent (damaged, or refused for good) out of the way in
    // "<queue>.rejected", appended and synced, for a person to look at.
    bool setAside(const QByteArray& message);
    QString setAsidePath() const { return m_path + QStringLiteral(".rejected"); }

    std::uint64_t droppedCount() const { return m_dropped; }
    QString path() const { return m_path; }
    QString error() const { return m_error; }

    DiskQueue(const DiskQueue&) = delete;
    DiskQueue& operator=(const DiskQueue&) = delete;

private:
    bool fail(const QString& what, const QString& reason);
    void dropFront(std::size_t count);
    bool load(std::int64_t offset, std::int64_t whole);
    void writeOffset(bool sync);
    bool writeZeroOffset();

    QString m_path;
    std::size_t m_limit;
    std::deque<QByteArray> m_messages;
    std::uint64_t m_firstSeq = 0;
    std::int64_t m_offset = 0;      // of m_messages.front() in the file
    std::int64_t m_fileSize = 0;
    std::size_t m_fileLines = 0;
    std::int64_t m_savedOffset = -1;
    std::int64_t m_savedAtMs = 0;
    std::uint64_t m_dropped = 0;
    files::File m_file;
    files::File m_offsetFile;
    bool m_unsynced = false;
    bool m_memoryOnly = false;  // an append failed: some messages are not in the file
    QString m_error;
};

} // namespace hmx
