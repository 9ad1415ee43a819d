// The measurement log: line format, the locale's long time form and the appending writer.
#include "log/measurementlog.h"
#include "log/chartfile_platform.h"
#include "log/logfile_platform.h"

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
    for (const QString& base : {beside, elsewhere}) {
        // NewOnly: a file that appeared meanwhile is never overwritten; try the next name.
        for (int attempt = 0; attempt < 100; ++attempt) {
            QFile file(FreeName(base, stamp));
            if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                reason = file.errorString();
                if (file.exists())
                    continue;
                break;
            }
            reason.clear();
            bool ok = head.isEmpty() || file.write(head) == head.size();
            for (const QByteArray& line : lines)
                ok = ok && file.write(line) == line.size();
            ok = ok && file.flush() && logfile::Sync(file, reason);
            if (ok) {
                file.close();
                logfile::SyncFolderOf(file.fileName());
                return file.fileName();
            }
            if (reason.isEmpty())
                reason = file.errorString();
            // Nothing empty or half written stays behind: the lines go whole to the next
            // place. Removed by name: QFile::remove() keeps a file whose last flush failed.
            file.close();
            QFile::remove(file.fileName());
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
    closeHandle();
    // A new run starts an empty file; lines kept from an earlier run would not belong in it.
    m_pending.clear();
    m_dropped = 0;
    m_keptAs.clear();
    const QFileInfo earlier(m_fileName);
    // A FIFO or a device in the log's place is refused at once, as the chart loader
    // refuses one: looked at, never opened for writing.
    // (A folder fails to open at once and is told as before.)
    if (earlier.exists() && !earlier.isFile() && !earlier.isDir()) {
        const chartfile::OpenResult looked = chartfile::OpenForReading(m_fileName);
        if (looked.status == chartfile::OpenStatus::Ok)
            chartfile::CloseUnused(looked.fd);
        fail(LogProblem::Kind::NotRegular, looked.reason);
        m_problem.type = looked.type;
        return false;
    }
    if (earlier.isFile() && earlier.size() > 0) {
        // A log another program is still writing stays where it is.
        const logfile::OpenResult probe = logfile::OpenForAppend(m_fileName, false);
        logfile::Close(probe.handle);
        if (probe.status == logfile::OpenStatus::Locked)
            return fail(LogProblem::Kind::Create, probe.reason);
        // Never overwrites: the rename refuses a name that exists, and then nothing is lost.
        const QString target = EarlierLogName(m_fileName, earlier.lastModified());
        QString reason;
        if (!logfile::RenameAlone(m_fileName, target, reason))
            return fail(LogProblem::Kind::KeepEarlier, reason, target);
        m_keptAs = target;
    }
    QString reason;
    if (!logfile::CreateEmpty(m_fileName, reason))
        return fail(LogProblem::Kind::Create, reason);
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
            m_syncQueue.push(logfile::NoFile, std::move(whenDurable));
    };

    // Reopened at every reading, so a deleted or replaced file is noticed at once.
    closeHandle();
    logfile::OpenResult opened = logfile::OpenForAppend(m_fileName, false);
    QString missing;
    const bool wasMissing = opened.status == logfile::OpenStatus::Missing;
    if (wasMissing) {
        missing = opened.reason;
        opened = logfile::OpenForAppend(m_fileName, true);
    }
    if (opened.status != logfile::OpenStatus::Ok) {
        nothingWritten();
        return fail(LogProblem::Kind::Open, opened.reason);
    }
    m_handle = opened.handle;

    QString reason;
    const bool written = writePending(reason);
    logfile::Release(m_handle);
    if (!written) {
        nothingWritten();
        return fail(LogProblem::Kind::Write, reason);
    }
    // A sync that failed on the log's thread is told with the next line.
    QString unsynced = m_syncQueue.takeFailure();
    if (!whenDurable) {
        logfile::Sync(m_handle, unsynced);
    } else {
        const logfile::Handle copy = logfile::Duplicate(m_handle);
        if (copy == logfile::NoFile)
            logfile::Sync(m_handle, unsynced);
        m_syncQueue.push(copy, std::move(whenDurable));
    }
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
    closeHandle();
    if (m_pending.empty())
        return;
    // One last try, so readings kept back by a passing lock are not lost at exit.
    const logfile::OpenResult opened = logfile::OpenForAppend(m_fileName, false);
    if (opened.status != logfile::OpenStatus::Ok)
        return;
    m_handle = opened.handle;
    QString reason;
    if (!writePending(reason) || !logfile::Sync(m_handle, reason))
        fail(LogProblem::Kind::Write, reason);
    closeHandle();
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
