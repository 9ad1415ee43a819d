// MeasuringSession: one instrument measured, in one place, for any front end. It owns the
// folder's lock, the connection (the scan, the identification, the version and settings
// read), the log, the Poller (which owns the link), the event journal, the limit watches,
// the derived quantities (computed once per reading, on the Poller's thread) and the
// publisher. A front end (the window, hmx700-logger) only asks
// for things and shows what the signals tell. Lives on the thread that made it (the main
// thread); its signals come on that thread. Sessions share nothing but, when given one,
// the connection to the broker: two in one process measure two instruments, each in a
// folder of its own.
#pragma once

#include "instrument/connection.h"
#include "instrument/derived.h"
#include "instrument/poller.h"
#include "instrument/settings.h"
#include "limits/limitsettings.h"
#include "log/eventjournal.h"
#include "publish/publishsettings.h"
#include "report/language.h"
#include "session/limitwatches.h"
#include "session/sessionfiles.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hmx {

class BrokerConnection;
class Connector;
class LogFolderLock;
class MeasurementLog;
class Publisher;
namespace readings {
class Lines;
}
struct PublishState;

struct SessionOptions {
    QString folder;  // of the log, its lock, the queue and the journal; empty: the current folder
    Language language = Language::English;  // of every text the session hands over
    // Where lines and events that their files would not take are saved at the end, when
    // their own folder takes them neither; empty: the session's folder.
    QString fallbackFolder;
    PublishSettings publish;        // publishing when enabled (and without a problem)
    // The publisher starts with the first connect, before the instrument answers, so what
    // an earlier run queued goes out at once (the recorder); else once it answered, one
    // publisher per measuring run (the window).
    bool publishFromStart = false;
    // The password comes later (from a key store): the publisher waits for providePassword().
    bool passwordToCome = false;
    std::shared_ptr<BrokerConnection> broker;  // shared by the sessions of one process; null: a connection of its own
    DerivedChoice derived;          // what each reading carries
    AlarmPreferences limits;        // the limits watched from the start
};

// A reading as a front end shows it: the Poller's, with its derived values, and where
// each measured quantity stands against its limits after it (indexed by QuantityId).
struct SessionReading {
    Reading reading;
    std::array<limits::LimitStatus, limits::MeasuredQuantities.size()> limits{};
};

// What to tell at the end: lines the log, events the journal could not take, and where
// they went instead; empty when nothing.
struct SessionEnd {
    QString lines;
    QString events;
};

class MeasuringSession : public QObject {
    Q_OBJECT
public:
    explicit MeasuringSession(SessionOptions options, QObject* parent = nullptr);
    ~MeasuringSession() override;  // stop()

    const SessionOptions& options() const { return m_options; }
    const SessionFiles& files() const { return m_files; }
    // The journal, for events of a front end's own (a chart loaded).
    EventJournal& journal() { return m_journal; }
    const LimitWatches& limits() const { return m_limits; }
    Poller* poller() const { return m_poller.get(); }
    Publisher* publisher() const { return m_publisher.get(); }
    MeasurementLog* log() const { return m_log.get(); }
    QString device() const { return QString::fromStdString(m_device); }  // where the instrument answered
    quint16 serialNumber() const { return m_version.serialNumber; }
    // The broker as the publishing state names it: "host:port".
    QString broker() const;
    // The publisher's state in the session's language.
    QString publishStateText(const PublishState& state) const;

    // Takes the folder's lock (kept until stop(), or abandonConnect()) and scans these
    // devices, or the usual ones. False when the lock is held elsewhere or cannot be taken
    // (cannotMeasure tells why) or after stop(). A settings write asked for before is dropped.
    bool connectInstrument(const std::vector<std::string>& devices = {});
    // After scanned() found it: the version and settings reads, then the log and the Poller.
    void readInstrument();
    // The scan found nothing and the front end gives up: the folder's lock goes, so
    // another copy may measure here.
    void abandonConnect();
    // Measuring another unit instead, found on `device`: this run's log is closed and kept,
    // and Connect starts again there (a new log, numbered from 1). What to tell about lines
    // the old log could not take; empty when nothing.
    QString switchTo(const QString& device);

    // The instrument's settings, told by settingsRead (at once false when not measuring).
    void requestSettingsRead();
    // Written after the cycle under way; while connecting, once the Poller runs.
    void requestSettingsWrite(const SettingsValues& values);
    // The publishing settings for the publisher of the next Connect (one under way keeps
    // its own); with a password to come from a key store, it waits for providePassword().
    // `broker`: the connection shared with the process's other sessions; null: one of its own.
    void setPublishing(const PublishSettings& settings, bool passwordToCome,
                       std::shared_ptr<BrokerConnection> broker = {});
    void setLimits(const AlarmPreferences& preferences);
    void acknowledge();
    void acknowledge(limits::QuantityId quantity);
    // The derived quantities the next readings carry.
    void setDerived(const DerivedChoice& choice);
    // The lines each reading goes into from now on, measured and derived (a chart shows
    // them; a file loaded there may fill them too); nullptr: none. Lives on this thread.
    void setLines(readings::Lines* lines);
    // The password that came later (SessionOptions::passwordToCome); the publisher starts.
    void providePassword(const QString& password);

    // The orderly end, once: the connection and the Poller stopped, the log closed, the
    // journal's last events, the publisher's queue sent for a moment and kept, the lock let go.
    SessionEnd stop();

signals:
    void trying(int attempt, const QString& device);
    void scanned(const hmx::ScanResult& scan);  // found: call readInstrument() (the window asks first)
    void instrumentRead(const hmx::VersionInfo& version, bool settingsRead, const hmx::SettingsValues& settings);
    // The log is made and the Poller runs; `keptAs`: the name the earlier log was kept under.
    void measuring(const QString& logFile, const QString& keptAs);
    // Nothing can be measured here: another copy's folder, a lock or a log that cannot be made.
    void cannotMeasure(const QString& why);
    void reading(const hmx::SessionReading& reading);
    void noReply();
    void lost();
    void back(const QString& device);
    void otherUnit(const QString& device, quint16 serialNumber);
    void logFailed(const hmx::LogProblem& problem);  // once per run of failures
    void logWorks();
    void logRecreated(const hmx::LogProblem& problem);
    void linesDropped(quint64 total);
    void replyRejected(quint64 total);
    void journalFailed(const hmx::LogProblem& problem);
    // What one reading, acknowledgement or change of limits did, in order (journaled already).
    void limitEvents(const hmx::QuantityLimitEvents& events);
    void limitsChanged();  // new limits, or new instrument alarms
    void publishState(const hmx::PublishState& state);
    void settingsRead(bool read, const hmx::SettingsValues& values);
    void settingsConfirmed();

private:
    // measuringsession.cpp: connecting, the run, the end.
    void onScanned(const ScanResult& scan);
    void onInstrumentRead(const VersionInfo& version, bool settingsRead, const SettingsValues& settings);
    bool takeLock();
    void startPoller();
    QString endRun();
    QString fallbackFolder() const;
    // sessionevents.cpp: what the Poller tells, the limits and the journal.
    void followPoller();
    void onReading(const Reading& reading);
    // sessionlines.cpp
    void completeDerived(Reading& reading) const;
    void addToLines(const Reading& reading);
    void onLost();
    void onBack(const QString& device);
    void noteSettings(const QString& kind, const SettingsValues& values);
    void handleLimitEvents(const QuantityLimitEvents& events);
    QString endJournal();
    // sessionpublishing.cpp
    void startPublisher(const std::optional<VersionInfo>& instrument);
    void publishEvent(const JournalEvent& event);
    void stopPublisher();

    SessionOptions m_options;
    SessionFiles m_files;
    EventJournal m_journal;
    LimitWatches m_limits;
    std::unique_ptr<LogFolderLock> m_lock;  // from the first connect to the end
    std::unique_ptr<Connector> m_connector;
    std::unique_ptr<MeasurementLog> m_log;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<Publisher> m_publisher;
    QPointer<readings::Lines> m_lines;
    bool m_publisherWaits = false;  // for its password
    std::string m_device;
    std::string m_identification;
    VersionInfo m_version;
    std::optional<SettingsValues> m_pendingWrite;  // saved while connecting
    std::optional<SettingsValues> m_journalSettings;  // as last read or saved, for the journal's changes
    bool m_settingsReadAsked = false;
    QDateTime m_lostSince;  // valid while the instrument is lost
    bool m_stopped = false;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::SessionReading)
Q_DECLARE_METATYPE(hmx::QuantityLimitEvents)
