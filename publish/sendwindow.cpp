#include "publish/sendwindow.h"

#include <algorithm>

namespace hmx {

SendWindow::SendWindow(std::function<QByteArray(std::uint64_t seq)> topicOf)
    : m_topicOf(std::move(topicOf))
{
}

void SendWindow::restart(std::uint64_t firstSeq, std::size_t limit)
{
    trim(firstSeq);
    for (Slot& s : m_slots)
        if (s.state != State::Done)
            s = Slot{};
    m_cursor = 0;
    m_inFlight = 0;
    m_limit = std::max<std::size_t>(limit, 1);
    m_sentAs.clear();
    m_holds.clear();
}

void SendWindow::trim(std::uint64_t firstSeq)
{
    while (m_first < firstSeq && !m_slots.empty()) {
        const Slot& s = m_slots.front();
        if (s.state == State::InFlight) {
            --m_inFlight;
            m_sentAs.erase(s.mid);
        }
        if (s.probe)
            m_holds[std::size_t(s.hold)].probing = false;
        m_slots.pop_front();
        ++m_first;
        m_cursor = m_cursor > 0 ? m_cursor - 1 : 0;
    }
    // Gone past everything looked at so far.
    m_first = std::max(m_first, firstSeq);
}

int SendWindow::holdOf(const QByteArray& topic) const
{
    for (std::size_t h = 0; h < m_holds.size(); ++h)
        if (m_holds[h].active && m_holds[h].topic == topic)
            return int(h);
    return -1;
}

std::optional<std::uint64_t> SendWindow::next(std::uint64_t endSeq, Clock::time_point now)
{
    if (m_inFlight >= m_limit)
        return std::nullopt;
    // A refused topic whose pause is over: its first message goes again, alone.
    for (std::size_t h = 0; h < m_holds.size(); ++h) {
        Hold& hold = m_holds[h];
        if (!hold.active || hold.probing || now < hold.retryAt)
            continue;
        const auto held = std::find_if(m_slots.begin(), m_slots.end(), [h](const Slot& s) {
            return s.state == State::Held && s.hold == int(h);
        });
        if (held == m_slots.end())
            continue;  // none is left (dropped); the next of its topic is held and tried

        hold.probing = true;
        held->probe = true;
        return m_first + std::uint64_t(held - m_slots.begin());
    }
    while (m_first + m_cursor < endSeq) {
        if (m_cursor == m_slots.size())
            m_slots.emplace_back();
        Slot& s = m_slots[m_cursor];
        if (s.state == State::Unsent) {
            const std::uint64_t seq = m_first + m_cursor;
            const int hold = m_holds.empty() ? -1 : holdOf(m_topicOf(seq));
            if (hold < 0)
                return seq;
            s.state = State::Held;
            s.hold = hold;
        }
        ++m_cursor;
    }
    return std::nullopt;
}

void SendWindow::sent(std::uint64_t seq, int mid)
{
    Slot& s = slot(seq);
    s.state = State::InFlight;
    s.mid = mid;
    m_sentAs[mid] = seq;
    ++m_inFlight;
}

void SendWindow::settled(std::uint64_t seq)
{
    Slot& s = slot(seq);
    if (s.probe)
        release(s.hold);
    s = Slot{State::Done};
}

std::optional<std::uint64_t> SendWindow::answered(int mid)
{
    const auto found = m_sentAs.find(mid);
    if (found == m_sentAs.end())
        return std::nullopt;
    const std::uint64_t seq = found->second;
    m_sentAs.erase(found);
    --m_inFlight;
    slot(seq).state = State::Unsent;  // until taken() or refused()
    return seq;
}

void SendWindow::taken(std::uint64_t seq)
{
    settled(seq);
}

void SendWindow::refused(std::uint64_t seq, const QString& reason, Clock::time_point now)
{
    Slot& s = slot(seq);
    int h = s.probe ? s.hold : holdOf(m_topicOf(seq));
    if (h < 0) {
        m_holds.push_back({m_topicOf(seq), reason, FirstRetry, now + FirstRetry});
        h = int(m_holds.size() - 1);
    } else if (s.probe) {
        Hold& hold = m_holds[std::size_t(h)];
        hold.pause = std::min(hold.pause * 2, std::chrono::seconds(LongestRetry));
        hold.retryAt = now + hold.pause;
        hold.probing = false;
        hold.reason = reason;
    }
    s = Slot{State::Held, false, h};
}

// The topic is taken again: its held messages go, in order, from the first of them.
void SendWindow::release(int hold)
{
    m_holds[std::size_t(hold)].active = false;
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].state == State::Held && m_slots[i].hold == hold) {
            m_slots[i] = Slot{};
            m_cursor = std::min(m_cursor, i);
        }
}

std::size_t SendWindow::takeDelivered()
{
    std::size_t count = 0;
    while (!m_slots.empty() && m_slots.front().state == State::Done) {
        m_slots.pop_front();
        ++count;
    }
    m_first += count;
    m_cursor -= std::min(m_cursor, count);
    return count;
}

std::optional<SendWindow::Clock::time_point> SendWindow::nextRetry() const
{
    std::optional<Clock::time_point> at;
    for (const Hold& h : m_holds)
        if (h.active && !h.probing && (!at || h.retryAt < *at))
            at = h.retryAt;
    return at;
}

std::vector<QString> SendWindow::refusals() const
{
    std::vector<QString> words;
    for (const Hold& h : m_holds)
        if (h.active)
            words.push_back(QStringLiteral("%1: %2").arg(QString::fromUtf8(h.topic), h.reason));
    return words;
}

} // namespace hmx
