// A chart file's bytes (in memory, or still being read into it) cut at line ends into
// parts that are read on several threads at once; the parts are then joined in file
// order, so a load gives what reading the file line by line gives.
#pragma once

#include "log/chartfile.h"
#include "log/loglineparser.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
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

// A file's lines in pieces of whole lines, in file order, after its first lines.
class PieceSource {
public:
    virtual ~PieceSource() = default;
    // The file's first lines (as many as the source was made for), waiting for them;
    // `all` tells whether they are the whole file. Valid until the first piece is asked for.
    virtual std::string_view head(bool& all) = 0;
    // The next piece after the head and its number, waiting for it; false when none is
    // left. Any thread may ask.
    virtual bool next(std::size_t& k, std::string_view& piece) = 0;
    // Piece k is read: its bytes may go.
    virtual void done(std::size_t) {}
    // No more pieces are wanted.
    virtual void stop() {}
    // Pieces handed out so far.
    virtual std::size_t count() const = 0;
    // Why the bytes ended early, if they did: a read error or a cancel.
    virtual void rethrow() const {}
};

// How many bytes from the start hold the first `lines` whole lines; all the bytes
// when they end before. `all` tells whether that is every byte.
std::size_t WithLines(std::string_view bytes, std::size_t lines, bool& all);

// Bytes in memory cut after their first `headLines` lines into pieces of whole lines,
// one at a time as they are asked for. Each piece is at least `smallest` bytes long
// (the last one may be shorter) and at most about `size`: the first ones grow from
// `smallest`, so the threads start at once, and the last ones shrink as the bytes left
// are shared among `threads`, so the threads end together.
class PieceCutter : public PieceSource {
public:
    PieceCutter(std::string_view bytes, std::size_t headLines, std::size_t size, std::size_t smallest,
                std::size_t threads);

    std::string_view head(bool& all) override;
    bool next(std::size_t& k, std::string_view& piece) override;
    std::size_t count() const override { return m_count; }

private:
    std::size_t nextSize() const;

    std::mutex m_mutex;
    std::string_view m_bytes;
    std::size_t m_headLines;
    std::size_t m_size;
    std::size_t m_smallest;
    std::size_t m_threads;
    std::size_t m_cut = 0;
    std::size_t m_count = 0;
};

// Runs read(k) for every piece k, piece 0 on the calling thread and the others on
// threads of their own, and waits for all of them.
void ReadEach(std::size_t pieces, const std::function<void(std::size_t)>& read);

// The days of a piece's lines, counted from its first line, so pieces read at once
// are dated by adding up their counts in file order.
struct PieceDays {
    double first = -1;  // time of the piece's first line (fraction of a day); -1: none yet
    double last = -1;   // of its last line
    // Index of the first row kept on each further day: row i is on the day
    // (entries <= i) after the piece's first.
    std::vector<std::size_t> newDayAt;

    // A line at `time`, before the piece keeps `kept` rows; newDay(before, time) tells
    // whether it is on the day after the line before.
    template <class NewDay>
    void line(double time, std::size_t kept, NewDay newDay)
    {
        if (last < 0)
            first = time;
        else if (newDay(last, time))
            newDayAt.push_back(kept);
        last = time;
    }
    std::size_t days() const { return newDayAt.size(); }
    // Days after the piece's first on which row i is.
    std::size_t dayOf(std::size_t i) const;
};

// The day count of each of the pieces read in file order, the first on day 0; gives
// the count of the last line.
template <class Piece, class NewDay>
std::size_t CountDays(std::span<const Piece* const> pieces, std::vector<std::size_t>& firstDay, NewDay newDay)
{
    std::size_t day = 0;
    double last = -1;
    firstDay.clear();
    for (const Piece* piece : pieces) {
        if (last >= 0 && piece->days.first >= 0 && newDay(last, piece->days.first))
            ++day;
        firstDay.push_back(day);
        day += piece->days.days();
        if (piece->days.last >= 0)
            last = piece->days.last;
    }
    return day;
}

// Pieces in file order, dated: the rows of all as one run, each with its day counted
// from the first line. Rows are read in any order, from several threads at once.
template <class Piece>
class DatedPieces {
public:
    template <class NewDay>
    DatedPieces(std::vector<const Piece*> pieces, NewDay newDay) : m_pieces(std::move(pieces))
    {
        m_days = CountDays<Piece>(m_pieces, m_firstDay, newDay);
        for (const Piece* piece : m_pieces) {
            m_firstRow.push_back(m_rows);
            m_rows += piece->rows.size();
            if (piece->days.last >= 0)
                m_last = piece->days.last;
        }
    }

    std::size_t rows() const { return m_rows; }
    std::size_t days() const { return m_days; }  // of the last line
    double lastTime() const { return m_last; }   // -1: no line

    // take(row, day) for rows [from, from + n) in order.
    template <class Take>
    void read(std::size_t from, std::size_t n, Take take) const
    {
        // The last piece starting at or before `from` holds it (those before it may be empty).
        std::size_t k = std::size_t(std::upper_bound(m_firstRow.begin(), m_firstRow.end(), from) - m_firstRow.begin()) - 1;
        std::size_t i = from - m_firstRow[k];
        for (; n > 0 && k < m_pieces.size(); ++k, i = 0) {
            const Piece& piece = *m_pieces[k];
            const std::vector<std::size_t>& changes = piece.days.newDayAt;
            std::size_t day = piece.days.dayOf(i);
            const std::size_t end = std::min(piece.rows.size(), i + n);
            n -= end - i;
            for (; i < end; ++i) {
                while (day < changes.size() && changes[day] <= i)
                    ++day;
                take(piece.rows[i], m_firstDay[k] + day);
            }
        }
    }

private:
    std::vector<const Piece*> m_pieces;
    std::vector<std::size_t> m_firstRow;
    std::vector<std::size_t> m_firstDay;
    std::size_t m_rows = 0;
    std::size_t m_days = 0;
    double m_last = -1;
};

// Log lines of one piece, up to the first that is none.
struct LogRow {
    double time;  // fraction of a day
    std::int16_t dewPoint, humidity, ambient;
};
struct LogPiece {
    std::vector<LogRow> rows;
    PieceDays days;
    std::size_t lines = 0;  // read, the one that is no Log line included
    LogLineFault fault = LogLineFault::None;
    std::string faultLine;  // its own copy: the piece's bytes may go before it is told
    bool unclean = false;  // some line the loader layout cannot read cleanly
};

// Loader-layout lines of one piece, up to the first whose time is not valid; only
// those with a value are kept (a 0 draws nothing), but every time counts the days.
struct LoaderRow {
    double time;
    double value;
};
struct LoaderPiece {
    std::vector<LoaderRow> rows;
    PieceDays days;
    std::size_t lines = 0;  // read, the one with the invalid time included
    bool invalid = false;
    std::string invalidTime;
};

// What reading pieces shares: when to stop, and how far they have come.
struct PieceWork {
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<std::int64_t> done{0};  // bytes read by all pieces
    std::function<void(std::int64_t)> progress;  // told on the `reporter` thread only
    std::thread::id reporter = std::this_thread::get_id();

    // Piece k ended the reading: the pieces after it are of no use.
    void endAt(std::size_t k);
    // Whether piece k may stop: cancelled, or a piece before it ended the reading.
    bool needless(std::size_t k) const;

private:
    std::atomic<std::size_t> m_endedAt{static_cast<std::size_t>(-1)};
};

// Whether a log line at `time` is on the day after the one before it at `before`: back
// by more than the clock is ever set back, midnight passed. Compared in whole
// milliseconds, which the times are made of.
bool LogNewDay(double before, double time);
// The same for the loader layout: any time back from the line before.
inline bool LoaderNewDay(double before, double time) { return time < before; }

// Piece k of the file; the last one may end without a LF.
LogPiece ReadLogPiece(std::string_view piece, std::size_t k, const LogLineParser& parser,
                      const TimeTextRules& rules, std::size_t cap, PieceWork& work);
LoaderPiece ReadLoaderPiece(std::string_view piece, std::size_t k, const TimeTextRules& rules, std::size_t cap,
                            PieceWork& work);

} // namespace hmx::chartparts
