// The folder lock on POSIX: flock on the lock file (per open file, so two copies in one
// process shut each other out too), released by the kernel when the owner dies.
#include "log/logfolderlock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hmx {

namespace {

int OpenRetrying(const QByteArray& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

qint64 ProcessIn(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? QByteArray(text, n).trimmed().toLongLong() : 0;
}

} // namespace

LogFolderLock::Result LogFolderLock::acquire()
{
    if (m_handle >= 0)
        return Result::Held;
    const QByteArray path = QFile::encodeName(m_path);
    // A last owner that removes the file between our open and our lock leaves us a lock
    // on a name nobody else sees: try again with the file the name now stands for.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = OpenRetrying(path, O_RDWR | O_CREAT);
        if (fd < 0) {
            m_reason = qt_error_string(errno);
            return Result::Failed;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc < 0 && errno == EINTR);
        if (rc < 0) {
            const int error = errno;
            m_other = error == EWOULDBLOCK ? ProcessIn(fd) : 0;
            m_reason = qt_error_string(error);
            ::close(fd);
            return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Failed;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || ::stat(path.constData(), &named) != 0 || held.st_ino != named.st_ino
            || held.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size()) {
            // The lock holds without the number; others are told less.
        }
        m_handle = fd;
        return Result::Held;
    }
    m_reason = qt_error_string(EAGAIN);
    return Result::Failed;
}

bool LogFolderLock::HeldNow(const QString& logName)
{
    const QByteArray path = QFile::encodeName(LogFolderLock(logName).m_path);
    const int fd = OpenRetrying(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);  // never waits on a FIFO
    if (fd < 0)
        return false;  // no lock file: nobody measures there (an owner removes it only once done)
    // A shared lock is refused while an owner holds its exclusive one; a lock file left
    // by an owner that died is free.
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    const bool held = rc < 0 && errno == EWOULDBLOCK;
    ::close(fd);  // lets go of the shared lock at once
    return held;
}

void LogFolderLock::release()
{
    if (m_handle < 0)
        return;
    // Removed while still held, so nobody can lock the file on its way out.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(int(m_handle));
    m_handle = -1;
}

} // namespace hmx
