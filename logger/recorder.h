// The headless recorder: a view of one measuring session that says what happens on
// standard error, one line each. It looks for the instrument until it answers, reads its
// version and settings, measures into jrt1.txt, watches the INI file's limits (crossings
// in its journal and on <base>/event) and publishes each reading.
#pragma once

#include "logger/loggeroptions.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace hmx {

class MeasuringSession;
struct PublishState;
struct ScanResult;

class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(LoggerOptions options, QObject* parent = nullptr);
    ~Recorder() override;  // stop()

    // Starts looking for the instrument; it is looked for again until it answers.
    void start();
    // The session's orderly end: Poller stopped, log closed, queue on disk, "offline" published.
    void stop();

signals:
    // Nothing can be recorded: another copy's folder, a log that cannot be made (exit status 1).
    void failed();

private:
    void scanned(const ScanResult& scan);
    void showPublishState(const PublishState& state);

    LoggerOptions m_options;
    std::unique_ptr<MeasuringSession> m_session;
    QTimer m_rescan;
    QString m_baseTopic;
    bool m_toldNotFound = false;
    bool m_toldPublishing = false;
    bool m_stopped = false;
    QString m_lastPublishText;
};

} // namespace hmx
