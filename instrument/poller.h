// The Poller: the one background thread that measures about twice a second,
// writes each reading to the log and hands display and chart updates to the
// window thread through queued signals (it never touches a widget).
#pragma once

#include "link/protocol.h"
#include "log/measurementlog.h"

#include <QLocale>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace hmx {

// Fixed point, two decimals, rounded to four significant digits, locale separator:
// 235 -> "23.50", -105 -> "-10.50", 12346 -> "1235.00".
QString DisplayText(std::int16_t tenths, const QLocale& locale = QLocale());

// Date-time value (days since 30 Dec 1899, local time) of a moment.
double ToDateTimeValue(const class QDateTime& moment);
double NowDateTimeValue();

// One reading as the window shows it.
struct Reading {
    std::int32_t number = 0;
    std::int16_t dewPoint = 0;   // tenths
    std::int16_t humidity = 0;
    std::int16_t ambient = 0;
    QString dewPointText;        // Edit20, Edit6, Edit14
    QString humidityText;
    QString ambientText;
    QString operatingTimeText;   // Label35
    double dewPointX = 0;        // chart X of each series' point
    double humidityX = 0;
    double ambientX = 0;
};

class Poller : public QObject {
    Q_OBJECT
public:
    // The log must outlive the Poller; the Poller is its only writer while running.
    explicit Poller(MeasurementLog& log, QObject* parent = nullptr);
    ~Poller() override;  // stops and joins

    void start();
    // Interrupts the wait, lets a started exchange finish and joins the thread.
    void stop();

    std::int32_t readingCount() const { return m_counter.load(std::memory_order_relaxed); }

signals:
    void noReply();                          // Edit20 shows "Error"
    void readingArrived(const hmx::Reading& reading);
    void settingsConfirmed();                // Label9 shows "Zapisano!"
    void logFailed(const QString& message);  // once per run of failures

private:
    void run();
    void cycle();
    void handleMeasurement(const Measurement& measurement);
    bool sleepFor(std::chrono::milliseconds duration);

    MeasurementLog& m_log;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    std::atomic<std::int32_t> m_counter{0};
    bool m_logFailing = false;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::Reading)
