// Where the Poller looks for a lost instrument: only the device it was measuring on
// (under the name it was opened by and, while it is a listed port, the system's own
// name for it) and serial devices that appeared after the loss. Ports that were there
// all along belong to someone else, or hold nothing of ours: the search never opens
// them, so other programs' devices are left alone. A device found to hold another unit
// is tried again only at the full looks: its unit may be swapped for ours without the
// port going away.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace hmx {

class RecoverySearch {
public:
    explicit RecoverySearch(const std::string& device = {});

    // The instrument is gone: notes which ports are present now.
    void lost();
    // A full look: the lost device's names, then the ports that have appeared since the
    // loss, each once, those holding another unit included.
    std::vector<std::string> candidates();
    // The lost device's names alone, unless another unit answered there (tried every
    // cycle between full looks).
    std::vector<std::string> lostDevice() const;
    // The device answered with another serial number: whether that is news (another
    // unit, or another one than before, at this device), to be told once.
    bool holdsAnotherUnit(const std::string& device, unsigned serialNumber);
    // Measuring goes on at this device.
    void found(const std::string& device);

private:
    std::vector<std::string> lostNames() const;

    std::string m_device;
    std::string m_canonical;
    std::set<std::string> m_presentAtLoss;
    std::map<std::string, unsigned> m_otherUnits;  // device -> serial number found there
};

} // namespace hmx
