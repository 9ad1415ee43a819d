// The instruments one process measures: a MeasuringSession each. The first may measure
// in the start folder itself (the window's Connect); every other unit records into a
// folder of its own beside it, "<start folder>/<serial number>/", with its own log,
// journal, lock and publishing queue. Looking for more instruments asks only the ports
// no session holds, so a search never disturbs a unit being measured.
#pragma once

#include "instrument/instrumentfinder.h"
#include "publish/publishsettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace hmx {

class BrokerConnection;
class MeasuringSession;
struct SessionOptions;

// The publishing of one instrument of several: with a base topic set, the unit in the
// start folder keeps it and every other publishes under "<base>/<serial number>", so
// what subscribers of the first one read does not move when a second is added; without
// one, each has its own default "hmx700/<serial number>" already.
PublishSettings InstrumentPublishing(const PublishSettings& settings, quint16 serialNumber, bool inStartFolder);

class InstrumentSet : public QObject {
    Q_OBJECT
public:
    // `startFolder` empty: the current folder.
    explicit InstrumentSet(QString startFolder = {}, QObject* parent = nullptr);
    ~InstrumentSet() override;  // stopAll()

    QString startFolder() const;
    // Where the unit of this serial number records when it is not the first.
    QString folderFor(quint16 serialNumber) const;

    // A new session, the set's own from now on (made, not yet connecting).
    MeasuringSession* add(SessionOptions options);
    // Ends the session (its orderly stop) and forgets it.
    void remove(MeasuringSession* session);
    const std::vector<std::unique_ptr<MeasuringSession>>& sessions() const { return m_sessions; }
    // The session measuring (or looking for) the unit of this serial number; nullptr: none.
    MeasuringSession* holding(quint16 serialNumber) const;

    // The ports no session measures on: `first` (ports where units were before), then the
    // usual ones (HMX700_PORTS or the system's) in their usual order, each device once.
    std::vector<std::string> freePorts(const std::vector<std::string>& first = {}) const;
    // Asks the free ports in the background, `first` first; searched() tells what
    // answered. False while a search runs.
    bool search(const std::vector<std::string>& first = {});
    bool searching() const { return m_finder.running(); }

    // The connection to the broker all sessions publishing to it share: the one made
    // before while it serves these settings (the same broker and account), else a new one
    // (sessions on the old one keep it until they end). Its client id is the settings' or,
    // unless `namedBy` is 0, "hmx700-<namedBy>": the unit that makes it, so which of several
    // units answers first does not rename the connection. Null when not publishing.
    std::shared_ptr<BrokerConnection> broker(const PublishSettings& settings, quint16 namedBy = 0);

    // Every session's orderly end, the newest first; the searches stopped.
    void stopAll();

signals:
    void searched(const hmx::InstrumentSearch& search);

private:
    QString m_startFolder;
    InstrumentFinder m_finder;
    std::vector<std::unique_ptr<MeasuringSession>> m_sessions;
    std::shared_ptr<BrokerConnection> m_broker;
};

} // namespace hmx
