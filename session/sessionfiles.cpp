#include "session/sessionfiles.h"

#include <QDir>
#include <QFileInfo>

namespace hmx {

namespace {

const QString LogName = QStringLiteral("jrt1.txt");
const QString QueueName = QStringLiteral("jrt1.queue");
const QString JournalName = QStringLiteral("hmx700-events.txt");

} // namespace

SessionFiles::SessionFiles(QString folder)
    : m_folder(std::move(folder))
{
}

SessionFiles SessionFiles::Beside(const QString& logFile)
{
    return SessionFiles(QFileInfo(logFile).absolutePath());
}

QString SessionFiles::path(const QString& name) const
{
    return m_folder.isEmpty() ? name : QDir(m_folder).filePath(name);
}

QString SessionFiles::log() const
{
    return path(LogName);
}

QString SessionFiles::lock() const
{
    return log() + QStringLiteral(".lock");
}

QString SessionFiles::queue() const
{
    return path(QueueName);
}

QString SessionFiles::journal() const
{
    return path(JournalName);
}

} // namespace hmx
