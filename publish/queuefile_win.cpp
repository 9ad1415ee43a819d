// The queue's files on Windows: a Win32 handle shared for reading, writing and deletion (so
// the compacted file can replace one still open), used through a C runtime descriptor.
#include "publish/queuefile.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace hmx::queuefile {

namespace {

thread_local QString lastError;

bool Failed()
{
    lastError = qt_error_string(int(::GetLastError()));
    return false;
}

bool FailedErrno()
{
    lastError = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

const wchar_t* Native(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

} // namespace

int Open(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE h = ::CreateFileW(Native(native), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Failed(), -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    if (fd < 0) {
        FailedErrno();
        ::CloseHandle(h);
    }
    return fd;
}

QByteArray ReadAll(int fd)
{
    QByteArray bytes;
    char buffer[65536];
    for (int n; (n = ::_read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

std::int64_t Read(int fd, char* data, std::size_t size)
{
    const int n = ::_read(fd, data, unsigned(std::min<std::size_t>(size, 1 << 30)));
    if (n < 0)
        FailedErrno();
    return n;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const int n = ::_write(fd, data, unsigned(std::min<std::size_t>(size, 1 << 30)));
        if (n <= 0)
            return FailedErrno();
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool WriteAt(int fd, const char* data, std::size_t size, std::int64_t offset)
{
    OVERLAPPED at {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD written = 0;
    const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (!::WriteFile(h, data, DWORD(size), &written, &at))
        return Failed();
    return written == size;
}

bool Truncate(int fd, std::int64_t size)
{
    return ::_chsize_s(fd, size) == 0 || FailedErrno();
}

bool Seek(int fd, std::int64_t offset)
{
    const bool ok = offset < 0 ? ::_lseeki64(fd, 0, SEEK_END) >= 0 : ::_lseeki64(fd, offset, SEEK_SET) == offset;
    return ok || FailedErrno();
}

bool Sync(int fd)
{
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) || Failed();
}

bool Replace(const QString& from, const QString& to)
{
    const QString nativeFrom = QDir::toNativeSeparators(from);
    const QString nativeTo = QDir::toNativeSeparators(to);
    return ::MoveFileExW(Native(nativeFrom), Native(nativeTo), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        || Failed();
}

void Close(int fd)
{
    ::_close(fd);
}

QString LastError()
{
    return lastError;
}

} // namespace hmx::queuefile
