// The recorder of one instrument: its session in --dir, looked for on the usual ports (or
// --port) until it answers, then measured until the end.
#pragma once

#include "logger/loggeroptions.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace hmx {

class MeasuringSession;
class Recorder;
struct ScanResult;

class SingleRecorder : public QObject {
    Q_OBJECT
public:
    explicit SingleRecorder(const LoggerOptions& options, QObject* parent = nullptr);
    ~SingleRecorder() override;  // stop()

    // Starts looking for the instrument; it is looked for again until it answers.
    void start();
    // The session's orderly end.
    void stop();

signals:
    // Nothing can be recorded: another copy's folder, a log that cannot be made (exit status 1).
    void failed();

private:
    void notFound(const ScanResult& scan);

    std::unique_ptr<MeasuringSession> m_session;
    std::unique_ptr<Recorder> m_view;
    QTimer m_rescan;
    bool m_toldNotFound = false;
};

} // namespace hmx
