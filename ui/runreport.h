// The run report in the interface language: what one source of readings shows over a
// period, with the instrument, the limits in force and the events of that period from
// the event journal beside the log. The window's "Report…" and hmx700-report both use
// it, and both read the log the same way (LoadReportLog), so one log and one period
// give one report.
#pragma once

#include "files/outputcheck.h"
#include "log/chartfile.h"
#include "log/eventjournal.h"
#include "report/reportdocument.h"
#include "limits/alarmpreferences.h"
#include "ui/chartview.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace hmx {

namespace chart {
class ChartWidget;
}

// What a report covers: chart X values, both ends included. from == to is one
// instant, holding only the readings stamped exactly then.
struct ReportPeriod {
    double from = 0;
    double to = 0;
};

struct RunReportSource {
    QString logFile;  // the log the chart's readings came from; empty: none known
    // The log's bytes the report was made from, and their SHA-256 (lower-case hex).
    qint64 logBytes = -1;  // -1: not read, only named
    QString logSha256;
    bool logGrowing = false;  // being written while it was read: its first logBytes bytes
    // The journal's lines; nullopt when there is no journal beside the log.
    std::optional<std::vector<JournalEvent>> journal;
    QString model, firmware, serialNumber;  // empty: not known
    AlarmPreferences preferences;
};

// hmx700-events.txt in the log's folder.
QString JournalBeside(const QString& logFile);

// "1, rewizja 0": the firmware as the window names it.
QString FirmwareText(const QString& version, const QString& revision);

// The instrument as the journal's last "connect" at or before `until` names it (the
// fields the journal does not name are left as they are). The journal keeps the
// instrument's whole version line; the firmware is taken out of it.
void InstrumentFromJournal(RunReportSource& source, const QDateTime& until);

// The chart's time axis set to the period, whatever it was before.
void ShowPeriod(chart::ChartWidget& chart, ReportPeriod period);

// The first and last reading of the chart's visible lines; nullopt without any.
std::optional<ReportPeriod> ReadingsSpan(chart::ChartWidget& chart);

// True when a visible line of the chart has a reading in the period.
bool HasReadingsIn(chart::ChartWidget& chart, ReportPeriod period);

// The report of the period: the chart as it is drawn now (set its axis with
// ShowPeriod), the statistics of its visible lines over exactly the period, the limits
// in force, the journal's events of the period and the log's name, size and SHA-256.
report::ReportDocument RunReport(chart::ChartWidget& chart, const RunReportSource& source, ReportPeriod period,
                                 const QDateTime& made = QDateTime::currentDateTime());

// True when a visible line of the chart has a reading in its shown time range.
bool HasReadingsShown(chart::ChartWidget& chart);

// "No readings between … and …", in the interface language.
QString NoReadingsShownText(chart::ChartWidget& chart);
QString NoReadingsText(ReportPeriod period);

// The file name offered for a report: "raport-2026-12-08-1405.pdf".
QString DefaultReportName(const QDateTime& made = QDateTime::currentDateTime());

// A log read for a report: the load's outcome, and the bytes read with their SHA-256,
// taken from the very bytes the readings came from.
struct ReportLog {
    ChartLoadResult loaded;
    qint64 bytes = 0;
    QString sha256;
};

// Reads `fileName` as Load chart reads it onto `lines` (cleared first), hashing the
// bytes as they are read. `growing`: a log being written now, read up to its last
// complete line. `logOnly`: a file that is no measurement log gives no reading (the
// result says which line is not one). Throws ChartFileError.
ReportLog LoadReportLog(const QString& fileName, const ChartLines& lines, bool logOnly, bool growing,
                        const QLocale& locale = QLocale());

// The files a measuring copy writes in the folder of its log `logName`: the log, its
// folder lock, the event journal and the publishing queue.
QStringList MeasuringFiles(const QString& logName);

// MeasuringFiles of the log in `folder` while a measuring copy holds that folder's
// lock (this program too); none while nobody measures there.
QStringList FilesWrittenIn(const QString& folder);

// Why a report (or an export) is not written over `fileName`, in the interface language.
QString OutputRefusedText(const files::OutputCheck& check, const QString& fileName);

} // namespace hmx
