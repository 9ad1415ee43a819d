#include "session/instrumentset.h"

#include "link/seriallink.h"
#include "publish/brokerconnection.h"
#include "session/measuringsession.h"

#include <QDir>

#include <algorithm>
#include <set>

namespace hmx {

PublishSettings InstrumentPublishing(const PublishSettings& settings, quint16 serialNumber, bool inStartFolder)
{
    PublishSettings own = settings;
    if (!inStartFolder && !own.baseTopic.isEmpty())
        own.baseTopic = QStringLiteral("%1/%2").arg(own.baseTopic).arg(serialNumber);
    return own;
}

InstrumentSet::InstrumentSet(QString startFolder, QObject* parent)
    : QObject(parent)
    , m_startFolder(std::move(startFolder))
{
    connect(&m_finder, &InstrumentFinder::searched, this, &InstrumentSet::searched);
}

InstrumentSet::~InstrumentSet()
{
    stopAll();
}

QString InstrumentSet::startFolder() const
{
    return m_startFolder.isEmpty() ? QDir::currentPath() : m_startFolder;
}

QString InstrumentSet::folderFor(quint16 serialNumber) const
{
    return QDir(startFolder()).filePath(QString::number(serialNumber));
}

MeasuringSession* InstrumentSet::add(SessionOptions options)
{
    m_sessions.push_back(std::make_unique<MeasuringSession>(std::move(options)));
    return m_sessions.back().get();
}

void InstrumentSet::remove(MeasuringSession* session)
{
    const auto it = std::find_if(m_sessions.begin(), m_sessions.end(),
                                 [session](const std::unique_ptr<MeasuringSession>& s) { return s.get() == session; });
    if (it == m_sessions.end())
        return;
    std::unique_ptr<MeasuringSession> ending = std::move(*it);
    m_sessions.erase(it);
    ending->stop();
}

MeasuringSession* InstrumentSet::holding(quint16 serialNumber) const
{
    for (const std::unique_ptr<MeasuringSession>& s : m_sessions)
        if (s->serialNumber() == serialNumber && serialNumber != 0)
            return s.get();
    return nullptr;
}

std::vector<std::string> InstrumentSet::freePorts(const std::vector<std::string>& first) const
{
    // A device counts as held under any name that leads to it.
    std::set<std::string> held;
    for (const std::unique_ptr<MeasuringSession>& s : m_sessions) {
        const std::string device = s->device().toStdString();
        if (device.empty())
            continue;
        held.insert(device);
        held.insert(CanonicalPortName(device));
    }
    std::vector<std::string> free;
    std::vector<std::string> candidates = first;
    const std::vector<std::string> usual = PortNames();
    candidates.insert(candidates.end(), usual.begin(), usual.end());
    for (const std::string& port : candidates) {
        if (port.empty() || held.contains(port) || held.contains(CanonicalPortName(port)))
            continue;
        free.push_back(port);
        held.insert(CanonicalPortName(port));  // asked once, under the first name given
    }
    return free;
}

std::shared_ptr<BrokerConnection> InstrumentSet::broker(const PublishSettings& settings, quint16 namedBy)
{
    if (!settings.enabled)
        return {};
    PublishSettings named = settings;
    if (named.clientId.isEmpty() && namedBy != 0)
        named.clientId = named.clientIdFor(namedBy);
    if (!m_broker || !m_broker->serves(settings))
        m_broker = std::make_shared<BrokerConnection>(named);
    return m_broker;
}

bool InstrumentSet::search(const std::vector<std::string>& first)
{
    return m_finder.find(freePorts(first));
}

void InstrumentSet::stopAll()
{
    m_finder.stop();
    while (!m_sessions.empty()) {
        std::unique_ptr<MeasuringSession> ending = std::move(m_sessions.back());
        m_sessions.pop_back();
        ending->stop();
    }
}

} // namespace hmx
