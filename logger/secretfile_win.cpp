#include "logger/secretfile.h"

#include <QFileInfo>

namespace hmx {

QString SecretFileKindProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("cannot read the password file %1: no such file").arg(path);
    if (!info.isFile())
        return QStringLiteral("the password file %1 is not a regular file").arg(path);
    return {};
}

QString SecretFileAccessProblem(const QFile&, SecretSource)
{
    // Windows keeps access in lists that a mode cannot tell; the file's folder is the
    // user's to choose (see the README).
    return {};
}

} // namespace hmx
