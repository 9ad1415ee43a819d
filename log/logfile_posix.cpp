// Log file primitives on POSIX: open(2)/write(2) with a non-blocking flock as the write lock.
#include "log/logfile_platform.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hmx::logfile {

namespace {

QString Reason(int error)
{
    if (error == EWOULDBLOCK)
        return {};  // the file is in use by another program
    return qt_error_string(error);
}

int OpenRetrying(const QByteArray& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Non-blocking, so a FIFO put in the log's place cannot hold the open up; anything
// but a regular file is refused.
int OpenRegular(const QByteArray& path, int flags)
{
    const int fd = OpenRetrying(path, flags | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int LockExclusive(int fd)
{
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

} // namespace

bool CreateEmpty(const QString& name, QString& reason)
{
    // Emptied only after the lock is held, so a log another program is writing stays intact.
    const int fd = OpenRegular(QFile::encodeName(name), O_WRONLY | O_CREAT);
    if (fd < 0) {
        reason = Reason(errno);
        return false;
    }
    bool ok = true;
    if (LockExclusive(fd) < 0 || ::ftruncate(fd, 0) < 0) {
        reason = Reason(errno);
        ok = false;
    }
    ::close(fd);  // also drops the lock
    if (ok)
        SyncFolderOf(name);
    return ok;
}

OpenResult OpenForAppend(const QString& name, bool create)
{
    OpenResult result;
    const int fd = OpenRegular(QFile::encodeName(name), O_WRONLY | O_APPEND | (create ? O_CREAT : 0));
    if (fd < 0) {
        const int error = errno;
        result.status = error == ENOENT ? OpenStatus::Missing : OpenStatus::Failed;
        result.reason = Reason(error);
        return result;
    }
    if (LockExclusive(fd) < 0) {
        const int error = errno;
        ::close(fd);
        result.status = error == EWOULDBLOCK ? OpenStatus::Locked : OpenStatus::Failed;
        result.reason = Reason(error);
        return result;
    }
    if (create)
        SyncFolderOf(name);
    result.handle = fd;
    result.status = OpenStatus::Ok;
    return result;
}

bool AppendAll(Handle handle, const QByteArray& bytes, QString& reason)
{
    const int fd = static_cast<int>(handle);
    struct stat before {};
    if (::fstat(fd, &before) < 0) {
        reason = Reason(errno);
        return false;
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // Half a line would break every later line of the file.
            if (::ftruncate(fd, before.st_size) < 0) {
                // Nothing more can be done; the write error is the one to report.
            }
            reason = Reason(error);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
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
    if (::rename(source.constData(), target.constData()) != 0) {
        reason = qt_error_string(errno);
        return false;
    }
    return true;
}

bool Sync(Handle handle, QString& reason)
{
    int rc;
    do {
        rc = ::fdatasync(static_cast<int>(handle));
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        reason = Reason(errno);
    return rc == 0;
}

bool Sync(QFile& file, QString& reason)
{
    return Sync(file.handle(), reason);
}

Handle Duplicate(Handle handle)
{
    const int fd = ::fcntl(static_cast<int>(handle), F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? NoFile : fd;
}

void SyncFolderOf(const QString& fileName)
{
    const int fd = OpenRetrying(QFile::encodeName(QFileInfo(fileName).absolutePath()), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    // A folder that cannot be synced (some network file systems) leaves the file itself durable.
    ::fsync(fd);
    ::close(fd);
}

void Release(Handle handle)
{
    ::flock(static_cast<int>(handle), LOCK_UN);
}

void Close(Handle handle)
{
    if (handle != NoFile)
        ::close(static_cast<int>(handle));
}

} // namespace hmx::logfile
