// Looking for more instruments: every given device is asked to identify itself, the
// version of each that answers is read for its serial number, and every port is closed
// again, so the session made for a unit opens it as its own. Runs off the caller's
// thread; the result comes back as a queued signal.
#pragma once

#include "instrument/linkworker.h"
#include "link/protocol.h"

#include <QObject>

#include <atomic>
#include <string>
#include <vector>

namespace hmx {

struct FoundInstrument {
    std::string device;          // where it answered
    std::string identification;  // its identification reply
    VersionInfo version;         // with its serial number
};

struct InstrumentSearch {
    std::vector<FoundInstrument> found;  // in the order of the devices
    std::vector<std::string> denied;     // devices that could not be opened for lack of permission
    bool stopped = false;                // a stop request ended the search early
};

// Each device once, in order; blocking.
InstrumentSearch FindInstruments(const std::vector<std::string>& devices, const SleepFunction& sleep = {},
                                 const std::atomic<bool>* stopRequested = nullptr);

class InstrumentFinder : public QObject {
    Q_OBJECT
public:
    explicit InstrumentFinder(QObject* parent = nullptr);
    ~InstrumentFinder() override;  // stop()

    // Searches these devices (none: nothing is found at once). One search at a time:
    // false while one runs.
    bool find(const std::vector<std::string>& devices);
    bool running() const { return m_running; }
    // Ends a search under way at once; its result is not told.
    void stop();

signals:
    void searched(const hmx::InstrumentSearch& search);

private:
    LinkWorker m_worker;
    bool m_running = false;
    unsigned m_generation = 0;  // of the search whose result is awaited
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::InstrumentSearch)
