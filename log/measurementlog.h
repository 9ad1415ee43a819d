// The measurement log jrt1.txt: one TAB-separated line per reading, CR LF, 8-bit
// text in the system's local code page. Every line is on the disk itself (synced, not only
// in the system's cache) before its reading is shown.
#pragma once

#include "files/file.h"
#include "log/syncqueue.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

namespace hmx {

struct LogLine {
    std::int32_t number = 0;     // reading counter, 1 for the first reading of a run
    QTime time;                  // time of day the line is written; invalid: appendLine reads the clock
    std::int16_t dewPoint = 0;   // raw tenths
    std::int16_t humidity = 0;
    std::int16_t ambient = 0;
    QString dewPointText;        // the display texts the fields show
    QString humidityText;
    QString ambientText;
};

// The locale's long time form without any time zone: the chart's time separator,
// 12/24-hour clock, leading zero in hours or not, AM/PM marker placed as the locale
// places it.
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale());

// The eight fields joined by TAB, ending in CR LF, encoded in the local 8-bit code page.
QByteArray FormatLogLine(const LogLine& line, const QLocale& locale = QLocale());

// What went wrong with the log, for the window to word in the interface language.
struct LogProblem {
    enum class Kind {
        None,
        Create,       // the new log could not be created
        KeepEarlier,  // the earlier log could not be renamed out of the way
        Open,         // could not be opened for appending
        Write,        // a write failed
        Recreated,    // the file had gone; it was created again and the line written
        Unsaved,      // the lines kept at exit could not be saved anywhere
        NotRegular,   // the log's name stands for a FIFO or a device
    };
    Kind kind = Kind::None;
    QString file;             // the file concerned
    QString other;            // KeepEarlier: the name the earlier log was to get
    QString reason;           // the system's words; empty: the file is in use by another program
    std::size_t dropped = 0;  // readings dropped from the log so far (too many waiting)
    files::FileType type = files::FileType::Regular;  // NotRegular: what it is instead
};

// The name an earlier log gets at the next connection: "jrt1-2026-12-07-231605.txt"
// from its last change, with "-2", "-3" ... added when that name is taken.
QString EarlierLogName(const QString& logName, const QDateTime& lastModified);

// Saves the lines a file could not take, at the end, to a new file named after it:
// "jrt1-unsaved-2026-12-07-231605.txt" beside `fileName`, or in `fallbackFolder` when that
// fails; `head` (a byte-order mark, say) goes first. Never replaces a file, and never
// leaves an empty or partly written one behind. Returns the new file's path; empty when
// there were no lines, or with `reason` set when they could be saved nowhere.
QString SaveUnsavedLines(const QString& fileName, const std::deque<QByteArray>& lines, const QString& fallbackFolder,
                         const QDateTime& now, QString& reason, const QByteArray& head = {});

class MeasurementLog {
public:
    explicit MeasurementLog(QString fileName);
    ~MeasurementLog();  // closes the file

    QString fileName() const;

    // Creates the file empty. An earlier non-empty log is first renamed to
    // EarlierLogName (never replacing a file); if that fails nothing is touched. On
    // failure returns false and problem() says what failed.
    bool create();
    // The name the earlier log was kept under by the last create(); empty if none.
    QString keptAs() const;

    // Reopens the file for appending and writes the line. Without `whenDurable` the line
    // is synced to the disk before this returns; with it, the sync runs on the log's own
    // thread and `whenDurable` runs there once the line is on the disk (or at once in
    // turn when nothing could be written), so the caller's pace does not change.
    // Returns false whenever problem() is set: on a failure the line is kept and written
    // before the next line once the file can be written again, so no reading is lost;
    // Kind::Recreated is no failure (the file had gone and the line is in a new one).
    bool appendLine(const LogLine& line, const QLocale& locale = QLocale(),
                    std::function<void()> whenDurable = {});
    // Waits until every line handed to the log's own thread is on the disk.
    void waitUntilDurable();

    // Lines kept back by failed writes.
    std::size_t pendingLineCount() const;
    // At most this many lines are kept; beyond it the oldest are dropped and counted.
    static constexpr std::size_t DefaultPendingLimit = 100000;
    void setPendingLimit(std::size_t limit);
    std::size_t droppedLineCount() const;

    // Closes the file after a last attempt to write any kept lines.
    void close();

    // Writes the lines still kept to a new file "jrt1-unsaved-<date>-<time>.txt" beside
    // the log, or in `fallbackFolder` when that fails, and forgets them. Returns the
    // file's path; empty when nothing was kept or nothing could be written (problem()).
    QString saveKeptLines(const QString& fallbackFolder, const QDateTime& now = QDateTime::currentDateTime());

    LogProblem problem() const;

    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;

private:
    void keep(QByteArray bytes);
    // Writes the kept lines in order; false when one failed (m_file.error() says why).
    bool writePending();
    bool fail(LogProblem::Kind kind, const QString& reason, const QString& other = {});

    QString m_fileName;
    QString m_keptAs;
    LogProblem m_problem;
    std::deque<QByteArray> m_pending;
    std::size_t m_pendingLimit = DefaultPendingLimit;
    std::size_t m_dropped = 0;
    files::File m_file;
    SyncQueue m_syncQueue;  // last member: its thread ends before the rest goes
};

} // namespace hmx
