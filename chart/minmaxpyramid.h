// Min/max summary of a value array in blocks of blocks, so the extremes of any
// index range cost O(log n) instead of one look at every value.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

namespace hmx::chart {

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

// levels[k][i] covers values [i * B^(k+1), (i+1) * B^(k+1)); only whole blocks are kept,
// so appending never revisits an entry. Changes inside the array are handled lazily:
// the summary is rebuilt from the first changed index at the next query.
class MinMaxPyramid {
public:
    static constexpr std::size_t kBlock = 32;

    // After values.push_back(): O(1) amortised while the summary is in step.
    void appended(const std::vector<double>& values);
    // After values[index..] changed (insertion, removal).
    void changedFrom(std::size_t index);
    void clear();

    // Extremes of values[lo, hi); empty MinMax for an empty range.
    MinMax query(const std::vector<double>& values, std::size_t lo, std::size_t hi);

    std::size_t memoryBytes() const;

private:
    void sync(const std::vector<double>& values);

    std::vector<std::vector<MinMax>> m_levels;
    std::size_t m_synced = 0;  // values[0, m_synced) are reflected in m_levels
};

} // namespace hmx::chart
