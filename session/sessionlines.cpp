// A session's readings as lines: the three measured quantities and the derived ones each
// reading carries, in the lines a front end's chart shows.
#include "session/measuringsession.h"

#include "readings/lines.h"

namespace hmx {

// A line breaks where a limit's delay starts again: readings further apart than this.
static_assert(Poller::ReadingsJoin.count() == qint64(readings::LiveJoiningDistance * 86400000.0 + 0.5));

void MeasuringSession::setLines(readings::Lines* lines)
{
    m_lines = lines;
}

void MeasuringSession::completeDerived(Reading& reading) const
{
    // Taken before the latest choice reached the Poller: its values are of the earlier one,
    // so it is computed again for the choice the front end shows.
    if (!reading.derivedFor || !(*reading.derivedFor == m_options.derived))
        reading.derived = DerivedOf(m_options.derived, reading);
}

void MeasuringSession::addToLines(const Reading& reading)
{
    if (!m_lines)
        return;
    using humidity::Quantity;
    // One batch per reading, so a chart hears of it once. After a loaded log the lines
    // join live readings again only ten cycles apart.
    std::vector<readings::Lines::Point> points{
        {Quantity::DewPoint, reading.dewPointX, reading.dewPoint / 10.0},
        {Quantity::RelativeHumidity, reading.humidityX, reading.humidity / 10.0},
        {Quantity::Temperature, reading.ambientX, reading.ambient / 10.0},
    };
    for (const DerivedValue& d : reading.derived) {
        if (d.value)
            points.push_back({d.quantity, reading.dewPointX, *d.value});
    }
    for (const readings::Lines::Point& p : points)
        m_lines->line(p.quantity)->setJoiningDistance(readings::LiveJoiningDistance);
    m_lines->add(points);
}

} // namespace hmx
