#include "tools/testbroker.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hmx::sim {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

TestBroker::TestBroker(QString folder)
    : m_folder(std::move(folder))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(QDir(m_folder).filePath(QStringLiteral("mosquitto.log")), QIODevice::Append);
}

TestBroker::~TestBroker()
{
    stop();
}

int TestBroker::FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool TestBroker::WaitForListener(int port, int ms)
{
    for (int waited = 0; waited < ms; waited += 50) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(port);
        const bool accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (accepted)
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool TestBroker::start()
{
    if (m_port == 0)
        m_port = FreePort();
    const QDir folder(m_folder);
    // Run as root, mosquitto would change to its own user, which cannot read this folder.
    const passwd* user = ::getpwuid(::getuid());
    QFile config(folder.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    config.write(QStringLiteral("user %1\n"
                                "persistence true\n"
                                "persistence_location %2/\n"
                                "per_listener_settings true\n"
                                "listener %3 127.0.0.1\n"
                                "allow_anonymous true\n"
                                "%4\n")
                     .arg(QString::fromLocal8Bit(user ? user->pw_name : "root"), m_folder)
                     .arg(m_port)
                     .arg(m_extra)
                     .toLocal8Bit());
    config.close();
    m_process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
    return m_process.waitForStarted(5000) && WaitForListener(m_port, 10000);
}

void TestBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString TestBroker::log() const
{
    QFile file(QDir(m_folder).filePath(QStringLiteral("mosquitto.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QStringList TestBroker::clients() const
{
    QStringList named;
    for (const QString& line : log().split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("New client connected")) && !line.contains(QLatin1String(" as watcher-")))
            named << line.mid(line.indexOf(QLatin1String(" as ")) + 4).section(QLatin1Char(' '), 0, 0);
    named.removeDuplicates();
    return named;
}

} // namespace hmx::sim
