// The recorder of every instrument it finds (--all): each unit measured by a session of its
// own into "<dir>/<serial number>/", seen through a Recorder that names it. Every few
// seconds the ports no session holds are asked again, so a unit plugged in later is
// recorded too; a lost unit is looked for by its own session, the others go on.
#pragma once

#include "instrument/instrumentfinder.h"
#include "logger/loggeroptions.h"
#include "session/instrumentset.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace hmx {

class MeasuringSession;
class Recorder;
struct SessionOptions;

class AllRecorder : public QObject {
    Q_OBJECT
public:
    explicit AllRecorder(LoggerOptions options, QObject* parent = nullptr);
    ~AllRecorder() override;  // stop()

    // The first search; then one every Poller::RescanInterval.
    void start();
    // Every session's orderly end, the newest first.
    void stop();

signals:
    // Nothing can be recorded at all: --dir takes no files (exit status 1).
    void failed();

private:
    struct Unit {
        std::string device;  // where the search found it, until its session knows better
        std::unique_ptr<Recorder> view;
    };

    void search();
    void searched(const InstrumentSearch& search);
    void add(const FoundInstrument& found);
    // Ends the unit's session and forgets it; `skip`: it is not taken up again this run.
    void drop(quint16 serialNumber, bool skip);
    SessionOptions sessionOptions(quint16 serialNumber);  // the set's connection made at the first
    QString heldOn(const Unit& unit) const;

    LoggerOptions m_options;
    InstrumentSet m_set;
    std::map<quint16, Unit> m_units;  // by serial number, from the search on
    std::set<quint16> m_skipped;      // another copy's folder, or one that cannot be made
    std::set<std::pair<quint16, std::string>> m_toldTwice;  // a unit measured already, found elsewhere
    std::set<std::string> m_toldDenied;
    QTimer m_searchTimer;
    bool m_toldNone = false;
    bool m_stopped = false;
};

} // namespace hmx
