// Finding the instrument: the port scan with the Identify command, and the version read.
#pragma once

#include "link/protocol.h"

#include <string>

namespace hmx {

struct ScanResult {
    bool connected = false;
    std::string reply;    // the identification reply of the port that answered
    int attempts = 0;     // attempts made
};

inline constexpr int FirstScanAttempt = 1;
inline constexpr int LastScanAttempt = 511;

// Tries port (attempt mod 256) for attempts 1..511 until one answers exactly "HMX-700";
// that port stays open as Port, every other one is closed.
ScanResult ScanForInstrument();

// 01v?end, 300 ms, one read; bytes 5..8 of the Receive buffer whatever arrived.
VersionInfo ReadVersion();

} // namespace hmx
