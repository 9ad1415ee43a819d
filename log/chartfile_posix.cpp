// Opening a chart file on POSIX: stat first, so devices and FIFOs are never opened;
// the open itself is non-blocking in case one took the file's place meanwhile.
#include "log/chartfile_platform.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hmx::chartfile {

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

OpenResult Failed(int error)
{
    OpenResult result;
    result.status = OpenStatus::Failed;
    result.reason = qt_error_string(error);
    return result;
}

OpenResult NotRegular(mode_t mode)
{
    OpenResult result;
    result.status = OpenStatus::NotRegular;
    result.type = TypeOf(mode);
    return result;
}

} // namespace

OpenResult OpenForReading(const QString& name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    if (::stat(path.constData(), &st) < 0)
        return Failed(errno);
    if (!S_ISREG(st.st_mode))
        return NotRegular(st.st_mode);

    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Failed(errno);
    if (::fstat(fd, &st) < 0) {
        const int error = errno;
        ::close(fd);
        return Failed(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return NotRegular(st.st_mode);
    }
    // Regular files never block; the flag goes so reads behave as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    OpenResult result;
    result.status = OpenStatus::Ok;
    result.fd = fd;
    result.type = FileType::Regular;
    return result;
}

void CloseUnused(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace hmx::chartfile
