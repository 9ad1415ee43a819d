#include "publish/diskqueue.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>

namespace hmx {

using files::File;

namespace {

// Delivered bytes at the head of the file worth a rewrite of the rest.
constexpr std::int64_t CompactAfter = 4 * 1024 * 1024;
constexpr int OffsetWidth = 20;
constexpr std::size_t ReadPiece = 1 << 16;

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

bool DiskQueue::fail(const QString& what, const QString& reason)
{
    m_error = QStringLiteral("%1 %2: %3").arg(what, m_path, reason);
    return false;
}

bool DiskQueue::open()
{
    close();
    m_messages.clear();
    m_firstSeq = 0;
    m_dropped = 0;
    m_memoryOnly = false;
    m_unsynced = false;
    m_file = File(m_path, File::Mode::Update);
    if (!m_file.isOpen())
        return fail(QStringLiteral("Cannot open the queue"), m_file.error());
    m_offsetFile = File(m_path + QStringLiteral(".sent"), File::Mode::Update);
    if (!m_offsetFile.isOpen())
        return fail(QStringLiteral("Cannot open the delivered offset of"), m_offsetFile.error());
    const std::int64_t saved = m_offsetFile.readAll().trimmed().toLongLong();
    if (!m_file.seek(0))
        return fail(QStringLiteral("Cannot read the queue"), m_file.error());
    // Piece by piece, keeping the newest `limit` lines: a file an outage made huge never
    // needs its size in memory.
    std::deque<QByteArray> lines;
    std::deque<std::int64_t> starts;
    std::size_t total = 0;
    std::size_t firstLive = 0;  // the line that starts at the saved offset
    bool savedIsLineStart = saved == 0;
    bool blank = false;
    std::int64_t whole = 0;  // bytes up to the last '\n'
    QByteArray carry;
    std::vector<char> piece(ReadPiece);
    for (;;) {
        const std::int64_t n = m_file.read(piece.data(), std::int64_t(piece.size()));
        if (n < 0)
            return fail(QStringLiteral("Cannot read the queue"), m_file.error());
        if (n == 0)
            break;
        carry.append(piece.data(), qsizetype(n));
        qsizetype at = 0;
        for (qsizetype end; (end = carry.indexOf('\n', at)) >= 0; at = end + 1) {
            if (whole == saved && saved > 0) {
                savedIsLineStart = true;
                firstLive = total;
            }
            blank = blank || end == at;
            lines.push_back(carry.mid(at, end - at));
            starts.push_back(whole);
            whole += end - at + 1;
            ++total;
            if (lines.size() > m_limit) {
                lines.pop_front();
                starts.pop_front();
            }
        }
        carry.remove(0, at);
    }
    // Only whole lines count: a crash in the middle of an append leaves a tail without '\n'.
    if (!carry.isEmpty() && !m_file.resize(whole))
        return fail(QStringLiteral("Cannot cut the broken end off"), m_file.error());
    // An offset that is no line start (a lost update or a file cut short) starts from the top.
    if (!savedIsLineStart)
        firstLive = 0;
    const std::size_t live = total - firstLive;
    while (lines.size() > live) {
        lines.pop_front();
        starts.pop_front();
    }
    // Whatever the last run did, a message is never lost by keeping too many.
    m_dropped = live - lines.size();
    for (QByteArray& line : lines)
        if (!line.isEmpty())
            m_messages.push_back(std::move(line));
    m_offset = starts.empty() ? whole : starts.front();
    m_fileSize = whole;
    m_fileLines = total;
    m_savedOffset = -1;
    m_error.clear();
    // Blank lines would upset the offsets kept per message: a rewrite drops them.
    if ((blank || wantsRewrite()) && !rewrite())
        return false;
    saveOffset();
    return m_file.seekToEnd() || fail(QStringLiteral("Cannot seek in the queue"), m_file.error());
}

bool DiskQueue::append(const std::vector<QByteArray>& messages, bool sync)
{
    QByteArray bytes;
    std::size_t count = 0;
    for (const QByteArray& m : messages) {
        if (m.isEmpty())
            continue;
        bytes += m;
        bytes += '\n';
        m_messages.push_back(m);
        ++count;
    }
    if (m_messages.size() > m_limit)
        dropFront(m_messages.size() - m_limit);
    if (!m_file.isOpen() || m_memoryOnly)
        return false;  // the error stays until a rewrite puts every message in the file
    if ((!bytes.isEmpty() && !m_file.writeAll(bytes)) || (sync && (m_unsynced || !bytes.isEmpty()) && !m_file.sync())) {
        fail(QStringLiteral("Cannot write the queue"), m_file.error());
        // Back to the last whole line; the file and its offset stay as they were until
        // a rewrite puts every message in it again.
        if (m_file.resize(m_fileSize))
            m_file.seekToEnd();
        m_memoryOnly = true;
        return false;
    }
    m_fileSize += bytes.size();
    m_fileLines += count;
    m_unsynced = !sync;
    m_error.clear();
    return true;
}

bool DiskQueue::sync()
{
    if (!m_unsynced || !m_file.isOpen() || m_memoryOnly)
        return !m_memoryOnly;
    if (!m_file.sync()) {
        // What the disk may not have kept is written anew by a rewrite.
        m_memoryOnly = true;
        return fail(QStringLiteral("Cannot write the queue"), m_file.error());
    }
    m_unsynced = false;
    return true;
}

void DiskQueue::dropFront(std::size_t count)
{
    m_dropped += count;
    for (std::size_t i = 0; i < count; ++i) {
        m_offset += m_messages.front().size() + 1;
        m_messages.pop_front();
    }
    m_firstSeq += count;
}

void DiskQueue::removeFront(std::size_t count)
{
    count = std::min(count, m_messages.size());
    for (std::size_t i = 0; i < count; ++i) {
        m_offset += m_messages.front().size() + 1;
        m_messages.pop_front();
    }
    m_firstSeq += count;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (m_messages.empty() || now - m_savedAtMs >= 1000)
        saveOffset();
}

void DiskQueue::saveOffset()
{
    if (!m_file.isOpen() || !m_offsetFile.isOpen() || m_memoryOnly)
        return;
    if (m_messages.empty() && m_fileSize > 0) {
        // All delivered: start both files afresh. Cut the queue first, so a crash in
        // between leaves an offset beyond the end, which open() reads as the top.
        if (m_file.resize(0) && m_file.seek(0)) {
            m_fileSize = 0;
            m_fileLines = 0;
            m_offset = 0;
            m_unsynced = false;
            // The offset must be back at 0 on disk before new messages are: an old offset
            // that happened to fall on a line start in them would skip messages.
            writeOffset(true);
            return;
        }
    }
    if (m_offset != m_savedOffset)
        writeOffset(false);
}

void DiskQueue::writeOffset(bool sync)
{
    char text[OffsetWidth + 2];
    std::snprintf(text, sizeof text, "%*lld\n", OffsetWidth, static_cast<long long>(m_offset));
    if (m_offsetFile.writeAt(0, text, OffsetWidth + 1) && (!sync || m_offsetFile.sync()))
        m_savedOffset = m_offset;
    m_savedAtMs = QDateTime::currentMSecsSinceEpoch();
}

bool DiskQueue::writeZeroOffset()
{
    char zero[OffsetWidth + 2];
    std::snprintf(zero, sizeof zero, "%*d\n", OffsetWidth, 0);
    return m_offsetFile.writeAt(0, zero, OffsetWidth + 1) && m_offsetFile.sync();
}

bool DiskQueue::wantsRewrite() const
{
    if (!m_file.isOpen() || !m_offsetFile.isOpen())
        return false;
    return m_memoryOnly || m_fileLines > lineBound() || (m_offset >= CompactAfter && m_offset * 2 >= m_fileSize);
}

DiskQueue::Rewrite DiskQueue::beginRewrite() const
{
    Rewrite r;
    r.messages.assign(m_messages.begin(), m_messages.end());
    r.firstSeq = m_firstSeq;
    return r;
}

// The undelivered messages to a new file, synced; it replaces the queue in finishRewrite.
void DiskQueue::writeRewrite(Rewrite& r) const
{
    r.file = File(m_path + QStringLiteral(".new"), File::Mode::Update);
    QByteArray bytes;
    bool ok = r.file.isOpen() && r.file.resize(0) && r.file.seek(0);
    for (std::size_t i = 0; ok && i < r.messages.size(); ++i) {
        bytes += r.messages[i];
        bytes += '\n';
        if (bytes.size() >= qsizetype(ReadPiece) || i + 1 == r.messages.size()) {
            ok = r.file.writeAll(bytes);
            r.bytes += bytes.size();
            bytes.clear();
        }
    }
    r.written = ok && r.file.sync();
    if (!r.written)
        r.reason = r.file.error();
}

// What came meanwhile goes to the new file too; what left meanwhile is skipped by its
// offset. The offset goes to 0 before the replacement: a crash in between sends the
// delivered ones again rather than skipping any.
bool DiskQueue::finishRewrite(Rewrite& r)
{
    const auto giveUp = [&] {
        r.file.close();
        return false;
    };
    if (!r.written || !m_file.isOpen() || !m_offsetFile.isOpen())
        return giveUp();
    const std::uint64_t snapshotEnd = r.firstSeq + r.messages.size();
    QByteArray tail;
    std::size_t tailLines = 0;
    for (std::uint64_t seq = std::max(snapshotEnd, m_firstSeq); seq < endSeq(); ++seq, ++tailLines) {
        tail += m_messages[std::size_t(seq - m_firstSeq)];
        tail += '\n';
    }
    std::int64_t offset = 0;
    const std::uint64_t gone = std::min<std::uint64_t>(m_firstSeq - r.firstSeq, r.messages.size());
    for (std::uint64_t i = 0; i < gone; ++i)
        offset += r.messages[std::size_t(i)].size() + 1;
    const auto failed = [&](const File& file) {
        r.reason = file.error();
        return false;
    };
    if (!((r.file.writeAll(tail) && r.file.sync()) || failed(r.file)) || !(writeZeroOffset() || failed(m_offsetFile))) {
        m_savedOffset = -1;  // written again by the next saveOffset
        fail(QStringLiteral("Cannot rewrite the queue"), r.reason);
        return giveUp();
    }
    // Windows replaces no file that is open: both are closed for the swap, and whichever
    // file then has the queue's name is opened again.
    r.file.close();
    m_file.close();
    const bool replaced = files::RenameOver(m_path + QStringLiteral(".new"), m_path, r.reason);
    if (!replaced)
        fail(QStringLiteral("Cannot rewrite the queue"), r.reason);
    m_file = File(m_path, File::Mode::Update);
    if (m_file.isOpen()) {
        m_file.seekToEnd();
    } else if (replaced) {
        r.reason = m_file.error();
        fail(QStringLiteral("Cannot open the queue"), r.reason);
    }
    if (!replaced || !m_file.isOpen()) {
        m_savedOffset = -1;
        if (!m_file.isOpen())
            m_memoryOnly = true;  // the messages are kept in memory only
        return false;
    }
    m_fileSize = r.bytes + tail.size();
    m_fileLines = r.messages.size() + tailLines;
    m_offset = offset;
    m_savedOffset = 0;
    if (m_offset != 0)
        writeOffset(false);
    m_memoryOnly = false;
    m_unsynced = false;
    m_error.clear();
    return true;
}

bool DiskQueue::rewrite()
{
    Rewrite r = beginRewrite();
    writeRewrite(r);
    return finishRewrite(r) || fail(QStringLiteral("Cannot rewrite the queue"), r.reason);
}

bool DiskQueue::setAside(const QByteArray& message)
{
    File file(setAsidePath(), File::Mode::Update);
    return file.isOpen() && file.seekToEnd() && file.writeAll(message + '\n') && file.sync();
}

void DiskQueue::close()
{
    saveOffset();
    if (m_file.isOpen() && m_unsynced)
        m_file.sync();
    if (m_offsetFile.isOpen())
        m_offsetFile.sync();
    m_file.close();
    m_offsetFile.close();
    m_unsynced = false;
}

} // namespace hmx
