#include "ui/chartview.h"

namespace hmx {

ChartLines ConfigureChart1(chart::ChartWidget& chart)
{
    // The layout's title; an English build replaces it at start.
    chart.setTitle(QStringLiteral("Wykres wilgotności i temperatury"));
    chart.bottomAxis()->setAutomatic(true);
    chart.leftAxis()->setAutomatic(true);
    ChartLines lines;
    lines.dewPoint = chart.addSeries(QStringLiteral("°Cdp"), QColor(0, 0, 255), 2);
    lines.humidity = chart.addSeries(QStringLiteral("%Rh"), QColor(0, 128, 0), 2);
    lines.ambient = chart.addSeries(QStringLiteral("°C"), QColor(255, 0, 0), 2);
    return lines;
}

} // namespace hmx
