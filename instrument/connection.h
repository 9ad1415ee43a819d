// Finding the instrument: the port scan with the Identify command, and the version read.
#pragma once

#include "link/protocol.h"

#include <functional>
#include <string>
#include <vector>

namespace hmx {

struct ScanResult {
    bool connected = false;
    bool stopped = false;             // a stop request ended the scan early
    std::string reply;                // the identification reply of the port that answered
    std::string portName;             // and its device
    int attempts = 0;                 // attempts made
    std::vector<std::string> tried;   // devices that opened but did not answer "HMX-700", each once
    std::vector<std::string> denied;  // devices that could not be opened for lack of permission
};

inline constexpr int FirstScanAttempt = 1;
inline constexpr int LastScanAttempt = 511;

struct ScanOptions {
    // Told before each device is tried.
    std::function<void(int attempt, const std::string& device)> trying;
    // The identify wait; a false return stops the scan at once. Empty: a plain sleep.
    SleepFunction sleep;
    // Only these devices, as ports 1, 2 ...; empty: the system's ports (PortNames).
    std::vector<std::string> devices;
};

enum class Identification { Answered, NotOpened, NoAnswer, Stopped };

// Opens the device and sends the Identify command (01i?end, 200 ms, one read). On an
// exact "HMX-700" (nothing else but zero bytes) the port stays open as Port and
// `reply` gets the text; otherwise the port is closed again.
Identification IdentifyOn(const std::string& device, const SleepFunction& sleep = {}, std::string* reply = nullptr);

// Tries port (attempt mod 256) for attempts 1..511 until one answers exactly "HMX-700";
// that port stays open as Port, every other one is closed. The list of devices is
// taken once, at the start.
ScanResult ScanForInstrument(const ScanOptions& options = {});

// 01v?end, 300 ms, one read. A reply of other than 9 bytes does not count: the numbers
// are then taken from the identification reply's bytes 5..8 (zeros beyond its end),
// as if the version reply had left the Receive buffer untouched.
VersionInfo ReadVersion(const std::string& identification, const SleepFunction& sleep = {});

} // namespace hmx
