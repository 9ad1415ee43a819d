#include "instrument/poller.h"

#include "instrument/charttime.h"
#include "instrument/connection.h"
#include "instrument/settings.h"
#include "link/protocol.h"
#include "link/seriallink.h"

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

Poller::Poller(MeasurementLog& log, std::string device, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_device(std::move(device))
{
    qRegisterMetaType<hmx::Reading>();
    qRegisterMetaType<hmx::LogProblem>();
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

void Poller::run()
{
    while (!m_worker.stopRequested())
        cycle();
}

void Poller::cycle()
{
    if (m_lost) {
        recoveryCycle();
        return;
    }
    const SleepFunction sleep = m_worker.sleeper();
    ExchangeResult result;
    std::size_t received = 0;
    Measurement measurement;
    bool lost = false;
    {
        std::lock_guard lock(LinkLock());
        result = QueryExchange(MeasureCommand, MeasureWait, ClearAfterSend::No, sleep, &received);
        if (result == ExchangeResult::Interrupted)
            return;
        // Exactly one record, or nothing: a reply cut in two or with noise around it would
        // mix bytes of different readings. What is left over is discarded before the next send.
        if (received == MeasurementSize)
            measurement = DecodeMeasurement(ReceiveBuffer);
        std::memset(ReceiveBuffer, 0, ReceiveBufferSize);
        if (received > 0 && received != MeasurementSize && !DiscardUntilQuiet(QuietAfterBadReply, QuietLimit, sleep))
            return;
        lost = PortLost();
        if (lost) {
            ClosePort(Port);
            m_lost = true;
            m_nextScan = std::chrono::steady_clock::now() + RescanInterval;
        }
    }

    if (received == MeasurementSize) {
        handleMeasurement(measurement);
    } else {
        if (received > 0)
            emit replyRejected(m_rejected.fetch_add(1, std::memory_order_relaxed) + 1);
        // A failed send (port gone) has still waited the full cycle, so this never spins.
        emit noReply();
    }
    if (lost) {
        emit instrumentLost();
        return;  // a pending settings write waits for the instrument to come back
    }

    if (Settings().writePending() && WriteSettings(sleep))
        emit settingsConfirmed();
}

// One cycle while the instrument is gone: the same device again, or now and then the
// whole scan. Only the identify command goes out, never a log line or a message box.
void Poller::recoveryCycle()
{
    const auto started = std::chrono::steady_clock::now();
    const SleepFunction sleep = m_worker.sleeper();
    std::string device;
    if (started >= m_nextScan) {
        const ScanResult scan = ScanForInstrument({{}, sleep});
        if (scan.connected)
            device = scan.portName;
        m_nextScan = std::chrono::steady_clock::now() + RescanInterval;
    } else if (!m_device.empty() && IdentifyOn(m_device, sleep) == Identification::Answered) {
        device = m_device;
    }
    if (m_worker.stopRequested())
        return;
    if (!device.empty()) {
        {
            std::lock_guard lock(LinkLock());
            ClearBuffers();
        }
        m_lost = false;
        m_device = device;
        emit instrumentBack(QString::fromStdString(device));
        return;
    }
    emit noReply();
    // Keep the pace of a measuring cycle, so a device that is simply absent costs nothing.
    const auto spent = std::chrono::steady_clock::now() - started;
    if (spent < MeasureWait)
        m_worker.sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(MeasureWait - spent));
}

void Poller::handleMeasurement(const Measurement& measurement)
{
    const QLocale locale;
    Reading reading;
    reading.number = m_counter.fetch_add(1, std::memory_order_relaxed) + 1;
    reading.time = QDateTime::currentDateTime();
    reading.dewPoint = measurement.dewPoint;
    reading.humidity = measurement.humidity;
    reading.ambient = measurement.ambient;
    reading.dewPointText = DisplayText(measurement.dewPoint, locale);
    reading.humidityText = DisplayText(measurement.humidity, locale);
    reading.ambientText = DisplayText(measurement.ambient, locale);
    reading.operatingTimeText = OperatingTimeText();

    LogLine line;
    line.number = reading.number;
    line.time = reading.time.time();
    line.dewPoint = reading.dewPoint;
    line.humidity = reading.humidity;
    line.ambient = reading.ambient;
    line.dewPointText = reading.dewPointText;
    line.humidityText = reading.humidityText;
    line.ambientText = reading.ambientText;
    reading.dewPointX = ChartXNow();
    reading.humidityX = ChartXNow();
    reading.ambientX = ChartXNow();
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
