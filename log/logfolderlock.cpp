// The folder lock's parts that are the same on every system.
#include "log/logfolderlock.h"

#include <QDir>
#include <QFileInfo>

namespace hmx {

LogFolderLock::LogFolderLock(const QString& logName)
    : m_path(QFileInfo(logName).absoluteFilePath() + QStringLiteral(".lock"))
{
}

LogFolderLock::~LogFolderLock()
{
    release();
}

QString LogFolderLock::folder() const
{
    return QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
}

qint64 LogFolderLock::otherProcess() const
{
    return m_other;
}

QString LogFolderLock::reason() const
{
    return m_reason;
}

} // namespace hmx
