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

bool Connector::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_waitMutex);
    return !m_wake.wait_for(lock, duration, [this] { return m_stopping.load(std::memory_order_acquire); });
}

void Connector::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void Connector::runOnWorker(std::function<void()> work)
{
    join();  // the previous step has reported already
    m_stopping.store(false, std::memory_order_release);
    m_thread = std::thread(std::move(work));
}

void Connector::scan(const std::vector<std::string>& devices)
{
    runOnWorker([this, devices] {
        ScanOptions options;
        options.devices = devices;
        options.trying = [this](int attempt, const std::string& device) {
            emit trying(attempt, QString::fromStdString(device));
        };
        options.sleep = [this](std::chrono::milliseconds d) { return sleepFor(d); };
        const ScanResult result = ScanForInstrument(options);
        m_holdsPort.store(result.connected, std::memory_order_release);
        emit scanned(result);
    });
}

void Connector::readInstrument(const std::string& identification)
{
    runOnWorker([this, identification] {
        const auto sleep = [this](std::chrono::milliseconds d) { return sleepFor(d); };
        const VersionInfo version = ReadVersion(identification, sleep);
        SettingsValues settings;
        const bool read = !m_stopping.load(std::memory_order_acquire) && ReadSettingsRecord(settings, sleep);
        emit instrumentRead(version, read, settings);
    });
}

void Connector::stop()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_stopping.store(true, std::memory_order_release);
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        SetLinkInterrupted(true);
        m_thread.join();
        SetLinkInterrupted(false);
    }
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
