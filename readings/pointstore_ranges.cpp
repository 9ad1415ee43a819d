// What the store tells of a range of its points from its chunks' and blocks' summaries:
// extremes, moments, where a value is first, time past a limit.
#include "readings/pointstore.h"

#include <cmath>

namespace hmx::readings {

Moments PointStore::Chunk::momentsOf(std::size_t a, std::size_t b) const
{
    if (a == 0 && b == count && moments.count == count)
        return moments;
    Moments m;
    if (wideY) {
        for (std::size_t i = a; i < b; ++i)
            m.add(wideYs[i]);
    } else {
        for (std::size_t i = a; i < b; ++i)
            m.addHundredths(hundredths[i]);
    }
    return m;
}

MinMax PointStore::Chunk::extent(std::size_t a, std::size_t b) const
{
    MinMax m;
    if (a == 0 && b == count) {
        m.add(total);
        return m;
    }
    // Loose values at either end up to whole blocks; narrow ones compared as integers.
    std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
    auto loose = [&](std::size_t i) {
        if (wideY) {
            m.add(wideYs[i]);
        } else {
            lo = std::min(lo, hundredths[i]);
            hi = std::max(hi, hundredths[i]);
        }
    };
    while (a < b && a % BlockPoints != 0)
        loose(a++);
    while (b > a && b % BlockPoints != 0 && b != count)
        loose(--b);
    if (lo <= hi) {
        m.add(lo / 100.0);
        m.add(hi / 100.0);
    }
    // [a, b) is now whole blocks (the chunk's last one may be short).
    for (std::size_t k = a / BlockPoints; a < b && k * BlockPoints < b; ++k)
        m.add(blocks[k]);
    return m;
}

MinMax PointStore::extent(std::size_t lo, std::size_t hi) const
{
    MinMax m;
    forChunkParts(lo, hi, [&m](const Chunk& chunk, std::size_t, std::size_t a, std::size_t b) {
        m.add(chunk.extent(a, b));
        return false;
    });
    return m;
}

Moments PointStore::moments(std::size_t lo, std::size_t hi) const
{
    Moments m;
    forChunkParts(lo, hi, [&m](const Chunk& chunk, std::size_t, std::size_t a, std::size_t b) {
        m.add(chunk.momentsOf(a, b));
        return false;
    });
    return m;
}

std::size_t PointStore::find(double v, std::size_t lo, std::size_t hi) const
{
    std::size_t found = std::min(hi, m_size);
    auto holds = [v](const MinMax& m) { return m.lo <= v && v <= m.hi; };
    forChunkParts(lo, hi, [&](const Chunk& chunk, std::size_t start, std::size_t a, std::size_t b) {
        if (!holds(chunk.total))
            return false;
        for (std::size_t k = a / BlockPoints; k * BlockPoints < b; ++k) {
            if (!holds(chunk.blocks[k]))
                continue;
            for (std::size_t i = std::max(a, k * BlockPoints); i < std::min(b, (k + 1) * BlockPoints); ++i) {
                if (chunk.yAt(i) == v) {
                    found = start + i;
                    return true;
                }
            }
        }
        return false;
    });
    return found;
}

double PointStore::timePast(double limit, bool above, std::size_t lo, std::size_t hi) const
{
    hi = std::min(hi, m_size);
    if (lo + 1 >= hi)
        return 0;
    // Runs of points past the limit, each adding the X of the point after it less the
    // X of its first point, so the sum telescopes instead of adding every step.
    const std::size_t last = hi - 1;  // the last point ends the last step
    double total = 0;
    double runStart = 0;
    bool inRun = false;
    auto allPast = [&](const MinMax& m) { return above ? m.lo > limit : m.hi < limit; };
    auto nonePast = [&](const MinMax& m) { return above ? m.hi <= limit : m.lo >= limit; };
    auto step = [&](bool past, const Chunk& chunk, std::size_t i) {
        if (past && !inRun) {
            runStart = chunk.xAt(i);
            inRun = true;
        } else if (!past && inRun) {
            total += chunk.xAt(i) - runStart;
            inRun = false;
        }
    };
    // Values on the grid compare as hundredths: past when above (below) `edge`.
    std::int32_t edge = 0;
    if (std::abs(limit) < 2e7) {
        edge = static_cast<std::int32_t>(std::floor(limit * 100));
        while (edge / 100.0 > limit)
            --edge;
        while ((edge + 1) / 100.0 <= limit)
            ++edge;
        // edge / 100 <= limit < (edge + 1) / 100: above it is past an upper limit;
        // below it is past a lower one unless edge / 100 is the limit itself.
        if (!above && edge / 100.0 < limit)
            ++edge;
    } else {
        edge = limit > 0 ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int32_t>::min();
    }
    // The steps start at points [lo, last).
    forChunkParts(lo, last, [&](const Chunk& chunk, std::size_t, std::size_t a, std::size_t b) {
        if (a == 0 && b == chunk.count && (allPast(chunk.total) || nonePast(chunk.total))) {
            step(allPast(chunk.total), chunk, 0);
            return false;
        }
        for (std::size_t k = a / BlockPoints; k * BlockPoints < b; ++k) {
            const std::size_t from = std::max(a, k * BlockPoints), to = std::min(b, (k + 1) * BlockPoints);
            const MinMax& block = chunk.blocks[k];
            if (from == k * BlockPoints && to == std::min(chunk.count, (k + 1) * BlockPoints)
                && (allPast(block) || nonePast(block))) {
                step(allPast(block), chunk, from);
                continue;
            }
            if (chunk.wideY) {
                for (std::size_t i = from; i < to; ++i)
                    step(above ? chunk.wideYs[i] > limit : chunk.wideYs[i] < limit, chunk, i);
            } else {
                for (std::size_t i = from; i < to; ++i)
                    step(above ? chunk.hundredths[i] > edge : chunk.hundredths[i] < edge, chunk, i);
            }
        }
        return false;
    });
    if (inRun)
        total += x(last) - runStart;
    return total;
}

} // namespace hmx::readings
