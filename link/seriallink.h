// The serial link to the instrument: one process-wide port with its Transmit and
// Receive buffers, and the routines every exchange goes through.
// Uses only the standard library and the OS API (termios on POSIX, Win32 on Windows).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace hmx {

// A file descriptor on POSIX, a HANDLE on Windows.
using PortHandle = std::intptr_t;
inline constexpr PortHandle InvalidPort = -1;

inline constexpr std::size_t TransmitBufferSize = 68;
inline constexpr std::size_t ReceiveBufferSize = 512;
inline constexpr std::size_t SettingsFrameSize = 42;

// Process-wide link state. Touch it only while holding LinkLock().
extern PortHandle Port;
extern std::uint8_t TransmitBuffer[TransmitBufferSize];
extern std::uint8_t ReceiveBuffer[ReceiveBufferSize];

// Held by a caller for a whole exchange (send, sleep, read, use of the reply),
// so the window thread and the Poller never interleave on the link.
std::mutex& LinkLock();

// Device behind port number n: on Windows "\\.\COM<n>"; on POSIX the n-th (1-based)
// entry of HMX700_PORTS (paths separated by ':') when set, else the n-th serial
// device of the system: USB adapters (ttyUSB*, ttyACM*) first, then the rest, each
// group in natural name order. Empty when n is 0 or beyond the list.
std::string PortName(int number);

// The order in which the system's serial devices are numbered (names without
// "/dev/"): USB adapters first (ttyUSB*, then ttyACM*), then the rest; natural name
// order within each group ("ttyS2" before "ttyS10").
void SortSerialDeviceNames(std::vector<std::string>& names);

// PortName(0) to PortName(255) from one look at the system, so a scan sees one
// consistent list. A device that an earlier entry already reaches (the same device
// under another name, such as a link in /dev/serial/by-id) is left empty, so the
// numbering stays as listed and the device is tried once.
std::vector<std::string> PortNames();

// Whether a device of that name exists now (a node on POSIX, a COM port that Windows
// knows), without opening it.
bool PortPresent(const std::string& name);

// The name the system itself gives the device a name leads to (a link resolved on
// POSIX; the name as it is on Windows).
std::string CanonicalPortName(const std::string& name);

// Why the calling thread's last open gave InvalidPort.
enum class OpenFailure {
    None,       // it opened
    Absent,     // no such device
    Busy,       // held by another program
    Denied,     // no permission
    NotSerial,  // not a serial device
    Other,
};
OpenFailure LastOpenFailure();

// Opens and configures port n (19200 8N1 raw, no flow control, DTR/RTS off),
// exclusively: a port held by another program is not opened. Stores the result
// in Port and returns it; InvalidPort when the port is not available.
PortHandle OpenPort(int number);

// The same for a device name (a path on POSIX, "\\.\COM<n>" on Windows).
PortHandle OpenPortByName(const std::string& name);

// True once a routine working on Port has seen the device go away (unplugged
// adapter, hung-up terminal, removed device node), until the next port is opened.
// Silence alone is not loss.
bool PortLost();

// A user of the link names its own stop request for the calling thread (nullptr: none).
// While it is raised, that thread's send routines give up at once and their bounded
// waits end early, so a stalled port cannot hold up a stop. Each thread heeds only its
// own request: stopping one user never cuts short another's exchange.
void SetLinkInterruption(const std::atomic<bool>* stopRequested);
// True while the calling thread's stop request is raised.
bool LinkInterrupted();

// Throws away bytes received but not read yet, so a reply starts on a clean line.
void DiscardInput(PortHandle handle);

// How many received bytes wait to be read (0 when that cannot be told). Never waits.
std::size_t WaitingBytes(PortHandle handle);

// Bytes the sends have thrown away as left over since the last call (each send
// discards what came after the exchange before it), and zeroes the count. Left-over
// bytes mean the reply before them was not all there was.
std::size_t TakeDiscardedCount();

// Closes a port opened by OpenPort; Port becomes InvalidPort when it was that one.
void ClosePort(PortHandle handle);

// One attempt: writes count bytes from TransmitBuffer and waits until they have
// left the transmitter. False when the write or the wait failed.
bool TransmitBytes(PortHandle handle, std::size_t count);

// Sends the NUL-terminated text in TransmitBuffer (without the NUL) on Port, after
// discarding any input left over from an earlier exchange. Retries a failed attempt
// a few times; false when the frame did not go out (at once on a lost port), which
// callers treat like "no reply". Never blocks for long, never spins.
bool SendCommand();

// Sends exactly SettingsFrameSize bytes of TransmitBuffer, zero bytes included.
bool SendSettingsFrame();

// Copies the bytes already received (at most maxCount, capped to the buffer) to
// the start of ReceiveBuffer. Never waits. Returns how many were read; 0 leaves
// ReceiveBuffer untouched.
std::size_t ReadReply(PortHandle handle, std::size_t maxCount);

// Zeroes both buffers.
void ClearBuffers();

} // namespace hmx
