#include "report/loadedrows.h"

#include <algorithm>

namespace hmx {

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
