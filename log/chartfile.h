// Chart files: reads a text file chosen by the user into chart lines, either in the
// loader's fixed-column layout (dew point in hundredths on Series1) or, when the file
// is a measurement log written by this program, with all three quantities.
// Pure reader: streams the file through its own handle and hands points to a sink.
#pragma once

#include "files/file.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
                   files::FileType fileType = files::FileType::Regular, std::size_t line = 0);

    ChartProblem problem() const { return m_problem; }
    const QString& fileName() const { return m_fileName; }
    // Text from the file is escaped (EscapedText), so it is safe on a terminal.
    const QString& detail() const { return m_detail; }
    files::FileType fileType() const { return m_fileType; }
    std::size_t line() const { return m_line; }  // InvalidTime: the file's line, 1 for the first

private:
    ChartProblem m_problem;
    QString m_fileName;
    QString m_detail;
    files::FileType m_fileType;
    std::size_t m_line;
};

// Bytes of a file as text that is safe to show anywhere: UTF-8 read as such, a
// backslash doubled, and every control or format character, escape sequence, NUL or
// byte that is not UTF-8 written as \t, \xNN or \uNNNN. At most `limit` characters of
// the text are kept, then "…".
QString EscapedText(std::string_view bytes, qsizetype limit = 80);

enum class ChartLine { DewPoint, Humidity, Ambient };  // Series1, Series6, Series7

// Rows a sink may read all at once, on several threads and in any order.
struct ChartRows {
    std::size_t count = 0;
    // Fills xs[i] and values[k][i] (for line k of the call) with row from + i, for
    // i < n; false, filling nothing, once the load is cancelled.
    std::function<bool(std::size_t from, std::size_t n, double* xs, double* const* values)> read;
};

// Where the loaded points go (the chart, or a test's recorder).
class ChartSink {
public:
    virtual ~ChartSink() = default;
    virtual void clearSeries(ChartLine line) = 0;
    virtual void setTimeAxisAutomatic() = 0;
    virtual void addPoint(ChartLine line, double x, double y) = 0;
    // Rows of points: row i puts X xs[i] on every line of `lines`, with values[k][i]
    // on lines[k]. By default addPoint row by row, line by line.
    virtual void addRows(std::span<const double> xs, std::span<const ChartLine> lines,
                         std::span<const double* const> values);
    // Every row of `rows` on `lines`, as addRows takes them in file order. By default
    // read and handed to addRows a block at a time, stopping at a cancel.
    virtual void addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows);
    // After a clear: this many points will follow on the line (a hint).
    virtual void reservePoints(ChartLine, std::size_t) {}
};

// The pieces of a time text, as the 8-bit bytes of the file. A log may have been
// written under another locale (on another computer), so besides the locale's own
// pieces every separator and marker the program writes under any locale is read.
struct TimeTextRules {
    // Between hours, minutes and seconds; one time text uses one of them throughout.
    std::vector<std::string> timeSeparators{":"};
    std::string decimalSeparator = ".";  // before milliseconds: the locale's only
    // In a log's display texts: the locale's, then every other one a locale has ('.', ',', '٫').
    std::vector<std::string> valueDecimals{".", ","};
    struct Marker {
        std::string text;
        bool pm = false;
    };
    // Tried in this order: the locale's own, "AM" and "PM", then those of every locale
    // whose long time form has a 12-hour clock, longest first. None starts with a
    // digit or a blank, and none is a morning marker in one locale and an afternoon
    // marker in another.
    std::vector<Marker> markers{{"AM", false}, {"PM", true}};

    static TimeTextRules fromLocale(const QLocale& locale = QLocale());
};

// A time of day as a fraction of a day. Accepts hours, optionally separator and
// minutes, then the same separator and seconds, then decimal separator and
// milliseconds; a marker (ASCII letters in any case) before or after; blanks before,
// between and after the parts. False for anything else.
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
// Why a line is no Log line.
enum class LogLineFault {
    None,
    FieldCount,     // not eight TAB-separated fields
    ReadingNumber,  // field 1
    Time,           // field 2
    Value,          // fields 3 to 8: a raw value, or its display text, or the two disagree
    Unfinished,     // the file's last line, without its line end
    TooLong,        // longer than any Log line
};

// True when `line` (without its line end) is a Log line: a reading number, a time
// the time conversion accepts, three canonical integers in int16 range and their
// display texts with two decimals that equal raw / 10 to four significant digits.
bool ParseLogLine(std::string_view line, const TimeTextRules& rules, LogRecord& record);
// The same, telling why not (None for a Log line).
LogLineFault CheckLogLine(std::string_view line, const TimeTextRules& rules, LogRecord& record);

// True when the loader layout reads the line cleanly: a valid time text and a value
// text that is exactly one number. Every data line of a loader-layout file does.
bool IsCleanLoaderLine(std::string_view line, const TimeTextRules& rules);

enum class ChartFileKind { LoaderLayout, MeasurementLog };

struct ChartLoadResult {
    ChartFileKind kind = ChartFileKind::LoaderLayout;
    std::size_t lines = 0;   // lines read from the file
    std::size_t points = 0;  // points handed to the sink
    QDate lastDate;          // measurement log: calendar date given to its last line
    // A file that is no measurement log: its first line that is no Log line (1 for the
    // first line; 0 when there is none), why, and its text (EscapedText).
    std::size_t notLogLine = 0;
    LogLineFault notLogFault = LogLineFault::None;
    QString notLogText;
};

// In our own log a time of day that goes back by less than this is the clock being
// set back (time sync, end of summer time), not a new day.
inline constexpr double ClockCorrectionLimit = 2.0 / 24;

struct ChartLoadOptions {
    QLocale locale;
    // Measurement log: the time its last line was written. Invalid: the modification
    // time of the file behind the device, taken after reading; else now.
    QDateTime lastModified;
    // A device that is not a file from its start is read a buffer at a time.
    std::size_t bufferSize = 64 * 1024;
    // A file is read a block at a time and its lines read as they come, on this many
    // threads (0: one per core), in pieces cut at line ends, each at least minPieceBytes
    // long: the first pieces that long, so reading starts with the first bytes in.
    std::size_t parts = 0;
    std::size_t minPieceBytes = 256 << 10;
    // Raised from another thread: the load stops with ChartProblem::Cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Bytes read so far and the device's size at the start, after every buffer read.
    // A file that falls back to the fixed-column layout is read a second time.
    std::function<void(qint64 done, qint64 total)> progress;
    // Only a measurement log is read: any other file gives no point and is not read in
    // the loader layout; the result says which line is not a Log line. A file of Log
    // lines only is taken as a log even where the loader layout could read it too.
    bool logOnly = false;
};

// Loads an open, readable, seekable device. The sink's lines are cleared only right
// before the first point, so a file without a single point leaves them alone.
// Throws ChartFileError on a read error, an invalid time or a cancel (points delivered
// before that stay delivered).
ChartLoadResult LoadChart(QIODevice& device, const QString& name, ChartSink& sink, const ChartLoadOptions& options);

// A file's bytes in memory.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
};
// Files up to this size are read whole into memory by ReadWholeFile.
inline constexpr qint64 MaxWholeFile = qint64(512) << 20;
// The first `size` bytes of a file open from its start (fewer if it is shorter now),
// when it is a file of at most MaxWholeFile bytes; else nothing. Throws ChartFileError
// (ReadError, Cancelled).
std::optional<FileBytes> ReadWholeFile(QIODevice& device, qint64 size, const QString& name,
                                       const ChartLoadOptions& options);

// The same for a file's bytes already in memory, read in pieces at once.
// With no lastModified in the options, a log's last line is dated now.
ChartLoadResult LoadChartBytes(std::string_view bytes, const QString& name, ChartSink& sink,
                               const ChartLoadOptions& options);

// Opens a regular file for reading with its own handle, never waiting on a FIFO or
// device. Throws ChartFileError (CannotOpen, NotRegularFile).
std::unique_ptr<QFile> OpenChartFile(const QString& fileName);

// OpenChartFile, then LoadChart; the handle is closed on every path.
ChartLoadResult LoadChartFile(const QString& fileName, ChartSink& sink, const QLocale& locale = QLocale());

// Date-time value (days since 30 December 1899) of midnight at the start of `date`.
double DateTimeValue(const QDate& date);

} // namespace hmx
