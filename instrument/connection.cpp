#include "instrument/connection.h"

#include <algorithm>
#include <array>

namespace hmx {

Identified IdentifyOn(const std::string& device, const SleepFunction& sleep, const std::atomic<bool>* stopRequested)
{
    Identified result;
    SerialLink::Opened opened = SerialLink::Open(device);
    if (!opened.link) {
        result.failure = opened.failure;
        return result;
    }
    // The candidate's link is this thread's alone from the open on.
    SerialLink& link = *opened.link;
    link.setStopRequest(stopRequested);
    std::size_t received = 0;
    const ExchangeResult exchange = QueryExchange(link, IdentifyCommand, IdentifyWait, ClearAfterSend::Yes, sleep, &received);
    if (exchange == ExchangeResult::Reply && ReplyTextIs(link.ReceiveBuffer, received, ModelName)) {
        result.outcome = Identification::Answered;
        result.reply = std::string(ReplyText(link.ReceiveBuffer, received));
        result.link = std::move(opened.link);
        return result;
    }
    result.outcome = exchange == ExchangeResult::Interrupted ? Identification::Stopped : Identification::NoAnswer;
    return result;
}

ScanResult ScanForInstrument(const ScanOptions& options, std::unique_ptr<SerialLink>* link)
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
        Identified identified = IdentifyOn(device, options.sleep, options.stopRequested);
        switch (identified.outcome) {
        case Identification::Answered:
            result.connected = true;
            result.reply = identified.reply;
            result.portName = device;
            if (link)
                *link = std::move(identified.link);
            return result;
        case Identification::Stopped:
            result.stopped = true;
            return result;
        case Identification::NoAnswer:
            note(result.tried, device);
            break;
        case Identification::NotOpened:
            if (identified.failure == OpenFailure::Denied)
                note(result.denied, device);
            break;
        }
    }
    return result;
}

VersionInfo ReadVersion(SerialLink& link, const std::string& identification, const SleepFunction& sleep)
{
    std::size_t received = 0;
    QueryExchange(link, VersionCommand, VersionWait, ClearAfterSend::No, sleep, &received);
    if (received == VersionReplySize)
        return DecodeVersion(link.ReceiveBuffer);
    if (received > 0)
        DiscardUntilQuiet(link, QuietAfterBadReply, QuietLimit, sleep);
    std::array<std::uint8_t, VersionReplySize> fallback {};
    std::copy_n(identification.begin(), std::min(identification.size(), fallback.size()), fallback.begin());
    return DecodeVersion(fallback.data());
}

} // namespace hmx
