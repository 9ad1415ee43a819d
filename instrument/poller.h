// The Poller: the background thread that measures one instrument about twice a
// second on the link it owns, writes each reading to the log and hands display and
// chart updates to the window thread through queued signals (it never touches a
// widget). Between two cycles it serves the settings read and write it is asked for.
// When the port reports that the instrument is gone, it closes it and looks for the
// instrument again by itself, then goes on measuring.
#pragma once

#include "instrument/derived.h"
#include "instrument/linkworker.h"
#include "instrument/recoverysearch.h"
#include "instrument/replygate.h"
#include "instrument/settings.h"
#include "link/protocol.h"
#include "link/seriallink.h"
#include "log/measurementlog.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
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
    // The derived quantities chosen when it was taken, computed once on the Poller's
    // thread: a value, or none where the reading lies outside the formulas' range.
    std::vector<DerivedValue> derived;
    std::shared_ptr<const DerivedChoice> derivedFor;  // the choice they were computed for
};

class Poller : public QObject {
    Q_OBJECT
public:
    // How often, while the instrument is lost, the whole identify scan runs besides
    // the try of the same device every cycle.
    static constexpr std::chrono::seconds RescanInterval{5};
    // Readings further apart than ten cycles do not follow one another: a chart line
    // breaks there, and a limit's delay starts again.
    static constexpr std::chrono::milliseconds ReadingsJoin = 10 * MeasureWait;

    // The log must outlive the Poller; the Poller is its only writer while running.
    // `link` is the open link of the port the instrument answered on, the Poller's from
    // now on (none: the instrument counts as lost); `serialNumber` the one its version
    // reply gave: after a loss, measuring goes on only with that unit.
    explicit Poller(MeasurementLog& log, std::unique_ptr<SerialLink> link, std::uint16_t serialNumber = 0,
                    QObject* parent = nullptr);
    ~Poller() override;  // stops and joins, then closes its link

    void start();
    // Interrupts the wait and any stalled send, joins the thread, and waits until the
    // last readings' lines are on the disk and the readings handed over.
    void stop();

    std::int32_t readingCount() const { return m_counter.load(std::memory_order_relaxed); }
    std::uint64_t rejectedCount() const { return m_rejected.load(std::memory_order_relaxed); }

    // Any thread. The instrument's settings are read after the cycle under way (01s?end,
    // its wait, one read) and told by settingsRead; while the instrument is lost the read
    // fails at once. Asked again before it ran, it runs once.
    void requestSettingsRead();
    // Any thread. These values go out after the cycle under way (see WriteSettings); a
    // later request before it ran replaces them. While the instrument is lost the write
    // waits for it to come back.
    void requestSettingsWrite(const SettingsValues& values);
    bool settingsWritePending() const { return m_settings.writePending(); }
    // Any thread. The derived quantities the next readings carry.
    void setDerived(const DerivedChoice& choice);

signals:
    void noReply();                          // Edit20 shows "Error"
    void readingArrived(const hmx::Reading& reading);
    // The same reading just before its line goes to the log, on the Poller's thread (for a
    // direct connection that must never hold less than the log, such as a publishing queue).
    void readingTaken(const hmx::Reading& reading);
    void settingsConfirmed();                // Label9 shows "Zapisano!"
    // The answer to requestSettingsRead: the values, or read false when no whole record came.
    void settingsRead(bool read, const hmx::SettingsValues& values);
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
    // The settings exchanges asked for, after a measuring cycle.
    void serveSettingsRequests(const SleepFunction& sleep);
    // Our unit's open link on the first device of these that has it; none if none.
    std::unique_ptr<SerialLink> findOurUnit(const std::vector<std::string>& devices, const SleepFunction& sleep);
    // A cycle's reply goes to the gate; the reply before it is settled.
    void settle(const WatchedReply& reply, std::size_t leftover, const Measurement& measurement);
    // The reply held at the end gets the same check as at a send: nothing came after it.
    void settleLast();
    void handleMeasurement(const Measurement& measurement, qint64 receivedAt);

    MeasurementLog& m_log;
    std::unique_ptr<SerialLink> m_link;  // Poller thread only while running; none while lost
    std::string m_device;  // Poller thread only while running
    std::uint16_t m_serialNumber = 0;
    RecoverySearch m_search;
    LinkWorker m_worker;
    std::atomic<std::int32_t> m_counter{0};
    std::atomic<std::uint64_t> m_rejected{0};
    std::atomic<bool> m_readRequested{false};
    std::mutex m_derivedMutex;  // the choice, handed from any thread to the Poller's
    std::shared_ptr<const DerivedChoice> m_derived;
    SettingsStore m_settings;  // the write asked for
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
