// The files of one measuring session, all in one folder and named here alone: the log,
// the folder's lock beside it, the publishing queue and the event journal.
#pragma once

#include <QString>

namespace hmx {

class SessionFiles {
public:
    // `folder` empty: the current folder, and the names stay bare ("jrt1.txt"), as the
    // window shows them.
    explicit SessionFiles(QString folder = {});

    // The files of the session whose log is `logFile` (a log loaded, say).
    static SessionFiles Beside(const QString& logFile);

    QString folder() const { return m_folder; }
    QString log() const;      // jrt1.txt
    QString lock() const;     // jrt1.txt.lock, which LogFolderLock makes from the log's name
    QString queue() const;    // jrt1.queue, with jrt1.queue.sent and the rest beside it
    QString journal() const;  // hmx700-events.txt

private:
    QString path(const QString& name) const;

    QString m_folder;
};

} // namespace hmx
