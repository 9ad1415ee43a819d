// File primitives of the on-disk queue, one implementation per platform: a descriptor that
// reads, appends, writes in place, is cut short and synced, and files replaced by renaming
// even while open (on Windows every handle lets others rename and delete the file).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace hmx::queuefile {

// Opens for reading and writing, created if missing (only its owner may read it on POSIX);
// -1 on failure, with LastError() telling why.
int Open(const QString& path);
QByteArray ReadAll(int fd);
// Reads at most `size` bytes at the current position: how many, 0 at the end, -1 on failure.
std::int64_t Read(int fd, char* data, std::size_t size);
// Writes every byte at the current position.
bool WriteAll(int fd, const char* data, std::size_t size);
// Writes at `offset`; the current position afterwards is not to be relied on.
bool WriteAt(int fd, const char* data, std::size_t size, std::int64_t offset);
bool Truncate(int fd, std::int64_t size);
// Moves to `offset` from the start, or to the end when it is negative.
bool Seek(int fd, std::int64_t offset);
// Puts what was written on the disk itself (fdatasync, FlushFileBuffers).
bool Sync(int fd);
// Renames `from` to `to`, replacing it.
bool Replace(const QString& from, const QString& to);
void Close(int fd);
// The system's words for the last failure of these functions on this thread.
QString LastError();

} // namespace hmx::queuefile
