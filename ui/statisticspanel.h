// The statistics of what the chart shows, one row per visible line, in a table that
// takes the bottom of the chart's place. It reads the lines of readings the chart
// draws, and follows the view (zoom, pan, hidden lines, a loaded file, new readings: it
// looks after every drawing of the chart, at most four times a second), copies itself
// to the clipboard and, when the user asks, ends the chart's CSV export. Shown or
// hidden from the chart's menu and a button below it; both choices are kept with
// QSettings. Hidden by default: the chart keeps its size.
#pragma once

#include "limits/limitsettings.h"
#include "readings/statistics.h"
#include "report/runreport.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QTableWidget;
class QToolButton;

namespace hmx {

namespace chart {
class ChartWidget;
}
namespace readings {
class Lines;
}

class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    using Preferences = std::function<AlarmPreferences()>;
    // Readings of another instrument drawn beside the shown one, with its limits.
    struct Other {
        const readings::Lines* lines = nullptr;
        AlarmPreferences preferences;
    };
    using Others = std::function<std::vector<Other>()>;

    // A child of the chart's parent; the toggle and copy buttons go below the chart.
    // The rows are the lines of `lines` the chart shows, each with the limits in force
    // on its quantity (`preferences` asked at each refresh).
    StatisticsPanel(chart::ChartWidget& chart, const readings::Lines& lines, Preferences preferences);
    // The lines the chart draws from now on.
    void setLines(const readings::Lines& lines);
    // The instrument whose lines these are, named in the first column's heading (and so in
    // the copy and the CSV); empty, one instrument measured: no name.
    void setInstrument(const QString& name);
    // The instruments drawn beside the shown one, asked at each refresh: a row for each
    // of their shown lines too (their titles name them), with their own limits.
    void setOthers(Others others);

    // Of the visible lines over the shown time range (the chart's ranges brought up to
    // date first), computed now.
    readings::StatisticsTable table() const;
    // The table as shown (the last refresh).
    const readings::StatisticsTable& shownTable() const { return m_shown; }

    bool shown() const;
    void setShown(bool on);
    void setInCsv(bool on);
    void copy() const;

    QAction* showAction() const { return m_showAction; }
    QAction* csvAction() const { return m_csvAction; }
    QAction* copyAction() const { return m_copyAction; }

public slots:
    // Soon, once however often it is asked; nothing while hidden.
    void scheduleRefresh();
    void refresh();

private:
    void place();
    // The lines the chart shows, of the shown instrument and those beside it, and the
    // limits of each source.
    ReportReadings shownReadings(std::vector<AlarmPreferences>* preferences = nullptr) const;

    chart::ChartWidget& m_chart;
    const readings::Lines* m_lines;
    QString m_instrument;
    Preferences m_preferences;
    Others m_others;
    QRect m_chartPlace;  // the chart's own place, without the panel
    QTableWidget* m_view;
    QToolButton* m_toggle;
    QToolButton* m_copy;
    QAction* m_showAction;
    QAction* m_csvAction;
    QAction* m_copyAction;
    QTimer m_throttle;
    readings::StatisticsTable m_shown;
    std::vector<QColor> m_rowColors;  // of the lines of m_shown's rows
};

} // namespace hmx
