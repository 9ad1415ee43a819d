// Where a chart file's rows go before they become lines: their times taken onto the
// chart's time line in file order (the hour the clock repeats in autumn told apart by
// the order of the lines), then built into lines in parts, the parts of rows read at
// once on all cores. What a clear means is the front end's.
#pragma once

#include "instrument/charttime.h"
#include "log/chartfile.h"
#include "readings/lines.h"

#include <span>
#include <vector>

namespace hmx {

class RowsSink : public ChartSink {
public:
    // Lines joined at `joining`, in parts of at most `partRows` rows (0: one part).
    explicit RowsSink(double joining, std::size_t partRows = 0);

    void addPoint(ChartLine line, double x, double y) override;
    // The rows of one load all go to one set of lines.
    void addRows(std::span<const double> xs, std::span<const ChartLine> lines,
                 std::span<const double* const> values) override;
    // Read in one part per core, each taking its times onto the time line and building
    // its own parts of the lines; what a cancel stops is left out whole.
    void addRowsAtOnce(std::span<const ChartLine> lines, const ChartRows& rows) override;

    std::size_t points() const { return m_rows * m_lines.size(); }
    const std::vector<ChartLine>& lines() const { return m_lines; }
    // The lines (in the order of lines()), in parts in file order, the same number of
    // parts for each; they are let go.
    std::vector<std::vector<readings::Line>> build();

private:
    // Rows of one part on every line, after the parts there are.
    void addPart(std::vector<std::vector<readings::Line>>& parts) const;
    void takeLines(std::span<const ChartLine> lines);

    double m_joining;
    std::size_t m_partRows;
    ClockTimeline m_timeline;
    std::vector<ChartLine> m_lines;
    std::vector<std::vector<readings::Line>> m_parts;  // [line][part]
    std::size_t m_rows = 0;
    std::size_t m_tailRows = 0;  // rows addRows put in the last part; 0: it starts a new one
};

} // namespace hmx
