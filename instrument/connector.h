// Runs the connection's exchanges off the window thread, so the window stays
// responsive: first the scan, then (once the window has shown the identification)
// the version and settings reads. The exchanges keep their bytes, order and waits;
// results come back as queued signals, and a stop request ends any of them at once.
#pragma once

#include "instrument/connection.h"
#include "instrument/linkworker.h"
#include "instrument/settings.h"

#include "link/seriallink.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace hmx {

class Connector : public QObject {
    Q_OBJECT
public:
    explicit Connector(QObject* parent = nullptr);
    ~Connector() override;  // stop()

    // The identify scan; reports each device tried, then the result. The link of the
    // port that answered stays open and belongs to the connector until takeLink().
    void scan(const std::vector<std::string>& devices = {});
    // 01v?end, then 01s?end, with their waits, on that link.
    void readInstrument(const std::string& identification);
    // Interrupts a running exchange, waits for it, and closes a link the connector
    // still holds.
    void stop();
    // Hands over the link of the port that answered (none when there is none), its
    // buffers cleared; from then on the caller's. Call once the last step has reported.
    std::unique_ptr<SerialLink> takeLink();

signals:
    void trying(int attempt, const QString& device);
    void scanned(const hmx::ScanResult& result);
    void instrumentRead(const hmx::VersionInfo& version, bool settingsRead, const hmx::SettingsValues& settings);

private:
    LinkWorker m_worker;
    // The worker's while a step runs, the owner's thread's between steps.
    std::unique_ptr<SerialLink> m_link;
};

} // namespace hmx

Q_DECLARE_METATYPE(hmx::ScanResult)
Q_DECLARE_METATYPE(hmx::VersionInfo)
