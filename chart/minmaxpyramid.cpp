#include "chart/minmaxpyramid.h"

#include <algorithm>

namespace hmx::chart {

namespace {

MinMax summarise(const double* first, std::size_t count)
{
    MinMax m;
    for (std::size_t i = 0; i < count; ++i)
        m.add(first[i]);
    return m;
}

MinMax summarise(const MinMax* first, std::size_t count)
{
    MinMax m;
    for (std::size_t i = 0; i < count; ++i)
        m.add(first[i]);
    return m;
}

} // namespace

void MinMaxPyramid::appended(const std::vector<double>& values)
{
    const std::size_t n = values.size();
    if (m_synced + 1 != n)
        return;  // a rebuild is pending anyway
    m_synced = n;
    if (n % kBlock != 0)
        return;
    if (m_levels.empty())
        m_levels.emplace_back();
    m_levels[0].push_back(summarise(values.data() + n - kBlock, kBlock));
    for (std::size_t k = 0; m_levels[k].size() % kBlock == 0; ++k) {
        if (k + 1 == m_levels.size())
            m_levels.emplace_back();
        const std::vector<MinMax>& lower = m_levels[k];
        m_levels[k + 1].push_back(summarise(lower.data() + lower.size() - kBlock, kBlock));
    }
}

void MinMaxPyramid::changedFrom(std::size_t index)
{
    m_synced = std::min(m_synced, index);
}

void MinMaxPyramid::clear()
{
    std::vector<std::vector<MinMax>>().swap(m_levels);
    m_synced = 0;
}

void MinMaxPyramid::sync(const std::vector<double>& values)
{
    const std::size_t n = values.size();
    if (m_synced == n)
        return;
    // Drop every entry that covers a changed value, then extend level by level.
    std::size_t kept = m_synced;
    for (std::vector<MinMax>& level : m_levels) {
        kept /= kBlock;
        level.resize(std::min(level.size(), kept));
    }
    if (m_levels.empty())
        m_levels.emplace_back();
    for (std::size_t i = m_levels[0].size(); i < n / kBlock; ++i)
        m_levels[0].push_back(summarise(values.data() + i * kBlock, kBlock));
    for (std::size_t k = 1; k < m_levels.size() || m_levels[k - 1].size() >= kBlock; ++k) {
        if (k == m_levels.size())
            m_levels.emplace_back();
        const std::vector<MinMax>& lower = m_levels[k - 1];
        for (std::size_t i = m_levels[k].size(); i < lower.size() / kBlock; ++i)
            m_levels[k].push_back(summarise(lower.data() + i * kBlock, kBlock));
    }
    m_synced = n;
}

MinMax MinMaxPyramid::query(const std::vector<double>& values, std::size_t lo, std::size_t hi)
{
    MinMax result;
    hi = std::min(hi, values.size());
    if (lo >= hi)
        return result;
    sync(values);
    // Take loose values at both ends until the range is block-aligned, then go up a level.
    while (lo < hi && lo % kBlock != 0)
        result.add(values[lo++]);
    while (lo < hi && hi % kBlock != 0)
        result.add(values[--hi]);
    lo /= kBlock;
    hi /= kBlock;
    for (std::size_t k = 0; lo < hi; ++k) {
        const std::vector<MinMax>& level = m_levels[k];
        if (k + 1 == m_levels.size()) {
            for (; lo < hi; ++lo)
                result.add(level[lo]);
            break;
        }
        while (lo < hi && lo % kBlock != 0)
            result.add(level[lo++]);
        while (lo < hi && hi % kBlock != 0)
            result.add(level[--hi]);
        lo /= kBlock;
        hi /= kBlock;
    }
    return result;
}

std::size_t MinMaxPyramid::memoryBytes() const
{
    std::size_t bytes = m_levels.capacity() * sizeof(std::vector<MinMax>);
    for (const std::vector<MinMax>& level : m_levels)
        bytes += level.capacity() * sizeof(MinMax);
    return bytes;
}

} // namespace hmx::chart
