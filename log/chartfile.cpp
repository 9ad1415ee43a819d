// Chart-file reader: the loader's fixed-column layout and the program's own log.
#include "log/chartfile.h"
#include "log/chartblocks.h"
#include "log/chartfileparts.h"
#include "log/loglineparser.h"
#include "log/measurementlog.h"

#include "files/outputcheck.h"
#include "readings/clocktext.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace hmx {

namespace {

constexpr double MsPerDay = 86400000.0;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

std::string local8(const QString& text) { return text.toLocal8Bit().toStdString(); }

// Consumes `word` at p (ASCII letters compared without case).
bool matchWord(const char*& p, const char* end, std::string_view word)
{
    if (word.empty() || std::size_t(end - p) < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (asciiUpper(p[i]) != asciiUpper(word[i]))
            return false;
    }
    p += word.size();
    return true;
}

void skipBlanks(const char*& p, const char* end)
{
    while (p != end && *p == ' ')
        ++p;
}

// Reads one or more digits; the value saturates well above every valid range.
bool readNumber(const char*& p, const char* end, int& value)
{
    if (p == end || !isDigit(*p))
        return false;
    int v = 0;
    while (p != end && isDigit(*p)) {
        v = v < 100000 ? v * 10 + (*p - '0') : v;
        ++p;
    }
    value = v;
    return true;
}

enum class Marker { None, Am, Pm };

Marker readMarker(const char*& p, const char* end, const TimeTextRules& rules)
{
    // No marker starts with a digit: a time without one costs a single look.
    if (p == end || isDigit(*p))
        return Marker::None;
    for (const TimeTextRules::Marker& marker : rules.markers) {
        if (matchWord(p, end, marker.text))
            return marker.pm ? Marker::Pm : Marker::Am;
    }
    return Marker::None;
}

std::string upperAscii(std::string text)
{
    for (char& c : text)
        c = asciiUpper(c);
    return text;
}

// What the program writes under any locale: the time separators, the decimal separators
// of the display texts, and the markers of the locales whose long time form has a
// 12-hour clock, as the log writer writes them.
struct AnyLocalePieces {
    std::vector<std::string> separators;
    std::vector<std::string> decimals;
    std::vector<TimeTextRules::Marker> markers;  // longest first
};

const AnyLocalePieces& AnyLocale()
{
    static const AnyLocalePieces pieces = [] {
        AnyLocalePieces all;
        std::vector<std::pair<std::string, int>> seen;  // upper-cased text, bit 1 morning, bit 2 afternoon
        auto note = [&seen](const QString& marker, bool pm) {
            const std::string bytes = local8(marker);
            // Only what this system's 8-bit code page can hold can be in a file written here.
            if (bytes.empty() || isDigit(bytes[0]) || bytes[0] == ' ' || QString::fromLocal8Bit(bytes) != marker)
                return;
            const std::string key = upperAscii(bytes);
            auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& e) { return upperAscii(e.first) == key; });
            if (it == seen.end())
                seen.emplace_back(bytes, pm ? 2 : 1);
            else
                it->second |= pm ? 2 : 1;
        };
        const QList<QLocale> locales =
            QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        for (const QLocale& locale : locales) {
            const std::string separator = local8(readings::TimeSeparator(locale));
            if (std::find(all.separators.begin(), all.separators.end(), separator) == all.separators.end())
                all.separators.push_back(separator);
            const std::string decimal = local8(locale.decimalPoint());
            if (QString::fromLocal8Bit(decimal) == locale.decimalPoint()
                && std::find(all.decimals.begin(), all.decimals.end(), decimal) == all.decimals.end())
                all.decimals.push_back(decimal);
            const QString morning = LongTimeText(QTime(1, 0), locale);
            const QString afternoon = LongTimeText(QTime(13, 0), locale);
            if (!locale.amText().isEmpty() && morning.contains(locale.amText()))
                note(locale.amText(), false);
            if (!locale.pmText().isEmpty() && afternoon.contains(locale.pmText()))
                note(locale.pmText(), true);
        }
        for (const auto& [text, kinds] : seen) {
            if (kinds != 3)  // a marker meaning morning in one locale and afternoon in another says nothing
                all.markers.push_back({text, kinds == 2});
        }
        std::stable_sort(all.markers.begin(), all.markers.end(),
                         [](const auto& a, const auto& b) { return a.text.size() > b.text.size(); });
        return all;
    }();
    return pieces;
}

std::string EnglishText(ChartProblem problem, const QString& name, const QString& detail, files::FileType type,
                        std::size_t line)
{
    QString text;
    switch (problem) {
    case ChartProblem::CannotOpen:
        text = QStringLiteral("Cannot open %1 for reading: %2").arg(name, detail);
        break;
    case ChartProblem::NotRegularFile:
        text = QStringLiteral("%1 is not a regular file but %2").arg(name, files::FileTypeName(type));
        break;
    case ChartProblem::ReadError:
        text = QStringLiteral("Cannot read %1: %2").arg(name, detail);
        break;
    case ChartProblem::InvalidTime:
        text = QStringLiteral("'%1' is not a valid time").arg(detail);
        if (line > 0)
            text += QStringLiteral(" (line %1)").arg(line);
        break;
    case ChartProblem::Cancelled:
        text = QStringLiteral("Loading %1 was cancelled").arg(name);
        break;
    }
    return text.toStdString();
}

void ThrowIfCancelled(const ChartLoadOptions& options, const QString& name)
{
    if (options.cancel && options.cancel->load(std::memory_order_acquire))
        throw ChartFileError(ChartProblem::Cancelled, name);
}

// Threads that read a file's pieces at once.
std::size_t ThreadsFor(const ChartLoadOptions& options)
{
    return options.parts > 0 ? options.parts : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
}

// Buffered line reader over a device: hands out each line without its LF (and
// without the CR before it), keeping at most `cap` characters of it. Lines that
// fit in the buffer are returned without copying.
class LineReader {
public:
    LineReader(QIODevice& device, const QString& name, const ChartLoadOptions& options, std::size_t cap)
        : m_device(device), m_name(name), m_options(options),
          m_buffer(options.bufferSize < 16 ? 16 : options.bufferSize), m_cap(cap), m_total(device.size())
    {
        m_line.reserve(cap + 1);
    }

    // False at the end of the file; throws ChartFileError on a read error.
    bool next(std::string_view& line)
    {
        if (m_pos == m_len && !fill())
            return false;
        m_line.clear();
        std::size_t total = 0;
        char last = 0;
        bool endedByLf = false;
        bool spanning = false;
        for (;;) {
            const char* start = m_buffer.data() + m_pos;
            const std::size_t avail = m_len - m_pos;
            const char* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
            const std::size_t n = lf ? std::size_t(lf - start) : avail;
            if (!spanning && lf) {
                m_pos += n + 1;
                std::size_t length = n;
                if (length > 0 && start[length - 1] == '\r')
                    --length;
                m_truncated = length > m_cap;
                m_ended = true;
                line = std::string_view(start, m_truncated ? m_cap : length);
                return true;
            }
            // Keep one character beyond the cap so a CR before the LF can be told apart.
            if (total < m_cap + 1)
                m_line.append(start, std::min(n, m_cap + 1 - total));
            total += n;
            if (n > 0)
                last = start[n - 1];
            m_pos += n;
            if (lf) {
                ++m_pos;
                endedByLf = true;
                break;
            }
            spanning = true;
            if (!fill())
                break;
        }
        std::size_t length = total;
        if (endedByLf && length > 0 && last == '\r')
            --length;
        m_truncated = length > m_cap;
        m_ended = endedByLf;
        line = std::string_view(m_line.data(), std::min(length, m_cap));
        return true;
    }

    // The last line was longer than the cap.
    bool truncated() const { return m_truncated; }
    // The last line had its line end (only the file's last line can lack one).
    bool ended() const { return m_ended; }

    bool rewind()
    {
        if (!m_device.seek(0))
            return false;
        m_pos = m_len = 0;
        m_eof = false;
        m_done = 0;
        return true;
    }

private:
    bool fill()
    {
        if (m_eof)
            return false;
        ThrowIfCancelled(m_options, m_name);
        const qint64 n = m_device.read(m_buffer.data(), qint64(m_buffer.size()));
        if (n < 0)
            throw ChartFileError(ChartProblem::ReadError, m_name, m_device.errorString());
        m_pos = 0;
        m_len = std::size_t(n);
        if (n == 0) {
            m_eof = true;
            return false;
        }
        m_done += n;
        if (m_options.progress)
            m_options.progress(m_done, m_total);
        return true;
    }

    QIODevice& m_device;
    QString m_name;
    const ChartLoadOptions& m_options;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    bool m_eof = false;
    std::size_t m_cap;
    qint64 m_total;
    qint64 m_done = 0;
    std::string m_line;
    bool m_truncated = false;
    bool m_ended = true;
};

// A canonical signed decimal integer within int16: "0", or an optional '-' and
// digits without a leading zero.
bool parseCanonicalInt16(std::string_view text, std::int16_t& value)
{
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i = 1;
    const std::size_t digits = text.size() - i;
    if (digits == 0 || digits > 5)
        return false;
    if (text[i] == '0' && (digits > 1 || negative))
        return false;
    int v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative)
        v = -v;
    if (v < -32768 || v > 32767)
        return false;
    value = std::int16_t(v);
    return true;
}

// A display text: optional '-', digits, one of the decimal separators, exactly two
// digits; in hundredths.
bool parseShownText(std::string_view text, const std::vector<std::string>& decimals, long& hundredths)
{
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i = 1;
    long whole = 0;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (++digits > 6)
            return false;
        whole = whole * 10 + (text[i] - '0');
        ++i;
    }
    if (digits == 0 || i == text.size())
        return false;
    const auto decimal = std::find_if(decimals.begin(), decimals.end(), [&](const std::string& d) {
        return !d.empty() && text.substr(i, d.size()) == d;
    });
    if (decimal == decimals.end())
        return false;
    i += decimal->size();
    if (text.size() != i + 2 || !isDigit(text[i]) || !isDigit(text[i + 1]))
        return false;
    hundredths = whole * 100 + (text[i] - '0') * 10 + (text[i + 1] - '0');
    if (negative)
        hundredths = -hundredths;
    return true;
}

// The sink's lines are cleared (and the time axis made automatic) only when the
// first point is there, so a load without a single point leaves the chart alone.
// Points go to the sink in rows (one X, a value for each line), a block at a time.
class FirstPointGate {
public:
    static constexpr std::size_t BlockRows = 8192;

    // `expected`: points that will follow on each line, when known.
    FirstPointGate(ChartSink& sink, std::initializer_list<ChartLine> lines, std::size_t expected = 0)
        : m_sink(sink), m_lines(lines), m_expected(expected), m_values(m_lines.size())
    {
    }

    // values[k] for line k of the gate.
    void addRow(double x, std::initializer_list<double> values)
    {
        m_xs.push_back(x);
        std::size_t k = 0;
        for (double v : values)
            m_values[k++].push_back(v);
        if (m_xs.size() == BlockRows)
            flush();
    }

    // Every row at once, after those added before.
    void addRows(const ChartRows& rows)
    {
        flush();
        if (rows.count == 0)
            return;
        open();
        m_sink.addRowsAtOnce(m_lines, rows);
    }

    void flush()
    {
        if (m_xs.empty())
            return;
        open();
        std::vector<const double*> columns;
        for (const std::vector<double>& v : m_values)
            columns.push_back(v.data());
        m_sink.addRows(m_xs, m_lines, columns);
        m_xs.clear();
        for (std::vector<double>& v : m_values)
            v.clear();
    }

private:
    void open()
    {
        if (m_open)
            return;
        for (ChartLine l : m_lines) {
            m_sink.clearSeries(l);
            if (m_expected > 0)
                m_sink.reservePoints(l, m_expected);
        }
        m_sink.setTimeAxisAutomatic();
        m_open = true;
    }

    ChartSink& m_sink;
    std::vector<ChartLine> m_lines;
    std::size_t m_expected;
    bool m_open = false;
    std::vector<double> m_xs;
    std::vector<std::vector<double>> m_values;
};

// The lines of a log in pieces in file order, each piece with the days passed since
// its own first line; dated when the last line is known.
class HeldLog {
public:
    // A line read here (the first lines, or every line of a streamed file).
    void add(const LogRecord& record)
    {
        if (m_pieces.empty())
            m_pieces.emplace_back();
        chartparts::LogPiece& piece = m_pieces.back();
        piece.days.line(record.time, piece.rows.size(), chartparts::LogNewDay);
        piece.rows.push_back({record.time, record.dewPoint, record.humidity, record.ambient});
    }
    // Lines read elsewhere, after those held.
    void add(chartparts::LogPiece&& piece) { m_pieces.push_back(std::move(piece)); }
    void release() { std::vector<chartparts::LogPiece>().swap(m_pieces); }

    // Dates the lines and hands them to the sink: the last was written at `modified`,
    // earlier days count back.
    void deliver(const QDateTime& modifiedAt, ChartSink& sink, const ChartLoadOptions& options, const QString& name,
                 ChartLoadResult& result) const
    {
        std::vector<const chartparts::LogPiece*> pieces;
        for (const chartparts::LogPiece& piece : m_pieces)
            pieces.push_back(&piece);
        const chartparts::DatedPieces<chartparts::LogPiece> dated(std::move(pieces), chartparts::LogNewDay);
        const QDateTime modified = modifiedAt.toLocalTime();
        QDate lastDate = modified.date();
        const double modifiedFraction = modified.time().msecsSinceStartOfDay() / MsPerDay;
        // A line stamped later in the day than the file's modification was written the day
        // before (the write crossed midnight); a few seconds allow for coarse file times.
        if (dated.lastTime() > modifiedFraction + 5.0 / 86400.0)
            lastDate = lastDate.addDays(-1);
        const double origin = DateTimeValue(lastDate) - double(dated.days());
        ThrowIfCancelled(options, name);
        ChartRows rows;
        rows.count = dated.rows();
        rows.read = [&](std::size_t from, std::size_t n, double* xs, double* const* values) {
            if (options.cancel && options.cancel->load(std::memory_order_relaxed))
                return false;
            std::size_t i = 0;
            dated.read(from, n, [&](const chartparts::LogRow& row, std::size_t day) {
                xs[i] = origin + (double(day) + row.time);
                values[0][i] = row.dewPoint / 10.0;
                values[1][i] = row.humidity / 10.0;
                values[2][i] = row.ambient / 10.0;
                ++i;
            });
            return true;
        };
        FirstPointGate gate(sink, {ChartLine::DewPoint, ChartLine::Humidity, ChartLine::Ambient}, rows.count);
        gate.addRows(rows);
        ThrowIfCancelled(options, name);
        result.kind = ChartFileKind::MeasurementLog;
        result.points = rows.count * 3;
        result.lastDate = lastDate;
    }

private:
    std::vector<chartparts::LogPiece> m_pieces;
};

// The loader layout's times in order: one that goes back from the line before is on
// the next day. Gives the time with its days.
class LoaderDays {
public:
    double at(double t)
    {
        if (m_previous > 0 && t + m_days < m_previous)
            ++m_days;
        m_previous = t + m_days;
        return m_previous;
    }

private:
    int m_days = 0;
    double m_previous = 0;
};

QDateTime ModificationTimeOf(const QIODevice& device)
{
    if (const auto* file = qobject_cast<const QFileDevice*>(&device)) {
        const QDateTime modified = file->fileTime(QFileDevice::FileModificationTime);
        if (modified.isValid())
            return modified;
    }
    return QDateTime::currentDateTime();
}

} // namespace

ChartFileError::ChartFileError(ChartProblem problem, const QString& fileName, const QString& detail,
                               files::FileType fileType, std::size_t line)
    : std::runtime_error(EnglishText(problem, fileName, detail, fileType, line)),
      m_problem(problem), m_fileName(fileName), m_detail(detail), m_fileType(fileType), m_line(line)
{
}

QString EscapedText(std::string_view bytes, qsizetype limit)
{
    QString out;
    qsizetype shown = 0;
    std::size_t i = 0;
    const auto hex = [](unsigned value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')); };
    while (i < bytes.size()) {
        if (shown == limit) {
            out += QChar(0x2026);
            break;
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        // The length and value of a well-formed UTF-8 sequence here; 0 for a stray byte.
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                                           : byte >= 0xF0 && byte <= 0xF4                     ? 4
                                                                                              : 0;
        char32_t code = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0u;
            if ((next & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are no characters.
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            length = 0;
        if (length == 0) {
            out += QStringLiteral("\\x") + hex(byte, 2);
            ++i;
            ++shown;
            continue;
        }
        i += length;
        ++shown;
        if (code == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (code == u'\t') {
            out += QStringLiteral("\\t");
        } else if (code < 0x20 || code == 0x7F) {
            out += QStringLiteral("\\x") + hex(unsigned(code), 2);
        } else {
            const QChar::Category category = QChar::category(code);
            // Controls (C1 too), format characters (direction overrides), unassigned and
            // private ones, and separators other than the plain blank.
            const bool hidden = category == QChar::Other_Control || category == QChar::Other_Format
                || category == QChar::Other_Surrogate || category == QChar::Other_NotAssigned
                || category == QChar::Other_PrivateUse || category == QChar::Separator_Line
                || category == QChar::Separator_Paragraph || (category == QChar::Separator_Space && code != u' ');
            if (hidden)
                out += code > 0xFFFF ? QStringLiteral("\\U") + hex(unsigned(code), 8) : QStringLiteral("\\u") + hex(unsigned(code), 4);
            else
                out += QString::fromUcs4(&code, 1);
        }
    }
    return out;
}

TimeTextRules TimeTextRules::fromLocale(const QLocale& locale)
{
    TimeTextRules rules;
    const AnyLocalePieces& any = AnyLocale();
    rules.timeSeparators = {local8(readings::TimeSeparator(locale))};
    for (const std::string& separator : any.separators) {
        if (separator != rules.timeSeparators.front())
            rules.timeSeparators.push_back(separator);
    }
    const std::string decimal = local8(locale.decimalPoint());
    if (!decimal.empty())
        rules.decimalSeparator = decimal;
    rules.valueDecimals = {rules.decimalSeparator};
    for (const std::string& other : any.decimals) {
        if (other != rules.decimalSeparator)
            rules.valueDecimals.push_back(other);
    }
    rules.markers.clear();
    const std::string am = local8(locale.amText());
    const std::string pm = local8(locale.pmText());
    // The locale's own meaning first, where one of its markers means otherwise elsewhere.
    if (!am.empty() && !isDigit(am[0]))
        rules.markers.push_back({am, false});
    if (!pm.empty() && !isDigit(pm[0]))
        rules.markers.push_back({pm, true});
    rules.markers.push_back({"AM", false});
    rules.markers.push_back({"PM", true});
    rules.markers.insert(rules.markers.end(), any.markers.begin(), any.markers.end());
    return rules;
}

namespace {

// The shape a clock writes, H:MM:SS or HH:MM:SS with the locale's own one-byte
// separator, which the general reading below takes the same way: the locale's
// separator is tried first, and a byte that is no letter, digit or blank can be
// nothing else there. Every data line of a loader-layout file has it.
bool ParseClockShape(std::string_view text, const TimeTextRules& rules, double& dayFraction)
{
    if ((text.size() != 7 && text.size() != 8) || rules.timeSeparators.empty() || rules.timeSeparators.front().size() != 1)
        return false;
    const char separator = rules.timeSeparators.front()[0];
    const bool letter = (separator | 0x20) >= 'a' && (separator | 0x20) <= 'z';
    if (isDigit(separator) || separator == ' ' || letter)
        return false;
    const char* t = text.data();
    const std::size_t h = text.size() - 6;  // digits of the hours
    if (t[h] != separator || t[h + 3] != separator)
        return false;
    int fields[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, h + 1, h + 4};
    const std::size_t widths[3] = {h, 2, 2};
    for (int k = 0; k < 3; ++k) {
        for (std::size_t i = 0; i < widths[k]; ++i) {
            const char c = t[starts[k] + i];
            if (!isDigit(c))
                return false;
            fields[k] = fields[k] * 10 + (c - '0');
        }
    }
    if (fields[0] >= 24 || fields[1] >= 60 || fields[2] >= 60)
        return false;
    dayFraction = (((fields[0] * 60.0 + fields[1]) * 60.0 + fields[2]) * 1000.0 + 0) / MsPerDay;
    return true;
}

} // namespace

bool ParseTimeOfDay(std::string_view text, const TimeTextRules& rules, double& dayFraction)
{
    if (ParseClockShape(text, rules, dayFraction))
        return true;
    const char* p = text.data();
    const char* const end = p + text.size();
    skipBlanks(p, end);
    Marker marker = readMarker(p, end, rules);
    skipBlanks(p, end);
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
    if (!readNumber(p, end, hours))
        return false;
    skipBlanks(p, end);
    const std::string* separator = nullptr;
    for (const std::string& candidate : rules.timeSeparators) {
        if (matchWord(p, end, candidate)) {
            separator = &candidate;
            break;
        }
    }
    if (separator) {
        skipBlanks(p, end);
        if (!readNumber(p, end, minutes))
            return false;
        skipBlanks(p, end);
        if (matchWord(p, end, *separator)) {
            skipBlanks(p, end);
            if (!readNumber(p, end, seconds))
                return false;
            skipBlanks(p, end);
            if (matchWord(p, end, rules.decimalSeparator)) {
                skipBlanks(p, end);
                if (!readNumber(p, end, millis))
                    return false;
                skipBlanks(p, end);
            }
        }
    }
    if (marker == Marker::None) {
        marker = readMarker(p, end, rules);
        skipBlanks(p, end);
    }
    if (p != end || minutes >= 60 || seconds >= 60 || millis >= 1000)
        return false;
    if (marker == Marker::None) {
        if (hours >= 24)
            return false;
    } else {
        if (hours < 1 || hours > 12)
            return false;
        if (marker == Marker::Am && hours == 12)
            hours = 0;
        else if (marker == Marker::Pm && hours < 12)
            hours += 12;
    }
    dayFraction = (((hours * 60.0 + minutes) * 60.0 + seconds) * 1000.0 + millis) / MsPerDay;
    return true;
}

ValueText ConvertValueText(std::string_view text)
{
    // Digits alone, as the loader layout writes its values: a whole number, exact
    // in a double up to 15 digits, as the general reading below gives it.
    if (!text.empty() && text.size() <= 15) {
        std::int64_t whole = 0;
        std::size_t k = 0;
        for (; k < text.size() && isDigit(text[k]); ++k)
            whole = whole * 10 + (text[k] - '0');
        if (k == text.size())
            return {double(whole), true};
    }
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;
    double digitsValue = 0;  // the digits read so far as one whole number
    std::size_t digits = 0;
    while (i < n && isDigit(text[i])) {
        digitsValue = digitsValue * 10 + (text[i] - '0');
        ++digits;
        ++i;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            digitsValue = digitsValue * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
    }
    bool exponentOk = true;
    if (digits > 0 && i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        exponentOk = i < n && isDigit(text[i]);
        while (i < n && isDigit(text[i]))
            ++i;
    }
    ValueText result;
    if (digits == 0)
        return result;  // empty, blanks, a lone sign: 0
    if (i != n || !exponentOk) {
        result.value = std::isfinite(digitsValue) ? digitsValue : 0;
        return result;
    }
    result.complete = true;
    double value = 0;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + n;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    // Beyond the range of a double there is nothing sensible to draw.
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        value = 0;
    result.value = negative ? -value : value;
    return result;
}

LoaderFields SplitLoaderLine(std::string_view line)
{
    if (line.size() > LoaderLineLength)
        line = line.substr(0, LoaderLineLength);
    // Positions past the end of a short line are simply not a TAB.
    std::size_t w = 5;
    for (std::size_t k = 1; k <= 4; ++k) {
        if (k < line.size() && line[k] == '\t') {
            w = k;
            break;
        }
    }
    LoaderFields fields;
    fields.timeText = line.substr(std::min(w + 1, line.size()), 8);
    fields.valueText = line.substr(std::min(w + 10, line.size()), 5);
    return fields;
}

LogLineFault CheckLogLine(std::string_view line, const TimeTextRules& rules, LogRecord& record)
{
    std::string_view fields[8];
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (count == 8)
            return LogLineFault::FieldCount;
        fields[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (count != 8)
        return LogLineFault::FieldCount;

    const std::string_view number = fields[0];
    if (number.empty() || number.size() > 18 || number[0] == '0')
        return LogLineFault::ReadingNumber;
    for (char c : number) {
        if (!isDigit(c))
            return LogLineFault::ReadingNumber;
    }
    if (!ParseTimeOfDay(fields[1], rules, record.time))
        return LogLineFault::Time;
    std::int16_t raw[3];
    for (int k = 0; k < 3; ++k) {
        long shown = 0;
        if (!parseCanonicalInt16(fields[2 + k], raw[k]) || !parseShownText(fields[5 + k], rules.valueDecimals, shown)
            || !ShownMatchesRaw(shown, raw[k]))
            return LogLineFault::Value;
    }
    record.dewPoint = raw[0];
    record.humidity = raw[1];
    record.ambient = raw[2];
    return LogLineFault::None;
}

bool ParseLogLine(std::string_view line, const TimeTextRules& rules, LogRecord& record)
{
    return CheckLogLine(line, rules, record) == LogLineFault::None;
}

bool IsCleanLoaderLine(std::string_view line, const TimeTextRules& rules)
{
    const LoaderFields fields = SplitLoaderLine(line);
    double t = 0;
    return ParseTimeOfDay(fields.timeText, rules, t) && ConvertValueText(fields.valueText).complete;
}

double DateTimeValue(const QDate& date)
{
    return double(QDate(1899, 12, 30).daysTo(date));
}

namespace {

// Log lines are short; a longer line cannot be one and only its first 105 characters matter.
constexpr std::size_t MaxLogLine = 4096;

// Whether the lines read as a log are taken as one. A log must also have a data line
// (third line on) that the loader layout cannot read cleanly, i.e. whose 8-character
// time text is not a valid time or whose 5-character value text is not exactly one
// number. In a file of the loader's layout every data line holds a valid time and a
// 5-character number such as 02345 at w + 11, so such a file is never taken for a
// log, even when the rest of its lines happens to look like Log fields (a value like
// 12345 or -1234 followed by a TAB and five more fields that fit would otherwise
// pass). Real logs qualify through a raw dew point of one to four characters (the
// value text then takes in the TAB after it), a reading number of six or more
// digits, or a time of day that is not exactly eight characters. One or two Log
// lines are no data in the loader layout (it skips two lines), so reading them as a
// log can take nothing from that layout.
bool TakenAsLog(bool allLogLines, bool unreadableByLayout, std::size_t lines, const ChartLoadOptions& options)
{
    const bool tooShortForLayout = lines > 0 && lines < 3;
    return allLogLines && (unreadableByLayout || tooShortForLayout || options.logOnly);
}

void NotLog(ChartLoadResult& result, LogLineFault fault, std::string_view line)
{
    result.notLogLine = result.lines;
    result.notLogFault = fault;
    result.notLogText = EscapedText(line);
}

// A file's lines from `open` (a source from the file's start; a second one is opened
// when a file first read as a log falls back to the loader layout), read in pieces on
// several threads as they come. `total`: the file's size, for the progress. `device`:
// where the modification time is read, if at all.
ChartLoadResult LoadPieces(const std::function<std::unique_ptr<chartparts::PieceSource>()>& open, qint64 total,
                           const QIODevice* device, const QString& name, ChartSink& sink, const ChartLoadOptions& options)
{
    using namespace chartparts;
    const TimeTextRules rules = TimeTextRules::fromLocale(options.locale);
    const LogLineParser parser(rules);
    const std::size_t parts = ThreadsFor(options);
    ChartLoadResult result;

    // Reads the source's pieces; progress counts from byte `from` on. No point is
    // delivered before every byte is in and read.
    const auto readPieces = [&](PieceSource& source, std::size_t from, auto readPiece) {
        PieceWork work;
        work.cancel = options.cancel;
        if (options.progress)
            work.progress = [&](std::int64_t done) { options.progress(qint64(from) + done, total); };
        // In file order, however many pieces a device's short reads make.
        std::vector<decltype(readPiece(std::string_view(), 0, work))> out;
        std::mutex placing;
        ReadEach(parts, [&](std::size_t) {
            std::size_t k = 0;
            std::string_view piece;
            while (source.next(k, piece)) {
                if (work.needless(k)) {
                    source.stop();  // cancelled, or a piece before ended the reading
                } else {
                    auto one = readPiece(piece, k, work);
                    std::lock_guard lock(placing);
                    if (out.size() <= k)
                        out.resize(k + 1);
                    out[k] = std::move(one);
                }
                source.done(k);
            }
        });
        out.resize(source.count());
        ThrowIfCancelled(options, name);
        source.rethrow();
        if (options.progress)
            options.progress(total, total);
        return out;
    };

    std::unique_ptr<PieceSource> source = open();
    bool all = false;
    std::string_view headBytes = source->head(all);
    if (all)
        source->rethrow();
    // As a log first: every line a Log line, the first two read here.
    ByteLines head(headBytes, MaxLogLine);
    std::string_view line;
    bool allLogLines = true;
    HeldLog log;
    while (result.lines < 2 && head.next(line)) {
        ++result.lines;
        LogRecord record;
        const LogLineFault fault = parser.check(line, head.truncated(), head.ended(), record);
        if (fault != LogLineFault::None) {
            allLogLines = false;
            NotLog(result, fault, line);
            break;
        }
        log.add(record);
    }
    bool unreadableByLayout = false;
    bool pieceRead = false;
    if (allLogLines && !all) {
        pieceRead = true;
        std::vector<LogPiece> pieces = readPieces(*source, headBytes.size(), [&](std::string_view piece, std::size_t k, PieceWork& work) {
            return ReadLogPiece(piece, k, parser, rules, MaxLogLine, work);
        });
        for (LogPiece& piece : pieces) {
            result.lines += piece.lines;
            unreadableByLayout = unreadableByLayout || piece.unclean;
            if (piece.fault != LogLineFault::None) {
                allLogLines = false;
                NotLog(result, piece.fault, piece.faultLine);
                break;
            }
            log.add(std::move(piece));
        }
    }
    if (TakenAsLog(allLogLines, unreadableByLayout, result.lines, options)) {
        const QDateTime modified = options.lastModified.isValid() ? options.lastModified
            : device                                               ? ModificationTimeOf(*device)
                                                                   : QDateTime::currentDateTime();
        log.deliver(modified, sink, options, name, result);
        return result;
    }
    if (options.logOnly)
        return result;  // no log, and no other layout asked for
    log.release();
    result = ChartLoadResult();
    if (pieceRead) {
        // The pieces are gone: from the file's start again.
        source.reset();
        source = open();
        headBytes = source->head(all);
        if (all)
            source->rethrow();
    }

    // The loader layout: two lines skipped, then one dew-point value in hundredths per line.
    ByteLines skipped(headBytes, MaxLogLine);
    for (int skip = 0; skip < 2; ++skip) {
        if (!skipped.next(line))
            return result;
        ++result.lines;
    }
    if (all)
        return result;
    const std::vector<LoaderPiece> pieces = readPieces(*source, headBytes.size(), [&](std::string_view piece, std::size_t k, PieceWork& work) {
        return ReadLoaderPiece(piece, k, rules, LoaderLineLength, work);
    });
    // The pieces up to the one with an invalid time; the points before it stay delivered.
    std::vector<const LoaderPiece*> read;
    const LoaderPiece* invalid = nullptr;
    for (const LoaderPiece& piece : pieces) {
        read.push_back(&piece);
        result.lines += piece.lines;
        if (piece.invalid) {
            invalid = &piece;
            break;
        }
    }
    const DatedPieces<LoaderPiece> dated(std::move(read), LoaderNewDay);
    ChartRows rows;
    rows.count = dated.rows();
    rows.read = [&](std::size_t from, std::size_t n, double* xs, double* const* values) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            return false;
        std::size_t i = 0;
        dated.read(from, n, [&](const LoaderRow& row, std::size_t day) {
            xs[i] = row.time + double(day);
            values[0][i] = row.value / 100;
            ++i;
        });
        return true;
    };
    FirstPointGate gate(sink, {ChartLine::DewPoint});
    gate.addRows(rows);
    result.points = rows.count;
    ThrowIfCancelled(options, name);
    if (invalid)
        throw ChartFileError(ChartProblem::InvalidTime, name, EscapedText(invalid->invalidTime),
                             files::FileType::Regular, result.lines);
    return result;
}

// The device read buffer by buffer, line by line.
ChartLoadResult LoadStream(QIODevice& device, const QString& name, ChartSink& sink, const ChartLoadOptions& options)
{
    const TimeTextRules rules = TimeTextRules::fromLocale(options.locale);
    const LogLineParser parser(rules);
    LineReader reader(device, name, options, MaxLogLine);
    ChartLoadResult result;
    std::string_view line;

    // First try the file as a measurement log, holding its points back until the end:
    // it is one only if every line is a Log line, the last one too, even without its
    // line end. The first other line sends the file down the loader-layout path from
    // its start.
    HeldLog log;
    bool allLogLines = options.logOnly || !device.isSequential();  // falling back needs to start again
    bool unreadableByLayout = false;
    while (allLogLines && reader.next(line)) {
        ++result.lines;
        LogRecord record;
        const LogLineFault fault = parser.check(line, reader.truncated(), reader.ended(), record);
        if (fault != LogLineFault::None) {
            allLogLines = false;
            NotLog(result, fault, line);
            break;
        }
        if (result.lines >= 3 && !unreadableByLayout && !IsCleanLoaderLine(line, rules))
            unreadableByLayout = true;
        log.add(record);
    }
    if (TakenAsLog(allLogLines, unreadableByLayout, result.lines, options)) {
        log.deliver(options.lastModified.isValid() ? options.lastModified : ModificationTimeOf(device), sink, options,
                    name, result);
        return result;
    }

    if (options.logOnly)
        return result;  // no log, and no other layout asked for
    log.release();
    if (result.lines > 0 && !reader.rewind())
        throw ChartFileError(ChartProblem::ReadError, name, device.errorString());
    result = ChartLoadResult();

    // The loader layout: two lines skipped, then one dew-point value in hundredths per line.
    FirstPointGate gate(sink, {ChartLine::DewPoint});
    for (int skip = 0; skip < 2; ++skip) {
        if (!reader.next(line))
            return result;
        ++result.lines;
    }
    LoaderDays days;
    try {
        while (reader.next(line)) {
            ++result.lines;
            const LoaderFields fields = SplitLoaderLine(line);
            double t = 0;
            if (!ParseTimeOfDay(fields.timeText, rules, t))
                throw ChartFileError(ChartProblem::InvalidTime, name, EscapedText(fields.timeText),
                                     files::FileType::Regular, result.lines);
            const double x = days.at(t);
            const double v = ConvertValueText(fields.valueText).value;
            if (v != 0) {
                gate.addRow(x, {v / 100});
                ++result.points;
            }
        }
    } catch (...) {
        gate.flush();  // points read before a failure stay delivered
        throw;
    }
    gate.flush();
    return result;
}

} // namespace

void ChartSink::addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows)
{
    constexpr std::size_t Block = 8192;
    std::vector<double> xs(std::min(Block, rows.count));
    std::vector<std::vector<double>> values(lines.size(), std::vector<double>(xs.size()));
    std::vector<double*> columns;
    for (std::vector<double>& v : values)
        columns.push_back(v.data());
    for (std::size_t from = 0; from < rows.count; from += Block) {
        const std::size_t n = std::min(Block, rows.count - from);
        if (!rows.read(from, n, xs.data(), columns.data()))
            return;
        addRows(std::span<const double>(xs.data(), n), lines,
                std::span<const double* const>(columns.data(), columns.size()));
    }
}

void ChartSink::addRows(std::span<const double> xs, std::span<const ChartLine> lines,
                        std::span<const double* const> values)
{
    for (std::size_t i = 0; i < xs.size(); ++i) {
        for (std::size_t k = 0; k < lines.size() && k < values.size(); ++k)
            addPoint(lines[k], xs[i], values[k][i]);
    }
}

ChartLoadResult LoadChartBytes(std::string_view bytes, const QString& name, ChartSink& sink,
                               const ChartLoadOptions& options)
{
    // A few pieces per thread, so the threads share the work evenly.
    const std::size_t pieceBytes = std::max(options.minPieceBytes, bytes.size() / (4 * ThreadsFor(options)));
    const auto open = [&] {
        return std::make_unique<chartparts::PieceCutter>(bytes, 2, pieceBytes, options.minPieceBytes, ThreadsFor(options));
    };
    return LoadPieces(open, qint64(bytes.size()), nullptr, name, sink, options);
}

namespace {

// Whether a device is a file open at its start, with bytes in it.
bool FileFromStart(QIODevice& device, qint64 size)
{
    return size > 0 && !device.isSequential() && qobject_cast<QFileDevice*>(&device) && device.pos() == 0;
}

// Reads up to `size` bytes into `data` in large steps; stops early at the end of a
// file cut short meanwhile. Gives the bytes read. Throws ChartFileError (ReadError,
// Cancelled).
std::size_t ReadInto(QIODevice& device, char* data, std::size_t size, const QString& name,
                     const ChartLoadOptions& options)
{
    // Read, not mapped: a file cut short meanwhile by another program gives a short
    // read here, where a mapping would give a fault.
    constexpr std::size_t Step = 4 << 20;
    std::size_t done = 0;
    while (done < size) {
        ThrowIfCancelled(options, name);
        const qint64 n = device.read(data + done, qint64(std::min(Step, size - done)));
        if (n < 0)
            throw ChartFileError(ChartProblem::ReadError, name, device.errorString());
        if (n == 0)
            break;  // shorter than it was: what is there is the file
        done += std::size_t(n);
    }
    return done;
}

} // namespace

std::optional<FileBytes> ReadWholeFile(QIODevice& device, qint64 size, const QString& name, const ChartLoadOptions& options)
{
    if (size > MaxWholeFile || !FileFromStart(device, size))
        return std::nullopt;
    FileBytes bytes;
    bytes.data.reset(new (std::nothrow) char[std::size_t(size)]);
    if (!bytes.data)
        return std::nullopt;
    bytes.size = ReadInto(device, bytes.data.get(), std::size_t(size), name, options);
    return bytes;
}

ChartLoadResult LoadChart(QIODevice& device, const QString& name, ChartSink& sink, const ChartLoadOptions& options)
{
    // A file from its start is read on a thread of its own, a block at a time, while
    // its lines are read in pieces at once as they come; anything else is streamed.
    const qint64 size = device.size();
    if (!FileFromStart(device, size))
        return LoadStream(device, name, sink, options);
    // Blocks of 1 MiB at most: a few per thread stay in use, however large the file.
    constexpr std::size_t LargestBlock = 1 << 20;
    const std::size_t threads = ThreadsFor(options);
    const auto open = [&]() -> std::unique_ptr<chartparts::PieceSource> {
        if (device.pos() != 0 && !device.seek(0))
            throw ChartFileError(ChartProblem::ReadError, name, device.errorString());
        return std::make_unique<chartparts::BlockReader>(device, std::size_t(size), name, options, 2, threads + 3,
                                                         options.minPieceBytes, std::max(LargestBlock, options.minPieceBytes));
    };
    return LoadPieces(open, size, &device, name, sink, options);
}

std::unique_ptr<QFile> OpenChartFile(const QString& fileName)
{
    files::File opened(fileName, files::File::Mode::Read);
    if (opened.status() == files::OpenStatus::NotRegular)
        throw ChartFileError(ChartProblem::NotRegularFile, fileName, QString(), opened.type());
    // Its own handle, never the measurement log's.
    auto file = std::make_unique<QFile>();
    if (!opened.isOpen() || !opened.handOver(*file))
        throw ChartFileError(ChartProblem::CannotOpen, fileName, opened.error());
    return file;
}

ChartLoadResult LoadChartFile(const QString& fileName, ChartSink& sink, const QLocale& locale)
{
    const std::unique_ptr<QFile> file = OpenChartFile(fileName);
    ChartLoadOptions options;
    options.locale = locale;
    return LoadChart(*file, fileName, sink, options);
}

} // namespace hmx
