#include "instrument/connection.h"

#include "link/seriallink.h"

namespace hmx {

ScanResult ScanForInstrument()
{
    ScanResult result;
    for (int attempt = FirstScanAttempt; attempt <= LastScanAttempt && !result.connected; ++attempt) {
        result.attempts = attempt;
        const PortHandle handle = OpenPort(attempt % 256);
        if (handle == InvalidPort)
            continue;
        std::lock_guard lock(LinkLock());
        const ExchangeResult exchange = QueryExchange(IdentifyCommand, IdentifyWait, ClearAfterSend::Yes);
        if (exchange == ExchangeResult::Reply && ReplyTextIs(ReceiveBuffer, ReceiveBufferSize, ModelName)) {
            result.connected = true;
            result.reply = std::string(ReplyText(ReceiveBuffer, ReceiveBufferSize));
        } else {
            ClosePort(handle);
        }
    }
    return result;
}

VersionInfo ReadVersion()
{
    std::lock_guard lock(LinkLock());
    // A missing reply is not detected: the bytes left by the identification are used.
    QueryExchange(VersionCommand, VersionWait);
    return DecodeVersion(ReceiveBuffer);
}

} // namespace hmx
