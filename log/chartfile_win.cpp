// Opening a chart file on Windows: sharing lets the measurement log go on writing;
// a pipe or a device (COM1, NUL) is closed again unread.
#include "log/chartfile_platform.h"

#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>

namespace hmx::chartfile {

OpenResult OpenForReading(const QString& name)
{
    OpenResult result;
    const QString native = QDir::toNativeSeparators(name);
    const auto* path = reinterpret_cast<const wchar_t*>(native.utf16());
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.status = OpenStatus::NotRegular;
        result.type = FileType::Directory;
        return result;
    }
    const HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        result.status = OpenStatus::Failed;
        result.reason = qt_error_string(static_cast<int>(::GetLastError()));
        return result;
    }
    const DWORD type = ::GetFileType(h);
    if (type != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        result.status = OpenStatus::NotRegular;
        result.type = type == FILE_TYPE_PIPE ? FileType::Fifo
            : type == FILE_TYPE_CHAR         ? FileType::CharacterDevice
                                             : FileType::Other;
        return result;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        const int error = errno;
        ::CloseHandle(h);
        result.status = OpenStatus::Failed;
        result.reason = qt_error_string(error);
        return result;
    }
    result.status = OpenStatus::Ok;
    result.fd = fd;
    result.type = FileType::Regular;
    return result;
}

void CloseUnused(int fd)
{
    if (fd >= 0)
        ::_close(fd);
}

} // namespace hmx::chartfile
