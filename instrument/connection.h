// Finding the instrument: the port scan with the Identify command, and the version read.
#pragma once

#include "link/protocol.h"
#include "link/seriallink.h"

#include <atomic>
#include <functional>
#include <memory>
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
    // The scanning thread's stop request, heeded by each link it opens (nullptr: none).
    const std::atomic<bool>* stopRequested = nullptr;
};

enum class Identification { Answered, NotOpened, NoAnswer, Stopped };

struct Identified {
    Identification outcome = Identification::NotOpened;
    std::unique_ptr<SerialLink> link;       // Answered: the open link
    std::string reply;                      // Answered: the identification text
    OpenFailure failure = OpenFailure::None;  // NotOpened: why
};

// Opens the device, its link heeding `stopRequested`, and sends the Identify command
// (01i?end, 200 ms, one read). On an exact "HMX-700" (nothing else but zero bytes) the
// link is given back open with the reply's text; otherwise the port is closed again.
Identified IdentifyOn(const std::string& device, const SleepFunction& sleep = {},
                      const std::atomic<bool>* stopRequested = nullptr);

// Tries port (attempt mod 256) for attempts 1..511 until one answers exactly "HMX-700";
// that port's open link goes to `link` (closed again when none is given), every other
// port is closed. The list of devices is taken once, at the start.
ScanResult ScanForInstrument(const ScanOptions& options = {}, std::unique_ptr<SerialLink>* link = nullptr);

// 01v?end, 300 ms, one read, on the link. A reply of other than 9 bytes does not count:
// the numbers are then taken from the identification reply's bytes 5..8 (zeros beyond
// its end), as if the version reply had left the Receive buffer untouched.
VersionInfo ReadVersion(SerialLink& link, const std::string& identification, const SleepFunction& sleep = {});

} // namespace hmx
