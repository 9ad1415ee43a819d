// Which queued messages go to the broker next on one connection, and which may leave the
// queue: in queue order, a bounded number unacknowledged, and none of a topic the broker
// refused (an acknowledgement with a failure reason) until one of them, sent again after
// a pause, is taken. Only the front of the queue that the broker took, all of it, leaves:
// a refused message stays queued. Plain bookkeeping over sequence numbers; no network,
// no file, no lock (the publisher holds its queue's lock around it).
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace hmx {

class SendWindow {
public:
    using Clock = std::chrono::steady_clock;
    // A refused topic is tried again after 1 s, doubling up to 60 s.
    static constexpr std::chrono::seconds FirstRetry{1};
    static constexpr std::chrono::seconds LongestRetry{60};

    // `topicOf` gives the topic of the queued message with that sequence number.
    explicit SendWindow(std::function<QByteArray(std::uint64_t seq)> topicOf);

    // A new connection from the queue's front `firstSeq`, at most `limit` in flight: what
    // was sent and not acknowledged goes again, refusals are forgotten (the broker may
    // think otherwise now); what was taken stays taken.
    void restart(std::uint64_t firstSeq, std::size_t limit);
    // The queue's front is now `firstSeq`: the messages before it left (dropped).
    void trim(std::uint64_t firstSeq);

    // The next message to send, below `endSeq`: a message of a refused topic whose pause is
    // over first, then the first one not yet sent. None while `limit` are in flight.
    std::optional<std::uint64_t> next(std::uint64_t endSeq, Clock::time_point now);
    // What became of the message next() gave: sent with message id `mid`, or settled
    // without sending (set aside as damaged; it may leave the queue).
    void sent(std::uint64_t seq, int mid);
    void settled(std::uint64_t seq);

    // The broker answered message id `mid`: its sequence number, none when it is no
    // message of the queue (or one dropped since). Then taken() or refused() says how.
    std::optional<std::uint64_t> answered(int mid);
    void taken(std::uint64_t seq);
    void refused(std::uint64_t seq, const QString& reason, Clock::time_point now);

    // How many at the front may leave the queue now; they are forgotten here.
    std::size_t takeDelivered();

    std::size_t inFlight() const { return m_inFlight; }
    std::size_t limit() const { return m_limit; }
    // When the next refused topic may be tried again; none when no topic is refused.
    std::optional<Clock::time_point> nextRetry() const;
    // "topic: reason" of each refused topic.
    std::vector<QString> refusals() const;

private:
    enum class State : std::uint8_t { Unsent, InFlight, Held, Done };
    struct Slot {
        State state = State::Unsent;
        bool probe = false;  // sent again to see whether its refused topic is taken now
        int hold = -1;       // Held, or a probe: index into m_holds
        int mid = 0;         // InFlight
    };
    struct Hold {
        QByteArray topic;
        QString reason;
        std::chrono::seconds pause = FirstRetry;
        Clock::time_point retryAt;
        bool probing = false;
        bool active = true;
    };

    Slot& slot(std::uint64_t seq) { return m_slots[std::size_t(seq - m_first)]; }
    int holdOf(const QByteArray& topic) const;
    void release(int hold);

    std::function<QByteArray(std::uint64_t)> m_topicOf;
    std::deque<Slot> m_slots;  // from the queue's front as far as sending got
    std::uint64_t m_first = 0;
    std::size_t m_cursor = 0;  // slots before it are sent, held or done
    std::size_t m_inFlight = 0;
    std::size_t m_limit = 1;
    std::unordered_map<int, std::uint64_t> m_sentAs;  // message id -> sequence number
    std::vector<Hold> m_holds;
};

} // namespace hmx
