// The serial link to the instrument: one open port with its own Transmit and Receive
// buffers, and the routines every exchange goes through. Whoever measures owns its link,
// so one process can talk to several instruments at once.
// Uses only the standard library and the OS API (termios on POSIX, Win32 on Windows).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hmx {

// A file descriptor on POSIX, a HANDLE on Windows.
using PortHandle = std::intptr_t;
inline constexpr PortHandle InvalidPort = -1;

inline constexpr std::size_t TransmitBufferSize = 68;
inline constexpr std::size_t ReceiveBufferSize = 512;
inline constexpr std::size_t SettingsFrameSize = 42;

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

// Why an open gave no link.
enum class OpenFailure {
    None,       // it opened
    Absent,     // no such device
    Busy,       // held by another program
    Denied,     // no permission
    NotSerial,  // not a serial device
    Other,
};

// One open port. It belongs to one thread at a time (the one measuring with it), so
// nothing else can come between the steps of an exchange; it is handed on whole.
// Closing it (its destruction) puts back the line settings found at the open.
class SerialLink {
public:
    // The link, or why there is none.
    struct Opened {
        std::unique_ptr<SerialLink> link;
        OpenFailure failure = OpenFailure::None;
    };

    // Opens and configures a device (a path on POSIX, "\\.\COM<n>" on Windows) at
    // 19200 8N1 raw, no flow control, DTR/RTS off, exclusively: a port held by another
    // program is not opened.
    static Opened Open(const std::string& device);
    // The same for port number n (PortName).
    static Opened OpenNumber(int number);

    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The name it was opened by, and its handle (for a look from outside the routines).
    const std::string& device() const { return m_device; }
    PortHandle handle() const { return m_handle; }

    // The exchanges' own bytes: a frame is put in TransmitBuffer before a send, a reply
    // is read into ReceiveBuffer.
    std::uint8_t TransmitBuffer[TransmitBufferSize] = {};
    std::uint8_t ReceiveBuffer[ReceiveBufferSize] = {};

    // The owner names its stop request (nullptr: none). While it is raised, the send
    // routines give up at once and their bounded waits end early, so a stalled port
    // cannot hold up a stop. Each link heeds only its own owner's request.
    void setStopRequest(const std::atomic<bool>* stopRequested) { m_stopRequest = stopRequested; }
    // True while the owner's stop request is raised.
    bool interrupted() const { return m_stopRequest && m_stopRequest->load(std::memory_order_acquire); }

    // True once a routine has seen the device go away (unplugged adapter, hung-up
    // terminal, removed device node); it stays so, and a new link must be opened.
    // Silence alone is not loss.
    bool lost() const { return m_lost; }

    // Throws away bytes received but not read yet, so a reply starts on a clean line.
    void DiscardInput();

    // How many received bytes wait to be read (0 when that cannot be told). Never waits.
    std::size_t WaitingBytes() const;

    // Bytes the sends have thrown away as left over since the last call (each send
    // discards what came after the exchange before it), and zeroes the count. Left-over
    // bytes mean the reply before them was not all there was.
    std::size_t TakeDiscardedCount();

    // One attempt: writes count bytes from TransmitBuffer and waits until they have
    // left the transmitter. False when the write or the wait failed.
    bool TransmitBytes(std::size_t count);

    // Sends the NUL-terminated text in TransmitBuffer (without the NUL), after
    // discarding any input left over from an earlier exchange. Retries a failed attempt
    // a few times; false when the frame did not go out (at once on a lost port), which
    // callers treat like "no reply". Never blocks for long, never spins.
    bool SendCommand();

    // Sends exactly SettingsFrameSize bytes of TransmitBuffer, zero bytes included.
    bool SendSettingsFrame();

    // Copies the bytes already received (at most maxCount, capped to the buffer) to
    // the start of ReceiveBuffer. Never waits. Returns how many were read; 0 leaves
    // ReceiveBuffer untouched.
    std::size_t ReadReply(std::size_t maxCount);

    // Zeroes both buffers.
    void ClearBuffers();

private:
    struct Platform;  // what the operating system's side must remember of the open port

    SerialLink(PortHandle handle, std::string device, std::unique_ptr<Platform> platform);
    // The bounded send loop shared by both sends.
    bool SendLoop(std::size_t count);
    // Waits until output already queued on the port has left it (FlushFileBuffers /
    // tcdrain). False when the port refused.
    bool FlushOutput();
    void markLost() { m_lost = true; }

    PortHandle m_handle = InvalidPort;
    std::string m_device;
    std::unique_ptr<Platform> m_platform;
    const std::atomic<bool>* m_stopRequest = nullptr;
    bool m_lost = false;
    std::size_t m_discarded = 0;
};

} // namespace hmx
