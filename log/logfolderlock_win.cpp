// The folder lock on Windows: the lock file opened without sharing write access and
// deleted when its last handle closes, which the system does when the owner dies.
#include "log/logfolderlock.h"

#include <QDir>

#include <windows.h>

namespace hmx {

namespace {

HANDLE Open(const QString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    const QString native = QDir::toNativeSeparators(path);
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(native.utf16()), access, share, nullptr, disposition, flags,
                         nullptr);
}

qint64 ProcessIn(const QString& path)
{
    const HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    char text[32] = {};
    DWORD read = 0;
    const bool ok = ::ReadFile(h, text, sizeof text - 1, &read, nullptr);
    ::CloseHandle(h);
    return ok && read > 0 ? QByteArray(text, int(read)).trimmed().toLongLong() : 0;
}

} // namespace

LogFolderLock::Result LogFolderLock::acquire()
{
    if (m_handle != -1)
        return Result::Held;
    const HANDLE h = Open(m_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        m_reason = qt_error_string(int(error));
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
            m_other = ProcessIn(m_path);
            return Result::HeldByAnother;
        }
        return Result::Failed;
    }
    const QByteArray pid = QByteArray::number(qint64(::GetCurrentProcessId())) + "\r\n";
    DWORD written = 0;
    ::SetEndOfFile(h);
    ::WriteFile(h, pid.constData(), DWORD(pid.size()), &written, nullptr);
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return Result::Held;
}

bool LogFolderLock::HeldNow(const QString& logName)
{
    // The owner's handle deletes the file when it closes, also when the owner dies: the
    // file is there only while a copy holds it. Looking at its attributes opens nothing.
    const QString native = QDir::toNativeSeparators(LogFolderLock(logName).m_path);
    return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(native.utf16())) != INVALID_FILE_ATTRIBUTES;
}

void LogFolderLock::release()
{
    if (m_handle == -1)
        return;
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));  // deletes the file
    m_handle = -1;
}

} // namespace hmx
