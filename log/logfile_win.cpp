// Log file primitives on Windows: a handle that lets others open, read, write and delete the
// file, with an exclusive byte-range lock over the whole file as the write lock (the
// counterpart of flock on POSIX), so Release can let other writers in while the handle stays
// open. A program that opens the log without sharing write access keeps it out as well.
#include "log/logfile_platform.h"

#include <QDir>
#include <QFile>

#include <io.h>

#include <windows.h>

namespace hmx::logfile {

namespace {

QString Reason(DWORD error)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return {};  // the file is in use by another program
    return qt_error_string(static_cast<int>(error));
}

bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

HANDLE Open(const QString& name, DWORD disposition)
{
    const QString native = QDir::toNativeSeparators(name);
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(native.utf16()), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The whole file, however far it grows.
constexpr DWORD WholeLow = MAXDWORD;
constexpr DWORD WholeHigh = MAXDWORD;

bool Lock(HANDLE h)
{
    OVERLAPPED at {};
    return ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, WholeLow, WholeHigh, &at) != 0;
}

} // namespace

bool CreateEmpty(const QString& name, QString& reason)
{
    // Emptied only once the lock is held, so a log another program is writing stays intact.
    const HANDLE h = Open(name, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
        reason = Reason(::GetLastError());
        return false;
    }
    bool ok = Lock(h) && ::SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
    if (!ok)
        reason = Reason(::GetLastError());
    ::CloseHandle(h);  // also drops the lock
    return ok;
}

OpenResult OpenForAppend(const QString& name, bool create)
{
    OpenResult result;
    const HANDLE h = Open(name, create ? OPEN_ALWAYS : OPEN_EXISTING);
    DWORD error = ERROR_SUCCESS;
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
    } else if (!Lock(h)) {
        error = ::GetLastError();
        ::CloseHandle(h);
    }
    if (error != ERROR_SUCCESS) {
        if (error == ERROR_FILE_NOT_FOUND)
            result.status = OpenStatus::Missing;
        else if (InUse(error))
            result.status = OpenStatus::Locked;
        else
            result.status = OpenStatus::Failed;
        result.reason = Reason(error);
        return result;
    }
    result.handle = reinterpret_cast<Handle>(h);
    result.status = OpenStatus::Ok;
    return result;
}

bool AppendAll(Handle handle, const QByteArray& bytes, QString& reason)
{
    const HANDLE h = reinterpret_cast<HANDLE>(handle);
    // No other writer can get in (the lock), so the end found here stays the end.
    LARGE_INTEGER before{};
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &before, FILE_END)) {
        reason = Reason(::GetLastError());
        return false;
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(h, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            // Half a line would break every later line of the file.
            if (::SetFilePointerEx(h, before, nullptr, FILE_BEGIN))
                ::SetEndOfFile(h);
            reason = Reason(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error);
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool RenameAlone(const QString& from, const QString& to, QString& reason)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    // Neither MOVEFILE_REPLACE_EXISTING nor MOVEFILE_COPY_ALLOWED: no overwrite, no copy.
    if (::MoveFileExW(reinterpret_cast<const wchar_t*>(source.utf16()), reinterpret_cast<const wchar_t*>(target.utf16()),
                      0))
        return true;
    reason = qt_error_string(static_cast<int>(::GetLastError()));
    return false;
}

bool Sync(Handle handle, QString& reason)
{
    if (::FlushFileBuffers(reinterpret_cast<HANDLE>(handle)))
        return true;
    reason = Reason(::GetLastError());
    return false;
}

bool Sync(QFile& file, QString& reason)
{
    const intptr_t os = ::_get_osfhandle(file.handle());
    if (os == -1) {
        reason = file.errorString();
        return false;
    }
    return Sync(static_cast<Handle>(os), reason);
}

Handle Duplicate(Handle handle)
{
    HANDLE copy = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, reinterpret_cast<HANDLE>(handle), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return NoFile;
    return reinterpret_cast<Handle>(copy);
}

void SyncFolderOf(const QString&)
{
}

void Release(Handle handle)
{
    if (handle == NoFile)
        return;
    OVERLAPPED at {};
    ::UnlockFileEx(reinterpret_cast<HANDLE>(handle), 0, WholeLow, WholeHigh, &at);
}

void Close(Handle handle)
{
    if (handle != NoFile)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace hmx::logfile
