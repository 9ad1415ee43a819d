// The serial link to the instrument: one process-wide port with its Transmit and
// Receive buffers, and the routines every exchange goes through.
// Uses only the standard library and the OS API (termios on POSIX, Win32 on Windows).
#pragma once

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
// device of the system sorted by name. Empty when n is 0 or beyond the list.
std::string PortName(int number);

// Opens and configures port n (19200 8N1 raw, no flow control, DTR/RTS off),
// exclusively: a port held by another program is not opened. Stores the result
// in Port and returns it; InvalidPort when the port is not available.
PortHandle OpenPort(int number);

// Closes a port opened by OpenPort; Port becomes InvalidPort when it was that one.
void ClosePort(PortHandle handle);

// One attempt: writes count bytes from TransmitBuffer and waits until they have
// left the transmitter. False when the write or the wait failed.
bool TransmitBytes(PortHandle handle, std::size_t count);

// Sends the NUL-terminated text in TransmitBuffer (without the NUL) on Port.
// Retries a failed attempt a few times; false when the frame did not go out,
// which callers treat like "no reply". Never blocks for long, never spins.
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
