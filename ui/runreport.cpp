#include "ui/runreport.h"

#include "chart/chartwidget.h"
#include "chart/statistics.h"
#include "instrument/charttime.h"
#include "log/measurementlog.h"
#include "report/filedigest.h"
#include "ui/alarmtexts.h"
#include "ui/chartlimits.h"
#include "ui/language.h"
#include "ui/statisticspanel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSysInfo>

namespace hmx {

namespace {

QString Unknown() { return ByLanguage("nieznany", "unknown"); }
QString OrUnknown(const QString& text) { return text.isEmpty() ? Unknown() : text; }

// Date and time with seconds, in the locale's forms.
QString MomentText(const QDateTime& moment)
{
    const QLocale locale;
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' + LongTimeText(moment.time(), locale);
}

// The statistics with one column per line, so the table keeps to a page's width.
report::ReportTable Transposed(const chart::StatisticsTable& table)
{
    report::ReportTable out;
    if (table.rows.empty())
        return out;
    out.header << QString();
    for (const QStringList& row : table.rows)
        out.header << row.value(0);
    for (qsizetype field = 1; field < table.header.size(); ++field) {
        QStringList row{table.header[field]};
        for (const QStringList& line : table.rows)
            row << line.value(field);
        out.rows.push_back(row);
    }
    return out;
}

report::ReportSection LimitsSection(const AlarmPreferences& preferences)
{
    report::ReportSection section{ByLanguage("Obowiązujące progi", "Limits in force"), {}, {}};
    section.table.header = {ByLanguage("Wielkość", "Quantity"), ByLanguage("Próg", "Limit"), ByLanguage("Wartość", "Value")};
    for (const auto& [quantity, line] : ChartLineOf) {
        const limits::Limits limits = preferences.of(quantity);
        for (limits::Bound bound : {limits::Bound::AlarmHigh, limits::Bound::WarningHigh, limits::Bound::WarningLow,
                                    limits::Bound::AlarmLow}) {
            if (const std::optional<double>& value = limits[bound])
                section.table.rows.push_back({QuantityName(quantity), BoundName(bound), LimitValueText(*value, quantity)});
        }
    }
    if (section.table.rows.empty())
        section.lines << ByLanguage("Nie ustawiono progów.", "No limits are set.");
    return section;
}

// The events a reader of the report looks for: limits, losses of the instrument and
// of the log, connections.
QString EventName(const QString& kind)
{
    static const struct {
        const char* kind;
        const char16_t* polish;
        const char16_t* english;
    } Names[] = {
        {"limit-crossed", u"Przekroczenie progu", u"Limit crossed"},
        {"limit-cleared", u"Powrót w granice", u"Back within limits"},
        {"limit-acknowledged", u"Potwierdzenie alarmu", u"Alarm acknowledged"},
        {"instrument-lost", u"Utrata przyrządu", u"Instrument lost"},
        {"instrument-back", u"Przyrząd odnaleziony", u"Instrument back"},
        {"log-failed", u"Błąd zapisu dziennika", u"Log cannot be written"},
        {"log-works", u"Zapis dziennika przywrócony", u"Log written again"},
        {"connect", u"Połączenie", u"Connected"},
        {"stop", u"Koniec pomiarów", u"Measuring stopped"},
    };
    for (const auto& n : Names) {
        if (kind == QLatin1String(n.kind))
            return ByLanguage(QString::fromUtf16(n.polish), QString::fromUtf16(n.english));
    }
    return {};
}

report::ReportSection EventsSection(const RunReportSource& source, double fromX, double toX)
{
    report::ReportSection section{ByLanguage("Zdarzenia okresu", "Events of the period"), {}, {}};
    if (!source.journal) {
        section.lines << ByLanguage("Obok pliku dziennika nie ma dziennika zdarzeń.",
                                    "There is no event journal beside the log file.");
        return section;
    }
    section.table.header = {ByLanguage("Czas", "Time"), ByLanguage("Zdarzenie", "Event"), ByLanguage("Szczegóły", "Details")};
    for (const JournalEvent& event : *source.journal) {
        const double x = ChartX(event.time.toMSecsSinceEpoch());
        const QString name = EventName(event.kind);
        if (x >= fromX && x <= toX && !name.isEmpty())
            section.table.rows.push_back({MomentText(event.time.toLocalTime()), name, event.details.join(QStringLiteral(", "))});
    }
    if (section.table.rows.empty())
        section.lines << ByLanguage("Brak zdarzeń w tym okresie.", "No events in this period.");
    return section;
}

report::ReportSection FileSection(const QString& logFile)
{
    report::ReportSection section{ByLanguage("Plik dziennika", "Log file"), {}, {}};
    if (logFile.isEmpty()) {
        section.lines << ByLanguage("Wykres nie pochodzi z pliku.", "The chart does not come from a file.");
        return section;
    }
    QString reason;
    const std::optional<QString> digest = report::FileSha256(logFile, &reason);
    section.lines << QDir::toNativeSeparators(QFileInfo(logFile).absoluteFilePath())
                  << QStringLiteral("SHA-256: ")
            + (digest ? *digest : ByLanguage("nie można odczytać pliku (%1)", "the file cannot be read (%1)").arg(reason));
    return section;
}

} // namespace

QString JournalBeside(const QString& logFile)
{
    return QFileInfo(logFile).absoluteDir().filePath(QStringLiteral("hmx700-events.txt"));
}

void InstrumentFromJournal(RunReportSource& source, const QDateTime& until)
{
    if (!source.journal)
        return;
    const JournalEvent* last = nullptr;
    for (const JournalEvent& event : *source.journal) {
        if (event.kind == QLatin1String("connect") && event.time <= until)
            last = &event;
    }
    if (!last)
        return;
    for (auto [field, name] : {std::pair{&source.model, "model"}, {&source.firmware, "version"}, {&source.serialNumber, "serial"}}) {
        const QString value = DetailValue(*last, QLatin1String(name));
        if (!value.isEmpty())
            *field = value;
    }
}

report::ReportDocument RunReport(chart::ChartWidget& chart, const RunReportSource& source, const QDateTime& made)
{
    chart.updateRanges();
    const double fromX = chart.bottomAxis()->minimum(), toX = chart.bottomAxis()->maximum();
    report::ReportDocument doc;
    doc.title = ByLanguage("Raport z pomiarów HMX-700", "HMX-700 measurement report");
    doc.facts = {
        {ByLanguage("Program", "Program"), QStringLiteral("hmx700 " HMX700_VERSION)},
        {ByLanguage("Przyrząd", "Instrument"), OrUnknown(source.model)},
        {ByLanguage("Wersja oprogramowania przyrządu", "Firmware version"), OrUnknown(source.firmware)},
        {ByLanguage("Numer seryjny", "Serial number"), OrUnknown(source.serialNumber)},
        {ByLanguage("Komputer", "Computer"), QSysInfo::machineHostName()},
        {ByLanguage("Okres", "Period"), MomentText(LocalDateTime(fromX)) + QStringLiteral(" – ") + MomentText(LocalDateTime(toX))},
        {ByLanguage("Raport sporządzono", "Report made"), MomentText(made)},
    };
    doc.chartHeading = ByLanguage("Wykres okresu", "Chart of the period");
    const AlarmPreferences& preferences = source.preferences;
    const chart::StatisticsTable statistics
        = ShownStatistics(chart, [&preferences](int line) { return ChartStatisticsLimits(preferences, line); });
    doc.sections.push_back({ByLanguage("Statystyka", "Statistics"), Transposed(statistics), {}});
    doc.sections.push_back(LimitsSection(source.preferences));
    doc.sections.push_back(EventsSection(source, fromX, toX));
    doc.sections.push_back(FileSection(source.logFile));
    return doc;
}

bool HasReadingsShown(chart::ChartWidget& chart)
{
    chart.updateRanges();
    const double fromX = chart.bottomAxis()->minimum(), toX = chart.bottomAxis()->maximum();
    for (int i = 0; i < chart.seriesCount(); ++i) {
        const chart::LineSeries& line = *chart.series(i);
        if (line.visible() && chart::StatisticsOf(line, fromX, toX).count > 0)
            return true;
    }
    return false;
}

QString NoReadingsShownText(chart::ChartWidget& chart)
{
    chart.updateRanges();
    return ByLanguage("Brak odczytów między %1 a %2.", "No readings between %1 and %2.")
        .arg(MomentText(LocalDateTime(chart.bottomAxis()->minimum())), MomentText(LocalDateTime(chart.bottomAxis()->maximum())));
}

QString DefaultReportName(const QDateTime& made)
{
    return ByLanguage("raport-", "report-") + made.toString(QStringLiteral("yyyy-MM-dd-HHmm")) + QStringLiteral(".pdf");
}

} // namespace hmx
