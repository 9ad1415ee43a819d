// Chart files: reads a text file chosen by the user into chart lines, either in the
// loader's fixed-column layout (dew point in hundredths on Series1) or, when the file
// is a measurement log written by this program, with all three quantities.
// Pure reader: streams the file through its own handle and hands points to a sink.
#pragma once

#include "log/chartfile_platform.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class QFile;
class QIODevice;

namespace hmx {

// Why a chart load stopped. The window words it in the interface language.
enum class ChartProblem {
    CannotOpen,      // detail: the system's reason
    NotRegularFile,  // fileType: what the name is instead
    ReadError,       // detail: the system's reason
    InvalidTime,     // detail: the time text
    Cancelled,
};

// A chart load that stopped: what went wrong, with which file. what() is an English
// wording for logs and tests.
class ChartFileError : public std::runtime_error {
public:
    ChartFileError(ChartProblem problem, const QString& fileName, const QString& detail = QString(),
                   chartfile::FileType fileType = chartfile::FileType::Regular);

    ChartProblem problem() const { return m_problem; }
    const QString& fileName() const { return m_fileName; }
    const QString& detail() const { return m_detail; }
    chartfile::FileType fileType() const { return m_fileType; }

private:
    ChartProblem m_problem;
    QString m_fileName;
    QString m_detail;
    chartfile::FileType m_fileType;
};

enum class ChartLine { DewPoint, Humidity, Ambient };  // Series1, Series6, Series7

// Where the loaded points go (the chart, or a test's recorder).
class ChartSink {
public:
    virtual ~ChartSink() = default;
    virtual void clearSeries(ChartLine line) = 0;
    virtual void setTimeAxisAutomatic() = 0;
    virtual void addPoint(ChartLine line, double x, double y) = 0;
    // After a clear: this many points will follow on the line (a hint).
    virtual void reservePoints(ChartLine, std::size_t) {}
};

// The locale's pieces of a time text, as the 8-bit bytes of the file.
struct TimeTextRules {
    std::string timeSeparator = ":";
    std::string decimalSeparator = ".";
    std::string amText = "AM";
    std::string pmText = "PM";

    static TimeTextRules fromLocale(const QLocale& locale = QLocale());
};

// A time of day as a fraction of a day. Accepts hours, optionally separator and
// minutes, then separator and seconds, then decimal separator and milliseconds;
// an AM/PM marker (the locale's, or "AM"/"PM" in any case) before or after; blanks
// before, between and after the parts. False for anything else.
bool ParseTimeOfDay(std::string_view text, const TimeTextRules& rules, double& dayFraction);

// The number a value text stands for. `complete` tells whether the text held exactly
// one number; when another character ends it early, the value is the digits read so
// far as one unsigned whole number ("-105\t" gives 105, "12.5\t" gives 125).
struct ValueText {
    double value = 0;
    bool complete = false;
};
ValueText ConvertValueText(std::string_view text);

// Loader layout: the line cut to 105 characters, the time text (8 characters at
// w + 2) and the value text (5 characters at w + 11), w being the width of the first
// field found from the first TAB among characters 2 to 5. Shorter at a short line.
inline constexpr std::size_t LoaderLineLength = 105;
struct LoaderFields {
    std::string_view timeText;
    std::string_view valueText;
};
LoaderFields SplitLoaderLine(std::string_view line);

// One line of the measurement log: eight TAB-separated fields (see ParseLogLine).
struct LogRecord {
    double time = 0;  // fraction of a day
    std::int16_t dewPoint = 0;
    std::int16_t humidity = 0;
    std::int16_t ambient = 0;
};
// True when `line` (without its line end) is a Log line: a reading number, a time
// the time conversion accepts, three canonical integers in int16 range and their
// display texts with two decimals that equal raw / 10 to four significant digits.
bool ParseLogLine(std::string_view line, const TimeTextRules& rules, LogRecord& record);

// True when the loader layout reads the line cleanly: a valid time text and a value
// text that is exactly one number. Every data line of a loader-layout file does.
bool IsCleanLoaderLine(std::string_view line, const TimeTextRules& rules);

enum class ChartFileKind { LoaderLayout, MeasurementLog };

struct ChartLoadResult {
    ChartFileKind kind = ChartFileKind::LoaderLayout;
    std::size_t lines = 0;   // lines read from the file
    std::size_t points = 0;  // points handed to the sink
    QDate lastDate;          // measurement log: calendar date given to its last line
};

// In our own log a time of day that goes back by less than this is the clock being
// set back (time sync, end of summer time), not a new day.
inline constexpr double ClockCorrectionLimit = 2.0 / 24;

struct ChartLoadOptions {
    QLocale locale;
    // Measurement log: the time its last line was written. Invalid: the modification
    // time of the file behind the device, taken after reading; else now.
    QDateTime lastModified;
    std::size_t bufferSize = 64 * 1024;
    // Raised from another thread: the load stops with ChartProblem::Cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Bytes read so far and the device's size at the start, after every buffer read.
    // A file that falls back to the fixed-column layout is read a second time.
    std::function<void(qint64 done, qint64 total)> progress;
};

// Loads an open, readable, seekable device. The sink's lines are cleared only right
// before the first point, so a file without a single point leaves them alone.
// Throws ChartFileError on a read error, an invalid time or a cancel (points delivered
// before that stay delivered).
ChartLoadResult LoadChart(QIODevice& device, const QString& name, ChartSink& sink, const ChartLoadOptions& options);

// Opens a regular file for reading with its own handle, never waiting on a FIFO or
// device. Throws ChartFileError (CannotOpen, NotRegularFile).
std::unique_ptr<QFile> OpenChartFile(const QString& fileName);

// OpenChartFile, then LoadChart; the handle is closed on every path.
ChartLoadResult LoadChartFile(const QString& fileName, ChartSink& sink, const QLocale& locale = QLocale());

// Date-time value (days since 30 December 1899) of midnight at the start of `date`.
double DateTimeValue(const QDate& date);

} // namespace hmx
