// Which file a name stands for on Windows: the volume serial number and the file index
// of a handle opened without any access (attributes only), sharing everything, so a
// log another program holds open is looked at without disturbing it. Names in the
// device namespace (\\.\pipe\..., \\.\COM1) are not opened at all: opening a pipe's
// name would connect to it.
#include "files/outputcheck.h"

#include <QDir>

#include <windows.h>

namespace hmx::files {

namespace {

bool InDeviceNamespace(const QString& native)
{
    return native.startsWith(QLatin1String("\\\\.\\")) || native.startsWith(QLatin1String("\\\\?\\GLOBALROOT"), Qt::CaseInsensitive);
}

} // namespace

FileStatus StatusOf(const QString& name)
{
    const QString native = QDir::toNativeSeparators(name);
    if (InDeviceNamespace(native))
        return FileStatus::present(FileType::Other, {});
    const auto* path = reinterpret_cast<const wchar_t*>(native.utf16());
    // No access asked: only the attributes; FILE_FLAG_BACKUP_SEMANTICS opens a folder too.
    const HANDLE h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
            return FileStatus::missing();
        return FileStatus::unknown(qt_error_string(int(error)));
    }
    FileStatus status;
    const DWORD kind = ::GetFileType(h);
    if (kind == FILE_TYPE_CHAR) {
        status = FileStatus::present(FileType::CharacterDevice, {});
    } else if (kind == FILE_TYPE_PIPE) {
        status = FileStatus::present(FileType::Fifo, {});
    } else if (kind != FILE_TYPE_DISK) {
        status = FileStatus::present(FileType::Other, {});
    } else {
        BY_HANDLE_FILE_INFORMATION info {};
        if (!::GetFileInformationByHandle(h, &info)) {
            status = FileStatus::unknown(qt_error_string(int(::GetLastError())));
        } else {
            const FileType type = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileType::Directory
                                                                                       : FileType::Regular;
            const FileIdentity identity{info.dwVolumeSerialNumber,
                                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
            status = FileStatus::present(type, identity);
        }
    }
    ::CloseHandle(h);
    return status;
}

} // namespace hmx::files
