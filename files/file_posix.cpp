// Files on POSIX: open(2) and its kin, retried on EINTR; stat before an open, so devices
// and FIFOs are never opened, and the open non-blocking in case one took the name
// meanwhile; a non-blocking flock as the write lock of a file opened for appending.
#include "files/file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace hmx::files {

namespace {

FileType TypeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileType::Regular;
    if (S_ISDIR(mode))
        return FileType::Directory;
    if (S_ISFIFO(mode))
        return FileType::Fifo;
    if (S_ISCHR(mode))
        return FileType::CharacterDevice;
    if (S_ISBLK(mode))
        return FileType::BlockDevice;
    if (S_ISSOCK(mode))
        return FileType::Socket;
    return FileType::Other;
}

template <typename Call>
auto Retrying(Call call)
{
    decltype(call()) rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc;
}

int FlagsOf(File::Mode mode)
{
    switch (mode) {
    case File::Mode::Read:
        return O_RDONLY;
    case File::Mode::Append:
        return O_WRONLY | O_APPEND;
    case File::Mode::AppendOrCreate:
        return O_WRONLY | O_APPEND | O_CREAT;
    case File::Mode::CreateNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    case File::Mode::Update:
        return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

} // namespace

File::File(const QString& name, Mode mode)
{
    const QByteArray path = QFile::encodeName(name);
    const auto notRegular = [this](mode_t type) {
        m_status = OpenStatus::NotRegular;
        m_type = TypeOf(type);
        m_error = qt_error_string(EINVAL);
    };
    // A folder is opened for reading (and then refused) or fails to open for writing, as
    // the system says; anything else but a regular file is not opened at all.
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        notRegular(st.st_mode);
        return;
    }
    const int fd = Retrying([&] {
        return ::open(path.constData(), FlagsOf(mode) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                      mode == Mode::Update ? 0600 : 0666);
    });
    if (fd < 0) {
        const int error = errno;
        m_status = error == ENOENT ? OpenStatus::Missing : OpenStatus::Failed;
        fail(error);
        return;
    }
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        fail(error);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        notRegular(st.st_mode);
        return;
    }
    if (mode == Mode::Append || mode == Mode::AppendOrCreate) {
        if (Retrying([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
            const int error = errno;
            ::close(fd);
            m_status = error == EWOULDBLOCK ? OpenStatus::InUse : OpenStatus::Failed;
            if (error != EWOULDBLOCK)
                fail(error);
            return;
        }
        if (mode == Mode::AppendOrCreate)
            SyncFolderOf(name);
    }
    // Regular files never block; the flag goes so reads and writes behave as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_handle = fd;
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
    const ssize_t n = Retrying([&] { return ::read(Fd(m_handle), data, std::size_t(size)); });
    if (n < 0)
        fail(errno);
    return n;
}

bool File::writeAll(const char* data, std::int64_t size)
{
    while (size > 0) {
        const ssize_t n = Retrying([&] { return ::write(Fd(m_handle), data, std::size_t(size)); });
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        data += n;
        size -= n;
    }
    return true;
}

bool File::writeAt(std::int64_t offset, const char* data, std::int64_t size)
{
    while (size > 0) {
        const ssize_t n = Retrying([&] { return ::pwrite(Fd(m_handle), data, std::size_t(size), off_t(offset)); });
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

std::int64_t File::size()
{
    struct stat st {};
    if (::fstat(Fd(m_handle), &st) != 0)
        return fail(errno), -1;
    return st.st_size;
}

bool File::resize(std::int64_t size)
{
    return Retrying([&] { return ::ftruncate(Fd(m_handle), off_t(size)); }) == 0 || fail(errno);
}

bool File::seek(std::int64_t offset)
{
    return ::lseek(Fd(m_handle), off_t(offset), SEEK_SET) == offset || fail(errno);
}

bool File::seekToEnd()
{
    return ::lseek(Fd(m_handle), 0, SEEK_END) >= 0 || fail(errno);
}

bool File::sync()
{
    return Retrying([this] { return ::fdatasync(Fd(m_handle)); }) == 0 || fail(errno);
}

File File::duplicate() const
{
    File copy;
    const int fd = ::fcntl(Fd(m_handle), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        copy.fail(errno);
        return copy;
    }
    copy.m_handle = fd;
    copy.m_status = OpenStatus::Ok;
    copy.m_type = m_type;
    return copy;
}

void File::unlock()
{
    if (isOpen())
        ::flock(Fd(m_handle), LOCK_UN);
}

bool File::handOver(QFile& file)
{
    const int fd = Fd(std::exchange(m_handle, Closed));
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    m_error = file.errorString();
    ::close(fd);
    return false;
}

void File::close()
{
    if (isOpen())
        ::close(Fd(std::exchange(m_handle, Closed)));
}

bool RenameAlone(const QString& from, const QString& to, QString& reason)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#ifdef __linux__
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        reason = qt_error_string(errno);
        return false;
    }
#endif
    // A file system without the no-replace rename: checked first, then renamed.
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0) {
        reason = qt_error_string(EEXIST);
        return false;
    }
    return RenameOver(from, to, reason);
}

bool RenameOver(const QString& from, const QString& to, QString& reason)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    reason = qt_error_string(errno);
    return false;
}

void SyncFolderOf(const QString& fileName)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = Retrying([&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return;
    // A folder that cannot be synced (some network file systems) leaves the file itself durable.
    ::fsync(fd);
    ::close(fd);
}

FileStatus StatusOf(const QString& name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        // Nothing there (or a folder on the way missing): writing creates it or says why.
        if (errno == ENOENT || errno == ENOTDIR)
            return FileStatus::missing();
        return FileStatus::unknown(qt_error_string(errno));
    }
    return FileStatus::present(TypeOf(st.st_mode), {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)});
}

} // namespace hmx::files
