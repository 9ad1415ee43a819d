// The headless recorder's view of one measuring session: what the session tells, one line
// each on standard error. It reads the instrument once found, measures into jrt1.txt,
// watches the INI file's limits (crossings in its journal and on <base>/event) and
// publishes each reading. With several instruments, each line names its own.
#pragma once

#include "logger/loggeroptions.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

namespace hmx {

class MeasuringSession;
struct PublishState;
struct SessionOptions;
struct ScanResult;

// One line on standard error; `name` (an instrument's) goes before it in brackets.
void Say(const QString& text, const QString& name = {});

// The session of one instrument as the recorder's options make it, into `folder`.
SessionOptions RecorderSession(const LoggerOptions& options, const QString& folder, const PublishSettings& publish);

class Recorder : public QObject {
    Q_OBJECT
public:
    // `name` empty: the lines go without one (a single instrument).
    explicit Recorder(MeasuringSession& session, QString name = {}, QObject* parent = nullptr);

    MeasuringSession& session() const { return m_session; }
    void say(const QString& text) const { Say(text, m_name); }

    // Looks for the instrument on these devices (none: the usual ones). False when the
    // session cannot (cannotRecord follows) or after stop().
    bool start(const std::vector<std::string>& devices = {});
    // The session's orderly end: Poller stopped, log closed, queue on disk, "offline"
    // published; what it could not keep is said.
    void stop();

signals:
    // Nothing can be recorded here (another copy's folder, a log that cannot be made);
    // told after the event loop has taken over, the reason said already.
    void cannotRecord();
    // The scan ended without the instrument.
    void notFound(const hmx::ScanResult& scan);

private:
    void scanned(const ScanResult& scan);
    void showPublishState(const PublishState& state);

    MeasuringSession& m_session;
    QString m_name;
    QString m_baseTopic;
    bool m_toldPublishing = false;
    bool m_stopped = false;
    QString m_lastPublishText;
};

} // namespace hmx
