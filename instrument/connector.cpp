#include "instrument/connector.h"

#include "link/seriallink.h"

namespace hmx {

Connector::Connector(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<hmx::ScanResult>();
    qRegisterMetaType<hmx::VersionInfo>();
    qRegisterMetaType<hmx::SettingsValues>();
}

Connector::~Connector()
{
    stop();
}

void Connector::scan(const std::vector<std::string>& devices)
{
    // The previous step has reported already, so its thread has ended.
    m_worker.start([this, devices] {
        ScanOptions options;
        options.devices = devices;
        options.trying = [this](int attempt, const std::string& device) {
            emit trying(attempt, QString::fromStdString(device));
        };
        options.sleep = m_worker.sleeper();
        const ScanResult result = ScanForInstrument(options);
        m_holdsPort.store(result.connected, std::memory_order_release);
        emit scanned(result);
    });
}

void Connector::readInstrument(const std::string& identification)
{
    m_worker.start([this, identification] {
        const SleepFunction sleep = m_worker.sleeper();
        const VersionInfo version = ReadVersion(identification, sleep);
        SettingsValues settings;
        const bool read = !m_worker.stopRequested() && ReadSettingsRecord(settings, sleep);
        emit instrumentRead(version, read, settings);
    });
}

void Connector::stop()
{
    m_worker.stop();
    if (m_holdsPort.exchange(false)) {
        std::lock_guard lock(LinkLock());
        ClosePort(Port);
    }
}

void Connector::release()
{
    m_holdsPort.store(false, std::memory_order_release);
}

} // namespace hmx
