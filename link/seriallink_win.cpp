// The serial link on Windows: a COM port opened for exclusive synchronous access.
#include "link/seriallink.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace hmx {

namespace {

static_assert(sizeof(DCB) == 28, "DCBlength is written as 28");

HANDLE handleOf(PortHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Errors a port gives once its device is gone, e.g. a USB adapter pulled out.
bool isLossError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_OPERATION_ABORTED:
    // A hung-up line: Wine gives "not ready" for a terminal whose far side has gone, and
    // USB adapters give either when pulled out mid-transfer.
    case ERROR_NOT_READY:
    case ERROR_IO_DEVICE:
        return true;
    default:
        return false;
    }
}

OpenFailure failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OpenFailure::Absent;
    // A COM port held by another program gives "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return OpenFailure::Busy;
    default:
        return OpenFailure::Other;
    }
}

} // namespace

// Nothing beyond the handle needs remembering on Windows.
struct SerialLink::Platform {
};

SerialLink::SerialLink(PortHandle handle, std::string device, std::unique_ptr<Platform> platform)
    : m_handle(handle)
    , m_device(std::move(device))
    , m_platform(std::move(platform))
{
}

std::string PortName(int number)
{
    if (number < 0 || number > 255)
        return {};
    return "\\\\.\\COM" + std::to_string(number);
}

std::vector<std::string> PortNames()
{
    std::vector<std::string> names;
    for (int n = 0; n <= 255; ++n)
        names.push_back(PortName(n));
    return names;
}

bool PortPresent(const std::string& name)
{
    // "\\.\COM3" -> "COM3": the DOS device name Windows keeps for each port it knows.
    const std::size_t at = name.rfind('\\');
    const std::string device = at == std::string::npos ? name : name.substr(at + 1);
    char target[512];
    return !device.empty() && QueryDosDeviceA(device.c_str(), target, sizeof target) != 0;
}

std::string CanonicalPortName(const std::string& name)
{
    return name;
}

SerialLink::Opened SerialLink::Open(const std::string& name)
{
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {nullptr, failureOf(GetLastError())};

    SetupComm(h, 512, 64);
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    // A name can lead to something that is no serial port at all (a file, a printer).
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return {nullptr, OpenFailure::NotSerial};
    }
    dcb.BaudRate = 19200;
    // The whole flag word, fBinary to fAbortOnError, becomes 2: only fParity set,
    // DTR and RTS disabled, no flow control of any kind.
    const DWORD flags = 2;
    std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD), &flags, sizeof flags);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
    // The port keeps the time-outs its last user left. Reads must return at once with what
    // has arrived, and a write to a stalled line must give up instead of blocking for ever.
    COMMTIMEOUTS timeouts {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 2;  // ms per byte; one byte takes about 0.5 ms
    timeouts.WriteTotalTimeoutConstant = 500;
    SetCommTimeouts(h, &timeouts);
    // Filled by the call and never examined, as the driver reports it.
    DWORD events = 0;
    GetCommMask(h, &events);
    SetCommMask(h, EV_TXEMPTY);
    return {std::unique_ptr<SerialLink>(new SerialLink(reinterpret_cast<PortHandle>(h), name, std::make_unique<Platform>())),
            OpenFailure::None};
}

SerialLink::~SerialLink()
{
    CloseHandle(handleOf(m_handle));
}

bool SerialLink::TransmitBytes(std::size_t count)
{
    const HANDLE h = handleOf(m_handle);
    count = std::min(count, TransmitBufferSize);
    DWORD written = 0;
    // A short or failed write is a failed attempt, not a success.
    if (!WriteFile(h, TransmitBuffer, static_cast<DWORD>(count), &written, nullptr)) {
        if (isLossError(GetLastError()))
            markLost();
        return false;
    }
    if (written != count)
        return false;
    // The event that ended the wait; never examined.
    DWORD event = 0;
    if (!WaitCommEvent(h, &event, nullptr)) {
        if (isLossError(GetLastError()))
            markLost();
        return false;
    }
    return true;
}

std::size_t SerialLink::ReadReply(std::size_t maxCount)
{
    const HANDLE h = handleOf(m_handle);
    DWORD errorFlags = 0;  // the line's errors, cleared and never examined
    COMSTAT status {};
    if (!ClearCommError(h, &errorFlags, &status)) {
        if (isLossError(GetLastError()))
            markLost();
        return 0;
    }
    if (status.cbInQue == 0)
        return 0;
    const std::size_t want = std::min({maxCount, ReceiveBufferSize, static_cast<std::size_t>(status.cbInQue)});
    DWORD bytesRead = 0;
    if (!ReadFile(h, ReceiveBuffer, static_cast<DWORD>(want), &bytesRead, nullptr) && isLossError(GetLastError()))
        markLost();
    return bytesRead;
}

void SerialLink::DiscardInput()
{
    PurgeComm(handleOf(m_handle), PURGE_RXCLEAR);
}

std::size_t SerialLink::WaitingBytes() const
{
    DWORD errors = 0;
    COMSTAT status {};
    if (!ClearCommError(handleOf(m_handle), &errors, &status))
        return 0;
    return status.cbInQue;
}

bool SerialLink::FlushOutput()
{
    if (FlushFileBuffers(handleOf(m_handle)))
        return true;
    if (isLossError(GetLastError()))
        markLost();
    return false;
}

} // namespace hmx
