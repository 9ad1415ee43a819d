#include "chart/series.h"

namespace hmx::chart {

Span SpanOf(const PointStore& points, double lo, double hi)
{
    const std::size_t i0 = points.lowerBound(lo, 0, points.size());
    return {i0, points.upperBound(hi, i0, points.size())};
}

Span DrawnSpan(const PointStore& points, double lo, double hi)
{
    const std::size_t n = points.size();
    const Span shown = SpanOf(points, lo, hi);
    if (n == 0 || (shown.empty() && (shown.lo == 0 || shown.hi == n)))
        return {};
    return {shown.lo > 0 ? shown.lo - 1 : 0, std::min(n, shown.hi + 1)};
}

double Interpolate(double xa, double ya, double xb, double yb, double x)
{
    return xb == xa ? yb : ya + (yb - ya) * (x - xa) / (xb - xa);
}

MinMax ValueExtent(const PointStore& points, double lo, double hi)
{
    const std::size_t n = points.size();
    const Span s = SpanOf(points, lo, hi);
    MinMax range = points.extent(s.lo, s.hi);
    auto edge = [&](std::size_t i, double x) {
        if (i > 0 && i < n)
            range.add(Interpolate(points.x(i - 1), points.y(i - 1), points.x(i), points.y(i), x));
    };
    edge(s.lo, lo);
    edge(s.hi, hi);
    return range;
}

std::size_t Nearest(const PointStore& points, Span span, double x)
{
    std::size_t at = points.lowerBound(x, span.lo, span.hi);
    if (at == span.hi || (at != span.lo && x - points.x(at - 1) <= points.x(at) - x))
        --at;
    return at;
}

} // namespace hmx::chart
