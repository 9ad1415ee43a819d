#include "report/loadedrows.h"

#include "log/chartfileparts.h"

#include <algorithm>
#include <thread>

namespace hmx {

namespace {

// Rows read at a time: a part's block stays in the cache while its times are taken
// and its points added.
constexpr std::size_t Block = 4096;

} // namespace

RowsSink::RowsSink(double joining, std::size_t partRows) : m_joining(joining), m_partRows(partRows) {}

void RowsSink::takeLines(std::span<const ChartLine> lines)
{
    if (m_lines.empty()) {
        m_lines.assign(lines.begin(), lines.end());
        m_parts.resize(m_lines.size());
    }
}

void RowsSink::addPart(std::vector<std::vector<readings::Line>>& parts) const
{
    for (std::vector<readings::Line>& line : parts)
        line.emplace_back().setJoiningDistance(m_joining);
}

void RowsSink::addPoint(ChartLine line, double x, double y)
{
    const double* column = &y;
    addRows({&x, 1}, {&line, 1}, {&column, 1});
}

void RowsSink::addRows(std::span<const double> xs, std::span<const ChartLine> lines, std::span<const double* const> values)
{
    takeLines(lines);
    std::vector<double> chartXs(xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i)
        chartXs[i] = m_timeline.chartX(xs[i]);  // the chart's X leaves summer time out
    const std::vector<double> zeros(values.size() < m_lines.size() ? xs.size() : 0);
    for (std::size_t i = 0; i < xs.size();) {
        if (m_tailRows == 0 || m_tailRows == m_partRows) {
            addPart(m_parts);
            m_tailRows = 0;
        }
        const std::size_t n = m_partRows > 0 ? std::min(xs.size() - i, m_partRows - m_tailRows) : xs.size() - i;
        for (std::size_t k = 0; k < m_lines.size(); ++k) {
            const double* ys = k < values.size() ? values[k] : zeros.data();
            m_parts[k].back().add({chartXs.data() + i, n}, {ys + i, n});
        }
        m_tailRows += n;
        i += n;
    }
    m_rows += xs.size();
}

void RowsSink::addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows)
{
    takeLines(lines);
    const std::size_t lineCount = m_lines.size();
    struct Range {
        std::size_t from = 0, to = 0;
        ClockTimeline timeline;
        bool settled = false;
        bool cancelled = false;
        // The rows before the first whose X depends on no time before it: the local X,
        // then the value of each line.
        std::vector<double> held;
        std::vector<std::vector<readings::Line>> parts;  // [line][part]
    };
    // Ranges of whole parts (or chunks), so only the last one ends part-filled.
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t align = m_partRows > 0 ? m_partRows : readings::PointStore::ChunkPoints;
    const std::size_t step = ((rows.count + cores - 1) / cores + align - 1) / align * align;
    std::vector<Range> ranges;
    for (std::size_t from = 0; from < rows.count; from += step) {
        Range& range = ranges.emplace_back();
        range.from = from;
        range.to = std::min(rows.count, from + step);
        range.parts.resize(lineCount);
    }
    chartparts::ReadEach(ranges.size(), [&](std::size_t r) {
        Range& range = ranges[r];
        std::vector<double> xs(Block);
        std::vector<std::int64_t> ms(Block);  // of xs, found once for all the lines
        std::vector<double> read(Block * lines.size());
        std::vector<double*> columns(lines.size());
        for (std::size_t k = 0; k < lines.size(); ++k)
            columns[k] = read.data() + k * Block;
        const std::vector<double> zeros(lineCount > lines.size() ? Block : 0);
        std::size_t openPart = std::size_t(-1);
        for (std::size_t from = range.from; from < range.to;) {
            const std::size_t part = m_partRows > 0 ? (from - range.from) / m_partRows : 0;
            std::size_t n = std::min(Block, range.to - from);
            if (m_partRows > 0)
                n = std::min(n, range.from + (part + 1) * m_partRows - from);
            if (!rows.read(from, n, xs.data(), columns.data())) {
                range.cancelled = true;
                return;
            }
            std::size_t first = 0;  // the first row that goes on the lines here
            for (std::size_t i = 0; i < n; ++i) {
                const double local = xs[i];
                // The chart's X leaves summer time out; one that is no time may still be on the grid.
                qint64 count = 0;
                if (range.timeline.chartX(local, xs[i], count))
                    ms[i] = count;
                else if (!readings::MillisecondsOf(xs[i], ms[i]))
                    ms[i] = readings::OffGrid;
                if (!range.settled) {
                    range.settled = range.timeline.settled();
                    if (!range.settled) {
                        range.held.push_back(local);
                        for (std::size_t k = 0; k < lineCount; ++k)
                            range.held.push_back(k < lines.size() ? columns[k][i] : 0);
                        first = i + 1;
                    }
                }
            }
            if (first < n) {
                if (part != openPart) {
                    addPart(range.parts);
                    openPart = part;
                }
                for (std::size_t k = 0; k < lineCount; ++k) {
                    const double* ys = k < lines.size() ? columns[k] : zeros.data();
                    range.parts[k].back().add({xs.data() + first, n - first}, {ys + first, n - first},
                                              {ms.data() + first, n - first});
                }
            }
            from += n;
        }
    });
    if (std::any_of(ranges.begin(), ranges.end(), [](const Range& range) { return range.cancelled; }))
        return;
    m_tailRows = 0;
    for (Range& range : ranges) {
        // A range's first times in the hour the clock repeats follow the range before.
        if (!range.held.empty()) {
            addPart(m_parts);
            for (std::size_t i = 0; i < range.held.size(); i += 1 + lineCount) {
                const double x = m_timeline.chartX(range.held[i]);
                for (std::size_t k = 0; k < lineCount; ++k)
                    m_parts[k].back().add(x, range.held[i + 1 + k]);
            }
        }
        if (range.settled)
            m_timeline = range.timeline;
        for (std::size_t k = 0; k < lineCount; ++k)
            std::move(range.parts[k].begin(), range.parts[k].end(), std::back_inserter(m_parts[k]));
    }
    m_rows += rows.count;
}

std::vector<std::vector<readings::Line>> RowsSink::build()
{
    std::vector<std::vector<readings::Line>> built(m_lines.size());
    built.swap(m_parts);
    if (m_partRows == 0) {
        for (std::vector<readings::Line>& parts : built) {
            for (std::size_t p = 1; p < parts.size(); ++p)
                parts.front().append(std::move(parts[p]));
            parts.resize(std::min<std::size_t>(parts.size(), 1));
        }
    }
    m_rows = 0;
    m_tailRows = 0;
    return built;
}

} // namespace hmx
