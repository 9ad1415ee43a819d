#include "publish/diskqueue.h"

#include "publish/queuefile.h"

#include <QDateTime>

#include <cstdio>

namespace hmx {

using namespace queuefile;

namespace {

// Delivered bytes at the head of the file worth a rewrite of the rest.
constexpr std::int64_t CompactAfter = 4 * 1024 * 1024;
constexpr int OffsetWidth = 20;

} // namespace

DiskQueue::DiskQueue(QString path, std::size_t limit)
    : m_path(std::move(path))
    , m_limit(limit)
{
}

DiskQueue::~DiskQueue()
{
    close();
}

bool DiskQueue::fail(const QString& what)
{
    m_error = QStringLiteral("%1 %2: %3").arg(what, m_path, LastError());
    return false;
}

bool DiskQueue::open()
{
    close();
    m_fd = Open(m_path);
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot open the queue"));
    m_offsetFd = Open(m_path + QStringLiteral(".sent"));
    if (m_offsetFd < 0)
        return fail(QStringLiteral("Cannot open the delivered offset of"));
    const QByteArray bytes = ReadAll(m_fd);
    const std::int64_t saved = ReadAll(m_offsetFd).trimmed().toLongLong();
    // Only whole lines count: a crash in the middle of an append leaves a tail without '\n'.
    const qsizetype whole = bytes.lastIndexOf('\n') + 1;
    if (whole < bytes.size() && !Truncate(m_fd, whole))
        return fail(QStringLiteral("Cannot cut the broken end off"));
    m_fileSize = whole;
    // An offset that is no line start (a lost update or a file cut short) starts from the top.
    m_offset = saved > 0 && saved <= whole && bytes[qsizetype(saved - 1)] == '\n' ? saved : 0;
    m_messages.clear();
    for (qsizetype at = m_offset; at < whole;) {
        const qsizetype end = bytes.indexOf('\n', at);
        if (end > at)
            m_messages.push_back(bytes.mid(at, end - at));
        at = end + 1;
    }
    // Whatever the last run did, a message is never lost by keeping too many.
    if (m_messages.size() > m_limit)
        dropFront(m_messages.size() - m_limit);
    m_savedOffset = -1;
    saveOffset();
    m_error.clear();
    return Seek(m_fd, -1) || fail(QStringLiteral("Cannot seek in the queue"));
}

bool DiskQueue::append(const std::vector<QByteArray>& messages)
{
    QByteArray bytes;
    for (const QByteArray& m : messages) {
        bytes += m;
        bytes += '\n';
    }
    for (const QByteArray& m : messages)
        m_messages.push_back(m);
    if (m_messages.size() > m_limit)
        dropFront(m_messages.size() - m_limit);
    if (m_fd < 0)
        return false;
    if (m_memoryOnly) {
        // Some messages never reached the file: it is written anew with all of them.
        if (!compact())
            return fail(QStringLiteral("Cannot write the queue"));
        m_memoryOnly = false;
        m_error.clear();
        return true;
    }
    if (!WriteAll(m_fd, bytes.constData(), std::size_t(bytes.size())) || !Sync(m_fd)) {
        fail(QStringLiteral("Cannot write the queue"));
        // Back to the last whole line; the file and its offset stay as they were until
        // the file holds every message again.
        if (Truncate(m_fd, m_fileSize))
            Seek(m_fd, -1);
        m_memoryOnly = true;
        return false;
    }
    m_fileSize += bytes.size();
    m_error.clear();
    return true;
}

void DiskQueue::dropFront(std::size_t count)
{
    m_dropped += count;
    for (std::size_t i = 0; i < count; ++i) {
        m_offset += m_messages.front().size() + 1;
        m_messages.pop_front();
    }
}

void DiskQueue::removeFront(std::size_t count)
{
    for (std::size_t i = 0; i < count && !m_messages.empty(); ++i) {
        m_offset += m_messages.front().size() + 1;
        m_messages.pop_front();
    }
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (m_messages.empty() || now - m_savedAtMs >= 1000)
        saveOffset();
}

void DiskQueue::saveOffset()
{
    if (m_fd < 0 || m_offsetFd < 0 || m_memoryOnly)
        return;
    if (m_messages.empty() && m_fileSize > 0) {
        // All delivered: start both files afresh. Cut the queue first, so a crash in
        // between leaves an offset beyond the end, which open() reads as the top.
        if (Truncate(m_fd, 0) && Seek(m_fd, 0)) {
            m_fileSize = 0;
            m_offset = 0;
            // The offset must be back at 0 on disk before new messages are: an old offset
            // that happened to fall on a line start in them would skip messages.
            writeOffset(true);
            return;
        }
    } else if (m_offset >= CompactAfter && m_offset * 2 >= m_fileSize) {
        compact();
    }
    if (m_offset != m_savedOffset)
        writeOffset(false);
}

void DiskQueue::writeOffset(bool sync)
{
    char text[OffsetWidth + 2];
    std::snprintf(text, sizeof text, "%*lld\n", OffsetWidth, static_cast<long long>(m_offset));
    if (WriteAt(m_offsetFd, text, OffsetWidth + 1, 0) && (!sync || Sync(m_offsetFd)))
        m_savedOffset = m_offset;
    m_savedAtMs = QDateTime::currentMSecsSinceEpoch();
}

// Rewrites the undelivered messages to a new file that then replaces the queue. The
// offset goes to 0 before the replacement: a crash in between sends the delivered ones
// again rather than skipping any.
bool DiskQueue::compact()
{
    const QString temporary = m_path + QStringLiteral(".new");
    const int fd = Open(temporary);
    if (fd < 0)
        return false;
    QByteArray bytes;
    for (const QByteArray& m : m_messages) {
        bytes += m;
        bytes += '\n';
    }
    char zero[OffsetWidth + 2];
    std::snprintf(zero, sizeof zero, "%*d\n", OffsetWidth, 0);
    const bool ok = Truncate(fd, 0) && WriteAll(fd, bytes.constData(), std::size_t(bytes.size())) && Sync(fd)
        && WriteAt(m_offsetFd, zero, OffsetWidth + 1, 0) && Sync(m_offsetFd) && Replace(temporary, m_path);
    if (!ok) {
        Close(fd);
        m_savedOffset = -1;  // written again below
        return false;
    }
    Close(m_fd);
    m_fd = fd;
    Seek(m_fd, -1);
    m_fileSize = bytes.size();
    m_offset = 0;
    m_savedOffset = 0;
    return true;
}

void DiskQueue::close()
{
    saveOffset();
    if (m_fd >= 0)
        Close(m_fd);
    if (m_offsetFd >= 0) {
        Sync(m_offsetFd);
        Close(m_offsetFd);
    }
    m_fd = m_offsetFd = -1;
}

} // namespace hmx
