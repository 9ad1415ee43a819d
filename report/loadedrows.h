// Where a chart file's rows go before they become lines: kept as the reader hands them
// on, their times taken onto the chart's time line in file order (the hour the clock
// repeats in autumn told apart by the order of the lines), then built into lines, each
// on a thread of its own. What a clear means is the front end's.
#pragma once

#include "instrument/charttime.h"
#include "log/chartfile.h"
#include "readings/lines.h"

#include <span>
#include <vector>

namespace hmx {

class RowsSink : public ChartSink {
public:
    void addPoint(ChartLine line, double x, double y) override;
    // The rows of one load all go to one set of lines.
    void addRows(std::span<const double> xs, std::span<const ChartLine> lines,
                 std::span<const double* const> values) override;
    // Read and taken onto the time line in parts at once, one per core; what a cancel
    // stops is left out whole.
    void addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows) override;

    std::size_t points() const { return m_xs.size() * m_lines.size(); }
    const std::vector<ChartLine>& lines() const { return m_lines; }
    // The lines (in the order of lines()), joined at `joining`, in parts of `partRows`
    // rows (0: one part); the rows are let go.
    std::vector<std::vector<readings::Line>> build(double joining, std::size_t partRows = 0);

private:
    ClockTimeline m_timeline;
    std::vector<ChartLine> m_lines;
    std::vector<double> m_xs;
    std::vector<std::vector<double>> m_values;
};

} // namespace hmx
