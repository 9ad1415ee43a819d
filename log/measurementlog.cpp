// The measurement log: line format, the locale's long time form and the appending writer.
#include "log/measurementlog.h"

#include "readings/clocktext.h"

#include <QChar>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace hmx {

namespace {

// What the long time form needs from a locale's time format string.
struct TimePattern {
    qsizetype hourDigits = 0;   // 0: no hour field found
    bool twelveHour = false;
    bool markerFirst = false;
};

TimePattern ParseTimeFormat(const QString& format)
{
    TimePattern pattern;
    qsizetype hourIndex = -1;
    qsizetype markerIndex = -1;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Quoted literal ('' stands for one quote): no fields inside.
            qsizetype j = i + 1;
            while (j < format.size() && !(format.at(j) == u'\'' && (j + 1 >= format.size() || format.at(j + 1) != u'\'')))
                j += format.at(j) == u'\'' ? 2 : 1;
            i = j + 1;
            continue;
        }
        const char16_t letter = c.unicode();
        const bool field = letter == u'h' || letter == u'H' || letter == u'm' || letter == u's' || letter == u'z'
            || letter == u't' || letter == u'a' || letter == u'A';
        if (!field) {
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
        } else if ((letter == u'a' || letter == u'A') && markerIndex < 0) {
            markerIndex = tokenIndex;
        }
        i += run;
    }
    pattern.twelveHour = markerIndex >= 0;
    pattern.markerFirst = markerIndex >= 0 && hourIndex >= 0 && markerIndex < hourIndex;
    return pattern;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    TimePattern pattern = ParseTimeFormat(locale.timeFormat(QLocale::LongFormat));
    const QString separator = readings::TimeSeparator(locale);
    if (pattern.hourDigits == 0)
        pattern.hourDigits = 2;

    int hours = time.hour();
    if (pattern.twelveHour) {
        hours %= 12;
        if (hours == 0)
            hours = 12;
    }
    QString text = pattern.hourDigits == 2 ? TwoDigits(hours) : QString::number(hours);
    text += separator + TwoDigits(time.minute()) + separator + TwoDigits(time.second());
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

namespace {

// "jrt1.txt" with a suffix: "jrt1-<suffix>.txt", in the same folder.
QString WithSuffix(const QString& logName, const QString& suffix)
{
    const QFileInfo info(logName);
    const QString ext = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.dir().filePath(info.completeBaseName() + QLatin1Char('-') + suffix + ext);
}

// The first of base, base-2, base-3 ... that does not exist yet.
QString FreeName(const QString& logName, const QString& suffix)
{
    QString name = WithSuffix(logName, suffix);
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = WithSuffix(logName, suffix + QLatin1Char('-') + QString::number(n));
    return name;
}

QString Stamp(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
}

} // namespace

QString EarlierLogName(const QString& logName, const QDateTime& lastModified)
{
    return FreeName(logName, Stamp(lastModified));
}

QString SaveUnsavedLines(const QString& fileName, const std::deque<QByteArray>& lines, const QString& fallbackFolder,
                         const QDateTime& now, QString& reason, const QByteArray& head)
{
    reason.clear();
    if (lines.empty())
        return {};
    const QString stamp = QStringLiteral("unsaved-") + Stamp(now);
    const QString beside = fileName;
    const QString elsewhere = QDir(fallbackFolder).filePath(QFileInfo(fileName).fileName());
    QByteArray bytes = head;
    for (const QByteArray& line : lines)
        bytes += line;
    for (const QString& base : {beside, elsewhere}) {
        // New only: a file that appeared meanwhile is never overwritten; try the next name.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name = FreeName(base, stamp);
            files::File file(name, files::File::Mode::CreateNew);
            if (!file.isOpen()) {
                reason = file.error();
                if (QFileInfo::exists(name))
                    continue;
                break;
            }
            if (file.writeAll(bytes) && file.sync()) {
                file.close();
                files::SyncFolderOf(name);
                reason.clear();
                return name;
            }
            reason = file.error();
            // Nothing empty or half written stays behind: the lines go whole to the next place.
            file.close();
            QFile::remove(name);
            break;
        }
    }
    return {};
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
    m_file.close();
    // A new run starts an empty file; lines kept from an earlier run would not belong in it.
    m_pending.clear();
    m_dropped = 0;
    m_keptAs.clear();
    const QFileInfo earlier(m_fileName);
    // A FIFO or a device in the log's place is refused at once, as the chart loader
    // refuses one: looked at, never opened for writing.
    // (A folder fails to open at once and is told as before.)
    if (earlier.exists() && !earlier.isFile() && !earlier.isDir()) {
        const files::FileStatus looked = files::StatusOf(m_fileName);
        fail(LogProblem::Kind::NotRegular, looked.reason);
        m_problem.type = looked.type;
        return false;
    }
    if (earlier.isFile() && earlier.size() > 0) {
        // A log another program is still writing stays where it is.
        if (files::File(m_fileName, files::File::Mode::Append).status() == files::OpenStatus::InUse)
            return fail(LogProblem::Kind::Create, {});
        // Never overwrites: the rename refuses a name that exists, and then nothing is lost.
        const QString target = EarlierLogName(m_fileName, earlier.lastModified());
        QString reason;
        if (!files::RenameAlone(m_fileName, target, reason))
            return fail(LogProblem::Kind::KeepEarlier, reason, target);
        m_keptAs = target;
    }
    // Emptied only once the write is held alone, so a log another program is writing stays intact.
    files::File file(m_fileName, files::File::Mode::AppendOrCreate);
    if (!file.isOpen() || !file.resize(0))
        return fail(LogProblem::Kind::Create, file.error());
    m_problem = {};
    return true;
}

QString MeasurementLog::keptAs() const
{
    return m_keptAs;
}

bool MeasurementLog::appendLine(const LogLine& line, const QLocale& locale, std::function<void()> whenDurable)
{
    LogLine stamped = line;
    if (!stamped.time.isValid())
        stamped.time = QTime::currentTime();
    keep(FormatLogLine(stamped, locale));
    // Nothing new reached the disk: the follow-up still runs in its turn.
    const auto nothingWritten = [&] {
        if (whenDurable)
            m_syncQueue.push({}, std::move(whenDurable));
    };

    // Reopened at every reading, so a deleted or replaced file is noticed at once.
    m_file.close();
    m_file = files::File(m_fileName, files::File::Mode::Append);
    QString missing;
    const bool wasMissing = m_file.status() == files::OpenStatus::Missing;
    if (wasMissing) {
        missing = m_file.error();
        m_file = files::File(m_fileName, files::File::Mode::AppendOrCreate);
    }
    if (!m_file.isOpen()) {
        nothingWritten();
        return fail(LogProblem::Kind::Open, m_file.error());
    }

    const bool written = writePending();
    m_file.unlock();
    if (!written) {
        nothingWritten();
        return fail(LogProblem::Kind::Write, m_file.error());
    }
    // A sync that failed on the log's thread is told with the next line.
    QString unsynced = m_syncQueue.takeFailure();
    files::File copy = whenDurable ? m_file.duplicate() : files::File();
    if (!copy.isOpen() && !m_file.sync())
        unsynced = m_file.error();
    if (whenDurable)
        m_syncQueue.push(std::move(copy), std::move(whenDurable));
    if (!unsynced.isEmpty())
        return fail(LogProblem::Kind::Write, unsynced);
    if (wasMissing)
        return fail(LogProblem::Kind::Recreated, missing);
    m_problem = {};
    return true;
}

void MeasurementLog::waitUntilDurable()
{
    m_syncQueue.drain();
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
    m_syncQueue.drain();
    m_file.close();
    if (m_pending.empty())
        return;
    // One last try, so readings kept back by a passing lock are not lost at exit.
    m_file = files::File(m_fileName, files::File::Mode::Append);
    if (m_file.isOpen() && (!writePending() || !m_file.sync()))
        fail(LogProblem::Kind::Write, m_file.error());
    m_file.close();
}

QString MeasurementLog::saveKeptLines(const QString& fallbackFolder, const QDateTime& now)
{
    QString reason;
    const QString savedAs = SaveUnsavedLines(m_fileName, m_pending, fallbackFolder, now, reason);
    if (!savedAs.isEmpty())
        m_pending.clear();
    else if (!m_pending.empty())
        fail(LogProblem::Kind::Unsaved, reason);
    return savedAs;
}

LogProblem MeasurementLog::problem() const
{
    return m_problem;
}

void MeasurementLog::keep(QByteArray bytes)
{
    m_pending.push_back(std::move(bytes));
    while (m_pending.size() > m_pendingLimit) {
        m_pending.pop_front();
        ++m_dropped;
    }
}

bool MeasurementLog::writePending()
{
    while (!m_pending.empty()) {
        if (!m_file.appendAll(m_pending.front()))
            return false;
        m_pending.pop_front();
    }
    return true;
}

bool MeasurementLog::fail(LogProblem::Kind kind, const QString& reason, const QString& other)
{
    m_problem.kind = kind;
    m_problem.file = m_fileName;
    m_problem.other = other;
    m_problem.reason = reason;
    m_problem.dropped = m_dropped;
    return false;
}

} // namespace hmx
