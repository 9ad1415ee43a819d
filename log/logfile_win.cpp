// Log file primitives on Windows: a share mode that lets others read but not write.
#include "log/logfile_platform.h"

#include <QDir>

#include <windows.h>

namespace hmx::logfile {

namespace {

QString Reason(DWORD error)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return {};  // the file is in use by another program
    return qt_error_string(static_cast<int>(error));
}

HANDLE Open(const QString& name, DWORD access, DWORD disposition)
{
    const QString native = QDir::toNativeSeparators(name);
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(native.utf16()), access, FILE_SHARE_READ, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

bool CreateEmpty(const QString& name, QString& reason)
{
    const HANDLE h = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
        reason = Reason(::GetLastError());
        return false;
    }
    ::CloseHandle(h);
    return true;
}

OpenResult OpenForAppend(const QString& name, bool create)
{
    OpenResult result;
    const HANDLE h = Open(name, GENERIC_WRITE, create ? OPEN_ALWAYS : OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            result.status = OpenStatus::Missing;
        else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
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
    // No other writer can get in (share mode), so the end found here stays the end.
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

void Release(Handle)
{
    // The share mode holds until the handle is closed at the next reopen, as it always did here.
}

void Close(Handle handle)
{
    if (handle != NoFile)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace hmx::logfile
