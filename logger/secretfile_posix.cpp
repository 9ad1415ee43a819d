#include "logger/secretfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hmx {

QString SecretFileKindProblem(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("cannot read the password file %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("the password file %1 is not a regular file").arg(path);
    return {};
}

QString SecretFileAccessProblem(const QFile& file, SecretSource source)
{
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0)
        return QStringLiteral("cannot read the password file %1: %2")
            .arg(file.fileName(), QString::fromLocal8Bit(std::strerror(errno)));
    const auto mode = QString::number(info.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0'));
    if (source == SecretSource::File) {
        if (info.st_mode & (S_IRWXG | S_IRWXO))
            return QStringLiteral("the password file %1 (mode %2) may be read or written by other users than its owner; "
                                  "allow its owner only (chmod 600 %1)")
                .arg(file.fileName(), mode);
        return {};
    }
    // systemd writes a credential 0400, root's, and lets the service's user read it by an
    // ACL entry, whose mask stat shows as the group's bits: a read bit there is that entry.
    if ((info.st_mode & (S_IRWXO | S_IWGRP | S_IXGRP)) || (info.st_uid != 0 && info.st_uid != ::geteuid()))
        return QStringLiteral("the credential %1 (mode %2) is open to other users; it should be systemd's own copy")
            .arg(file.fileName(), mode);
    return {};
}

} // namespace hmx
