// Files on Windows: a Win32 handle that lets others read, write, rename and delete the file,
// with an exclusive byte-range lock over the whole file as the write lock of a file opened
// for appending (the counterpart of flock on POSIX), so unlock() can let other writers in
// while the handle stays open. A program that opens the file without sharing write access
// keeps it out as well.
#include "files/file.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace hmx::files {

namespace {

struct Access {
    DWORD rights;
    DWORD disposition;
};

Access AccessOf(File::Mode mode)
{
    switch (mode) {
    case File::Mode::Read:
        return {GENERIC_READ, OPEN_EXISTING};
    case File::Mode::Append:
        return {GENERIC_WRITE, OPEN_EXISTING};
    case File::Mode::AppendOrCreate:
        return {GENERIC_WRITE, OPEN_ALWAYS};
    case File::Mode::CreateNew:
        return {GENERIC_WRITE, CREATE_NEW};
    case File::Mode::Update:
        return {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS};
    }
    return {GENERIC_READ, OPEN_EXISTING};
}

bool HeldByAnother(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

HANDLE H(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

const wchar_t* Wide(const QString& native)
{
    return reinterpret_cast<const wchar_t*>(native.utf16());
}

// Reads and writes go in pieces a DWORD can count.
DWORD Piece(std::int64_t size)
{
    return DWORD(std::min<std::int64_t>(size, 1 << 30));
}

// The whole file, however far it grows.
constexpr DWORD WholeLow = MAXDWORD;
constexpr DWORD WholeHigh = MAXDWORD;

} // namespace

File::File(const QString& name, Mode mode)
{
    const QString native = QDir::toNativeSeparators(name);
    // A folder cannot be opened as a file; for reading it is told as what it is.
    if (mode == Mode::Read) {
        const DWORD attributes = ::GetFileAttributesW(Wide(native));
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            m_status = OpenStatus::NotRegular;
            m_type = FileType::Directory;
            fail(ERROR_INVALID_PARAMETER);
            return;
        }
    }
    const bool appending = mode == Mode::Append || mode == Mode::AppendOrCreate;
    const Access access = AccessOf(mode);
    const HANDLE h = ::CreateFileW(Wide(native), access.rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, access.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = ERROR_SUCCESS;
    if (h == INVALID_HANDLE_VALUE)
        error = ::GetLastError();
    // A pipe or a device (COM1, NUL) is closed again unused.
    const DWORD kind = error == ERROR_SUCCESS ? ::GetFileType(h) : FILE_TYPE_DISK;
    if (kind != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        m_status = OpenStatus::NotRegular;
        m_type = kind == FILE_TYPE_PIPE ? FileType::Fifo
            : kind == FILE_TYPE_CHAR    ? FileType::CharacterDevice
                                        : FileType::Other;
        fail(ERROR_INVALID_PARAMETER);
        return;
    }
    OVERLAPPED at {};
    if (error == ERROR_SUCCESS && appending
        && !::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, WholeLow, WholeHigh, &at)) {
        error = ::GetLastError();
        ::CloseHandle(h);
    }
    if (error != ERROR_SUCCESS) {
        if (appending && HeldByAnother(error)) {
            m_status = OpenStatus::InUse;
            return;
        }
        m_status = error == ERROR_FILE_NOT_FOUND ? OpenStatus::Missing : OpenStatus::Failed;
        fail(int(error));
        return;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    m_status = OpenStatus::Ok;
    m_type = FileType::Regular;
}

bool File::fail(int error)
{
    m_error = qt_error_string(error);
    return false;
}

std::int64_t File::read(char* data, std::int64_t size)
{
    DWORD n = 0;
    if (!::ReadFile(H(m_handle), data, Piece(size), &n, nullptr))
        return fail(int(::GetLastError())), -1;
    return n;
}

bool File::writeAll(const char* data, std::int64_t size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(H(m_handle), data, Piece(size), &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            return fail(int(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error));
        }
        data += written;
        size -= written;
    }
    return true;
}

bool File::writeAt(std::int64_t offset, const char* data, std::int64_t size)
{
    while (size > 0) {
        OVERLAPPED at {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD written = 0;
        if (!::WriteFile(H(m_handle), data, Piece(size), &written, &at) || written == 0) {
            const DWORD error = ::GetLastError();
            return fail(int(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error));
        }
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

std::int64_t File::size()
{
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(H(m_handle), &size))
        return fail(int(::GetLastError())), -1;
    return size.QuadPart;
}

bool File::resize(std::int64_t size)
{
    // SetEndOfFile cuts at the file pointer: it goes there and back, so the position stays.
    const HANDLE h = H(m_handle);
    LARGE_INTEGER here {};
    LARGE_INTEGER end {};
    end.QuadPart = size;
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &here, FILE_CURRENT) || !::SetFilePointerEx(h, end, nullptr, FILE_BEGIN))
        return fail(int(::GetLastError()));
    const bool cut = ::SetEndOfFile(h);
    const DWORD error = cut ? DWORD(ERROR_SUCCESS) : ::GetLastError();
    ::SetFilePointerEx(h, here, nullptr, FILE_BEGIN);
    return cut || fail(int(error));
}

bool File::seek(std::int64_t offset)
{
    LARGE_INTEGER to {};
    to.QuadPart = offset;
    return ::SetFilePointerEx(H(m_handle), to, nullptr, FILE_BEGIN) || fail(int(::GetLastError()));
}

bool File::seekToEnd()
{
    return ::SetFilePointerEx(H(m_handle), LARGE_INTEGER{}, nullptr, FILE_END) || fail(int(::GetLastError()));
}

bool File::sync()
{
    return ::FlushFileBuffers(H(m_handle)) || fail(int(::GetLastError()));
}

File File::duplicate() const
{
    File copy;
    HANDLE h = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, H(m_handle), self, &h, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        copy.fail(int(::GetLastError()));
        return copy;
    }
    copy.m_handle = reinterpret_cast<std::intptr_t>(h);
    copy.m_status = OpenStatus::Ok;
    copy.m_type = m_type;
    return copy;
}

void File::unlock()
{
    if (!isOpen())
        return;
    OVERLAPPED at {};
    ::UnlockFileEx(H(m_handle), 0, WholeLow, WholeHigh, &at);
}

bool File::handOver(QFile& file)
{
    const HANDLE h = H(std::exchange(m_handle, Closed));
    // A C runtime descriptor, which QFile takes; closing it closes the handle.
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        m_error = qt_error_string(errno);  // the C runtime's reason
        ::CloseHandle(h);
        return false;
    }
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    m_error = file.errorString();
    ::_close(fd);
    return false;
}

void File::close()
{
    if (isOpen())
        ::CloseHandle(H(std::exchange(m_handle, Closed)));
}

bool RenameAlone(const QString& from, const QString& to, QString& reason)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    // Neither MOVEFILE_REPLACE_EXISTING nor MOVEFILE_COPY_ALLOWED: no overwrite, no copy.
    if (::MoveFileExW(Wide(source), Wide(target), 0))
        return true;
    reason = qt_error_string(int(::GetLastError()));
    return false;
}

bool RenameOver(const QString& from, const QString& to, QString& reason)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    if (::MoveFileExW(Wide(source), Wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = qt_error_string(int(::GetLastError()));
    return false;
}

void SyncFolderOf(const QString&)
{
}

// The volume serial number and the file index of a handle opened without any access
// (attributes only), sharing everything, so a log another program holds open is looked
// at without disturbing it. Names in the device namespace (\\.\pipe\..., \\.\COM1) are
// not opened at all: opening a pipe's name would connect to it.
FileStatus StatusOf(const QString& name)
{
    const QString native = QDir::toNativeSeparators(name);
    if (native.startsWith(QLatin1String("\\\\.\\"))
        || native.startsWith(QLatin1String("\\\\?\\GLOBALROOT"), Qt::CaseInsensitive))
        return FileStatus::present(FileType::Other, {});
    // No access asked: only the attributes; FILE_FLAG_BACKUP_SEMANTICS opens a folder too.
    const HANDLE h = ::CreateFileW(Wide(native), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
