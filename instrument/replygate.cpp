#include "instrument/replygate.h"

namespace hmx {

ReplyGate::Verdict ReplyGate::settle(std::size_t leftover)
{
    Verdict verdict;
    if (!m_held) {
        // Bytes from before the first command: the first reply may have them at its front.
        if (leftover > 0)
            m_inStep = false;
        return verdict;
    }
    const Cycle cycle = *m_held;
    m_held.reset();
    const auto near = [](std::chrono::milliseconds a, std::chrono::milliseconds b) {
        return a - b <= SameLatency && b - a <= SameLatency;
    };
    const bool wholeAlone = cycle.whole && leftover == 0;
    const bool clean = wholeAlone || (cycle.count == 0 && leftover == 0);
    bool take = false;
    if (m_inStep) {
        take = wholeAlone;
        m_inStep = clean;
    } else if (wholeAlone && m_previousWhole && near(cycle.latency, *m_previousWhole)
               && (!m_usual || near(cycle.latency, *m_usual))) {
        take = true;
        m_inStep = true;
    }
    m_previousWhole = wholeAlone ? std::optional(cycle.latency) : std::nullopt;
    if (take) {
        m_usual = cycle.latency;
        verdict.reading = cycle;
    }
    verdict.refused = (cycle.count > 0 || leftover > 0) && !take;
    verdict.refusedWhole = verdict.refused && cycle.whole;
    return verdict;
}

void ReplyGate::note(const Cycle& cycle)
{
    m_held = cycle;
}

void ReplyGate::reset()
{
    m_held.reset();
    m_inStep = true;
    m_previousWhole.reset();
}

} // namespace hmx
