// The simulated HMX-700's answers: frames taken from the bytes received, replies built
// from its state and shaped by the faults it is told to show.
#include "tools/instrumentmodel.h"

#include <cmath>

namespace hmx::sim {

namespace {

constexpr std::size_t QueryFrameSize = 7;                          // "01" letter "?end"
constexpr std::size_t WriteFrameSize = 3 + SettingsRecordSize + 3;  // "01m" record "end"

bool isQueryLetter(std::uint8_t c)
{
    return c == 'i' || c == 'v' || c == 's' || c == 't';
}

// Whether `p` (`left` bytes) can still be the start of a frame, and how long that frame is
// (0: too few bytes to tell yet).
bool frameStart(const std::uint8_t* p, std::size_t left, std::size_t& need)
{
    need = 0;
    if (p[0] != '0' || (left >= 2 && p[1] != '1'))
        return false;
    if (left < 3)
        return true;
    std::size_t tailAt = 0;
    const char* tail = nullptr;
    if (isQueryLetter(p[2])) {
        need = QueryFrameSize;
        tailAt = 3;
        tail = "?end";
    } else if (p[2] == 'm') {
        need = WriteFrameSize;
        tailAt = 3 + SettingsRecordSize;
        tail = "end";
    } else {
        return false;
    }
    for (std::size_t k = tailAt; k < need && k < left; ++k) {
        if (p[k] != static_cast<std::uint8_t>(tail[k - tailAt]))
            return false;
    }
    return true;
}

} // namespace

SettingsRecord DefaultSettingsRecord()
{
    SettingsValues v;
    v.UpperUnit = 0;  // °Cdp
    v.LowerUnit = 5;  // °C
    v.Alarm1Mode = 0;  // off
    v.Alarm2Mode = 0;
    v.Alarm1High = 200;  // 20.0 °Cdp
    v.Alarm1HighExp = 1;
    v.Alarm1Low = -200;  // -20.0 °Cdp
    v.Alarm1LowExp = 1;
    v.Alarm2High = 300;  // 30.0 °C
    v.Alarm2Low = 100;   // 10.0 °C
    v.Output1Type = 4;  // 4-20 mA
    v.Output2Type = 4;
    v.Output1Min = -400;  // output 1 -40.0 .. 60.0 °Cdp
    v.Output1MinExp = 1;
    v.Output1Max = 600;
    v.Output1MaxExp = 1;
    v.Output2Min = -200;  // output 2 -20.0 .. 80.0 °C
    v.Output2Max = 800;
    v.CleaningInterval = 24;  // hours
    SettingsRecord r {};
    // Where the client never reads, the instrument starts with what a client writes there.
    EncodeSettingsRecord(v, r.data(), RecordForm::Frame);
    EncodeSettingsRecord(v, r.data(), RecordForm::Reply);
    return r;
}

InstrumentModel::InstrumentModel(Clock::time_point started)
    : m_started(started)
{
}

MeasurementTenths InstrumentModel::measurement(Clock::time_point now) const
{
    if (behaviour.fixed)
        return *behaviour.fixed;
    const double t = std::chrono::duration<double>(now - m_started).count();
    constexpr double twoPi = 6.283185307179586;
    MeasurementTenths m;
    m.humidity = static_cast<std::int16_t>(std::lround(450 + 50 * std::sin(twoPi * t / 60)));
    m.dewPoint = static_cast<std::int16_t>(std::lround(100 + 20 * std::sin(twoPi * t / 90)));
    m.ambient = static_cast<std::int16_t>(std::lround(220 + 10 * std::sin(twoPi * t / 120)));
    return m;
}

// The answer to one whole frame; empty: no answer.
std::vector<std::uint8_t> InstrumentModel::answer(const std::vector<std::uint8_t>& frame, Clock::time_point now)
{
    const Behaviour& b = behaviour;
    std::vector<std::uint8_t> reply;
    switch (frame[2]) {
    case 'i':
        reply.assign(b.modelName.begin(), b.modelName.end());
        break;
    case 'v':
        reply = {'H', 'M', 'X', 'v', ' ', b.version, b.revision,
                 static_cast<std::uint8_t>(b.serial >> 8), static_cast<std::uint8_t>(b.serial & 0xFF)};
        break;
    case 's':
        reply.assign(b.settings.begin(), b.settings.end());
        break;
    case 't': {
        const MeasurementTenths m = measurement(now);
        for (std::int16_t v : {m.humidity, m.dewPoint, m.ambient}) {
            const auto bits = static_cast<std::uint16_t>(v);
            reply.push_back(static_cast<std::uint8_t>(bits >> 8));
            reply.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        }
        break;
    }
    case 'm': {
        // Where the client writes only its own content, the instrument keeps its bytes.
        const SettingsValues written = DecodeSettingsRecord(frame.data() + 3, RecordForm::Frame);
        EncodeSettingsRecord(written, behaviour.settings.data(), RecordForm::Reply);
        if (b.dropAck)
            return {};
        reply = {'O', 'K'};
        break;
    }
    default:
        break;
    }
    reply.insert(reply.end(), b.extra.begin(), b.extra.end());
    return reply;
}

void InstrumentModel::schedule(std::vector<std::uint8_t> reply, char command, Clock::time_point now,
                               std::vector<Chunk>& out)
{
    if (reply.empty())
        return;
    const Clock::time_point due = now + behaviour.delay;
    const std::size_t first = behaviour.splitBytes;
    const bool split = first > 0 && first < reply.size();
    m_sent.push_back({command, reply, !split});
    if (split) {
        std::vector<std::uint8_t> rest(reply.begin() + static_cast<std::ptrdiff_t>(first), reply.end());
        reply.resize(first);
        out.push_back({due, std::move(reply)});
        out.push_back({due + behaviour.splitGap, std::move(rest)});
    } else {
        out.push_back({due, std::move(reply)});
    }
}

std::vector<InstrumentModel::Chunk> InstrumentModel::receive(const std::uint8_t* data, std::size_t size,
                                                             Clock::time_point now)
{
    m_bytes.insert(m_bytes.end(), data, data + size);
    m_pending.insert(m_pending.end(), data, data + size);
    std::vector<Chunk> out;
    std::size_t pos = 0;
    while (pos < m_pending.size()) {
        const std::size_t left = m_pending.size() - pos;
        const std::uint8_t* p = m_pending.data() + pos;
        std::size_t need = 0;
        if (!frameStart(p, left, need)) {
            ++m_stray;
            ++pos;
            continue;
        }
        if (need == 0 || left < need)
            break;  // a frame may still be coming
        std::vector<std::uint8_t> frame(p, p + need);
        pos += need;
        m_frames.push_back(frame);
        if (!behaviour.silent)
            schedule(answer(frame, now), static_cast<char>(frame[2]), now, out);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(pos));
    return out;
}

void InstrumentModel::sentUnasked(const std::vector<std::uint8_t>& bytes)
{
    m_sent.push_back({0, bytes, true});
}

std::vector<std::uint8_t> InstrumentModel::noise(std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(byte(m_random));
    return bytes;
}

void InstrumentModel::clearRecord()
{
    m_frames.clear();
    m_bytes.clear();
    m_stray = 0;
    m_sent.clear();
}

void InstrumentModel::reset()
{
    behaviour = Behaviour {};
    m_pending.clear();
    clearRecord();
}

} // namespace hmx::sim
