// The Poller: the one background thread that measures about twice a second,
// writes each reading to the log and hands display and chart updates to the
// window thread through queued signals (it never touches a widget). When the port
// reports that the instrument is gone, it closes it and looks for the instrument
// again by itself, then goes on measuring.
#pragma once

#include "instrument/linkworker.h"
#include "instrument/recoverysearch.h"
#include "instrument/replygate.h"
#include "link/protocol.h"
#include "log/measurementlog.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace hmx {

// Fixed point, two decimals, rounded to four significant digits, locale separator:
// 235 -> "23.50", -105 -> "-10.50", 12346 -> "1235.00".
QString DisplayText(std::int16_t tenths, const QLocale& locale = QLocale());

// One reading as the window shows it.
struct Reading {
    std::int32_t number = 0;
    QDateTime time;              // when it was taken; the log line's time of day
    std::int16_t dewPoint = 0;   // tenths
    std::int16_t humidity = 0;
    std::int16_t ambient = 0;
    QString dewPointText;        // Edit20, Edit6, Edit14
    QString humidityText;
    QString ambientText;
    QString operatingTimeText;   // Label35
    double dewPointX = 0;        // chart X of each series' point (see ChartX)
    double humidityX = 0;
    double ambientX = 0;
};

class Poller : public QObject {
    Q_OBJECT
public:
    // How often, while the instrument is lost, the whole identify scan runs besides
    // the try of the same device every cycle.
    static constexpr std::chrono::seconds RescanInterval{5};

    // The log must outlive the Poller; the Poller is its only writer while running.
    // `device` is the port the instrument answered on (Port, open), `serialNumber` the
    // one its version reply gave: after a loss, measuring goes on only with that unit.
    explicit Poller(MeasurementLog& log, std::string device = {}, std::uint16_t serialNumber = 0,
                    QObject* parent = nullptr);
    ~Poller() override;  // stops and joins

    void start();
    // Interrupts the wait and any stalled send, joins the thread, and waits until the
    // last readings' lines are on the disk and the readings handed over.
    void stop();

    std::int32_t readingCount() const { return m_counter.load(std::memory_order_relaxed); }
    std::uint64_t rejectedCount() const { return m_rejected.load(std::memory_order_relaxed); }

signals:
    void noReply();                          // Edit20 shows "Error"
    void readingArrived(const hmx::Reading& reading);
    // The same reading just before its line goes to the log, on the Poller's thread (for a
    // direct connection that must never hold less than the log, such as a publishing queue).
    void readingTaken(const hmx::Reading& reading);
    void settingsConfirmed();                // Label9 shows "Zapisano!"
    void logFailed(const hmx::LogProblem& problem);  // once per run of failures
    void logWorks();                         // a line went through after failures
    void logRecreated(const hmx::LogProblem& problem);  // the log had gone; a new one took the line
    void linesDropped(quint64 total);        // the in-memory limit dropped readings
    void replyRejected(quint64 total);       // a reply that was no whole reading was thrown away
    void instrumentLost();                   // the port is gone; searching
    void instrumentBack(const QString& device);
    // While searching, another unit answered on `device`; it is not used. Told once
    // per device while it stays.
    void otherInstrumentFound(const QString& device, quint16 serialNumber);

private:
    void run();
    void cycle();
    void recoveryCycle();
    // The first device of these with our unit on it, left open as Port; empty if none.
    std::string findOurUnit(const std::vector<std::string>& devices, const SleepFunction& sleep);
    // A cycle's reply goes to the gate; the reply before it is settled.
    void settle(const WatchedReply& reply, std::size_t leftover, const Measurement& measurement);
    // The reply held at the end gets the same check as at a send: nothing came after it.
    void settleLast();
    void handleMeasurement(const Measurement& measurement, qint64 receivedAt);

    MeasurementLog& m_log;
    std::string m_device;  // Poller thread only while running
    std::uint16_t m_serialNumber = 0;
    RecoverySearch m_search;
    LinkWorker m_worker;
    std::atomic<std::int32_t> m_counter{0};
    std::atomic<std::uint64_t> m_rejected{0};
    // Poller thread only.
    bool m_logFailing = false;
    ReplyGate m_gate;
    bool m_sentUnsettled = false;  // stopped after a send, before its reply was read
    std::size_t m_droppedShown = 0;
    bool m_lost = false;
    std::chrono::steady_clock::time_point m_nextScan;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::Reading)
Q_DECLARE_METATYPE(hmx::LogProblem)
