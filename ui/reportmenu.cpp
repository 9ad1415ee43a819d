// "Report…" in the chart's menu: a PDF of the period the chart shows, of the one source
// the chart shows (the live log, or the file loaded last), with what the window knows
// of the instrument and the limits. Also what the chart's exports may write over.
#include "files/outputcheck.h"
#include "instrument/charttime.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "readings/lines.h"
#include "report/chartview.h"
#include "report/pdfreport.h"
#include "session/measuringsession.h"
#include "report/runreport.h"
#include "ui/alarmpanel.h"
#include "ui/chartload.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>

#include <algorithm>

using namespace hmx;

namespace {

// What nothing the window writes on the user's choice as `output` may replace: the
// files the window itself writes, the file the chart shows, and what a measuring copy
// writes in the output's folder.
QStringList KeptFiles(const QString& output, const MeasurementLog* log, const EventJournal* journal,
                      const QString& chartSource)
{
    QStringList kept{chartSource};
    if (log)
        kept += MeasuringFiles(log->fileName());
    if (journal)
        kept << journal->fileName();
    kept += FilesWrittenIn(QFileInfo(output).absolutePath());
    return kept;
}

// Why a report is not written over `fileName`.
QString OutputRefusedText(const files::OutputCheck& check, const QString& fileName)
{
    const QString name = QDir::toNativeSeparators(fileName);
    switch (check.verdict) {
    case files::OutputVerdict::Free:
        break;
    case files::OutputVerdict::NotRegular:
        return ByLanguage("Nie zapisano %1: to nie jest zwykły plik, lecz %2; program zapisuje tylko w miejsce zwykłego pliku",
                          "%1 is not written: it is not a regular file but %2; the program writes over regular files only")
            .arg(name, FileTypeText(check.type));
    case files::OutputVerdict::Kept:
        return ByLanguage("Nie zapisano %1: to plik %2, który program właśnie czyta lub zapisuje; wybierz inną nazwę",
                          "%1 is not written: it is %2, which the program is reading or writing; choose another name")
            .arg(name, QDir::toNativeSeparators(check.keptFile));
    case files::OutputVerdict::Unknown:
        return ByLanguage("Nie zapisano %1: nie można sprawdzić, czym jest (%2)", "%1 is not written: it cannot be told what it is (%2)")
            .arg(name, check.reason);
    }
    return {};
}

// The time range the chart shows, its ranges brought up to date.
ReportPeriod ShownPeriod(chart::ChartWidget& chart)
{
    chart.updateRanges();
    return {chart.bottomAxis()->minimum(), chart.bottomAxis()->maximum()};
}

} // namespace

void TForm1::setUpReport()
{
    auto* action = new QAction(ByLanguage("Raport…", "Report…"), Chart1);
    action->setObjectName(QStringLiteral("ChartReportAction"));
    connect(action, &QAction::triggered, this, [this] { RunGuarded([this] { askAndWriteReport(); }); });
    Chart1->addMenuAction(action);
    // The chart's image and CSV exports keep to the same rule as the report.
    Chart1->setKeptFiles(
        [this](const QString& output) { return KeptFiles(output, m_session->log(), &m_session->journal(), m_chartSource); });
}

void TForm1::askAndWriteReport()
{
    if (!HasReadingsIn(ShownReadings(*Chart1, *m_lines), ShownPeriod(*Chart1))) {
        ShowErrorReport(NoReadingsText(ShownPeriod(*Chart1), WindowLanguage));
        return;
    }
    QString name = QFileDialog::getSaveFileName(this, ByLanguage("Raport", "Report"), DefaultReportName(WindowLanguage),
                                                ByLanguage("Dokument PDF (*.pdf)", "PDF document (*.pdf)"));
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".pdf");
    writeReport(name);
}

bool TForm1::writeReport(const QString& name)
{
    // Checked first: nothing is read or written for an output that must not be replaced.
    const files::OutputCheck check = files::CheckOutput(name, KeptFiles(name, m_session->log(), &m_session->journal(), m_chartSource));
    if (!check.free()) {
        ShowErrorReport(OutputRefusedText(check, name));
        return false;
    }
    ReportPeriod period = ShownPeriod(*Chart1);
    if (!HasReadingsIn(ShownReadings(*Chart1, *m_lines), period)) {
        ShowErrorReport(NoReadingsText(period, WindowLanguage));
        return false;
    }

    RunReportSource source;
    source.logFile = m_chartSource;
    source.preferences = m_alarms->preferences();
    const MeasurementLog* measured = m_session->log();
    const bool live = measured && !m_chartSource.isEmpty()
        && (m_chartSource == measured->fileName() || files::SameFile(m_chartSource, measured->fileName()));

    // The chart may hold readings of more than one source (a file loaded while measuring,
    // or before it): the report reads the one it names again, into lines of its own
    // drawn by a chart that looks like Chart1, and covers the part of the shown period
    // its readings span.
    chart::ChartWidget own;
    readings::Lines ownLines;
    chart::ChartWidget* reported = Chart1;
    ReportReadings data = ShownReadings(*Chart1, *m_lines);
    QWidget derivedPage;
    if (!m_chartSource.isEmpty()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        own.resize(Chart1->size());
        own.setFont(Chart1->font());
        ShowLines(own, ConfigureChart1(own, WindowLanguage), ownLines);
        try {
            const ReportLog log = LoadReportLog(m_chartSource, ownLines, false, live);
            source.logBytes = log.bytes;
            source.logSha256 = log.sha256;
            source.logGrowing = live;
        } catch (const ChartFileError& e) {
            ShowErrorReport(ChartLoadMessage(e, 0));
            return false;
        }
        // The derived quantities, when chosen, from these readings.
        DerivedPanel derived(&derivedPage, QRect(), own, ownLines);
        if (m_derived)
            derived.setChoice(m_derived->choice());
        for (int i = 0; i < std::min(own.seriesCount(), Chart1->seriesCount()); ++i) {
            own.series(i)->setVisible(Chart1->series(i)->visible());
            own.setLimitLines(i, Chart1->limitLines(i));
            // Periods past a limit are the live readings' own.
            if (live)
                own.setShadedPeriods(i, Chart1->shadedPeriods(i));
        }
        // A log stamps readings with whole seconds, where the window showed them with
        // their milliseconds: the period starts at the whole second of its start.
        const QDateTime start = LocalDateTime(period.from);
        if (start.isValid())
            period.from = ChartX(start.toMSecsSinceEpoch() - start.time().msec());
        data = ShownReadings(own, ownLines);
        const std::optional<ReportPeriod> span = ReadingsSpan(data);
        if (span)
            period = {std::max(period.from, span->from), std::min(period.to, span->to)};
        if (!span || !(period.from <= period.to) || !HasReadingsIn(data, period)) {
            ShowErrorReport(NoReadingsText(period, WindowLanguage));
            return false;
        }
        ShowPeriod(own, period);
        reported = &own;
    }

    const QString journal = live ? m_session->journal().fileName() : JournalBeside(m_chartSource);
    if (!m_chartSource.isEmpty() && QFileInfo::exists(journal))
        source.journal = ReadJournal(journal);
    InstrumentFromJournal(source, LocalDateTime(period.to), WindowLanguage);
    // The instrument answering now made the live log only; a loaded file may be another's.
    if (live && !m_model.isEmpty()) {
        source.model = m_model;
        source.firmware = m_firmware;
        source.serialNumber = QString::number(m_serialNumber);
    }

    QString error;
    if (report::WriteReportPdf(RunReport(data, source, period, WindowLanguage), *reported, name, &error))
        return true;
    ShowErrorReport(Chart1->texts().cannotWrite.arg(QDir::toNativeSeparators(name), error));
    return false;
}
