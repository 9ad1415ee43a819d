#include "instrument/recoverysearch.h"

#include "link/seriallink.h"

#include <algorithm>

namespace hmx {

RecoverySearch::RecoverySearch(const std::string& device)
{
    found(device);
}

void RecoverySearch::found(const std::string& device)
{
    m_device = device;
    m_canonical = device.empty() ? std::string() : CanonicalPortName(device);
    m_otherUnits.clear();
}

void RecoverySearch::lost()
{
    m_presentAtLoss.clear();
    for (const std::string& name : PortNames())
        if (!name.empty() && PortPresent(name))
            m_presentAtLoss.insert(CanonicalPortName(name));
}

std::vector<std::string> RecoverySearch::lostNames() const
{
    // The system's name only while it is a port we may look at: once the link the
    // device was opened by has gone, that node may be anyone's.
    std::vector<std::string> names {m_device};
    if (m_canonical != m_device) {
        for (const std::string& listed : PortNames()) {
            if (!listed.empty() && CanonicalPortName(listed) == m_canonical) {
                names.push_back(m_canonical);
                break;
            }
        }
    }
    return names;
}

std::vector<std::string> RecoverySearch::lostDevice() const
{
    // Both names may lead to one device again: it is tried once.
    std::vector<std::string> names;
    std::set<std::string> devices;
    for (const std::string& name : lostNames()) {
        const std::string device = CanonicalPortName(name);
        if (!name.empty() && !m_otherUnits.count(device) && devices.insert(device).second)
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> RecoverySearch::candidates()
{
    // A unit that has gone may come back as ours.
    for (auto it = m_otherUnits.begin(); it != m_otherUnits.end();)
        it = PortPresent(it->first) ? std::next(it) : m_otherUnits.erase(it);
    // A port that goes away after the loss is new when it comes back.
    for (auto it = m_presentAtLoss.begin(); it != m_presentAtLoss.end();)
        it = PortPresent(*it) ? std::next(it) : m_presentAtLoss.erase(it);
    std::vector<std::string> names;
    std::set<std::string> devices;
    for (const std::string& name : lostNames()) {
        if (!name.empty() && devices.insert(CanonicalPortName(name)).second)
            names.push_back(name);
    }
    for (const std::string& name : PortNames()) {
        if (name.empty() || !PortPresent(name))
            continue;
        const std::string device = CanonicalPortName(name);
        // One holding another unit appeared since the loss, or is the lost one.
        if ((m_presentAtLoss.count(device) && !m_otherUnits.count(device)) || !devices.insert(device).second)
            continue;
        names.push_back(name);
    }
    return names;
}

bool RecoverySearch::holdsAnotherUnit(const std::string& device, unsigned serialNumber)
{
    const auto [it, added] = m_otherUnits.emplace(CanonicalPortName(device), serialNumber);
    const bool news = added || it->second != serialNumber;
    it->second = serialNumber;
    return news;
}

} // namespace hmx
