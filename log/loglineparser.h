// Log lines read at the speed of the disk: a line in the shape the program writes
// with a 24-hour clock (H:MM:SS or HH:MM:SS, one-byte separators, no blanks) is read
// in one pass over its bytes, without allocating; any other line is left to
// CheckLogLine. Either way the answer is CheckLogLine's.
#pragma once

#include "log/chartfile.h"

#include <array>
#include <string_view>

namespace hmx {

class LogLineParser {
public:
    explicit LogLineParser(const TimeTextRules& rules);

    LogLineFault check(std::string_view line, LogRecord& record) const;
    // A line as a reader hands it on: `truncated`, cut at the reader's cap (TooLong);
    // without `ended`, the file's last line lacking its line end (Unfinished when it is
    // no Log line).
    LogLineFault check(std::string_view line, bool truncated, bool ended, LogRecord& record) const;
    // Only the one-pass reading: false for a line it leaves to CheckLogLine.
    bool readFast(std::string_view line, LogRecord& record) const;

private:
    TimeTextRules m_rules;
    // Bytes that CheckLogLine would take as the whole separator where they stand.
    std::array<bool, 256> m_timeSeparator{};
    std::array<bool, 256> m_decimal{};
};

// Whether a display text (in hundredths) shows the raw tenths value as the log
// writes it: raw / 10 to four significant digits with two decimals.
bool ShownMatchesRaw(long hundredths, int raw);

} // namespace hmx
