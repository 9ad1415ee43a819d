// The headless recording session: finds the instrument as Connect does, reads its
// version and settings, creates jrt1.txt, then measures with the Poller and publishes
// each reading. Says what happens on standard error, one line each.
#pragma once

#include "logger/loggeroptions.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

namespace hmx {

class Connector;
class LogFolderLock;
class MeasurementLog;
class Poller;
class Publisher;
struct LogProblem;
struct PublishState;
struct ScanResult;
struct SettingsValues;
struct VersionInfo;

class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(LoggerOptions options, QObject* parent = nullptr);
    ~Recorder() override;  // stop()

    // Starts looking for the instrument; it is looked for again until it answers.
    void start();
    // Connection stopped, Poller stopped, log closed, queue on disk, "offline" published.
    void stop();

signals:
    // The log cannot be created: nothing can be recorded (exit status 1).
    void failed();

private:
    void scanned(const ScanResult& scan);
    void instrumentRead(const VersionInfo& version, bool settingsRead, const SettingsValues& settings);
    void startPublishing();
    void showPublishState(const PublishState& state);
    void showLogProblem(const LogProblem& problem);
    QString logPath(const QString& name) const;

    LoggerOptions m_options;
    std::unique_ptr<LogFolderLock> m_folderLock;  // held from the start to the end
    std::unique_ptr<Connector> m_connector;
    std::unique_ptr<MeasurementLog> m_log;
    std::unique_ptr<Publisher> m_publisher;
    std::unique_ptr<Poller> m_poller;
    QTimer m_rescan;
    std::string m_device;
    bool m_toldNotFound = false;
    bool m_stopped = false;
    QString m_lastPublishText;
};

} // namespace hmx
