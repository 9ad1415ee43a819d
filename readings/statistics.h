// Statistics of a line of readings over a time range: count, extremes and their times,
// mean, spread, the time past given limits and the time without readings; and the
// table of them that the window, the clipboard, the CSV export and a report share.
// Costs (n points in the range, c chunks of 1024 points, b breaks in the range):
// count, extremes, mean and deviation O(c + 2 * 1024) from the store's summaries;
// the time past a limit O(c + the blocks of 32 that cross it, point by point);
// the time without readings O(log + b).
#pragma once

#include <QStringList>
#include <QTime>

#include <functional>
#include <limits>
#include <vector>

namespace hmx::readings {

class Gaps;
class Line;
class PointStore;

// A limit whose time past it is measured. Past means beyond it, as the limit watch
// sees it: above an upper limit, below a lower one; a value on it is inside.
struct StatisticsLimit {
    double value = 0;
    bool upper = true;
    QString name;  // its column in the table ("Time above the upper alarm limit")
};

struct LimitTime {
    StatisticsLimit limit;
    double days = 0;
};

// Of the points with fromX <= X <= toX. Times are X values (days); a time is NaN
// where there is no point. Each reading holds its value until the next reading,
// except across a break of the line (see Line::setJoiningDistance).
struct LineStatistics {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();

    QString title;
    double from = 0, to = 0;  // the range asked
    std::size_t count = 0;
    double minimum = None, minimumAt = None;  // the earliest point at the minimum
    double maximum = None, maximumAt = None;
    double mean = None;
    double deviation = None;  // sample standard deviation (n - 1); NaN under two points
    double first = None, last = None;
    double gapDays = 0;  // inside breaks of the line, within the range
    std::vector<LimitTime> past;  // per limit asked, in its order: days past it within the range
};

LineStatistics StatisticsOf(const PointStore& points, const Gaps& gaps, double fromX, double toX,
                            const std::vector<StatisticsLimit>& limits = {});
// Of a line; the title is left to the caller, which knows what the line is called.
LineStatistics StatisticsOf(const Line& line, double fromX, double toX,
                            const std::vector<StatisticsLimit>& limits = {});

// Headers of the table; the engine does not know the interface language.
struct StatisticsTexts {
    QString line = QStringLiteral("Line");
    QString count = QStringLiteral("Readings");
    QString minimum = QStringLiteral("Minimum");
    QString minimumAt = QStringLiteral("Time of minimum");
    QString maximum = QStringLiteral("Maximum");
    QString maximumAt = QStringLiteral("Time of maximum");
    QString mean = QStringLiteral("Mean");
    QString deviation = QStringLiteral("Standard deviation");
    QString first = QStringLiteral("First reading");
    QString last = QStringLiteral("Last reading");
    QString gaps = QStringLiteral("Time without readings");
};

struct StatisticsTable {
    QStringList header;
    std::vector<QStringList> rows;  // one per line, as long as the header
};

// Values with two decimals and times in the default locale; a moment as the clock's
// "hh:mm:ss" (timeOfDay maps X to it), after its date when a range spans over a day;
// a duration as hours, minutes and seconds ("26:03:09"); "–" where there is no value.
// Each limit name asked of any line makes a column; its cells hold the duration and
// the limit ("0:15:00 (> 12,00)").
StatisticsTable StatisticsTableOf(const std::vector<LineStatistics>& lines, const StatisticsTexts& texts,
                                  const std::function<QTime(double)>& timeOfDay);

// A field of a CSV file: quoted when it holds the separator, a quote or a line end.
QString CsvField(const QString& text, const QString& separator);
// The header and rows, fields joined by `separator` (quoted as CSV fields), lines by `lineEnd`.
QString StatisticsText(const StatisticsTable& table, const QString& separator,
                       const QString& lineEnd = QStringLiteral("\n"));

} // namespace hmx::readings
