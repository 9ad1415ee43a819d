#include "log/loglineparser.h"

#include <algorithm>

namespace hmx {

namespace {

constexpr double MsPerDay = 86400000.0;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A one-byte piece that is taken as itself: no piece tried before it starts with
// that byte (it could take more of the text), and case plays no part.
template <class Pieces>
void MarkOneBytePieces(const Pieces& pieces, std::array<bool, 256>& marks, bool caseless)
{
    std::array<bool, 256> startsEarlier{};
    for (const std::string& piece : pieces) {
        if (piece.empty())
            continue;
        const auto first = static_cast<unsigned char>(piece[0]);
        const bool letter = (first | 0x20) >= 'a' && (first | 0x20) <= 'z';
        if (piece.size() == 1 && !startsEarlier[first] && !IsDigit(piece[0]) && piece[0] != ' '
            && piece[0] != '\t' && !(caseless && letter))
            marks[first] = true;
        startsEarlier[first] = true;
    }
}

// Cursor over one line; each step consumes what it reads.
struct Cursor {
    const char* p;
    const char* end;

    bool take(char c)
    {
        if (p == end || *p != c)
            return false;
        ++p;
        return true;
    }
    // Exactly `n` digits.
    bool digits(int n, int& value)
    {
        if (end - p < n)
            return false;
        int v = 0;
        for (int k = 0; k < n; ++k) {
            if (!IsDigit(p[k]))
                return false;
            v = v * 10 + (p[k] - '0');
        }
        p += n;
        value = v;
        return true;
    }
};

} // namespace

bool ShownMatchesRaw(long hundredths, int raw)
{
    // Below 1000 the text is exact; from 1000 on it is a whole number, and either
    // neighbour is accepted so the writer's way of rounding halves does not matter.
    if (raw > -10000 && raw < 10000)
        return hundredths == long(raw) * 10;
    if (hundredths % 100 != 0)
        return false;
    const long whole = hundredths / 100;
    const long lower = raw >= 0 ? raw / 10 : -((-raw + 9) / 10);
    return whole == lower || whole == lower + 1;
}

LogLineParser::LogLineParser(const TimeTextRules& rules) : m_rules(rules)
{
    MarkOneBytePieces(m_rules.timeSeparators, m_timeSeparator, true);
    MarkOneBytePieces(m_rules.valueDecimals, m_decimal, false);
}

bool LogLineParser::readFast(std::string_view line, LogRecord& record) const
{
    Cursor c{line.data(), line.data() + line.size()};
    // Reading number: digits without a leading zero, then TAB.
    const char* start = c.p;
    while (c.p != c.end && IsDigit(*c.p))
        ++c.p;
    const std::ptrdiff_t numberDigits = c.p - start;
    if (numberDigits == 0 || numberDigits > 18 || *start == '0' || !c.take('\t'))
        return false;

    // H:MM:SS or HH:MM:SS.
    int hours = 0, minutes = 0, seconds = 0;
    if (!c.digits(1, hours))
        return false;
    if (c.p != c.end && IsDigit(*c.p)) {
        hours = hours * 10 + (*c.p - '0');
        ++c.p;
    }
    if (c.p == c.end || !m_timeSeparator[static_cast<unsigned char>(*c.p)])
        return false;
    const char separator = *c.p++;
    if (!c.digits(2, minutes) || !c.take(separator) || !c.digits(2, seconds) || !c.take('\t'))
        return false;
    if (hours >= 24 || minutes >= 60 || seconds >= 60)
        return false;

    // Three raw values: "0", or an optional '-' and up to five digits without a leading zero.
    int raw[3];
    for (int& value : raw) {
        const bool negative = c.take('-');
        const char* first = c.p;
        int v = 0;
        while (c.p != c.end && IsDigit(*c.p) && c.p - first < 6) {
            v = v * 10 + (*c.p - '0');
            ++c.p;
        }
        const std::ptrdiff_t n = c.p - first;
        if (n == 0 || n > 5 || (*first == '0' && (n > 1 || negative)) || !c.take('\t'))
            return false;
        value = negative ? -v : v;
        if (value < -32768 || value > 32767)
            return false;
    }
    // Their display texts: an optional '-', one to six digits, the decimal, two digits.
    for (int k = 0; k < 3; ++k) {
        const bool negative = c.take('-');
        const char* first = c.p;
        long whole = 0;
        while (c.p != c.end && IsDigit(*c.p) && c.p - first < 7) {
            whole = whole * 10 + (*c.p - '0');
            ++c.p;
        }
        const std::ptrdiff_t n = c.p - first;
        if (n == 0 || n > 6 || c.p == c.end || !m_decimal[static_cast<unsigned char>(*c.p)])
            return false;
        ++c.p;
        int decimals = 0;
        if (!c.digits(2, decimals) || !(k < 2 ? c.take('\t') : c.p == c.end))
            return false;
        long hundredths = whole * 100 + decimals;
        if (negative)
            hundredths = -hundredths;
        // Below 1000 the text is exact: the common case without a call.
        const bool exact = raw[k] > -10000 && raw[k] < 10000;
        if (exact ? hundredths != long(raw[k]) * 10 : !ShownMatchesRaw(hundredths, raw[k]))
            return false;
    }
    record.time = (((hours * 60.0 + minutes) * 60.0 + seconds) * 1000.0 + 0) / MsPerDay;
    record.dewPoint = static_cast<std::int16_t>(raw[0]);
    record.humidity = static_cast<std::int16_t>(raw[1]);
    record.ambient = static_cast<std::int16_t>(raw[2]);
    return true;
}

LogLineFault LogLineParser::check(std::string_view line, LogRecord& record) const
{
    if (readFast(line, record))
        return LogLineFault::None;
    return CheckLogLine(line, m_rules, record);
}

LogLineFault LogLineParser::check(std::string_view line, bool truncated, bool ended, LogRecord& record) const
{
    if (truncated)
        return LogLineFault::TooLong;
    const LogLineFault fault = check(line, record);
    return fault != LogLineFault::None && !ended ? LogLineFault::Unfinished : fault;
}

} // namespace hmx
