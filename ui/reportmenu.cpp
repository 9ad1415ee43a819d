// "Report…" in the chart's menu: a PDF of the period the chart shows, with what the
// window knows of the instrument and the limits, and the journal of the chart's file.
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "report/pdfreport.h"
#include "ui/alarmpanel.h"
#include "ui/errorreport.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/runreport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

using namespace hmx;

void TForm1::setUpReport()
{
    auto* action = new QAction(ByLanguage("Raport…", "Report…"), Chart1);
    action->setObjectName(QStringLiteral("ChartReportAction"));
    connect(action, &QAction::triggered, this, [this] { RunGuarded([this] { askAndWriteReport(); }); });
    Chart1->addMenuAction(action);
}

void TForm1::askAndWriteReport()
{
    if (!HasReadingsShown(*Chart1)) {
        ShowErrorReport(NoReadingsShownText(*Chart1));
        return;
    }
    QString name = QFileDialog::getSaveFileName(this, ByLanguage("Raport", "Report"), DefaultReportName(),
                                                ByLanguage("Dokument PDF (*.pdf)", "PDF document (*.pdf)"));
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".pdf");
    writeReport(name);
}

bool TForm1::writeReport(const QString& name)
{
    if (!HasReadingsShown(*Chart1)) {
        ShowErrorReport(NoReadingsShownText(*Chart1));
        return false;
    }

    RunReportSource source;
    source.logFile = m_chartSource;
    // The live log's journal is the window's own; a loaded file's lies beside it.
    const bool live = m_log && m_chartSource == m_log->fileName();
    const QString journal = live ? m_journal->fileName() : JournalBeside(m_chartSource);
    if (!m_chartSource.isEmpty() && QFileInfo::exists(journal))
        source.journal = ReadJournal(journal);
    InstrumentFromJournal(source, QDateTime::currentDateTime());
    // The instrument answering now made the live log only; a loaded file may be another's.
    if (live && !m_model.isEmpty()) {
        source.model = m_model;
        source.firmware = m_firmware;
        source.serialNumber = QString::number(m_serialNumber);
    }
    source.preferences = m_alarms->preferences();

    QString error;
    if (report::WriteReportPdf(RunReport(*Chart1, source), *Chart1, name, &error))
        return true;
    ShowErrorReport(Chart1->texts().cannotWrite.arg(QDir::toNativeSeparators(name), error));
    return false;
}
