// The readings of one source (a measuring session, or a file loaded) as lines of
// points, keyed by quantity, apart from any chart: the chart draws them, and the
// statistics, reports and exports read them here.
#pragma once

#include "humidity/quantities.h"
#include "readings/pointstore.h"
#include "readings/spans.h"

#include <QObject>

#include <array>
#include <memory>
#include <span>
#include <vector>

namespace hmx::readings {

// X distances past which a line breaks: ten cycles without a reading for live
// readings, a minute for a loaded log (it may have been written at a slower pace).
inline constexpr double LiveJoiningDistance = 5.0 / 86400;
inline constexpr double LogJoiningDistance = 60.0 / 86400;

// One line: points in ascending X (chart time, days) with their breaks (joining distance).
class Line {
public:
    const PointStore& points() const { return m_points; }
    const Gaps& gaps() const { return m_gaps; }
    std::size_t count() const { return m_points.size(); }

    // A point added further in X than this from its neighbour is not joined to it:
    // the line breaks there. Holds for the points added from now on (a loaded log and
    // live readings may differ); 0 (the default) joins every point. O(1).
    double joiningDistance() const { return m_gaps.joining(); }
    void setJoiningDistance(double days) { m_gaps.setJoining(days); }

    // Keeps X ascending: appends when x is not below the last X (O(1)); a late point
    // goes after the last point whose X <= x. A point without a finite X or value can
    // be neither ordered nor drawn: it is left out.
    void add(double x, double y);
    // Each (xs[i], ys[i]) as add() takes it, in order; a run in ascending X is appended
    // a chunk at a time. ms as PointStore::add takes it.
    void add(std::span<const double> xs, std::span<const double> ys, std::span<const std::int64_t> ms = {});
    // Takes tail's points after these, with its breaks as it has them (tail joined at
    // the same distance): its chunks as they are when none of its X is below the last X
    // here, else one by one as add() takes them.
    void append(Line&& tail);
    // Every point gone; the joining distance stays.
    void clear();

    // Bytes held for the points and their summaries (capacity, not size).
    std::size_t memoryBytes() const;

private:
    PointStore m_points;
    Gaps m_gaps;
};

// The lines of one source of readings, keyed by quantity: humidity::Quantity::DewPoint,
// RelativeHumidity and Temperature (the ambient temperature) for the three readings, any
// other quantity for a derived one. Lives on the thread that fills it (the window's):
// its lines are read there only.
class Lines : public QObject {
    Q_OBJECT
public:
    // A point of a line, for adding many at once.
    struct Point {
        humidity::Quantity quantity = humidity::Quantity::DewPoint;
        double x = 0;
        double y = 0;
    };

    explicit Lines(QObject* parent = nullptr);
    ~Lines() override;

    // Made empty on first use; the same line until removed.
    std::shared_ptr<Line> line(humidity::Quantity quantity);
    // nullptr when there is none.
    std::shared_ptr<const Line> find(humidity::Quantity quantity) const;
    // The line is no longer one of these (whoever holds it keeps it); changed() when there was one.
    void remove(humidity::Quantity quantity);
    // Those that have a line: the three readings first (dew point, humidity, ambient),
    // then the derived ones in the order of the quantity table.
    std::vector<humidity::Quantity> quantities() const;

    // line(quantity)->add(x, y), then changed().
    void add(humidity::Quantity quantity, double x, double y);
    // Each point as add() takes it, in order, then one changed(): a file read in batches
    // tells its charts once per batch, not once per point.
    void add(std::span<const Point> points);
    // Rows of points sharing X: row i puts (xs[i], values[k][i]) on the line of
    // quantities[k], as add() would one at a time, then one changed().
    void add(std::span<const double> xs, std::span<const humidity::Quantity> quantities,
             std::span<const double* const> values);
    // line(quantity)->append(tail), then changed().
    void append(humidity::Quantity quantity, Line&& tail);
    // Every line emptied (their joining distances stay), then changed().
    void clear();

signals:
    // Points added or removed; a chart redraws (its update() merges these into one paint).
    void changed();

private:
    std::array<std::shared_ptr<Line>, humidity::QuantityCount> m_lines;
};

// Lines made of rows sharing X, one per column, each built on a thread of its own:
// line k holds (xs[i], columns[k][i]) as Line::add takes them, joined at `joining`,
// cut into parts of `partRows` rows (0: one part) that Line::append puts together again.
std::vector<std::vector<Line>> BuildLines(std::span<const double> xs, std::span<const double* const> columns,
                                          double joining, std::size_t partRows = 0);

} // namespace hmx::readings
