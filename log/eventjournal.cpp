// The event journal: formatting and the appending writer, on the log's file primitives
// (the same exclusive appends that never leave half a line).
#include "log/eventjournal.h"

#include <QFile>

#include <utility>

namespace hmx {

namespace {

QString OneColumn(QString text)
{
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

// A byte-order mark first, so spreadsheets on Windows read the file as UTF-8.
const QByteArray Utf8Mark("\xEF\xBB\xBF");

} // namespace

QByteArray FormatJournalLine(const JournalEvent& event)
{
    // The local time with its offset: readable, and still one moment in autumn's repeated hour.
    const QDateTime local = event.time.toLocalTime();
    // The offset always written out, "+00:00" too (Qt would write "Z" for it).
    const int offset = local.offsetFromUtc();
    const QString stamp = local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+')
        + QStringLiteral("%1:%2").arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0')).arg(qAbs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    QStringList columns{stamp, OneColumn(event.kind)};
    for (const QString& detail : event.details)
        columns << OneColumn(detail);
    return (columns.join(u'\t') + QStringLiteral("\r\n")).toUtf8();
}

QString Detail(const QString& name, const QString& value)
{
    return name + u'=' + value;
}

std::optional<JournalEvent> ParseJournalLine(QByteArrayView line)
{
    if (line.startsWith(Utf8Mark))
        line = line.sliced(Utf8Mark.size());
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    const QStringList columns = QString::fromUtf8(line).split(u'\t');
    if (columns.size() < 2 || columns[1].isEmpty())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(columns[0], Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return JournalEvent{time, columns[1], columns.mid(2)};
}

QString DetailValue(const JournalEvent& event, const QString& name)
{
    for (const QString& detail : event.details) {
        if (detail.size() > name.size() && detail.startsWith(name) && detail[name.size()] == u'=')
            return detail.mid(name.size() + 1);
    }
    return {};
}

std::vector<JournalEvent> ReadJournal(const QString& fileName)
{
    std::vector<JournalEvent> events;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    while (!file.atEnd()) {
        if (std::optional<JournalEvent> event = ParseJournalLine(file.readLine()))
            events.push_back(std::move(*event));
    }
    return events;
}

EventJournal::EventJournal(QString fileName, QObject* parent)
    : QObject(parent), m_fileName(std::move(fileName))
{
    qRegisterMetaType<hmx::JournalEvent>();
}

void EventJournal::add(const QString& kind, const QStringList& details, const QDateTime& time)
{
    const JournalEvent event{time, kind, details};
    m_pending.push_back(FormatJournalLine(event));
    while (m_pending.size() > PendingLimit) {
        m_pending.pop_front();
        ++m_dropped;
    }
    retry();
    emit eventAdded(event);
}

void EventJournal::holdBack(bool on)
{
    m_heldBack = on;
    if (!on)
        retry();
}

void EventJournal::dropHeldBack()
{
    if (m_heldBack)
        m_pending.clear();
}

bool EventJournal::retry()
{
    if (m_pending.empty())
        return true;
    if (m_heldBack)
        return false;
    if (writePending()) {
        m_problem = {};
        if (m_failing) {
            m_failing = false;
            emit works();
        }
        return true;
    }
    if (!m_failing) {
        m_failing = true;
        emit failed(m_problem);
    }
    return false;
}

QString EventJournal::saveKeptEvents(const QString& fallbackFolder, const QDateTime& now)
{
    QString reason;
    // With the mark of the journal itself, so the file opens as one.
    const QString savedAs = SaveUnsavedLines(m_fileName, m_pending, fallbackFolder, now, reason, Utf8Mark);
    if (!savedAs.isEmpty())
        m_pending.clear();
    else if (!m_pending.empty())
        m_problem = {LogProblem::Kind::Unsaved, m_fileName, {}, reason, m_dropped};
    return savedAs;
}

bool EventJournal::writePending()
{
    const auto fail = [this](LogProblem::Kind kind, const QString& reason) {
        m_problem = {kind, m_fileName, {}, reason, m_dropped};
        return false;
    };
    files::File file(m_fileName, files::File::Mode::AppendOrCreate);
    if (!file.isOpen())
        return fail(LogProblem::Kind::Open, file.error());
    // Held alone for writing now, so an empty file stays empty until the mark is in.
    bool ok = file.size() > 0 || file.appendAll(Utf8Mark);
    while (ok && !m_pending.empty()) {
        ok = file.appendAll(m_pending.front());
        if (ok)
            m_pending.pop_front();
    }
    return ok || fail(LogProblem::Kind::Write, file.error());
}

} // namespace hmx
