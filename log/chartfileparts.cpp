#include "log/chartfileparts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <thread>

namespace hmx::chartparts {

namespace {

// Lines between two looks at Cancel and two progress reports.
constexpr std::size_t CheckEvery = 16384;
constexpr double MsPerDay = 86400000.0;

void Advance(PieceWork& work, std::int64_t bytes)
{
    const std::int64_t done = work.done.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    if (work.progress && std::this_thread::get_id() == work.reporter)
        work.progress(done);
}

} // namespace

std::size_t PieceDays::dayOf(std::size_t i) const
{
    return std::size_t(std::upper_bound(newDayAt.begin(), newDayAt.end(), i) - newDayAt.begin());
}

bool LogNewDay(double before, double time)
{
    static const long long limit = std::llround(ClockCorrectionLimit * MsPerDay);
    return time < before && std::llround((before - time) * MsPerDay) >= limit;
}

std::size_t WithLines(std::string_view bytes, std::size_t lines, bool& all)
{
    std::size_t searched = 0;
    while (lines > 0 && searched < bytes.size()) {
        const auto* lf = static_cast<const char*>(std::memchr(bytes.data() + searched, '\n', bytes.size() - searched));
        searched = lf ? std::size_t(lf - bytes.data()) + 1 : bytes.size();
        --lines;
    }
    all = searched == bytes.size();
    return searched;
}

PieceCutter::PieceCutter(std::string_view bytes, std::size_t headLines, std::size_t size, std::size_t smallest,
                         std::size_t threads)
    : m_bytes(bytes)
    , m_headLines(headLines)
    , m_size(std::max<std::size_t>(size, 1))
    , m_smallest(std::clamp<std::size_t>(smallest, 1, m_size))
    , m_threads(std::max<std::size_t>(threads, 1))
{
}

std::string_view PieceCutter::head(bool& all)
{
    m_cut = WithLines(m_bytes, m_headLines, all);
    return m_bytes.substr(0, m_cut);
}

std::size_t PieceCutter::nextSize() const
{
    std::size_t size = m_size;
    if (m_count < 32)
        size = std::min(size, m_smallest << m_count);
    const std::size_t left = m_bytes.size() - std::min(m_cut, m_bytes.size());
    size = std::min(size, left / (2 * m_threads));
    return std::max(size, m_smallest);
}

bool PieceCutter::next(std::size_t& k, std::string_view& piece)
{
    std::lock_guard lock(m_mutex);
    if (m_cut >= m_bytes.size())
        return false;
    // The piece ends after the first LF from its size on, or with the bytes.
    const std::size_t searched = std::min(m_cut + nextSize() - 1, m_bytes.size());
    const auto* lf = static_cast<const char*>(std::memchr(m_bytes.data() + searched, '\n', m_bytes.size() - searched));
    const std::size_t cut = lf ? std::size_t(lf - m_bytes.data()) + 1 : m_bytes.size();
    piece = m_bytes.substr(m_cut, cut - m_cut);
    m_cut = cut;
    k = m_count++;
    return true;
}

void PieceWork::endAt(std::size_t k)
{
    std::size_t ended = m_endedAt.load(std::memory_order_relaxed);
    while (k < ended && !m_endedAt.compare_exchange_weak(ended, k, std::memory_order_relaxed)) {
    }
}

bool PieceWork::needless(std::size_t k) const
{
    return m_endedAt.load(std::memory_order_relaxed) < k || (cancel && cancel->load(std::memory_order_relaxed));
}

bool ByteLines::next(std::string_view& line)
{
    if (m_rest.empty())
        return false;
    const auto* lf = static_cast<const char*>(std::memchr(m_rest.data(), '\n', m_rest.size()));
    std::size_t length = lf ? std::size_t(lf - m_rest.data()) : m_rest.size();
    const std::size_t taken = lf ? length + 1 : length;
    m_ended = lf != nullptr;
    if (m_ended && length > 0 && m_rest[length - 1] == '\r')
        --length;
    m_truncated = length > m_cap;
    line = m_rest.substr(0, m_truncated ? m_cap : length);
    m_rest.remove_prefix(taken);
    return true;
}

void ReadEach(std::size_t pieces, const std::function<void(std::size_t)>& read)
{
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> errors(pieces);
    for (std::size_t k = 1; k < pieces; ++k) {
        threads.emplace_back([&, k] {
            try {
                read(k);
            } catch (...) {
                errors[k] = std::current_exception();
            }
        });
    }
    try {
        if (pieces > 0)
            read(0);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors) {
        if (e)
            std::rethrow_exception(e);
    }
}

namespace {

// take(lines, line) for each line of piece k while it returns true and the piece is of
// use; tells how far it came every CheckEvery lines and at the end. Gives the lines read.
template <class Take>
std::size_t ReadLines(std::string_view piece, std::size_t k, std::size_t cap, PieceWork& work, Take take)
{
    ByteLines lines(piece, cap);
    std::string_view line;
    std::size_t count = 0;
    const char* reported = piece.data();
    while (lines.next(line)) {
        ++count;
        if (!take(lines, line)) {
            work.endAt(k);
            break;
        }
        if (count % CheckEvery == 0) {
            if (work.needless(k))
                break;
            Advance(work, lines.rest().data() - reported);
            reported = lines.rest().data();
        }
    }
    Advance(work, lines.rest().data() - reported);
    return count;
}

} // namespace

LogPiece ReadLogPiece(std::string_view piece, std::size_t k, const LogLineParser& parser,
                      const TimeTextRules& rules, std::size_t cap, PieceWork& work)
{
    LogPiece out;
    out.rows.reserve(piece.size() / 40 + 1);
    out.lines = ReadLines(piece, k, cap, work, [&](const ByteLines& lines, std::string_view line) {
        LogRecord record;
        const LogLineFault fault = parser.check(line, lines.truncated(), lines.ended(), record);
        if (fault != LogLineFault::None) {
            out.fault = fault;
            out.faultLine = line;
            return false;
        }
        if (!out.unclean && !IsCleanLoaderLine(line, rules))
            out.unclean = true;
        out.days.line(record.time, out.rows.size(), LogNewDay);
        out.rows.push_back({record.time, record.dewPoint, record.humidity, record.ambient});
        return true;
    });
    return out;
}

LoaderPiece ReadLoaderPiece(std::string_view piece, std::size_t k, const TimeTextRules& rules, std::size_t cap,
                            PieceWork& work)
{
    LoaderPiece out;
    out.rows.reserve(piece.size() / 20 + 1);
    out.lines = ReadLines(piece, k, cap, work, [&](const ByteLines&, std::string_view line) {
        const LoaderFields fields = SplitLoaderLine(line);
        double t = 0;
        if (!ParseTimeOfDay(fields.timeText, rules, t)) {
            out.invalid = true;
            out.invalidTime = fields.timeText;
            return false;
        }
        out.days.line(t, out.rows.size(), LoaderNewDay);
        const double value = ConvertValueText(fields.valueText).value;
        if (value != 0)
            out.rows.push_back({t, value});
        return true;
    });
    return out;
}

} // namespace hmx::chartparts
