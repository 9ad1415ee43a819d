#include "instrument/poller.h"

#include "instrument/charttime.h"
#include "instrument/connection.h"
#include "link/protocol.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstdlib>
#include <cstring>

namespace hmx {

namespace {

// Half-days, hours and seconds of operation. Nothing in the instrument reports
// them, so the label keeps showing zeros.
constexpr unsigned OperatingHalfDays = 0;
constexpr unsigned OperatingHours = 0;
constexpr unsigned OperatingSeconds = 0;

QString OperatingTimeText()
{
    return QStringLiteral("Poldni:%1 godzin:%2 sekund:%3")
        .arg(OperatingHalfDays)
        .arg(OperatingHours)
        .arg(OperatingSeconds);
}

} // namespace

QString DisplayText(std::int16_t tenths, const QLocale& locale)
{
    // Work in integers so four significant digits round exactly, halves to even.
    int value = tenths;
    const bool negative = value < 0;
    int magnitude = std::abs(value);
    int units;
    int decimal;
    if (magnitude >= 10000) {
        // 1000.0 and above keep four significant digits: whole units only.
        const int quotient = magnitude / 10;
        const int remainder = magnitude % 10;
        units = quotient + ((remainder > 5 || (remainder == 5 && quotient % 2 == 1)) ? 1 : 0);
        decimal = 0;
    } else {
        units = magnitude / 10;
        decimal = magnitude % 10;
    }
    QString text = negative && (units != 0 || decimal != 0) ? QStringLiteral("-") : QString();
    text += QString::number(units);
    text += locale.decimalPoint();
    text += QString::number(decimal);
    text += QLatin1Char('0');
    return text;
}

Poller::Poller(MeasurementLog& log, std::unique_ptr<SerialLink> link, std::uint16_t serialNumber, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_link(std::move(link))
    , m_device(m_link ? m_link->device() : std::string())
    , m_serialNumber(serialNumber)
    , m_search(m_device)
{
    qRegisterMetaType<hmx::Reading>();
    qRegisterMetaType<hmx::LogProblem>();
    qRegisterMetaType<hmx::SettingsValues>();
    if (m_link) {
        m_link->setStopRequest(m_worker.stopFlag());
    } else {
        m_lost = true;
        m_search.lost();
    }
}

Poller::~Poller()
{
    stop();
}

void Poller::start()
{
    if (!m_worker.running())
        m_worker.start([this] { run(); });
}

void Poller::stop()
{
    m_worker.stop();
    // Readings whose lines are still being synced are handed over before stop() returns.
    m_log.waitUntilDurable();
}

void Poller::requestSettingsRead()
{
    m_readRequested.store(true, std::memory_order_release);
}

void Poller::requestSettingsWrite(const SettingsValues& values)
{
    m_settings.setValues(values);
    m_settings.requestWrite();
}

void Poller::setDerived(const DerivedChoice& choice)
{
    auto shared = std::make_shared<const DerivedChoice>(choice);
    std::lock_guard lock(m_derivedMutex);
    m_derived = std::move(shared);
}

void Poller::run()
{
    // What the connection's exchanges left behind is not this run's.
    if (m_link)
        m_link->TakeDiscardedCount();
    m_gate.reset();
    m_sentUnsettled = false;
    while (!m_worker.stopRequested())
        cycle();
    settleLast();
}

void Poller::cycle()
{
    if (m_lost) {
        recoveryCycle();
        return;
    }
    const SleepFunction sleep = m_worker.sleeper();
    // The line is read throughout the wait, so a reply in pieces or with noise beside
    // it is told from a whole one; the command and the wait stay as they are.
    const WatchedReply reply = WatchedExchange(*m_link, MeasureCommand, MeasureWait, sleep);
    if (reply.result == ExchangeResult::Interrupted) {
        m_sentUnsettled = true;  // what waits now is this reply, not a leftover
        return;
    }
    const std::size_t leftover = m_link->TakeDiscardedCount();
    Measurement measurement;
    if (reply.count == MeasurementSize)
        measurement = DecodeMeasurement(m_link->ReceiveBuffer);
    std::memset(m_link->ReceiveBuffer, 0, ReceiveBufferSize);
    if (m_link->lost()) {
        m_link.reset();
        m_lost = true;
        m_nextScan = std::chrono::steady_clock::now() + RescanInterval;
        m_search.lost();
        // Nothing can confirm the reply held from the cycle before.
        m_gate.reset();
        // A failed send (port gone) has still waited the full cycle, so this never spins.
        emit noReply();
        emit instrumentLost();
        return;  // a pending settings write waits for the instrument to come back
    }
    settle(reply, leftover, measurement);
    serveSettingsRequests(sleep);
}

void Poller::serveSettingsRequests(const SleepFunction& sleep)
{
    if (m_settings.writePending() && WriteSettings(*m_link, m_settings, sleep))
        emit settingsConfirmed();
    if (m_worker.stopRequested() || !m_readRequested.exchange(false, std::memory_order_acq_rel))
        return;
    SettingsValues values;
    const bool read = ReadSettingsRecord(*m_link, values, sleep);
    // A read cut short by the stop tells nothing: whoever stopped the Poller knows.
    if (!m_worker.stopRequested())
        emit settingsRead(read, values);
}

void Poller::settle(const WatchedReply& reply, std::size_t leftover, const Measurement& measurement)
{
    const ReplyGate::Verdict verdict = m_gate.settle(leftover);
    if (verdict.reading)
        handleMeasurement(verdict.reading->measurement, verdict.reading->receivedAt);
    if (verdict.refused)
        emit replyRejected(m_rejected.fetch_add(1, std::memory_order_relaxed) + 1);
    ReplyGate::Cycle cycle;
    cycle.count = reply.count;
    cycle.whole = IsWholeMeasurement(reply);
    cycle.latency = reply.firstArrival;
    cycle.measurement = measurement;
    cycle.receivedAt = QDateTime::currentMSecsSinceEpoch();
    m_gate.note(cycle);
    // The field says at once when this cycle brought no reading, or one was refused late.
    if (!cycle.whole || verdict.refusedWhole)
        emit noReply();
}

void Poller::settleLast()
{
    if (m_lost || !m_link)
        return;
    // Stopped in a wait: its send counted what followed the held reply. Stopped
    // between cycles: whatever waits now came after it.
    const std::size_t leftover = m_link->TakeDiscardedCount() + (m_sentUnsettled ? 0 : m_link->WaitingBytes());
    const ReplyGate::Verdict verdict = m_gate.settle(leftover);
    if (verdict.reading)
        handleMeasurement(verdict.reading->measurement, verdict.reading->receivedAt);
    else if (verdict.refused)
        emit replyRejected(m_rejected.fetch_add(1, std::memory_order_relaxed) + 1);
    m_gate.reset();
}

// One cycle while the instrument is gone: the lost device again, or now and then the
// ports that appeared since. Only the identify and version commands go out, never a
// log line; another unit found is told once.
void Poller::recoveryCycle()
{
    const auto started = std::chrono::steady_clock::now();
    const SleepFunction sleep = m_worker.sleeper();
    std::unique_ptr<SerialLink> link;
    if (started >= m_nextScan) {
        link = findOurUnit(m_search.candidates(), sleep);
        m_nextScan = std::chrono::steady_clock::now() + RescanInterval;
    } else {
        link = findOurUnit(m_search.lostDevice(), sleep);
    }
    if (m_worker.stopRequested())
        return;
    if (link) {
        link->ClearBuffers();
        link->TakeDiscardedCount();  // thrown away by the search, not after a reading
        m_link = std::move(link);
        m_lost = false;
        m_device = m_link->device();
        m_search.found(m_device);
        emit instrumentBack(QString::fromStdString(m_device));
        return;  // a settings read asked for runs after the first cycle
    }
    // Nothing to read the settings from: the read asked for fails.
    if (m_readRequested.exchange(false, std::memory_order_acq_rel))
        emit settingsRead(false, SettingsValues{});
    emit noReply();
    // Keep the pace of a measuring cycle, so a device that is simply absent costs nothing.
    const auto spent = std::chrono::steady_clock::now() - started;
    if (spent < MeasureWait)
        m_worker.sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(MeasureWait - spent));
}

std::unique_ptr<SerialLink> Poller::findOurUnit(const std::vector<std::string>& devices, const SleepFunction& sleep)
{
    for (const std::string& device : devices) {
        if (m_worker.stopRequested())
            return {};
        Identified identified = IdentifyOn(device, sleep, m_worker.stopFlag());
        if (identified.outcome != Identification::Answered)
            continue;
        // Another unit's readings must never go on in this one's log.
        const VersionInfo version = ReadVersion(*identified.link, identified.reply, sleep);
        if (version.serialNumber == m_serialNumber)
            return std::move(identified.link);
        identified.link.reset();
        if (m_search.holdsAnotherUnit(device, version.serialNumber))
            emit otherInstrumentFound(QString::fromStdString(device), version.serialNumber);
    }
    return {};
}

void Poller::handleMeasurement(const Measurement& measurement, qint64 receivedAt)
{
    const QLocale locale;
    Reading reading;
    reading.number = m_counter.fetch_add(1, std::memory_order_relaxed) + 1;
    // Stamped when the reply arrived: it is handed on a cycle later, once confirmed whole.
    reading.time = QDateTime::fromMSecsSinceEpoch(receivedAt);
    reading.dewPoint = measurement.dewPoint;
    reading.humidity = measurement.humidity;
    reading.ambient = measurement.ambient;
    reading.dewPointText = DisplayText(measurement.dewPoint, locale);
    reading.humidityText = DisplayText(measurement.humidity, locale);
    reading.ambientText = DisplayText(measurement.ambient, locale);
    reading.operatingTimeText = OperatingTimeText();
    std::shared_ptr<const DerivedChoice> derived;
    {
        std::lock_guard lock(m_derivedMutex);
        derived = m_derived;
    }
    // Once per reading, before the queue and the log take it: every view gets these values.
    if (derived)
        reading.derived = DerivedOf(*derived, reading);
    reading.derivedFor = std::move(derived);

    LogLine line;
    line.number = reading.number;
    line.time = reading.time.time();
    line.dewPoint = reading.dewPoint;
    line.humidity = reading.humidity;
    line.ambient = reading.ambient;
    line.dewPointText = reading.dewPointText;
    line.humidityText = reading.humidityText;
    line.ambientText = reading.ambientText;
    // Plotted at the moment the reply came, not when it was confirmed a cycle later.
    reading.dewPointX = ChartX(receivedAt);
    reading.humidityX = reading.dewPointX;
    reading.ambientX = reading.dewPointX;
    emit readingTaken(reading);
    // Shown once the line is on the disk; the sync runs on the log's thread, so the
    // cycle keeps its pace.
    const bool written = m_log.appendLine(line, locale, [this, reading] { emit readingArrived(reading); });
    const LogProblem problem = m_log.problem();
    // The failure is reported once; a line that goes through again ends the failure run.
    // A log recreated after it was deleted took the line: that is told, not as a failure.
    if (written || problem.kind == LogProblem::Kind::Recreated) {
        if (m_logFailing)
            emit logWorks();
        m_logFailing = false;
        if (!written)
            emit logRecreated(problem);
    } else if (!m_logFailing) {
        m_logFailing = true;
        emit logFailed(problem);
    }
    // Dropped readings are told at once, not only with the next failure.
    if (m_log.droppedLineCount() > m_droppedShown) {
        m_droppedShown = m_log.droppedLineCount();
        emit linesDropped(m_droppedShown);
    }
}

} // namespace hmx
