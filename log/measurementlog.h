// The measurement log jrt1.txt: one TAB-separated line per reading, CR LF, 8-bit
// text in the system's local code page. Every line is on disk when appendLine returns.
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstddef>
#include <cstdint>
#include <deque>

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

// The locale's time separator as the log writes it: the long time format's, else the
// short one's (some long formats use words such as the CJK hour sign), else a colon.
QString LogTimeSeparator(const QLocale& locale = QLocale());

// The locale's long time form without any time zone: separator, 12/24-hour clock,
// leading zero in hours or not, AM/PM marker placed as the locale places it.
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale());

// The eight fields joined by TAB, ending in CR LF, encoded in the local 8-bit code page.
QByteArray FormatLogLine(const LogLine& line, const QLocale& locale = QLocale());

class MeasurementLog {
public:
    explicit MeasurementLog(QString fileName = QStringLiteral("jrt1.txt"));
    ~MeasurementLog();  // closes the file

    QString fileName() const;

    // Creates the file empty (replacing an old one). On failure returns false and
    // errorString() says what failed, with the file name.
    bool create();

    // Reopens the file for appending and writes the line, flushed to disk.
    // On failure returns false with errorString() set; the line is kept and written
    // before the next line once the file can be written again, so no reading is lost.
    bool appendLine(const LogLine& line, const QLocale& locale = QLocale());

    // Lines kept back by failed writes.
    std::size_t pendingLineCount() const;
    // At most this many lines are kept; beyond it the oldest are dropped and counted.
    static constexpr std::size_t DefaultPendingLimit = 100000;
    void setPendingLimit(std::size_t limit);
    std::size_t droppedLineCount() const;

    // Closes the file after a last attempt to write any kept lines.
    void close();
    QString errorString() const;

    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;

private:
    void keep(QByteArray bytes);
    void closeHandle();
    // Writes the kept lines in order; false with reason set when one failed.
    bool writePending(QString& reason);
    QString withDrops(QString message) const;

    QString m_fileName;
    QString m_error;
    std::deque<QByteArray> m_pending;
    std::size_t m_pendingLimit = DefaultPendingLimit;
    std::size_t m_dropped = 0;
    std::intptr_t m_handle = -1;  // fd on POSIX, HANDLE on Windows
};

} // namespace hmx
