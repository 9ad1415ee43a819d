#include "readings/pointstore.h"

#include <cmath>
#include <type_traits>

namespace hmx::readings {

namespace {

constexpr double MsPerDay = 86400000.0;
constexpr std::int64_t MaxOffset = std::numeric_limits<std::uint32_t>::max();

// The whole number nearest d (well inside the range of int64). Which way a half goes
// does not matter: a number is kept only when it reads back as the value itself.
inline std::int64_t Nearest(double d)
{
    return static_cast<std::int64_t>(d < 0 ? d - 0.5 : d + 0.5);
}

// The hundredths of v when v reads back exactly from them.
inline bool HundredthsOf(double v, std::int32_t& n)
{
    if (!(std::abs(v) < 2e7))
        return false;
    n = static_cast<std::int32_t>(Nearest(v * 100));
    return n / 100.0 == v;
}

} // namespace

// ---------------------------------------------------------------- Chunk

bool PointStore::Chunk::takes(double x) const
{
    if (count == ChunkPoints)
        return false;
    std::int64_t ms = 0;
    if (wideX || count == 0 || !MillisecondsOf(x, ms))
        return true;  // off the grid: the chunk turns wide
    const std::int64_t lo = std::min(base, ms);
    const std::int64_t hi = std::max(base + static_cast<std::int64_t>(offsets.back()), ms);
    return hi - lo <= MaxOffset;
}

void PointStore::Chunk::insert(std::size_t at, double x, double y)
{
    // A point off the grid turns its column of the chunk into doubles.
    auto widen = [this](auto& narrow, std::vector<double>& wide, bool& isWide, auto read) {
        wide.reserve(count + 1);
        for (std::size_t i = 0; i < count; ++i)
            wide.push_back(read(i));
        std::decay_t<decltype(narrow)>().swap(narrow);
        isWide = true;
    };
    std::int64_t ms = 0;
    if (!wideX && !MillisecondsOf(x, ms))
        widen(offsets, wideXs, wideX, [this](std::size_t i) { return xAt(i); });
    if (wideX) {
        wideXs.insert(wideXs.begin() + static_cast<std::ptrdiff_t>(at), x);
    } else {
        if (count == 0) {
            base = ms;
        } else if (ms < base) {
            const auto shift = static_cast<std::uint32_t>(base - ms);
            for (std::uint32_t& o : offsets)
                o += shift;
            base = ms;
        }
        offsets.insert(offsets.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint32_t>(ms - base));
    }

    std::int32_t n = 0;
    if (!wideY && !HundredthsOf(y, n))
        widen(hundredths, wideYs, wideY, [this](std::size_t i) { return yAt(i); });
    if (wideY)
        wideYs.insert(wideYs.begin() + static_cast<std::ptrdiff_t>(at), y);
    else
        hundredths.insert(hundredths.begin() + static_cast<std::ptrdiff_t>(at), n);

    ++count;
    if (at + 1 == count) {
        blocks[at / BlockPoints].add(y);
        total.add(y);
        if (wideY)
            moments.add(y);
        else
            moments.addHundredths(n);
    } else {
        summariseFrom(at);
    }
}

std::size_t PointStore::Chunk::appendRun(const double* xs, const double* ys, const std::int64_t* given, std::size_t n)
{
    if (wideX || wideY)
        return 0;
    n = std::min(n, ChunkPoints - count);
    const std::size_t first = count;
    double last = count > 0 ? xAt(count - 1) : -std::numeric_limits<double>::infinity();
    std::int64_t from = base;
    // The run written in place first, its summaries after in passes of their own.
    offsets.resize(first + n);
    hundredths.resize(first + n);
    std::uint32_t* const o = offsets.data() + first;
    std::int32_t* const h = hundredths.data() + first;
    std::size_t k = 0;
    for (; k < n; ++k) {
        std::int64_t ms = 0;
        std::int32_t v = 0;
        const bool onGrid = given ? (ms = given[k]) != OffGrid : MillisecondsOf(xs[k], ms);
        if (!(xs[k] >= last) || !onGrid || !HundredthsOf(ys[k], v))
            break;
        if (first + k == 0)
            from = ms;
        if (ms - from > MaxOffset)
            break;
        last = xs[k];
        o[k] = static_cast<std::uint32_t>(ms - from);
        h[k] = v;
    }
    offsets.resize(first + k);
    hundredths.resize(first + k);
    if (k == 0)
        return 0;
    base = from;
    count = first + k;
    MinMax run;
    for (std::size_t i = 0; i < k;) {
        const std::size_t end = std::min(k, ((first + i) / BlockPoints + 1) * BlockPoints - first);
        MinMax block;
        for (; i < end; ++i)
            block.add(ys[i]);
        blocks[(first + end - 1) / BlockPoints].add(block);
        run.add(block);
    }
    total.add(run);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < k; ++i)
        sum += h[i];
    // The run's spread about its own mean, merged: as exact as adding one at a time.
    Moments m;
    m.count = k;
    m.hundredths = sum;
    const double mean = m.mean();
    for (std::size_t i = 0; i < k; ++i) {
        const double d = ys[i] - mean;  // ys[i] is h[i] / 100.0: HundredthsOf took only such values
        m.m2 += d * d;
    }
    moments.add(m);
    return k;
}

void PointStore::Chunk::truncate(std::size_t n)
{
    count = n;
    if (wideX)
        wideXs.resize(n);
    else
        offsets.resize(n);
    if (wideY)
        wideYs.resize(n);
    else
        hundredths.resize(n);
    summariseFrom(n);
}

void PointStore::Chunk::summariseFrom(std::size_t index)
{
    for (std::size_t k = index / BlockPoints; k < Blocks; ++k) {
        MinMax m;
        for (std::size_t i = k * BlockPoints; i < std::min(count, (k + 1) * BlockPoints); ++i)
            m.add(yAt(i));
        blocks[k] = m;
    }
    total = MinMax();
    for (const MinMax& b : blocks)
        total.add(b);
    moments = Moments();  // so momentsOf walks the values
    moments = momentsOf(0, count);
}

std::size_t PointStore::Chunk::partitionPoint(double x, bool orEqual, std::size_t a) const
{
    auto before = [x, orEqual](double v) { return orEqual ? v <= x : v < x; };
    if (wideX) {
        const auto first = wideXs.begin() + static_cast<std::ptrdiff_t>(a);
        return static_cast<std::size_t>(std::partition_point(first, wideXs.end(), before) - wideXs.begin());
    }
    // Search the offsets for the first millisecond count not before x: X grows with
    // the count, so that count is found from x and checked on either side.
    const double guess = std::ceil((x - 25569.0) * MsPerDay);
    if (!(std::abs(guess) < 1e15))
        return guess > 0 ? count : a;
    auto m = static_cast<std::int64_t>(guess);
    while (!before(XOfMilliseconds(m - 1)))
        --m;
    while (before(XOfMilliseconds(m)))
        ++m;
    if (m - base > MaxOffset)
        return count;
    const auto offset = static_cast<std::uint32_t>(std::max<std::int64_t>(0, m - base));
    const auto first = offsets.begin() + static_cast<std::ptrdiff_t>(a);
    return static_cast<std::size_t>(std::lower_bound(first, offsets.end(), offset) - offsets.begin());
}

std::size_t PointStore::Chunk::bytes() const
{
    return sizeof(Chunk) + offsets.capacity() * sizeof(std::uint32_t) + hundredths.capacity() * sizeof(std::int32_t)
        + (wideXs.capacity() + wideYs.capacity()) * sizeof(double);
}

// ---------------------------------------------------------------- PointStore

PointStore::PointStore() = default;
PointStore::~PointStore() = default;
PointStore::PointStore(PointStore&&) noexcept = default;
PointStore& PointStore::operator=(PointStore&&) noexcept = default;

std::size_t PointStore::chunkOf(std::size_t index) const
{
    for (std::size_t c = m_lastChunk; c < m_lastChunk + 2 && c < m_chunks.size(); ++c) {
        if (index >= m_starts[c] && index - m_starts[c] < m_chunks[c]->count)
            return m_lastChunk = c;
    }
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
    return m_lastChunk = static_cast<std::size_t>(after - m_starts.begin()) - 1;
}

double PointStore::x(std::size_t index) const
{
    const std::size_t c = chunkOf(index);
    return m_chunks[c]->xAt(index - m_starts[c]);
}

double PointStore::y(std::size_t index) const
{
    const std::size_t c = chunkOf(index);
    return m_chunks[c]->yAt(index - m_starts[c]);
}

double PointStore::firstX() const { return m_chunks.front()->xAt(0); }
double PointStore::lastX() const { return m_chunks.back()->xAt(m_chunks.back()->count - 1); }

void PointStore::newChunkAt(std::size_t chunk)
{
    const std::size_t start = chunk < m_starts.size() ? m_starts[chunk] : m_size;
    auto fresh = std::make_unique<Chunk>();
    if (chunk == m_chunks.size()) {
        // The usual growth at the end fills the chunk: room for all of it at once.
        fresh->offsets.reserve(ChunkPoints);
        fresh->hundredths.reserve(ChunkPoints);
    }
    m_chunks.insert(m_chunks.begin() + static_cast<std::ptrdiff_t>(chunk), std::move(fresh));
    m_starts.insert(m_starts.begin() + static_cast<std::ptrdiff_t>(chunk), start);
}

void PointStore::append(double x, double y)
{
    if (m_chunks.empty() || !m_chunks.back()->takes(x))
        newChunkAt(m_chunks.size());
    Chunk& last = *m_chunks.back();
    last.insert(last.count, x, y);
    ++m_size;
}

void PointStore::insertInto(std::size_t chunk, std::size_t at, double x, double y)
{
    Chunk* c = m_chunks[chunk].get();
    if (!c->takes(x)) {
        if (at > 0 && at < c->count) {
            // A full chunk splits before `at`; the point then ends the first part.
            newChunkAt(chunk + 1);
            Chunk& tail = *m_chunks[chunk + 1];
            for (std::size_t i = at; i < c->count; ++i)
                tail.insert(tail.count, c->xAt(i), c->yAt(i));
            m_starts[chunk + 1] = m_starts[chunk] + at;
            c->truncate(at);
        } else {
            // Before or after a chunk that is full or whose offsets would overflow.
            if (at != 0)
                ++chunk;
            newChunkAt(chunk);
            c = m_chunks[chunk].get();
            at = 0;
        }
    }
    c->insert(at, x, y);
    for (std::size_t k = chunk + 1; k < m_starts.size(); ++k)
        ++m_starts[k];
    ++m_size;
}

void PointStore::add(double x, double y)
{
    if (m_size == 0 || !(x < lastX())) {
        append(x, y);
        return;
    }
    // The first chunk whose last point lies after x holds the place.
    std::size_t lo = 0, hi = m_chunks.size() - 1;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const Chunk& c = *m_chunks[mid];
        if (c.xAt(c.count - 1) > x)
            hi = mid;
        else
            lo = mid + 1;
    }
    const std::size_t at = upperBound(x, m_starts[lo], m_starts[lo] + m_chunks[lo]->count) - m_starts[lo];
    if (at == 0 && lo > 0 && m_chunks[lo - 1]->takes(x)) {
        insertInto(lo - 1, m_chunks[lo - 1]->count, x, y);  // after the chunk before: no points move
        return;
    }
    insertInto(lo, at, x, y);
}

void PointStore::add(std::span<const double> xs, std::span<const double> ys, std::span<const std::int64_t> ms)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    for (std::size_t i = 0; i < n;) {
        if (m_size > 0 && xs[i] < lastX()) {
            add(xs[i], ys[i]);
            ++i;
            continue;
        }
        if (m_chunks.empty() || m_chunks.back()->count == ChunkPoints)
            newChunkAt(m_chunks.size());
        const std::size_t taken = m_chunks.back()->appendRun(xs.data() + i, ys.data() + i, ms.empty() ? nullptr : ms.data() + i, n - i);
        if (taken == 0) {
            append(xs[i], ys[i]);  // off a grid, or past the chunk's offsets
            ++i;
            continue;
        }
        m_size += taken;
        i += taken;
    }
}

void PointStore::append(PointStore&& tail)
{
    if (tail.empty())
        return;
    if (!empty() && tail.firstX() < lastX()) {
        tail.forEach(0, tail.size(), [this](double x, double y) { add(x, y); });
    } else {
        for (std::unique_ptr<Chunk>& chunk : tail.m_chunks) {
            m_starts.push_back(m_size);
            m_size += chunk->count;
            m_chunks.push_back(std::move(chunk));
        }
    }
    tail.clear();
}

void PointStore::clear()
{
    std::deque<std::unique_ptr<Chunk>>().swap(m_chunks);
    std::deque<std::size_t>().swap(m_starts);
    m_size = 0;
}

std::size_t PointStore::memoryBytes() const
{
    std::size_t bytes = sizeof(PointStore)
        + m_chunks.size() * (sizeof(std::unique_ptr<Chunk>) + sizeof(std::size_t));
    for (const auto& c : m_chunks)
        bytes += c->bytes();
    return bytes;
}

std::size_t PointStore::partitionPoint(double x, bool orEqual, std::size_t from, std::size_t to) const
{
    to = std::min(to, m_size);
    if (from >= to)
        return to;
    // Skip whole chunks whose last point is still before, doubling the stride.
    std::size_t c = chunkOf(from);
    auto lastBefore = [&](std::size_t k) {
        const Chunk& chunk = *m_chunks[k];
        const double last = chunk.xAt(chunk.count - 1);
        return orEqual ? last <= x : last < x;
    };
    if (lastBefore(c)) {
        std::size_t lo = c, step = 1;
        while (lo + step < m_chunks.size() && lastBefore(lo + step)) {
            lo += step;
            step *= 2;
        }
        std::size_t hi = std::min(m_chunks.size(), lo + step);  // first candidate not before
        ++lo;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (lastBefore(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == m_chunks.size())
            return to;
        c = lo;
    }
    const std::size_t start = m_starts[c];
    return std::min(to, start + m_chunks[c]->partitionPoint(x, orEqual, from > start ? from - start : 0));
}

std::size_t PointStore::lowerBound(double x, std::size_t from, std::size_t to) const
{
    return partitionPoint(x, false, from, to);
}

std::size_t PointStore::upperBound(double x, std::size_t from, std::size_t to) const
{
    return partitionPoint(x, true, from, to);
}

} // namespace hmx::readings
