// One measuring copy of the program per folder: a lock on the folder's log, held from
// Connect to the end, so a second copy started in the same folder cannot rename or
// take over the first one's live jrt1.txt. The lock is a file beside the log,
// "jrt1.txt.lock", holding the owner's process id; the system lets go of it when the
// owner dies, however it dies.
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace hmx {

class LogFolderLock {
public:
    enum class Result { Held, HeldByAnother, Failed };

    explicit LogFolderLock(const QString& logName);
    ~LogFolderLock();  // release()

    // Never waits. HeldByAnother: otherProcess() says by whom, where it can be told.
    Result acquire();
    // Lets go and removes the lock file.
    void release();

    // True when a copy of the program (this one too) holds the lock of `logName`'s folder
    // now, so that log and the files beside it are being written. Only looks: creates
    // no file, and holds nothing beyond the look itself.
    static bool HeldNow(const QString& logName);

    QString folder() const;        // in native form, absolute
    qint64 otherProcess() const;   // 0: not known
    QString reason() const;        // Failed: the system's words

    LogFolderLock(const LogFolderLock&) = delete;
    LogFolderLock& operator=(const LogFolderLock&) = delete;

private:
    QString m_path;
    qint64 m_other = 0;
    QString m_reason;
    std::intptr_t m_handle = -1;
};

} // namespace hmx
