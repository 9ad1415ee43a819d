// Where the Poller looks for a lost instrument: only the device it was measuring on
// (under the name it was opened by and the system's own name for it) and serial
// devices that appeared after the loss. Ports that were there all along belong to
// someone else, or hold nothing of ours: the search never opens them, so other
// programs' devices are left alone. A device found to hold another unit is not tried
// again while it stays.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace hmx {

class RecoverySearch {
public:
    explicit RecoverySearch(const std::string& device = {});

    // The instrument is gone: notes which ports are present now.
    void lost();
    // The lost device's names, then the ports that have appeared since the loss, each once.
    std::vector<std::string> candidates();
    // The lost device's names alone (tried every cycle between full looks).
    std::vector<std::string> lostDevice() const;
    // The device answered with another serial number.
    void holdsAnotherUnit(const std::string& device);
    // Measuring goes on at this device.
    void found(const std::string& device);

private:
    std::string m_device;
    std::string m_canonical;
    std::set<std::string> m_presentAtLoss;
    std::set<std::string> m_otherUnits;
};

} // namespace hmx
