// The serial link on Windows: a COM port opened for exclusive synchronous access.
#include "link/seriallink.h"
#include "link/seriallink_platform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace hmx {

namespace {

// Filled by the calls below and never examined, as the driver reports them.
DWORD EventWord = 0;
DWORD ErrorFlags = 0;
DWORD BytesRead = 0;
COMSTAT PortStatus {};

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

void noteError()
{
    if (isLossError(GetLastError()))
        detail::MarkLost();
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

PortHandle OpenPortByName(const std::string& name)
{
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Port = reinterpret_cast<PortHandle>(h);
    if (h == INVALID_HANDLE_VALUE) {
        detail::SetOpenFailure(failureOf(GetLastError()));
        Port = InvalidPort;
        return Port;
    }

    SetupComm(h, 512, 64);
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    // A name can lead to something that is no serial port at all (a file, a printer).
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        detail::SetOpenFailure(OpenFailure::NotSerial);
        Port = InvalidPort;
        return Port;
    }
    detail::SetOpenFailure(OpenFailure::None);
    detail::ClearLost();
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
    GetCommMask(h, &EventWord);
    SetCommMask(h, EV_TXEMPTY);
    return Port;
}

void ClosePort(PortHandle handle)
{
    if (handle == InvalidPort)
        return;
    CloseHandle(handleOf(handle));
    if (Port == handle)
        Port = InvalidPort;
}

bool TransmitBytes(PortHandle handle, std::size_t count)
{
    if (handle == InvalidPort)
        return false;
    const HANDLE h = handleOf(handle);
    count = std::min(count, TransmitBufferSize);
    DWORD written = 0;
    // A short or failed write is a failed attempt, not a success.
    if (!WriteFile(h, TransmitBuffer, static_cast<DWORD>(count), &written, nullptr)) {
        noteError();
        return false;
    }
    if (written != count)
        return false;
    if (!WaitCommEvent(h, &EventWord, nullptr)) {
        noteError();
        return false;
    }
    return true;
}

std::size_t ReadReply(PortHandle handle, std::size_t maxCount)
{
    if (handle == InvalidPort)
        return 0;
    const HANDLE h = handleOf(handle);
    if (!ClearCommError(h, &ErrorFlags, &PortStatus)) {
        noteError();
        BytesRead = 0;
        return 0;
    }
    if (PortStatus.cbInQue == 0) {
        BytesRead = 0;
        return 0;
    }
    const std::size_t want = std::min({maxCount, ReceiveBufferSize, static_cast<std::size_t>(PortStatus.cbInQue)});
    BytesRead = 0;
    if (!ReadFile(h, ReceiveBuffer, static_cast<DWORD>(want), &BytesRead, nullptr))
        noteError();
    return BytesRead;
}

void DiscardInput(PortHandle handle)
{
    if (handle != InvalidPort)
        PurgeComm(handleOf(handle), PURGE_RXCLEAR);
}

std::size_t WaitingBytes(PortHandle handle)
{
    DWORD errors = 0;
    COMSTAT status {};
    if (handle == InvalidPort || !ClearCommError(handleOf(handle), &errors, &status))
        return 0;
    return status.cbInQue;
}

namespace detail {

bool FlushOutput(PortHandle handle)
{
    if (FlushFileBuffers(handleOf(handle)))
        return true;
    noteError();
    return false;
}

} // namespace detail

} // namespace hmx
