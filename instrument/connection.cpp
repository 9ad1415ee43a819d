#include "instrument/connection.h"

#include "link/seriallink.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace hmx {

Identification IdentifyOn(const std::string& device, const SleepFunction& sleep, std::string* reply)
{
    // Held from the open on, so no other exchange can reach a candidate port.
    std::lock_guard lock(LinkLock());
    const PortHandle handle = OpenPortByName(device);
    if (handle == InvalidPort)
        return Identification::NotOpened;
    std::size_t received = 0;
    const ExchangeResult exchange = QueryExchange(IdentifyCommand, IdentifyWait, ClearAfterSend::Yes, sleep, &received);
    if (exchange == ExchangeResult::Reply && ReplyTextIs(ReceiveBuffer, received, ModelName)) {
        if (reply)
            *reply = std::string(ReplyText(ReceiveBuffer, received));
        return Identification::Answered;
    }
    ClosePort(handle);
    return exchange == ExchangeResult::Interrupted ? Identification::Stopped : Identification::NoAnswer;
}

ScanResult ScanForInstrument(const ScanOptions& options)
{
    std::vector<std::string> devices = PortNames();
    if (!options.devices.empty()) {
        devices.assign(256, std::string());
        std::copy_n(options.devices.begin(), std::min<std::size_t>(options.devices.size(), 255), devices.begin() + 1);
    }
    ScanResult result;
    auto note = [](std::vector<std::string>& list, const std::string& device) {
        if (std::find(list.begin(), list.end(), device) == list.end())
            list.push_back(device);
    };
    for (int attempt = FirstScanAttempt; attempt <= LastScanAttempt; ++attempt) {
        result.attempts = attempt;
        const std::string& device = devices[static_cast<std::size_t>(attempt % 256)];
        if (device.empty())
            continue;
        if (options.trying)
            options.trying(attempt, device);
        switch (IdentifyOn(device, options.sleep, &result.reply)) {
        case Identification::Answered:
            result.connected = true;
            result.portName = device;
            return result;
        case Identification::Stopped:
            result.stopped = true;
            return result;
        case Identification::NoAnswer:
            note(result.tried, device);
            break;
        case Identification::NotOpened:
            if (LastOpenFailure() == OpenFailure::Denied)
                note(result.denied, device);
            break;
        }
    }
    return result;
}

VersionInfo ReadVersion(const std::string& identification, const SleepFunction& sleep)
{
    std::lock_guard lock(LinkLock());
    std::size_t received = 0;
    QueryExchange(VersionCommand, VersionWait, ClearAfterSend::No, sleep, &received);
    if (received == VersionReplySize)
        return DecodeVersion(ReceiveBuffer);
    if (received > 0)
        DiscardUntilQuiet(QuietAfterBadReply, QuietLimit, sleep);
    std::array<std::uint8_t, VersionReplySize> fallback {};
    std::copy_n(identification.begin(), std::min(identification.size(), fallback.size()), fallback.begin());
    return DecodeVersion(fallback.data());
}

} // namespace hmx
