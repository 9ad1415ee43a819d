// The run report in the language asked: what one source of readings shows over a
// period, with the instrument, the limits in force and the events of that period from
// the event journal beside the log. The window's "Report…" and hmx700-report both use
// it, and both read the log the same way (LoadReportLog), so one log and one period
// give one report.
#pragma once

#include "humidity/quantities.h"
#include "limits/limitsettings.h"
#include "log/chartfile.h"
#include "log/eventjournal.h"
#include "readings/statistics.h"
#include "report/language.h"
#include "report/reportdocument.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace hmx {

namespace chart {
class ChartWidget;
}
namespace readings {
class Lines;
}

// What a report covers: chart X values, both ends included. from == to is one
// instant, holding only the readings stamped exactly then.
struct ReportPeriod {
    double from = 0;
    double to = 0;
};

// A line a report covers: its quantity, the readings it is a line of, which source of
// readings (instrument) that is, and how the chart shows it.
struct ReportLine {
    humidity::Quantity quantity = humidity::Quantity::DewPoint;
    QString title;
    QColor color;
    const readings::Lines* lines = nullptr;
    std::size_t source = 0;  // index of `lines` among the sources asked
};

// What a report reads: the lines the chart shows (in legend order) and the clock the
// chart writes times with.
struct ReportReadings {
    std::vector<ReportLine> shown;
    std::function<QTime(double)> timeOfDay;
};

// The lines of `lines` the chart draws and shows, with its clock.
ReportReadings ShownReadings(const chart::ChartWidget& chart, const readings::Lines& lines);
// The same of several sources' lines (several instruments drawn on one chart), each
// line marked with its source's index.
ReportReadings ShownReadings(const chart::ChartWidget& chart, const std::vector<const readings::Lines*>& sources);

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
    // The instrument's name while the report covers several; empty: the only one.
    QString name;
};

// hmx700-events.txt in the log's folder.
QString JournalBeside(const QString& logFile);

// "1, rewizja 0": the firmware as the window names it.
QString FirmwareText(const QString& version, const QString& revision, Language language);

// The instrument as the journal's last "connect" at or before `until` names it (the
// fields the journal does not name are left as they are). The journal keeps the
// instrument's whole version line; the firmware is taken out of it.
void InstrumentFromJournal(RunReportSource& source, const QDateTime& until, Language language);

// The chart's time axis set to the period, whatever it was before.
void ShowPeriod(chart::ChartWidget& chart, ReportPeriod period);

// The first and last reading of the lines shown; nullopt without any.
std::optional<ReportPeriod> ReadingsSpan(const ReportReadings& data);

// True when a line shown has a reading in the period.
bool HasReadingsIn(const ReportReadings& data, ReportPeriod period);

// The statistics of the lines shown over [fromX, toX], each with the limits in force
// on its quantity, in `language`.
readings::StatisticsTable ReadingsStatistics(const ReportReadings& data, double fromX, double toX,
                                             const AlarmPreferences& preferences, Language language);
// The same with the limits of each line's own source (by its index).
readings::StatisticsTable ReadingsStatistics(const ReportReadings& data, double fromX, double toX,
                                             const std::vector<AlarmPreferences>& preferences, Language language);

// The report of the period: the statistics of the lines shown over exactly the period,
// the limits in force, the journal's events of the period and the log's name, size and
// SHA-256. (The PDF draws the chart beside it as it is drawn now: set its axis with
// ShowPeriod.)
report::ReportDocument RunReport(const ReportReadings& data, const RunReportSource& source, ReportPeriod period,
                                 Language language, const QDateTime& made = QDateTime::currentDateTime());
// The report of several instruments drawn on one chart, the lines' sources in this order:
// the facts and sections of each, named by its name.
report::ReportDocument RunReport(const ReportReadings& data, const std::vector<RunReportSource>& sources,
                                 ReportPeriod period, Language language, const QDateTime& made = QDateTime::currentDateTime());

// "No readings between … and …".
QString NoReadingsText(ReportPeriod period, Language language);

// The file name offered for a report: "raport-2026-12-08-1405.pdf".
QString DefaultReportName(Language language, const QDateTime& made = QDateTime::currentDateTime());

// A log read for a report: the load's outcome, and the bytes read with their SHA-256,
// taken from the very bytes the readings came from.
struct ReportLog {
    ChartLoadResult loaded;
    qint64 bytes = 0;
    QString sha256;
};

// Reads `fileName` as Load chart reads it into the three reading lines of `lines`
// (cleared first, then joined as a log's), hashing the bytes as they are read.
// `growing`: a log being written now, read up to its last complete line. `logOnly`: a
// file that is no measurement log gives no reading (the result says which line is not
// one). Throws ChartFileError.
ReportLog LoadReportLog(const QString& fileName, readings::Lines& lines, bool logOnly, bool growing,
                        const QLocale& locale = QLocale());

// The files a measuring copy writes in the folder of its log `logName`: the log, its
// folder lock, the event journal and the publishing queue.
QStringList MeasuringFiles(const QString& logName);

// MeasuringFiles of the log in `folder` while a measuring copy holds that folder's
// lock (this program too); none while nobody measures there.
QStringList FilesWrittenIn(const QString& folder);

} // namespace hmx
