#include "report/chartlimits.h"

#include "report/chartview.h"
#include "report/statisticstexts.h"

namespace hmx {

void ShowLimitLines(chart::ChartWidget& chart, const AlarmPreferences& preferences,
                    const std::vector<InstrumentAlarm>& instrumentAlarms)
{
    for (const auto& [quantity, line] : ChartLineOf)
        chart.setLimitLines(line, ChartLimitLines(quantity, preferences.of(quantity), instrumentAlarms));
}

std::vector<chart::LimitLine> ChartLimitLines(limits::QuantityId quantity, const limits::Limits& limits,
                                              const std::vector<InstrumentAlarm>& instrumentAlarms)
{
    using Kind = chart::LimitLine::Kind;
    std::vector<chart::LimitLine> lines;
    for (limits::Bound bound : {limits::Bound::AlarmLow, limits::Bound::WarningLow, limits::Bound::WarningHigh,
                                limits::Bound::AlarmHigh}) {
        if (const std::optional<double>& value = limits[bound]) {
            const bool alarm = bound == limits::Bound::AlarmLow || bound == limits::Bound::AlarmHigh;
            lines.push_back({*value, alarm ? Kind::Alarm : Kind::Warning, {}});
        }
    }
    for (const InstrumentAlarm& a : instrumentAlarms) {
        if (a.quantity != quantity)
            continue;
        const QString label = QStringLiteral("A%1").arg(a.number);
        lines.push_back({a.high, Kind::Threshold, label});
        lines.push_back({a.low, Kind::Threshold, label});
    }
    return lines;
}

std::vector<readings::StatisticsLimit> StatisticsLimitsOf(const AlarmPreferences& preferences,
                                                          humidity::Quantity quantity, Language language)
{
    const std::optional<limits::QuantityId> measured = MeasuredQuantityOf(quantity);
    return measured ? StatisticsLimits(preferences.of(*measured), language) : std::vector<readings::StatisticsLimit>{};
}

} // namespace hmx
