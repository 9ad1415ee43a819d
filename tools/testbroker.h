// A Mosquitto broker for tests and benchmarks: Debian's mosquitto program on 127.0.0.1,
// on a port found free, with its configuration, persistence and log in a folder of the
// caller's. It can be stopped and started again on the same port, keeping its sessions.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace hmx::sim {

class TestBroker {
public:
    explicit TestBroker(QString folder);
    ~TestBroker();  // stop()

    // More configuration lines (listeners, TLS, password file); the first listener is
    // always the plain one on port().
    void setExtraConfig(const QString& lines) { m_extra = lines; }
    // Starts mosquitto and waits until it accepts connections; false with the reason in log().
    bool start();
    // SIGTERM, and waits: the broker saves its sessions for the next start.
    void stop();

    int port() const { return m_port; }
    QString log() const;
    // The client ids that connected, each once, in order; watchers ("watcher-…") left out.
    QStringList clients() const;

    // A port on 127.0.0.1 nobody listens on just now.
    static int FreePort();
    // True once something accepts a TCP connection on 127.0.0.1:port, within `ms`.
    static bool WaitForListener(int port, int ms);

private:
    QString m_folder;
    QString m_extra;
    int m_port = 0;
    QProcess m_process;
};

} // namespace hmx::sim
