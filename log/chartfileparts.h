// A chart file's bytes (mapped from the disk) cut at line ends into parts that are
// read on several threads at once; the parts are then joined in file order, so a
// load gives what reading the file line by line gives.
#pragma once

#include "log/chartfile.h"
#include "log/loglineparser.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace hmx::chartparts {

// The lines of bytes as the chart reader takes them: each without its LF and the
// CR before it, at most `cap` characters of it; the last one may lack its LF.
class ByteLines {
public:
    ByteLines(std::string_view bytes, std::size_t cap) : m_rest(bytes), m_cap(cap) {}

    bool next(std::string_view& line);
    bool truncated() const { return m_truncated; }  // the last line was longer than the cap
    bool ended() const { return m_ended; }          // the last line had its LF
    std::string_view rest() const { return m_rest; }

private:
    std::string_view m_rest;
    std::size_t m_cap;
    bool m_truncated = false;
    bool m_ended = true;
};

// Cuts bytes into at most `parts` pieces of whole lines, each at least `minBytes` long
// (the last one may be shorter).
std::vector<std::string_view> CutAtLines(std::string_view bytes, std::size_t parts, std::size_t minBytes);

// Runs read(k) for every piece k, piece 0 on the calling thread and the others on
// threads of their own, and waits for all of them.
void ReadEach(std::size_t pieces, const std::function<void(std::size_t)>& read);

// Log lines of one piece, up to the first that is none.
struct LogRow {
    double time;  // fraction of a day
    std::int16_t dewPoint, humidity, ambient;
};
struct LogPiece {
    std::vector<LogRow> rows;
    std::size_t lines = 0;  // read, the one that is no Log line included
    LogLineFault fault = LogLineFault::None;
    std::string_view faultLine;
    bool unclean = false;  // some line the loader layout cannot read cleanly
};

// Loader-layout lines of one piece, up to the first whose time is not valid.
struct LoaderRow {
    double time;
    double value;
};
struct LoaderPiece {
    std::vector<LoaderRow> rows;
    std::size_t lines = 0;  // read, the one with the invalid time included
    bool invalid = false;
    std::string_view invalidTime;
};

// What reading pieces shares: when to stop, and how far they have come.
struct PieceWork {
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<std::int64_t> done{0};  // bytes read by all pieces
    std::function<void(std::int64_t)> progress;  // piece 0 tells, on the calling thread

    // Piece k ended the reading: the pieces after it are of no use.
    void endAt(std::size_t k);
    // Whether piece k may stop: cancelled, or a piece before it ended the reading.
    bool needless(std::size_t k) const;

private:
    std::atomic<std::size_t> m_endedAt{static_cast<std::size_t>(-1)};
};

// Piece k of the file: 0 reports the progress, the last one may end without a LF.
LogPiece ReadLogPiece(std::string_view piece, std::size_t k, const LogLineParser& parser,
                      const TimeTextRules& rules, std::size_t cap, PieceWork& work);
LoaderPiece ReadLoaderPiece(std::string_view piece, std::size_t k, const TimeTextRules& rules, std::size_t cap,
                            PieceWork& work);

} // namespace hmx::chartparts
