#include "instrument/connector.h"

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
        m_link.reset();  // a link of an earlier scan nobody took
        ScanOptions options;
        options.devices = devices;
        options.trying = [this](int attempt, const std::string& device) {
            emit trying(attempt, QString::fromStdString(device));
        };
        options.sleep = m_worker.sleeper();
        options.stopRequested = m_worker.stopFlag();
        const ScanResult result = ScanForInstrument(options, &m_link);
        emit scanned(result);
    });
}

void Connector::readInstrument(const std::string& identification)
{
    if (!m_link)
        return;
    m_worker.start([this, identification] {
        const SleepFunction sleep = m_worker.sleeper();
        const VersionInfo version = ReadVersion(*m_link, identification, sleep);
        SettingsValues settings;
        const bool read = !m_worker.stopRequested() && ReadSettingsRecord(*m_link, settings, sleep);
        emit instrumentRead(version, read, settings);
    });
}

void Connector::stop()
{
    m_worker.stop();
    m_link.reset();
}

std::unique_ptr<SerialLink> Connector::takeLink()
{
    // The step that reported has ended its work; its thread is joined before the link moves.
    m_worker.stop();
    if (m_link) {
        m_link->ClearBuffers();
        m_link->setStopRequest(nullptr);
    }
    return std::move(m_link);
}

} // namespace hmx
