// What the chart asks of a line's points: the span shown in a time range, the extent
// of its values there (with the segments reaching in), the point nearest a moment.
// Ranging, layout, the read-out, painting and the CSV export all ask through here.
#pragma once

#include "chart/pointstore.h"

namespace hmx::chart {

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

} // namespace hmx::chart
