#include "readings/lines.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace hmx::readings {

using humidity::Quantity;

namespace {

std::size_t Index(Quantity q) { return static_cast<std::size_t>(q); }

} // namespace

// ---------------------------------------------------------------- Line

void Line::add(double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    m_gaps.adding(m_points, x);
    m_points.add(x, y);
}

void Line::add(std::span<const double> xs, std::span<const double> ys, std::span<const std::int64_t> ms)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    for (std::size_t i = 0; i < n;) {
        // The run that keeps X ascending from the last point, every point finite.
        const double from = m_points.empty() ? -std::numeric_limits<double>::infinity() : m_points.lastX();
        std::size_t end = i;
        double last = from;
        while (end < n && std::isfinite(xs[end]) && std::isfinite(ys[end]) && xs[end] >= last)
            last = xs[end++];
        if (end == i) {
            add(xs[i], ys[i]);
            ++i;
            continue;
        }
        m_gaps.appending(m_points, xs.subspan(i, end - i));
        m_points.add(xs.subspan(i, end - i), ys.subspan(i, end - i), ms.empty() ? ms : ms.subspan(i, end - i));
        i = end;
    }
}

void Line::append(Line&& tail)
{
    if (tail.m_points.empty())
        return;
    if (!m_points.empty() && tail.m_points.firstX() < m_points.lastX()) {
        tail.m_points.forEach(0, tail.count(), [this](double x, double y) { add(x, y); });
    } else {
        m_gaps.appendingLine(m_points, tail.m_points.firstX(), tail.m_gaps);
        m_points.append(std::move(tail.m_points));
    }
    tail.clear();
}

void Line::clear()
{
    m_points.clear();
    m_gaps.clear();
}

std::size_t Line::memoryBytes() const
{
    return sizeof(Line) - sizeof(PointStore) + m_points.memoryBytes()
        + m_gaps.list().capacity() * sizeof(std::pair<double, double>);
}

// ---------------------------------------------------------------- Lines

Lines::Lines(QObject* parent) : QObject(parent) {}

Lines::~Lines() = default;

std::shared_ptr<Line> Lines::line(Quantity quantity)
{
    std::shared_ptr<Line>& held = m_lines.at(Index(quantity));
    if (!held)
        held = std::make_shared<Line>();
    return held;
}

std::shared_ptr<const Line> Lines::find(Quantity quantity) const
{
    return m_lines.at(Index(quantity));
}

void Lines::remove(Quantity quantity)
{
    std::shared_ptr<Line>& held = m_lines.at(Index(quantity));
    if (!held)
        return;
    held.reset();
    emit changed();
}

std::vector<Quantity> Lines::quantities() const
{
    static constexpr Quantity Readings[] = {Quantity::DewPoint, Quantity::RelativeHumidity, Quantity::Temperature};
    std::vector<Quantity> out;
    for (Quantity q : Readings) {
        if (m_lines[Index(q)])
            out.push_back(q);
    }
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto q = Quantity(i);
        if (m_lines[i] && std::find(std::begin(Readings), std::end(Readings), q) == std::end(Readings))
            out.push_back(q);
    }
    return out;
}

void Lines::add(Quantity quantity, double x, double y)
{
    line(quantity)->add(x, y);
    emit changed();
}

void Lines::add(std::span<const Point> points)
{
    // Runs of one quantity (a file's batch is mostly dew point, humidity, ambient in
    // turn) look the line up once per change of quantity.
    Line* current = nullptr;
    std::size_t currentIndex = m_lines.size();
    for (const Point& p : points) {
        if (Index(p.quantity) != currentIndex) {
            currentIndex = Index(p.quantity);
            current = line(p.quantity).get();
        }
        current->add(p.x, p.y);
    }
    emit changed();
}

void Lines::add(std::span<const double> xs, std::span<const Quantity> quantities, std::span<const double* const> values)
{
    for (std::size_t k = 0; k < quantities.size() && k < values.size(); ++k)
        line(quantities[k])->add(xs, std::span<const double>(values[k], xs.size()));
    emit changed();
}

void Lines::append(Quantity quantity, Line&& tail)
{
    line(quantity)->append(std::move(tail));
    emit changed();
}

void Lines::clear()
{
    for (const std::shared_ptr<Line>& l : m_lines) {
        if (l)
            l->clear();
    }
    emit changed();
}

std::vector<std::vector<Line>> BuildLines(std::span<const double> xs, std::span<const double* const> columns,
                                          double joining, std::size_t partRows)
{
    const std::size_t step = partRows > 0 ? partRows : std::max<std::size_t>(xs.size(), 1);
    std::vector<std::vector<Line>> built(columns.size());
    const auto build = [&](std::size_t k) {
        for (std::size_t from = 0; from < xs.size(); from += step) {
            const std::size_t n = std::min(step, xs.size() - from);
            Line& part = built[k].emplace_back();
            part.setJoiningDistance(joining);
            part.add(xs.subspan(from, n), std::span<const double>(columns[k] + from, n));
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < columns.size(); ++k)
        threads.emplace_back(build, k);
    if (!columns.empty())
        build(0);
    for (std::thread& t : threads)
        t.join();
    return built;
}

} // namespace hmx::readings
