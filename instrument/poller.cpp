#include "instrument/poller.h"

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

double ToDateTimeValue(const QDateTime& moment)
{
    static const QDate origin(1899, 12, 30);
    const QDateTime local = moment.toLocalTime();
    return double(origin.daysTo(local.date())) + double(local.time().msecsSinceStartOfDay()) / 86400000.0;
}

double NowDateTimeValue()
{
    return ToDateTimeValue(QDateTime::currentDateTime());
}

Poller::Poller(MeasurementLog& log, QObject* parent)
    : QObject(parent)
    , m_log(log)
{
    qRegisterMetaType<hmx::Reading>();
}

Poller::~Poller()
{
    stop();
}

void Poller::start()
{
    if (m_thread.joinable())
        return;
    m_running.store(true, std::memory_order_release);
    m_thread = std::thread([this] { run(); });
}

void Poller::stop()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_running.store(false, std::memory_order_release);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool Poller::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_waitMutex);
    return !m_wake.wait_for(lock, duration, [this] { return !m_running.load(std::memory_order_acquire); });
}

void Poller::run()
{
    while (m_running.load(std::memory_order_acquire))
        cycle();
}

void Poller::cycle()
{
    ExchangeResult result;
    Measurement measurement;
    {
        std::lock_guard lock(LinkLock());
        result = QueryExchange(MeasureCommand, MeasureWait, ClearAfterSend::No,
                               [this](std::chrono::milliseconds d) { return sleepFor(d); });
        if (result == ExchangeResult::Interrupted)
            return;
        if (result == ExchangeResult::Reply)
            measurement = DecodeMeasurement(ReceiveBuffer);
        std::memset(ReceiveBuffer, 0, ReceiveBufferSize);
    }

    if (result == ExchangeResult::Reply) {
        handleMeasurement(measurement);
    } else {
        // A failed send (port gone) has still waited the full cycle, so this never spins.
        emit noReply();
    }

    if (Settings().writePending() && WriteSettings())
        emit settingsConfirmed();
}

void Poller::handleMeasurement(const Measurement& measurement)
{
    const QLocale locale;
    Reading reading;
    reading.number = m_counter.fetch_add(1, std::memory_order_relaxed) + 1;
    reading.dewPoint = measurement.dewPoint;
    reading.humidity = measurement.humidity;
    reading.ambient = measurement.ambient;
    reading.dewPointText = DisplayText(measurement.dewPoint, locale);
    reading.humidityText = DisplayText(measurement.humidity, locale);
    reading.ambientText = DisplayText(measurement.ambient, locale);
    reading.operatingTimeText = OperatingTimeText();

    LogLine line;
    line.number = reading.number;
    line.time = QTime::currentTime();
    line.dewPoint = reading.dewPoint;
    line.humidity = reading.humidity;
    line.ambient = reading.ambient;
    line.dewPointText = reading.dewPointText;
    line.humidityText = reading.humidityText;
    line.ambientText = reading.ambientText;
    // The failure is reported once; a line that goes through again ends the failure run.
    if (m_log.appendLine(line, locale)) {
        m_logFailing = false;
    } else if (!m_logFailing) {
        m_logFailing = true;
        emit logFailed(m_log.errorString());
    }

    reading.dewPointX = NowDateTimeValue();
    reading.humidityX = NowDateTimeValue();
    reading.ambientX = NowDateTimeValue();
    emit readingArrived(reading);
}

} // namespace hmx
