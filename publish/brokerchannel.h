// What a connection to the broker asks of one instrument's publisher, its channel: the
// names it goes by, its queued messages one at a time, the broker's answers to them, its
// retained messages and its last words. All on the connection's thread, but identity().
#pragma once

#include "publish/publishstate.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace hmx {

class BrokerConnection;

struct ChannelIdentity {
    QString base;                         // the base topic; empty while not known
    std::optional<std::uint16_t> serial;  // the instrument's, known or noted
    bool operator==(const ChannelIdentity&) const = default;
};

// The connection as each channel tells it.
struct LinkState {
    PublishState::Link link = PublishState::Link::Connecting;
    QString reason;
    bool connected = false;
};

class BrokerChannel {
public:
    using Clock = std::chrono::steady_clock;
    enum class Sent { One, Nothing, Broken };

    // Thread-safe.
    virtual ChannelIdentity identity() const = 0;
    // Every round: what was handed over (another instrument: on a connection that is `up`,
    // "offline" for the one before), and the queue file's upkeep.
    virtual void tend(BrokerConnection& link, bool up) = 0;
    // A connection was accepted, at most `limit` messages in flight: unacknowledged ones go
    // again and the retained ones are published anew. linkDown(): it ended.
    virtual void linkUp(std::size_t limit) = 0;
    virtual void linkDown() = 0;
    // Retained messages that are due (info, discovery, status, queue).
    virtual void announce(BrokerConnection& link) = 0;
    // Sends its next queued message: One sent, Nothing to send now, or Broken (the
    // connection failed; link.fail() was told why).
    virtual Sent sendNext(BrokerConnection& link, Clock::time_point now) = 0;
    // The broker's answers (message id, reason code) to messages this channel sent.
    virtual void answered(const std::vector<std::pair<int, int>>& answers) = 0;
    virtual std::size_t inFlight() = 0;
    // When a topic the broker refused may be tried again; none when none is refused.
    virtual std::optional<Clock::time_point> nextRetry() = 0;
    // Last words: "offline" retained; its message id while its answer is awaited, else -1.
    virtual int sayOffline(BrokerConnection& link) = 0;
    virtual bool awaits(int mid) const = 0;
    // Stopped: the queue file closed with what is undelivered, the state told as Off.
    virtual void leave() = 0;
    // Tells the state when it changed (at once with `now`).
    virtual void report(const LinkState& link, bool now) = 0;

protected:
    ~BrokerChannel() = default;
};

} // namespace hmx
