#include "readings/spans.h"

namespace hmx::readings {

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

void Gaps::setJoining(double distance)
{
    m_joining = distance > 0 ? distance : 0;
}

void Gaps::appending(const PointStore& points, std::span<const double> xs)
{
    if (m_joining == 0 || xs.empty())
        return;
    double last = points.empty() ? xs.front() : points.lastX();
    for (double x : xs) {
        if (x - last > m_joining)
            m_list.emplace_back(last, x);
        last = x;
    }
}

void Gaps::appendingLine(const PointStore& points, double firstX, const Gaps& tail)
{
    if (m_joining != 0 && !points.empty() && firstX - points.lastX() > m_joining)
        m_list.emplace_back(points.lastX(), firstX);
    m_list.insert(m_list.end(), tail.m_list.begin(), tail.m_list.end());
}

void Gaps::adding(const PointStore& points, double x)
{
    if (m_joining == 0 || points.empty())
        return;
    if (x >= points.lastX()) {
        if (x - points.lastX() > m_joining)
            m_list.emplace_back(points.lastX(), x);
        return;
    }
    // A late point before the first one may be far from it; one between two points
    // joined to each other is near both of them.
    if (x < points.firstX()) {
        if (points.firstX() - x > m_joining)
            m_list.insert(m_list.begin(), {x, points.firstX()});
        return;
    }
    // A late point inside a break splits it; what remains on either side may still be one.
    const std::size_t i = firstAfter(x);
    if (i == m_list.size() || !(m_list[i].first < x))
        return;
    const auto [a, b] = m_list[i];
    m_list.erase(m_list.begin() + static_cast<std::ptrdiff_t>(i));
    std::size_t at = i;
    if (x - a > m_joining)
        m_list.insert(m_list.begin() + static_cast<std::ptrdiff_t>(at++), {a, x});
    if (b - x > m_joining)
        m_list.insert(m_list.begin() + static_cast<std::ptrdiff_t>(at), {x, b});
}

std::size_t Gaps::firstAfter(double lo) const
{
    return static_cast<std::size_t>(std::upper_bound(m_list.begin(), m_list.end(), lo,
                                                     [](double v, const auto& g) { return v < g.second; })
                                    - m_list.begin());
}

bool Gaps::inside(double x) const
{
    const std::size_t i = firstAfter(x);
    return i < m_list.size() && m_list[i].first < x;
}

} // namespace hmx::readings
