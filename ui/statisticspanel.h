// The statistics of what the chart shows, one row per visible line, in a table that
// takes the bottom of the chart's place. It follows the view (zoom, pan, hidden lines,
// a loaded file, new readings: it looks after every drawing of the chart, at most four
// times a second), copies itself to the clipboard and, when the user asks, ends the
// chart's CSV export. Shown or hidden from the chart's menu and a button below it;
// both choices are kept with QSettings. Hidden by default: the chart keeps its size.
#pragma once

#include "chart/statistics.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QTableWidget;
class QToolButton;

namespace hmx {

// Of the chart's visible lines over its shown time range (the ranges brought up to
// date first), each with the limits `limits` gives for it (none when empty).
chart::StatisticsTable ShownStatistics(chart::ChartWidget& chart,
                                       const std::function<std::vector<chart::StatisticsLimit>(int line)>& limits);

class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    using LimitsOfLine = std::function<std::vector<chart::StatisticsLimit>(int line)>;

    // A child of the chart's parent; the toggle and copy buttons go below the chart.
    StatisticsPanel(chart::ChartWidget& chart, LimitsOfLine limits);

    // Of the visible lines over the shown time range, computed now.
    chart::StatisticsTable table() const;
    // The table as shown (the last refresh).
    const chart::StatisticsTable& shownTable() const { return m_shown; }

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

    chart::ChartWidget& m_chart;
    LimitsOfLine m_limits;
    QRect m_chartPlace;  // the chart's own place, without the panel
    QTableWidget* m_view;
    QToolButton* m_toggle;
    QToolButton* m_copy;
    QAction* m_showAction;
    QAction* m_csvAction;
    QAction* m_copyAction;
    QTimer m_throttle;
    chart::StatisticsTable m_shown;
};

} // namespace hmx
