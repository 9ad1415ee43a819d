// "Report…" in the chart's menu: a PDF of the period the chart shows, of the one source
// the chart shows (the live log, or the file loaded last), with what the window knows
// of the instrument and the limits. Also what the chart's exports may write over.
#include "files/outputcheck.h"
#include "instrument/charttime.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "readings/lines.h"
#include "report/chartlimits.h"
#include "report/chartview.h"
#include "report/pdfreport.h"
#include "session/measuringsession.h"
#include "report/runreport.h"
#include "ui/alarmpanel.h"
#include "ui/chartinstruments.h"
#include "ui/chartload.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/instruments.h"
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
#include <array>
#include <memory>
#include <optional>

using namespace hmx;

namespace {

// What nothing the window writes on the user's choice as `output` may replace: the
// files each instrument's session writes, the files the chart shows, and what a
// measuring copy writes in the output's folder.
QStringList KeptFiles(const QString& output, const Instruments& instruments)
{
    QStringList kept;
    for (int i = 0; i < instruments.count(); ++i) {
        MeasuringSession* session = instruments.session(i);
        kept << instruments.chartSource(i);
        if (const MeasurementLog* log = session->log())
            kept += MeasuringFiles(log->fileName());
        kept << session->journal().fileName();
    }
    kept += FilesWrittenIn(QFileInfo(output).absolutePath());
    return kept;
}

// An instrument whose lines the chart draws, as a report reads it.
struct ReportedInstrument {
    const readings::Lines* lines = nullptr;  // the chart's
    QString chartSource;                     // the file they came from; empty: none
    bool live = false;                       // that file is its session's log
    MeasuringSession* session = nullptr;
    AlarmPreferences preferences;
    QString name;  // while several are drawn
    std::array<const chart::LineSeries*, 3> series{};  // Chart1's lines of it, as ShownQuantities
};

constexpr humidity::Quantity ShownQuantities[] = {humidity::Quantity::DewPoint, humidity::Quantity::RelativeHumidity,
                                                  humidity::Quantity::Temperature};

// The shown instrument, then each drawn beside it. While the shown one's readings come
// from a file, those beside it without a file of their own are left out.
std::vector<ReportedInstrument> ReportedInstruments(const TForm1& window)
{
    const Instruments& instruments = *window.instruments();
    const ChartInstruments* onChart = instruments.chart();
    const std::vector<int> beside = onChart ? onChart->drawn() : std::vector<int>{};
    const auto reported = [&](int index) {
        ReportedInstrument r;
        r.lines = instruments.lines(index);
        r.chartSource = instruments.chartSource(index);
        r.session = instruments.session(index);
        const MeasurementLog* log = r.session->log();
        r.live = log && !r.chartSource.isEmpty()
            && (r.chartSource == log->fileName() || files::SameFile(r.chartSource, log->fileName()));
        r.preferences = r.session->limits().preferences();
        if (!beside.empty())
            r.name = instruments.name(index);
        return r;
    };
    std::vector<ReportedInstrument> out{reported(instruments.shown())};
    // The shown one's limits as the window edits them.
    out.front().preferences = window.alarms()->preferences();
    out.front().series = {window.Series1, window.Series6, window.Series7};
    for (const int index : beside) {
        ReportedInstrument r = reported(index);
        if (!out.front().chartSource.isEmpty() && r.chartSource.isEmpty())
            continue;
        for (std::size_t q = 0; q < 3; ++q)
            r.series[q] = onChart->line(index, int(q));
        out.push_back(std::move(r));
    }
    return out;
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
    Chart1->setKeptFiles([this](const QString& output) { return KeptFiles(output, *m_instruments); });
}

void TForm1::askAndWriteReport()
{
    std::vector<const readings::Lines*> shownLines;
    for (const ReportedInstrument& instrument : ReportedInstruments(*this))
        shownLines.push_back(instrument.lines);
    if (!HasReadingsIn(ShownReadings(*Chart1, shownLines), ShownPeriod(*Chart1))) {
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
    const files::OutputCheck check = files::CheckOutput(name, KeptFiles(name, *m_instruments));
    if (!check.free()) {
        ShowErrorReport(OutputRefusedText(check, name));
        return false;
    }
    const std::vector<ReportedInstrument> instruments = ReportedInstruments(*this);
    std::vector<const readings::Lines*> shownLines;
    for (const ReportedInstrument& instrument : instruments)
        shownLines.push_back(instrument.lines);
    ReportPeriod period = ShownPeriod(*Chart1);
    if (!HasReadingsIn(ShownReadings(*Chart1, shownLines), period)) {
        ShowErrorReport(NoReadingsText(period, WindowLanguage));
        return false;
    }

    // The chart may hold readings of more than one source (a file loaded while measuring,
    // or before it): the report reads the one each instrument's lines name again, into
    // lines of its own drawn by a chart that looks like Chart1, and covers the part of the
    // shown period their readings span.
    chart::ChartWidget own;
    std::vector<std::unique_ptr<readings::Lines>> ownLines;
    std::vector<RunReportSource> sources(instruments.size());
    chart::ChartWidget* reported = Chart1;
    ReportReadings data = ShownReadings(*Chart1, shownLines);
    QWidget derivedPage;
    std::optional<DerivedPanel> derived;
    const QString shownSource = instruments.front().chartSource;
    if (!shownSource.isEmpty()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        own.resize(Chart1->size());
        own.setFont(Chart1->font());
        const ChartLines ownSeries = ConfigureChart1(own, WindowLanguage);
        std::vector<const readings::Lines*> read;
        for (std::size_t i = 0; i < instruments.size(); ++i) {
            const ReportedInstrument& instrument = instruments[i];
            RunReportSource& source = sources[i];
            source.logFile = instrument.chartSource;
            source.logGrowing = instrument.live;
            ownLines.push_back(std::make_unique<readings::Lines>());
            readings::Lines& lines = *ownLines.back();
            if (i == 0) {
                ShowLines(own, ownSeries, lines);
            } else {
                for (std::size_t q = 0; q < 3; ++q) {
                    const chart::LineSeries& drawn = *instrument.series[q];
                    chart::LineSeries* line = own.addSeries(drawn.title(), drawn.color(), drawn.lineWidth());
                    line->setData(lines.line(ShownQuantities[q]));
                    line->setVisible(drawn.visible());
                }
            }
            try {
                const ReportLog log = LoadReportLog(instrument.chartSource, lines, false, instrument.live);
                source.logBytes = log.bytes;
                source.logSha256 = log.sha256;
            } catch (const ChartFileError& e) {
                ShowErrorReport(ChartLoadMessage(e, 0));
                return false;
            }
            read.push_back(&lines);
        }
        // The derived quantities, when chosen, from the shown instrument's readings.
        derived.emplace(&derivedPage, QRect(), own, *ownLines.front());
        if (m_derived)
            derived->setChoice(m_derived->choice());
        // Named as Chart1 names them while instruments are drawn beside it.
        ownSeries.dewPoint->setTitle(Series1->title());
        ownSeries.humidity->setTitle(Series6->title());
        ownSeries.ambient->setTitle(Series7->title());
        // Lines drawn beside the shown ones may come before or after the derived ones:
        // each is matched by what it draws, not by its place.
        for (const auto& [quantity, i] : ChartLineOf) {
            own.series(i)->setVisible(Chart1->series(i)->visible());
            own.setLimitLines(i, Chart1->limitLines(i));
            // Periods past a limit are the live readings' own.
            if (instruments.front().live)
                own.setShadedPeriods(i, Chart1->shadedPeriods(i));
        }
        if (m_derived) {
            for (const humidity::Quantity q : m_derived->choice().shown) {
                const chart::LineSeries* drawn = m_derived->line(q);
                if (chart::LineSeries* line = derived->line(q); line && drawn)
                    line->setVisible(drawn->visible());
            }
        }
        // A log stamps readings with whole seconds, where the window showed them with
        // their milliseconds: the period starts at the whole second of its start.
        const QDateTime start = LocalDateTime(period.from);
        if (start.isValid())
            period.from = ChartX(start.toMSecsSinceEpoch() - start.time().msec());
        data = ShownReadings(own, read);
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

    for (std::size_t i = 0; i < instruments.size(); ++i) {
        const ReportedInstrument& instrument = instruments[i];
        RunReportSource& source = sources[i];
        source.preferences = instrument.preferences;
        source.name = instrument.name;
        const QString journal = instrument.live ? instrument.session->journal().fileName() : JournalBeside(instrument.chartSource);
        if (!instrument.chartSource.isEmpty() && QFileInfo::exists(journal))
            source.journal = ReadJournal(journal);
        InstrumentFromJournal(source, LocalDateTime(period.to), WindowLanguage);
        // The instrument answering now made the live log only; a loaded file may be another's.
        if (instrument.live && instrument.session == m_session && !m_model.isEmpty()) {
            source.model = m_model;
            source.firmware = m_firmware;
            source.serialNumber = QString::number(m_serialNumber);
        }
    }

    QString error;
    if (report::WriteReportPdf(RunReport(data, sources, period, WindowLanguage), *reported, name, &error))
        return true;
    ShowErrorReport(Chart1->texts().cannotWrite.arg(QDir::toNativeSeparators(name), error));
    return false;
}
