// Which file a name stands for on POSIX: stat (links followed) gives the type, the
// device and the inode without opening anything.
#include "files/outputcheck.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

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

} // namespace

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
