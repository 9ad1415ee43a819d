// The measurement log: line format, the locale's long time form and the appending writer.
#include "log/measurementlog.h"
#include "log/logfile_platform.h"

#include <QChar>

#include <utility>

namespace hmx {

namespace {

// What the long time form needs from a locale's time format string.
struct TimePattern {
    qsizetype hourDigits = 0;   // 0: no hour field found
    bool twelveHour = false;
    bool markerFirst = false;
    QString separator;          // literal text between hours and minutes
};

TimePattern ParseTimeFormat(const QString& format)
{
    TimePattern pattern;
    qsizetype hourIndex = -1;
    qsizetype markerIndex = -1;
    bool afterHour = false;
    QString literal;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Quoted literal; '' stands for one quote.
            qsizetype j = i + 1;
            while (j < format.size()) {
                if (format.at(j) == u'\'') {
                    if (j + 1 < format.size() && format.at(j + 1) == u'\'') {
                        literal += u'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                literal += format.at(j);
                ++j;
            }
            i = j + 1;
            continue;
        }
        const char16_t letter = c.unicode();
        const bool field = letter == u'h' || letter == u'H' || letter == u'm' || letter == u's' || letter == u'z'
            || letter == u't' || letter == u'a' || letter == u'A';
        if (!field) {
            literal += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        if (letter == u'a' || letter == u'A') {
            // AP, ap, Ap, aP or a single A/a.
            if (i + 1 < format.size() && (format.at(i + 1) == u'p' || format.at(i + 1) == u'P'))
                run = 2;
        } else {
            while (i + run < format.size() && format.at(i + run) == c)
                ++run;
        }
        const qsizetype tokenIndex = i;
        if ((letter == u'h' || letter == u'H') && hourIndex < 0) {
            hourIndex = tokenIndex;
            pattern.hourDigits = run >= 2 ? 2 : 1;
            afterHour = true;
            literal.clear();
        } else if (letter == u'm' && afterHour) {
            pattern.separator = literal;
            afterHour = false;
        } else if ((letter == u'a' || letter == u'A') && markerIndex < 0) {
            markerIndex = tokenIndex;
        } else {
            afterHour = false;
        }
        literal.clear();
        i += run;
    }
    pattern.twelveHour = markerIndex >= 0;
    pattern.markerFirst = markerIndex >= 0 && hourIndex >= 0 && markerIndex < hourIndex;
    return pattern;
}

// A time separator is punctuation, not words such as the CJK hour and minute signs.
bool IsSeparator(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c.isSpace())
            return false;
    }
    return true;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString LogTimeSeparator(const QLocale& locale)
{
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const TimePattern pattern = ParseTimeFormat(locale.timeFormat(type));
        if (IsSeparator(pattern.separator))
            return pattern.separator;
    }
    return QStringLiteral(":");
}

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    TimePattern pattern = ParseTimeFormat(locale.timeFormat(QLocale::LongFormat));
    pattern.separator = LogTimeSeparator(locale);
    if (pattern.hourDigits == 0)
        pattern.hourDigits = 2;

    int hours = time.hour();
    if (pattern.twelveHour) {
        hours %= 12;
        if (hours == 0)
            hours = 12;
    }
    QString text = pattern.hourDigits == 2 ? TwoDigits(hours) : QString::number(hours);
    text += pattern.separator + TwoDigits(time.minute()) + pattern.separator + TwoDigits(time.second());
    if (pattern.twelveHour) {
        const QString marker = time.hour() < 12 ? locale.amText() : locale.pmText();
        if (!marker.isEmpty())
            text = pattern.markerFirst ? marker + u' ' + text : text + u' ' + marker;
    }
    return text;
}

QByteArray FormatLogLine(const LogLine& line, const QLocale& locale)
{
    const QChar tab = u'\t';
    QString text = QString::number(line.number) + tab + LongTimeText(line.time, locale) + tab;
    text += QString::number(line.dewPoint) + tab + QString::number(line.humidity) + tab
        + QString::number(line.ambient) + tab + line.dewPointText + tab + line.humidityText + tab
        + line.ambientText + QStringLiteral("\r\n");
    return text.toLocal8Bit();
}

MeasurementLog::MeasurementLog(QString fileName)
    : m_fileName(std::move(fileName))
{
}

MeasurementLog::~MeasurementLog()
{
    close();
}

QString MeasurementLog::fileName() const
{
    return m_fileName;
}

bool MeasurementLog::create()
{
    closeHandle();
    // A new run starts an empty file; lines kept from an earlier run would not belong in it.
    m_pending.clear();
    m_dropped = 0;
    QString reason;
    if (!logfile::CreateEmpty(m_fileName, reason)) {
        m_error = QStringLiteral("Cannot create %1: %2").arg(m_fileName, reason);
        return false;
    }
    m_error.clear();
    return true;
}

bool MeasurementLog::appendLine(const LogLine& line, const QLocale& locale)
{
    LogLine stamped = line;
    if (!stamped.time.isValid())
        stamped.time = QTime::currentTime();
    keep(FormatLogLine(stamped, locale));

    // Reopened at every reading, so a deleted or replaced file is noticed at once.
    closeHandle();
    logfile::OpenResult opened = logfile::OpenForAppend(m_fileName, false);
    QString recovered;
    if (opened.status == logfile::OpenStatus::Missing) {
        recovered = QStringLiteral("Cannot open %1 for appending: %2; the file was created again")
                        .arg(m_fileName, opened.reason);
        opened = logfile::OpenForAppend(m_fileName, true);
    }
    if (opened.status != logfile::OpenStatus::Ok) {
        m_error = withDrops(QStringLiteral("Cannot open %1 for appending: %2").arg(m_fileName, opened.reason));
        return false;
    }
    m_handle = opened.handle;

    QString reason;
    const bool written = writePending(reason);
    logfile::Release(m_handle);
    if (!written) {
        m_error = withDrops(QStringLiteral("Cannot write to %1: %2").arg(m_fileName, reason));
        return false;
    }
    if (!recovered.isEmpty()) {
        m_error = withDrops(recovered);
        return false;
    }
    m_error.clear();
    return true;
}

std::size_t MeasurementLog::pendingLineCount() const
{
    return m_pending.size();
}

void MeasurementLog::setPendingLimit(std::size_t limit)
{
    m_pendingLimit = limit == 0 ? 1 : limit;
    while (m_pending.size() > m_pendingLimit) {
        m_pending.pop_front();
        ++m_dropped;
    }
}

std::size_t MeasurementLog::droppedLineCount() const
{
    return m_dropped;
}

void MeasurementLog::close()
{
    closeHandle();
    if (m_pending.empty())
        return;
    // One last try, so readings kept back by a passing lock are not lost at exit.
    const logfile::OpenResult opened = logfile::OpenForAppend(m_fileName, false);
    if (opened.status != logfile::OpenStatus::Ok)
        return;
    m_handle = opened.handle;
    QString reason;
    if (!writePending(reason))
        m_error = withDrops(QStringLiteral("Cannot write to %1: %2").arg(m_fileName, reason));
    closeHandle();
}

QString MeasurementLog::errorString() const
{
    return m_error;
}

void MeasurementLog::keep(QByteArray bytes)
{
    m_pending.push_back(std::move(bytes));
    while (m_pending.size() > m_pendingLimit) {
        m_pending.pop_front();
        ++m_dropped;
    }
}

void MeasurementLog::closeHandle()
{
    logfile::Close(m_handle);
    m_handle = logfile::NoFile;
}

bool MeasurementLog::writePending(QString& reason)
{
    while (!m_pending.empty()) {
        if (!logfile::AppendAll(m_handle, m_pending.front(), reason))
            return false;
        m_pending.pop_front();
    }
    return true;
}

QString MeasurementLog::withDrops(QString message) const
{
    if (m_dropped > 0)
        message += QStringLiteral(" (too many lines waiting; readings dropped from the log: %1)")
                       .arg(m_dropped);
    return message;
}

} // namespace hmx
