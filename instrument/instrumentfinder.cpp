#include "instrument/instrumentfinder.h"

#include "instrument/connection.h"

#include <QMetaObject>

namespace hmx {

InstrumentSearch FindInstruments(const std::vector<std::string>& devices, const SleepFunction& sleep,
                                 const std::atomic<bool>* stopRequested)
{
    InstrumentSearch search;
    for (const std::string& device : devices) {
        if (device.empty())
            continue;
        Identified identified = IdentifyOn(device, sleep, stopRequested);
        if (identified.outcome == Identification::Stopped) {
            search.stopped = true;
            break;
        }
        if (identified.outcome == Identification::NotOpened && identified.failure == OpenFailure::Denied)
            search.denied.push_back(device);
        if (identified.outcome != Identification::Answered)
            continue;
        const VersionInfo version = ReadVersion(*identified.link, identified.reply, sleep);
        if (stopRequested && stopRequested->load(std::memory_order_acquire)) {
            search.stopped = true;
            break;
        }
        search.found.push_back({device, identified.reply, version});
        // identified.link closes here: the unit's session opens the port itself.
    }
    return search;
}

InstrumentFinder::InstrumentFinder(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<hmx::InstrumentSearch>();
}

InstrumentFinder::~InstrumentFinder()
{
    stop();
}

bool InstrumentFinder::find(const std::vector<std::string>& devices)
{
    if (m_running)
        return false;
    m_running = true;
    m_worker.stop();  // the thread of the search before has told its result and ended
    const unsigned generation = ++m_generation;
    m_worker.start([this, devices, generation] {
        InstrumentSearch search = FindInstruments(devices, m_worker.sleeper(), m_worker.stopFlag());
        if (search.stopped)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, search = std::move(search)] {
                if (generation != m_generation)
                    return;  // stopped meanwhile, or another search began
                m_running = false;
                emit searched(search);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void InstrumentFinder::stop()
{
    m_worker.stop();
    ++m_generation;
    m_running = false;
}

} // namespace hmx
