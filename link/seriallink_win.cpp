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

} // namespace

std::string PortName(int number)
{
    if (number < 0 || number > 255)
        return {};
    return "\\\\.\\COM" + std::to_string(number);
}

PortHandle OpenPort(int number)
{
    const std::string name = PortName(number);
    if (name.empty()) {
        Port = InvalidPort;
        return Port;
    }
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Port = reinterpret_cast<PortHandle>(h);
    if (h == INVALID_HANDLE_VALUE)
        return Port;

    SetupComm(h, 512, 64);
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    GetCommState(h, &dcb);
    dcb.BaudRate = 19200;
    // The whole flag word, fBinary to fAbortOnError, becomes 2: only fParity set,
    // DTR and RTS disabled, no flow control of any kind.
    const DWORD flags = 2;
    std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD), &flags, sizeof flags);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
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
    if (!WriteFile(h, TransmitBuffer, static_cast<DWORD>(count), &written, nullptr) || written != count)
        return false;
    return WaitCommEvent(h, &EventWord, nullptr) != 0;
}

std::size_t ReadReply(PortHandle handle, std::size_t maxCount)
{
    if (handle == InvalidPort)
        return 0;
    const HANDLE h = handleOf(handle);
    ClearCommError(h, &ErrorFlags, &PortStatus);
    if (PortStatus.cbInQue == 0) {
        BytesRead = 0;
        return 0;
    }
    const std::size_t want = std::min({maxCount, ReceiveBufferSize, static_cast<std::size_t>(PortStatus.cbInQue)});
    BytesRead = 0;
    ReadFile(h, ReceiveBuffer, static_cast<DWORD>(want), &BytesRead, nullptr);
    return BytesRead;
}

namespace detail {

bool FlushOutput(PortHandle handle)
{
    return FlushFileBuffers(handleOf(handle)) != 0;
}

} // namespace detail

} // namespace hmx
