#include "readings/statistics.h"

#include "readings/clocktext.h"
#include "readings/lines.h"
#include "readings/spans.h"

#include <cmath>

namespace hmx::readings {

namespace {

bool Past(const StatisticsLimit& limit, double y)
{
    return limit.upper ? y > limit.value : y < limit.value;
}

double Overlap(double a, double b, double lo, double hi)
{
    return std::max(0.0, std::min(b, hi) - std::max(a, lo));
}

QString Duration(double days)
{
    const auto seconds = static_cast<qint64>(std::llround(days * 86400.0));
    const QString separator = TimeSeparator();
    auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QString::number(seconds / 3600) + separator + two(seconds / 60 % 60) + separator + two(seconds % 60);
}

} // namespace

LineStatistics StatisticsOf(const PointStore& points, const Gaps& gaps, double fromX, double toX,
                            const std::vector<StatisticsLimit>& limits)
{
    LineStatistics s;
    s.from = fromX;
    s.to = toX;
    for (const StatisticsLimit& limit : limits)
        s.past.push_back({limit, 0});
    if (!(fromX <= toX))
        return s;
    const std::size_t n = points.size();
    const Span span = SpanOf(points, fromX, toX);
    s.count = span.size();
    if (!span.empty()) {
        const MinMax extent = points.extent(span.lo, span.hi);
        s.minimum = extent.lo;
        s.maximum = extent.hi;
        s.minimumAt = points.x(points.find(extent.lo, span.lo, span.hi));
        s.maximumAt = points.x(points.find(extent.hi, span.lo, span.hi));
        const Moments m = points.moments(span.lo, span.hi);
        s.mean = m.mean();
        if (m.count > 1)
            s.deviation = std::sqrt(std::max(0.0, m.m2 / static_cast<double>(m.count - 1)));
        s.first = points.x(span.lo);
        s.last = points.x(span.hi - 1);
    }

    // The steps between points [p, q) cover the range: the point before it holds
    // into it, the step to the point after it reaches out of it. Their parts outside
    // the range come off, then the breaks inside it.
    const std::size_t p = span.lo > 0 ? span.lo - 1 : 0;
    const std::size_t q = std::min(n, span.hi + 1);
    for (LimitTime& t : s.past) {
        if (q < p + 2)
            break;
        t.days = points.timePast(t.limit.value, t.limit.upper, p, q);
        if (Past(t.limit, points.y(p)))
            t.days -= std::max(0.0, std::min(fromX, points.x(p + 1)) - points.x(p));
        if (Past(t.limit, points.y(q - 2)))
            t.days -= std::max(0.0, points.x(q - 1) - std::max(toX, points.x(q - 2)));
    }
    const auto& breaks = gaps.list();
    std::size_t from = p;  // breaks ascend: each search starts at the one before
    for (std::size_t i = gaps.firstAfter(fromX); i < breaks.size() && breaks[i].first < toX; ++i) {
        const auto [a, b] = breaks[i];
        const double inside = Overlap(a, b, fromX, toX);
        s.gapDays += inside;
        from = points.upperBound(a, from, q) - 1;  // the last point at a, which is in [p, q)
        const double held = points.y(from);
        for (LimitTime& t : s.past) {
            if (Past(t.limit, held))
                t.days -= inside;
        }
    }
    for (LimitTime& t : s.past)
        t.days = std::max(0.0, t.days);  // not below nothing by rounding
    return s;
}

LineStatistics StatisticsOf(const Line& line, double fromX, double toX, const std::vector<StatisticsLimit>& limits)
{
    return StatisticsOf(line.points(), line.gaps(), fromX, toX, limits);
}

StatisticsTable StatisticsTableOf(const std::vector<LineStatistics>& lines, const StatisticsTexts& texts,
                                  const std::function<QTime(double)>& timeOfDay)
{
    StatisticsTable table;
    table.header = QStringList{texts.line, texts.count, texts.minimum, texts.minimumAt, texts.maximum, texts.maximumAt,
                               texts.mean, texts.deviation, texts.first, texts.last, texts.gaps};
    const qsizetype fixed = table.header.size();
    bool withDate = false;
    for (const LineStatistics& s : lines) {
        withDate = withDate || s.to - s.from > 1;
        for (const LimitTime& t : s.past) {
            if (!table.header.contains(t.limit.name))
                table.header.append(t.limit.name);
        }
    }
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const QString none = QStringLiteral("–");
    auto number = [&](double v) { return std::isnan(v) ? none : locale.toString(v, 'f', 2); };
    auto moment = [&](double x) {
        if (std::isnan(x))
            return none;
        const QTime clock = timeOfDay ? timeOfDay(x) : FractionOfDay(x);
        const QString time = ClockText(clock, true);
        return withDate ? locale.toString(ClockDate(x, clock), QLocale::ShortFormat) + QLatin1Char(' ') + time : time;
    };
    for (const LineStatistics& s : lines) {
        QStringList row{s.title,         locale.toString(qulonglong(s.count)), number(s.minimum), moment(s.minimumAt),
                        number(s.maximum), moment(s.maximumAt),              number(s.mean),    number(s.deviation),
                        moment(s.first), moment(s.last),                     Duration(s.gapDays)};
        while (row.size() < table.header.size())
            row.append(QString());
        for (const LimitTime& t : s.past) {
            row[table.header.indexOf(t.limit.name, fixed)] = Duration(t.days) + QStringLiteral(" (")
                + (t.limit.upper ? QLatin1Char('>') : QLatin1Char('<')) + QLatin1Char(' ') + number(t.limit.value)
                + QLatin1Char(')');
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

QString CsvField(const QString& text, const QString& separator)
{
    if (!text.contains(separator) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString StatisticsText(const StatisticsTable& table, const QString& separator, const QString& lineEnd)
{
    QString out;
    auto line = [&](const QStringList& fields) {
        for (qsizetype i = 0; i < fields.size(); ++i)
            out += (i ? separator : QString()) + CsvField(fields[i], separator);
        out += lineEnd;
    };
    line(table.header);
    for (const QStringList& row : table.rows)
        line(row);
    return out;
}

} // namespace hmx::readings
