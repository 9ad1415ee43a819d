#include "logger/allrecorder.h"

#include "logger/recorder.h"
#include "session/measuringsession.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>

namespace hmx {

AllRecorder::AllRecorder(LoggerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_set(m_options.dir)
{
    m_searchTimer.setInterval(std::chrono::milliseconds(Poller::RescanInterval));
    connect(&m_searchTimer, &QTimer::timeout, this, &AllRecorder::search);
    connect(&m_set, &InstrumentSet::searched, this, &AllRecorder::searched);
}

AllRecorder::~AllRecorder()
{
    stop();
}

// The one place the sessions' publishing is made: every unit over the one connection,
// named by the first unit found unless the settings name it.
SessionOptions AllRecorder::sessionOptions(quint16 serialNumber)
{
    SessionOptions options = RecorderSession(m_options, m_set.folderFor(serialNumber),
                                             InstrumentPublishing(m_options.publish, serialNumber, false));
    options.broker = m_set.broker(m_options.publish, serialNumber);
    return options;
}

void AllRecorder::start()
{
    // Told at once, not when the first unit answers: then there is nothing to record into.
    const QString dir = QDir::toNativeSeparators(m_set.startFolder());
    QTemporaryFile probe(QDir(m_set.startFolder()).filePath(QStringLiteral(".hmx700-logger-XXXXXX")));
    if (!probe.open()) {
        Say(QStringLiteral("cannot write into %1: %2").arg(dir, probe.errorString()));
        QMetaObject::invokeMethod(this, &AllRecorder::failed, Qt::QueuedConnection);
        return;
    }
    Say(QStringLiteral("recording every instrument found, each into %1")
            .arg(QDir::toNativeSeparators(QDir(m_set.startFolder()).filePath(QStringLiteral("<serial number>")))));
    search();
    m_searchTimer.start();
}

void AllRecorder::search()
{
    // A unit's port counts as free until its session has opened it: no search meanwhile.
    const bool connecting = std::any_of(m_units.begin(), m_units.end(), [](const auto& unit) {
        return unit.second.view->session().device().isEmpty();
    });
    if (!m_stopped && !connecting && !m_set.searching())
        m_set.search();
}

QString AllRecorder::heldOn(const Unit& unit) const
{
    const QString device = unit.view->session().device();
    return device.isEmpty() ? QString::fromStdString(unit.device) : device;
}

void AllRecorder::searched(const InstrumentSearch& search)
{
    if (m_stopped)
        return;
    for (const std::string& device : search.denied)
        if (m_toldDenied.insert(device).second)
            Say(QStringLiteral("%1: permission denied").arg(QString::fromStdString(device)));
    for (const FoundInstrument& found : search.found) {
        const quint16 serial = found.version.serialNumber;
        const QString device = QString::fromStdString(found.device);
        if (m_skipped.contains(serial))
            continue;
        if (serial == 0) {
            if (m_toldTwice.insert({serial, found.device}).second)
                Say(QStringLiteral("the instrument on %1 gives no serial number; left alone").arg(device));
            continue;
        }
        if (const auto unit = m_units.find(serial); unit != m_units.end()) {
            if (m_toldTwice.insert({serial, found.device}).second)
                Say(QStringLiteral("answers on %1 as well; measured on %2 already, so not added twice")
                        .arg(device, heldOn(unit->second)),
                    QString::number(serial));
            continue;
        }
        add(found);
    }
    if (m_units.empty() && !m_toldNone) {
        m_toldNone = true;
        Say(QStringLiteral("no instrument answers yet; looking again every %1 s").arg(Poller::RescanInterval.count()));
    }
}

void AllRecorder::add(const FoundInstrument& found)
{
    const quint16 serial = found.version.serialNumber;
    const QString name = QString::number(serial);
    const QString folder = m_set.folderFor(serial);
    if (!QDir().mkpath(folder)) {
        Say(QStringLiteral("cannot make the folder %1; left alone until the recorder starts again")
                .arg(QDir::toNativeSeparators(folder)),
            name);
        m_skipped.insert(serial);
        return;
    }
    MeasuringSession* session = m_set.add(sessionOptions(serial));
    Unit& unit = m_units[serial];
    unit.device = found.device;
    unit.view = std::make_unique<Recorder>(*session, name);
    Recorder* view = unit.view.get();
    // Dropped from the event loop: the signal's sender goes with its unit.
    const auto dropLater = [this, serial](bool skip) {
        QMetaObject::invokeMethod(this, [this, serial, skip] { drop(serial, skip); }, Qt::QueuedConnection);
    };
    connect(view, &Recorder::cannotRecord, this, [view, dropLater] {
        view->say(QStringLiteral("left alone until the recorder starts again"));
        dropLater(true);
    });
    // Gone since the search, or busy: the next search finds it again.
    connect(view, &Recorder::notFound, this, [view, dropLater, device = found.device] {
        view->say(QStringLiteral("no longer answers on %1").arg(QString::fromStdString(device)));
        dropLater(false);
    });
    // Another unit put in its place since the search must not measure into this folder.
    connect(session, &MeasuringSession::instrumentRead, this, [view, dropLater, serial](const VersionInfo& version) {
        if (version.serialNumber == serial)
            return;
        view->say(QStringLiteral("another unit (serial number %1) answers there now").arg(version.serialNumber));
        view->stop();
        dropLater(false);
    });
    view->start({found.device});
}

void AllRecorder::drop(quint16 serialNumber, bool skip)
{
    const auto it = m_units.find(serialNumber);
    if (it == m_units.end())
        return;
    if (skip)
        m_skipped.insert(serialNumber);
    std::unique_ptr<Recorder> view = std::move(it->second.view);
    m_units.erase(it);
    MeasuringSession* session = &view->session();
    view->stop();
    view.reset();
    m_set.remove(session);
}

void AllRecorder::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_searchTimer.stop();
    // Each session's own end, its last lines said under its name.
    for (auto& [serial, unit] : m_units)
        unit.view->stop();
    m_units.clear();
    m_set.stopAll();
}

} // namespace hmx
