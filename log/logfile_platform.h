// File primitives of the measurement log, one implementation per platform.
// Opens for appending hold the write access alone, as Windows' exclusive write access
// does: a log another writer holds cannot be opened (on POSIX: a writer taking the same
// lock), and other programs can still read it meanwhile.
#pragma once

#include <QByteArray>
#include <QString>

class QFile;

#include <cstdint>

namespace hmx::logfile {

using Handle = std::intptr_t;
inline constexpr Handle NoFile = -1;

enum class OpenStatus { Ok, Missing, Locked, Failed };

struct OpenResult {
    Handle handle = NoFile;
    OpenStatus status = OpenStatus::Failed;
    QString reason;  // the system's words for what went wrong; empty: the file is in use by another program
};

// Creates the file or empties an existing one, then closes it.
bool CreateEmpty(const QString& name, QString& reason);

// Opens the file for appending with exclusive write access. Without create a missing
// file gives OpenStatus::Missing.
OpenResult OpenForAppend(const QString& name, bool create);

// Writes all bytes at the end of the file, or nothing: a failed write is cut back,
// so the file never ends in half a line.
bool AppendAll(Handle handle, const QByteArray& bytes, QString& reason);

// Renames with the system's own call, never replacing an existing file and never
// copying: a failure leaves both names as they were.
bool RenameAlone(const QString& from, const QString& to, QString& reason);
// Puts what was written through the handle on the disk itself, not only in the
// system's cache, so a power cut or a crash of the system cannot take it back
// (fdatasync on POSIX, FlushFileBuffers on Windows).
bool Sync(Handle handle, QString& reason);
// The same for a file open in a QFile, after its flush().
bool Sync(QFile& file, QString& reason);
// A second handle to the same open file (closed with Close), so the file can be synced
// on another thread while this one goes on; NoFile when the system refused.
Handle Duplicate(Handle handle);
// Makes the entry of a file just created in a folder durable too. Nothing to do on
// Windows, where flushing the file covers it.
void SyncFolderOf(const QString& fileName);

// Lets other writers in again while the handle stays open.
void Release(Handle handle);

void Close(Handle handle);

} // namespace hmx::logfile
