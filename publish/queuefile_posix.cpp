#include "publish/queuefile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hmx::queuefile {

int Open(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

QByteArray ReadAll(int fd)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return bytes;
        bytes.append(buffer, n);
    }
}

std::int64_t Read(int fd, char* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool WriteAt(int fd, const char* data, std::size_t size, std::int64_t offset)
{
    return ::pwrite(fd, data, size, offset) == ssize_t(size);
}

bool Truncate(int fd, std::int64_t size)
{
    return ::ftruncate(fd, size) == 0;
}

bool Seek(int fd, std::int64_t offset)
{
    return offset < 0 ? ::lseek(fd, 0, SEEK_END) >= 0 : ::lseek(fd, offset, SEEK_SET) == offset;
}

bool Sync(int fd)
{
    return ::fdatasync(fd) == 0;
}

bool Replace(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

void Close(int fd)
{
    ::close(fd);
}

QString LastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace hmx::queuefile
