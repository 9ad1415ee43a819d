// "Instruments on the chart" in the chart's menu: one checkable entry per instrument. The
// instrument the page shows is drawn by the chart's own lines; each other one checked gets
// a line per measured quantity in a shade of that quantity's colour, drawing its session's
// lines, titled with its name so the read-out, the legend and the CSV export name it.
#pragma once

#include "chart/chartwidget.h"
#include "report/chartview.h"

#include <QObject>

#include <array>
#include <map>
#include <vector>

class QAction;
class QMenu;

namespace hmx {

class Instruments;

class ChartInstruments : public QObject {
    Q_OBJECT
public:
    // `shown`: the chart's lines of the instrument the page shows.
    ChartInstruments(chart::ChartWidget& chart, ChartLines shown, Instruments& instruments);

    // The menu's entry; hidden while there is one instrument.
    QAction* menuAction() const { return m_menuAction; }
    // The entry of an instrument, checked while its lines are drawn.
    QAction* entry(int index) const;
    // Its lines (dew point, relative humidity, ambient temperature); nullptr while not drawn.
    chart::LineSeries* line(int index, int quantity) const;
    // The instruments drawn beside the shown one, in the order of their indices.
    std::vector<int> drawn() const;

private:
    void rebuild();
    void setDrawn(int index, bool drawn);
    void nameLines();

    chart::ChartWidget& m_chart;
    ChartLines m_shown;
    std::array<QString, 3> m_titles;  // the shown lines' own titles
    Instruments& m_instruments;
    QMenu* m_menu;
    QAction* m_menuAction;
    struct Drawn {
        std::array<chart::LineSeries*, 3> series;
        QMetaObject::Connection redraw;
    };
    std::map<int, Drawn> m_drawn;  // by instrument
};

} // namespace hmx
