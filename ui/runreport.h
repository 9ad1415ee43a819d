// The run report in the interface language: what the chart shows over its time range,
// with the instrument, the limits in force and the events of that period from the
// event journal beside the log. The window's "Report…" and hmx700-report both use it.
#pragma once

#include "log/eventjournal.h"
#include "report/reportdocument.h"
#include "ui/alarmpreferences.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace hmx {

namespace chart {
class ChartWidget;
}

struct RunReportSource {
    QString logFile;  // the log the chart's readings came from; empty: none known
    // The journal's lines; nullopt when there is no journal beside the log.
    std::optional<std::vector<JournalEvent>> journal;
    QString model, firmware, serialNumber;  // empty: not known
    AlarmPreferences preferences;
};

// hmx700-events.txt in the log's folder.
QString JournalBeside(const QString& logFile);

// The instrument as the journal's last "connect" at or before `until` names it (the
// fields the journal does not name are left as they are).
void InstrumentFromJournal(RunReportSource& source, const QDateTime& until);

// The report of the chart as it is shown now: its time range, visible lines and
// limit lines. Statistics are of the visible lines over that range.
report::ReportDocument RunReport(chart::ChartWidget& chart, const RunReportSource& source,
                                 const QDateTime& made = QDateTime::currentDateTime());

// True when a visible line of the chart has a reading in its shown time range.
bool HasReadingsShown(chart::ChartWidget& chart);

// "No readings between … and …", in the interface language.
QString NoReadingsShownText(chart::ChartWidget& chart);

// The file name offered for a report: "raport-2026-12-08-1405.pdf".
QString DefaultReportName(const QDateTime& made = QDateTime::currentDateTime());

} // namespace hmx
