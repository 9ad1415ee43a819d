// What is asked of a line's points: the span in a time range, the extent of its values
// there (with the segments reaching in), the point nearest a moment, and where the line
// breaks. The chart's ranging, layout, read-out, painting and CSV export and the
// statistics all ask through here.
#pragma once

#include "readings/pointstore.h"

#include <utility>
#include <span>
#include <vector>

namespace hmx::readings {

// Points [lo, hi) of a store.
struct Span {
    std::size_t lo = 0;
    std::size_t hi = 0;
    bool empty() const { return lo >= hi; }
    std::size_t size() const { return hi > lo ? hi - lo : 0; }
};

// The points with lo <= X <= hi.
Span SpanOf(const PointStore& points, double lo, double hi);

// The points a drawing of [lo, hi] uses: SpanOf plus the one on either side whose
// segment reaches in; empty when the line does not cross the range.
Span DrawnSpan(const PointStore& points, double lo, double hi);

// Value of the segment (xa, ya)-(xb, yb) at x.
double Interpolate(double xa, double ya, double xb, double yb, double x);

// Extremes of the line as drawn over [lo, hi]: its values there and where its
// segments cross the ends.
MinMax ValueExtent(const PointStore& points, double lo, double hi);

// Index of the point of `span` (not empty) nearest x; the earlier one on a tie. O(log n).
std::size_t Nearest(const PointStore& points, Span span, double x);

// Where a line breaks: neighbouring points further apart in X than its joining
// distance get no segment between them. Kept as the X pairs around each break, so
// appending stays O(1) and a late point only splits the break it falls into.
class Gaps {
public:
    double joining() const { return m_joining; }
    // For the points added from now on; 0 joins every point.
    void setJoining(double distance);
    // Before `points` takes (x, y).
    void adding(const PointStore& points, double x);
    // Before `points` takes points at xs, ascending and none before its last.
    void appending(const PointStore& points, std::span<const double> xs);
    // Before `points` takes those of a line with these breaks whose first X (not below
    // its last) is `firstX`.
    void appendingLine(const PointStore& points, double firstX, const Gaps& tail);
    void clear() { m_list.clear(); }

    // (last X before, first X after) of each break, ascending.
    const std::vector<std::pair<double, double>>& list() const { return m_list; }
    // Index of the first break ending after lo.
    std::size_t firstAfter(double lo) const;
    // True when x lies strictly inside a break.
    bool inside(double x) const;

private:
    double m_joining = 0;
    std::vector<std::pair<double, double>> m_list;
};

} // namespace hmx::readings
