#include "readings/lines.h"

#include <algorithm>
#include <cmath>

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

void Lines::clear()
{
    for (const std::shared_ptr<Line>& l : m_lines) {
        if (l)
            l->clear();
    }
    emit changed();
}

} // namespace hmx::readings
