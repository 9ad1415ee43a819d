#include "report/loadedrows.h"

#include "log/chartfileparts.h"

#include <algorithm>
#include <thread>

namespace hmx {

namespace {

// Rows read at a time: the part's columns stay in the cache while its times are taken.
constexpr std::size_t Block = 4096;

} // namespace

void RowsSink::addPoint(ChartLine line, double x, double y)
{
    const double* column = &y;
    addRows({&x, 1}, {&line, 1}, {&column, 1});
}

void RowsSink::addRows(std::span<const double> xs, std::span<const ChartLine> lines, std::span<const double* const> values)
{
    if (m_lines.empty()) {
        m_lines.assign(lines.begin(), lines.end());
        m_values.resize(m_lines.size());
    }
    const std::size_t n = std::min(m_lines.size(), values.size());
    for (double x : xs)
        m_xs.push_back(m_timeline.chartX(x));  // the chart's X leaves summer time out
    for (std::size_t k = 0; k < n; ++k)
        m_values[k].insert(m_values[k].end(), values[k], values[k] + xs.size());
}

void RowsSink::addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows)
{
    if (m_lines.empty()) {
        m_lines.assign(lines.begin(), lines.end());
        m_values.resize(m_lines.size());
    }
    const std::size_t kept = std::min(m_lines.size(), lines.size());
    const std::size_t base = m_xs.size();
    m_xs.resize(base + rows.count);
    for (std::size_t k = 0; k < kept; ++k)
        m_values[k].resize(base + rows.count);

    struct Part {
        std::size_t from = 0, to = 0;
        ClockTimeline timeline;
        // Its times up to the first whose X depends on none before it.
        std::vector<double> unsettled;
        bool settled = false;
        bool cancelled = false;
    };
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t step = std::max(Block, (rows.count + cores - 1) / cores);
    std::vector<Part> parts;
    for (std::size_t from = 0; from < rows.count; from += step) {
        Part& part = parts.emplace_back();
        part.from = from;
        part.to = std::min(rows.count, from + step);
    }
    chartparts::ReadEach(parts.size(), [&](std::size_t p) {
        Part& part = parts[p];
        std::vector<double*> columns(lines.size());
        std::vector<double> unused((lines.size() - kept) * Block);  // lines the first rows did not have
        for (std::size_t from = part.from; from < part.to; from += Block) {
            const std::size_t size = std::min(Block, part.to - from);
            for (std::size_t k = 0; k < lines.size(); ++k)
                columns[k] = k < kept ? m_values[k].data() + base + from : unused.data() + (k - kept) * Block;
            double* xs = m_xs.data() + base + from;
            if (!rows.read(from, size, xs, columns.data())) {
                part.cancelled = true;
                return;
            }
            // The chart's X leaves summer time out.
            for (std::size_t i = 0; i < size; ++i) {
                if (!part.settled) {
                    part.unsettled.push_back(xs[i]);
                    xs[i] = part.timeline.chartX(xs[i]);
                    part.settled = part.timeline.settled();
                } else {
                    xs[i] = part.timeline.chartX(xs[i]);
                }
            }
        }
    });
    if (std::any_of(parts.begin(), parts.end(), [](const Part& part) { return part.cancelled; })) {
        m_xs.resize(base);
        for (std::size_t k = 0; k < kept; ++k)
            m_values[k].resize(base);
        return;
    }
    // A part's first times in the hour the clock repeats follow the part before.
    for (const Part& part : parts) {
        for (std::size_t i = 0; i < part.unsettled.size(); ++i)
            m_xs[base + part.from + i] = m_timeline.chartX(part.unsettled[i]);
        if (part.settled)
            m_timeline = part.timeline;
    }
}

std::vector<std::vector<readings::Line>> RowsSink::build(double joining, std::size_t partRows)
{
    std::vector<const double*> columns;
    for (std::vector<double>& column : m_values) {
        column.resize(m_xs.size(), 0);
        columns.push_back(column.data());
    }
    std::vector<std::vector<readings::Line>> built = readings::BuildLines(m_xs, columns, joining, partRows);
    std::vector<double>().swap(m_xs);
    std::vector<std::vector<double>>(m_values.size()).swap(m_values);
    return built;
}

} // namespace hmx
