// The points of one line, kept in X order in little room: chunks of up to 1024 points,
// each holding X as milliseconds after its first point and values in hundredths (4 + 4
// bytes a point), with the extremes of every 32 values beside them. A chunk with a point
// off that grid keeps its X or its values as doubles instead, so every point reads back
// exactly as it was added.
#pragma once

#include "readings/moments.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace hmx::readings {

// X of a count of milliseconds since 1 Jan 1970, as the program's clock makes it, so
// that its points are on the grid and read back bit for bit.
inline double XOfMilliseconds(std::int64_t ms)
{
    return 25569.0 + static_cast<double>(ms) / 86400000.0;
}

// The millisecond count of x when x is exactly on the program's millisecond grid.
inline bool MillisecondsOf(double x, std::int64_t& ms)
{
    const double d = (x - 25569.0) * 86400000.0;
    if (!(d < 1e15 && d > -1e15))
        return false;
    // Which way a half goes does not matter: only a count that reads back as x is kept.
    ms = static_cast<std::int64_t>(d < 0 ? d - 0.5 : d + 0.5);
    return XOfMilliseconds(ms) == x;
}
// Stands for an X off that grid among millisecond counts found beforehand.
inline constexpr std::int64_t OffGrid = std::numeric_limits<std::int64_t>::min();

struct MinMax {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();

    void add(double v)
    {
        if (v < lo)
            lo = v;
        if (v > hi)
            hi = v;
    }
    void add(const MinMax& o)
    {
        if (o.lo < lo)
            lo = o.lo;
        if (o.hi > hi)
            hi = o.hi;
    }
    bool empty() const { return lo > hi; }
};

class PointStore {
public:
    static constexpr std::size_t ChunkPoints = 1024;
    static constexpr std::size_t BlockPoints = 32;

    PointStore();
    ~PointStore();
    PointStore(PointStore&&) noexcept;
    PointStore& operator=(PointStore&&) noexcept;

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // O(log chunks).
    double x(std::size_t index) const;
    double y(std::size_t index) const;
    double firstX() const;  // of a store that is not empty
    double lastX() const;

    // After every point whose X <= x. Appending costs O(1) and never moves the points
    // held; a late point moves at most one chunk's points and the chunk list's counts.
    void add(double x, double y);
    // The points (xs[i], ys[i]) in order, each as add() takes it. A run in ascending X
    // on the grids fills the last chunk's narrow columns and summaries in one pass.
    // ms, when given: MillisecondsOf(xs[i]) or OffGrid for each, found once for an X
    // that several lines share.
    void add(std::span<const double> xs, std::span<const double> ys, std::span<const std::int64_t> ms = {});
    // Takes tail's points after these: its chunks as they are (O(its chunks)) when none
    // of its X is below the last X here, else one by one as add() takes them.
    void append(PointStore&& tail);
    void clear();
    // Bytes held, capacity included.
    std::size_t memoryBytes() const;

    // First index in [from, to) whose X is >= x (lowerBound) or > x (upperBound), or
    // `to`. Gallops forward from `from` over the chunks: O(log distance).
    std::size_t lowerBound(double x, std::size_t from, std::size_t to) const;
    std::size_t upperBound(double x, std::size_t from, std::size_t to) const;
    // Extremes of the values of points [lo, hi); O(chunks spanned + 2 * 32).
    MinMax extent(std::size_t lo, std::size_t hi) const;
    // Count, sum and spread of the values of points [lo, hi); whole chunks read their
    // summary, so O(chunks spanned + 2 * 1024).
    Moments moments(std::size_t lo, std::size_t hi) const;
    // First index in [lo, hi) whose value is v, or hi. Skips chunks and blocks whose
    // extremes leave v out: for an extreme of the range, O(chunks spanned + 4 * 32).
    std::size_t find(double v, std::size_t lo, std::size_t hi) const;
    // Days the value was past `limit` (above it when `above`, else below; on it is
    // inside), each point holding its value until the next one, from point lo to
    // point hi - 1. Chunks and blocks wholly on one side count without reading their
    // points: O(chunks spanned + blocks of the chunks that cross the limit + 32 per
    // block that crosses it), so only values that cross in every block walk them all.
    double timePast(double limit, bool above, std::size_t lo, std::size_t hi) const;

    // f(x, y) for the points [lo, hi) in order, chunk by chunk.
    template <class F>
    void forEach(std::size_t lo, std::size_t hi, F&& f) const;

private:
    struct Chunk;
    // f(chunk, start, a, b) for each chunk that points [lo, hi) reach into, with the
    // index of its first point and the part [a, b) of its points they cover; stops
    // where f returns true.
    template <class F>
    void forChunkParts(std::size_t lo, std::size_t hi, F&& f) const;
    // The chunk holding index: O(1) at or just after the last one asked for (scans
    // go forward), else O(log chunks).
    std::size_t chunkOf(std::size_t index) const;
    std::size_t partitionPoint(double x, bool orEqual, std::size_t from, std::size_t to) const;
    void append(double x, double y);
    void insertInto(std::size_t chunk, std::size_t at, double x, double y);
    void newChunkAt(std::size_t chunk);

    // Deques grow without moving what they hold, so no append copies the chunk list.
    std::deque<std::unique_ptr<Chunk>> m_chunks;
    std::deque<std::size_t> m_starts;  // index of each chunk's first point
    std::size_t m_size = 0;
    mutable std::size_t m_lastChunk = 0;  // the window thread's alone, like the store
};

struct PointStore::Chunk {
    static constexpr std::size_t Blocks = ChunkPoints / BlockPoints;

    std::int64_t base = 0;               // milliseconds of offset 0
    std::vector<std::uint32_t> offsets;  // X in milliseconds after base (narrow X)
    std::vector<std::int32_t> hundredths;  // narrow values
    std::vector<double> wideXs;          // X of a chunk with a point off the millisecond grid
    std::vector<double> wideYs;          // values of one with a value off the hundredth grid
    bool wideX = false;
    bool wideY = false;
    std::size_t count = 0;
    // Queries over many chunks read these three alone: kept together, before the blocks.
    MinMax total;
    Moments moments;  // of all its values
    std::array<MinMax, Blocks> blocks{};  // extremes of values [32 k, 32 k + 32)

    double xAt(std::size_t i) const { return wideX ? wideXs[i] : XOfMilliseconds(base + offsets[i]); }
    double yAt(std::size_t i) const { return wideY ? wideYs[i] : hundredths[i] / 100.0; }
    // First i in [a, count) whose X is >= x (or > x with orEqual); count when none.
    std::size_t partitionPoint(double x, bool orEqual, std::size_t a) const;
    // Whether a point at X x fits (room left, the offsets still 32-bit).
    bool takes(double x) const;
    void insert(std::size_t at, double x, double y);
    // Appends the longest leading run of xs/ys that stays in order after its last
    // point, on both grids and within its room; how many it took.
    std::size_t appendRun(const double* xs, const double* ys, const std::int64_t* ms, std::size_t n);
    void truncate(std::size_t n);
    void summariseFrom(std::size_t index);
    MinMax extent(std::size_t a, std::size_t b) const;
    Moments momentsOf(std::size_t a, std::size_t b) const;
    std::size_t bytes() const;
};

template <class F>
void PointStore::forChunkParts(std::size_t lo, std::size_t hi, F&& f) const
{
    hi = std::min(hi, m_size);
    if (lo >= hi)
        return;
    for (std::size_t c = chunkOf(lo); c < m_chunks.size() && m_starts[c] < hi; ++c) {
        const Chunk& chunk = *m_chunks[c];
        const std::size_t start = m_starts[c];
        if (f(chunk, start, lo > start ? lo - start : 0, std::min(chunk.count, hi - start)))
            return;
    }
}

template <class F>
void PointStore::forEach(std::size_t lo, std::size_t hi, F&& f) const
{
    forChunkParts(lo, hi, [&f](const Chunk& chunk, std::size_t, std::size_t a, std::size_t b) {
        for (std::size_t i = a; i < b; ++i)
            f(chunk.xAt(i), chunk.yAt(i));
        return false;
    });
}

} // namespace hmx::readings
