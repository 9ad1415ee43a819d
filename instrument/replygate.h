// Which measurement replies become readings. A reply is taken only when it came whole
// (six bytes as one burst after its command), while the line was in step, and nothing
// followed it before the next command went out; so a reply is held until the next
// send has confirmed it.
//
// A refused reply puts the line out of step. A serial line keeps its bytes in order,
// so once a reply came in pieces each later burst may be the rest of one reply joined
// to the front of the next: six bytes in one burst, as steady as a real reply, yet no
// reading. What tells them apart is when they come: joined pieces arrive as late after
// their command as the rest of a reply is late, a prompt instrument as soon as it
// always did. So the line is back in step when two cycles in a row each bring one
// whole reply, with nothing left over, as soon after its command as the last reply
// taken (or, before any, as each other). Readings start again with the second.
// Silence neither puts the line out of step nor brings it back.
#pragma once

#include "link/protocol.h"

#include <QtGlobal>

#include <chrono>
#include <cstddef>
#include <optional>

namespace hmx {

class ReplyGate {
public:
    struct Cycle {
        std::size_t count = 0;    // bytes received in the cycle's wait
        bool whole = false;       // exactly one Measurement record, in one burst
        std::chrono::milliseconds latency {0};  // from the send to its first byte
        Measurement measurement;  // when whole
        qint64 receivedAt = 0;    // ms since 1970 UTC, when the wait ended
    };
    struct Verdict {
        std::optional<Cycle> reading;  // the cycle before, confirmed
        bool refused = false;          // the cycle before received bytes that are no reading
        bool refusedWhole = false;     // ... though they had looked like one
    };

    // Replies whose first bytes came this much apart (after their commands) still count
    // as coming the same time after them: the same allowance as inside a reply.
    static constexpr std::chrono::milliseconds SameLatency = MaxSilenceInReply;

    // Settles the cycle noted last, now that the send after it has told how many bytes
    // were left over.
    Verdict settle(std::size_t leftover);
    // This cycle's reply, to be settled at the next send.
    void note(const Cycle& cycle);
    // A new port, or the same instrument back: nothing held, the line in step. The
    // instrument's usual reply time is kept.
    void reset();

private:
    std::optional<Cycle> m_held;
    bool m_inStep = true;
    std::optional<std::chrono::milliseconds> m_usual;          // of the last reply taken
    std::optional<std::chrono::milliseconds> m_previousWhole;  // of the cycle before, when whole and alone
};

} // namespace hmx
