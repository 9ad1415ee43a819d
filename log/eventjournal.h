// The event journal hmx700-events.txt beside the measurement log: one line per event,
// appended and never emptied, TAB-separated, CR LF, UTF-8: the local time in ISO 8601
// with its UTC offset, the event's kind, then its details ("port=/dev/ttyUSB0" ...).
// A person reads it as it is; a spreadsheet opens it as TAB-separated columns.
#pragma once

#include "log/measurementlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace hmx {

struct JournalEvent {
    QDateTime time;
    QString kind;         // "start", "connect", "limit-crossed" ...: fixed words, any language
    QStringList details;  // one column each

    friend bool operator==(const JournalEvent&, const JournalEvent&) = default;
};

// "2026-12-08T03:12:05+01:00\tlimit-crossed\tquantity=dewPoint ...\r\n". TABs and line
// breaks inside a detail become blanks, so every event stays one line of columns.
QByteArray FormatJournalLine(const JournalEvent& event);

// "name=value" for a detail column.
QString Detail(const QString& name, const QString& value);

// The event of one journal line (with or without its line end, a byte-order mark
// allowed before it); nullopt for a line that is not one (no valid time, no kind).
std::optional<JournalEvent> ParseJournalLine(QByteArrayView line);
// The value of detail `name` of an event; empty when it has none.
QString DetailValue(const JournalEvent& event, const QString& name);

// The events of a journal file in the file's order, lines that are not events left
// out; none when the file cannot be read.
std::vector<JournalEvent> ReadJournal(const QString& fileName);

class EventJournal : public QObject {
    Q_OBJECT
public:
    explicit EventJournal(QString fileName, QObject* parent = nullptr);

    QString fileName() const { return m_fileName; }

    // Appends the event (created when first needed). An event that cannot be written
    // is kept and written, in order, before the next one or at retry().
    void add(const QString& kind, const QStringList& details = {},
             const QDateTime& time = QDateTime::currentDateTime());
    // Writes the events kept back, if any; true when none are left.
    bool retry();
    // While on, events are kept in memory and not written: the journal is another
    // measuring copy's. Off: those kept are written, in order.
    void holdBack(bool on);
    bool heldBack() const { return m_heldBack; }
    // Forgets the events held back (they belong to no run measured here).
    void dropHeldBack();
    std::size_t pendingCount() const { return m_pending.size(); }
    // At the end: writes the events still kept to a new file "hmx700-events-unsaved-<date>-
    // <time>.txt" beside the journal, or in `fallbackFolder` when that fails, and forgets
    // them. Returns the file's path; empty when none were kept or they could be saved
    // nowhere (problem() says why; the events stay kept).
    QString saveKeptEvents(const QString& fallbackFolder, const QDateTime& now = QDateTime::currentDateTime());
    LogProblem problem() const { return m_problem; }

    // At most this many events are kept while the file cannot be written.
    static constexpr std::size_t PendingLimit = 10000;

signals:
    void eventAdded(const hmx::JournalEvent& event);  // for anyone publishing events
    void failed(const hmx::LogProblem& problem);      // once per run of failures
    void works();                                     // written again after failures

private:
    bool writePending();

    QString m_fileName;
    std::deque<QByteArray> m_pending;
    std::size_t m_dropped = 0;
    LogProblem m_problem;
    bool m_failing = false;
    bool m_heldBack = false;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::JournalEvent)
