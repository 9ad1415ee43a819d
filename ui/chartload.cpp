// Button1Click: loads a chosen chart file into the lines of readings Chart1 draws,
// reading it off the window thread.
#include "ui/chartload.h"

#include "log/eventjournal.h"

#include "instrument/charttime.h"
#include "readings/lines.h"
#include "report/loadedrows.h"
#include "report/chartview.h"
#include "session/measuringsession.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/instruments.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"

#include <QFile>
#include <QGuiApplication>
#include <QProgressDialog>

#include <algorithm>
#include <vector>

namespace hmx {

namespace {

// Rows per batch: eight chunks of each line, put in place in well under a frame.
constexpr std::size_t BatchRows = 8 * readings::PointStore::ChunkPoints;
// Batches read ahead of the window; the reader waits beyond this.
constexpr std::size_t MaxQueued = 4;

} // namespace

QString NoReadingsMessage(const QString& fileName)
{
    return ByLanguage(QStringLiteral("Nie znaleziono odczytów w pliku %1"), QStringLiteral("no readings found in %1"))
        .arg(fileName);
}

QString ChartLoadMessage(const ChartFileError& error, std::size_t pointsLoaded)
{
    const QString& name = error.fileName();
    switch (error.problem()) {
    case ChartProblem::CannotOpen:
        return ByLanguage(QStringLiteral("Nie można otworzyć pliku %1 do odczytu: %2"),
                          QStringLiteral("Cannot open %1 for reading: %2"))
            .arg(name, error.detail());
    case ChartProblem::NotRegularFile:
        return ByLanguage(QStringLiteral("%1 nie jest zwykłym plikiem, lecz %2; wykres wczytuje się tylko ze zwykłego pliku"),
                          QStringLiteral("%1 is not a regular file but %2; a chart loads only from a regular file"))
            .arg(name, FileTypeText(error.fileType()));
    case ChartProblem::ReadError:
        return ByLanguage(QStringLiteral("Błąd odczytu pliku %1: %2"), QStringLiteral("Cannot read %1: %2"))
            .arg(name, error.detail());
    case ChartProblem::InvalidTime: {
        // The same text in both languages, then where it is.
        QString invalid = QStringLiteral("'%1' is not a valid time").arg(error.detail());
        if (error.line() > 0)
            invalid += ByLanguage(QStringLiteral(" (wiersz %1)"), QStringLiteral(" (line %1)")).arg(error.line());
        return pointsLoaded > 0 ? invalid : NoReadingsMessage(name) + QLatin1Char('\n') + invalid;
    }
    case ChartProblem::Cancelled:
        break;
    }
    return QString();
}

// Parts of the lines, a few chunks of each, put after what the lines hold.
struct ChartLoadJob::Batch {
    std::vector<ChartLine> cleared;  // before the points
    bool automatic = false;          // the whole view back to automatic, before the points
    std::vector<std::pair<ChartLine, readings::Line>> parts;
};

// Collects the reader's rows on the worker thread; at the end builds the lines, each on
// a thread of its own, and queues them in parts the window puts together a batch a turn.
class ChartLoadJob::BatchingSink : public RowsSink {
public:
    // A log may have been written at a slower pace than the instrument's cycle.
    explicit BatchingSink(ChartLoadJob& job) : RowsSink(readings::LogJoiningDistance, BatchRows), m_job(job) {}

    void clearSeries(ChartLine line) override { m_head.cleared.push_back(line); }
    void setTimeAxisAutomatic() override { m_head.automatic = true; }

    // What was read, also before a failure: points read stay.
    void flush()
    {
        const std::vector<ChartLine> shown = lines();
        m_delivered = points();
        std::vector<std::vector<readings::Line>> built = build();
        const std::size_t batches = built.empty() ? 0 : built.front().size();
        for (std::size_t i = 0; i < std::max<std::size_t>(batches, 1); ++i) {
            auto batch = std::make_shared<Batch>(i == 0 ? std::move(m_head) : Batch());
            for (std::size_t k = 0; k < shown.size() && i < built[k].size(); ++k)
                batch->parts.emplace_back(shown[k], std::move(built[k][i]));
            if (batch->parts.empty() && batch->cleared.empty() && !batch->automatic)
                continue;
            m_job.push(std::move(batch));
        }
        m_head = Batch();
    }

    std::size_t delivered() const { return m_delivered; }

private:
    ChartLoadJob& m_job;
    Batch m_head;
    std::size_t m_delivered = 0;
};

ChartLoadJob::ChartLoadJob(TForm1& form, readings::Lines& lines, std::unique_ptr<QFile> file, const QString& fileName)
    : m_form(form), m_lines(lines), m_file(std::move(file)), m_fileName(fileName), m_locale(QLocale())
{
    m_progress = std::make_unique<QProgressDialog>(&form);
    m_progress->setObjectName(QStringLiteral("chartLoadProgress"));
    m_progress->setWindowTitle(ProgramTitle());
    m_progress->setLabelText(
        ByLanguage(QStringLiteral("Wczytywanie wykresu z pliku %1"), QStringLiteral("Loading the chart from %1"))
            .arg(fileName));
    m_progress->setCancelButtonText(ByLanguage(QStringLiteral("Anuluj"), QStringLiteral("Cancel")));
    m_progress->setRange(0, 1000);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    // Shown only when the load still runs after this long.
    m_progress->setMinimumDuration(500);
    m_progress->setValue(0);
    connect(m_progress.get(), &QProgressDialog::canceled, this, &ChartLoadJob::cancel);

    // A zero timer yields to input, painting and the Poller's readings between two batches.
    m_pump.setInterval(0);
    connect(&m_pump, &QTimer::timeout, this, &ChartLoadJob::pumpOnce);
    connect(this, &ChartLoadJob::batchWaiting, this, &ChartLoadJob::startPump, Qt::QueuedConnection);
    connect(this, &ChartLoadJob::readingProgressed, this, &ChartLoadJob::showProgress, Qt::QueuedConnection);

    m_worker = std::thread([this] { run(); });
}

ChartLoadJob::~ChartLoadJob()
{
    cancel();
    if (m_worker.joinable())
        m_worker.join();
    // Wake-ups still queued for this object go with it.
}

void ChartLoadJob::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancel.store(true, std::memory_order_release);
    }
    m_taken.notify_all();
}

void ChartLoadJob::run()
{
    std::exception_ptr error;
    BatchingSink sink(*this);
    try {
        ChartLoadOptions options;
        options.locale = m_locale;
        options.cancel = &m_cancel;
        options.progress = [this](qint64 done, qint64 total) { postProgress(done, total); };
        LoadChart(*m_file, m_fileName, sink, options);
    } catch (...) {
        error = std::current_exception();
    }
    // Points read before an error stay, so they go before the outcome.
    sink.flush();
    m_file->close();  // the file is not held while the window catches up
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_points = sink.delivered();
        m_error = error;
    }
    emit batchWaiting();
}

void ChartLoadJob::push(std::shared_ptr<Batch> batch)
{
    bool wasEmpty = false;
    {
        std::unique_lock lock(m_mutex);
        m_taken.wait(lock, [this] { return m_queue.size() < MaxQueued || m_cancel.load(); });
        if (m_cancel.load())
            return;
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(batch));
    }
    // The pump stops when it finds the queue empty; the batch that ends that starts it again.
    if (wasEmpty)
        emit batchWaiting();
}

void ChartLoadJob::startPump()
{
    if (!m_pump.isActive())
        m_pump.start();
}

void ChartLoadJob::postProgress(qint64 done, qint64 total)
{
    if (total <= 0)
        return;
    const int permille = int(std::min<qint64>(1000, done * 1000 / total));
    if (permille == m_lastPermille)
        return;
    m_lastPermille = permille;
    emit readingProgressed(permille);
}

void ChartLoadJob::showProgress(int permille)
{
    if (m_progress && !m_cancel.load())
        m_progress->setValue(permille);
}

void ChartLoadJob::pumpOnce()
{
    std::shared_ptr<Batch> batch;
    bool done = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancel.load())
            m_queue.clear();  // nothing more reaches the chart
        if (!m_queue.empty()) {
            batch = std::move(m_queue.front());
            m_queue.pop_front();
        }
        done = m_done && m_queue.empty();
    }
    m_taken.notify_all();
    if (batch)
        apply(*batch);
    if (done)
        finish();
    else if (!batch)
        m_pump.stop();  // until the worker queues the next batch
}

void ChartLoadJob::apply(Batch& batch)
{
    for (ChartLine line : batch.cleared)
        m_lines.line(QuantityOf(line))->clear();
    // A log may have been written at a slower pace than the instrument's cycle.
    for (ChartLine line : {ChartLine::DewPoint, ChartLine::Humidity, ChartLine::Ambient})
        m_lines.line(QuantityOf(line))->setJoiningDistance(readings::LogJoiningDistance);
    if (batch.automatic)
        m_form.Chart1->resetView();
    for (auto& [line, part] : batch.parts)
        m_lines.append(QuantityOf(line), std::move(part));  // the chart merges these into one redraw
}

void ChartLoadJob::finish()
{
    m_pump.stop();
    if (!m_running)
        return;
    if (m_worker.joinable())
        m_worker.join();  // it has nothing left to do but return
    m_progress.reset();
    m_running = false;
    const bool cancelled = m_cancel.load();
    emit finished();
    if (cancelled)
        return;  // the user asked for it; nothing to say
    if (m_error) {
        try {
            std::rethrow_exception(m_error);
        } catch (const ChartFileError& e) {
            if (e.problem() != ChartProblem::Cancelled)
                ShowErrorReport(ChartLoadMessage(e, m_points));
        } catch (...) {
            ReportException(std::current_exception());
        }
    } else if (m_points == 0) {
        ShowErrorReport(NoReadingsMessage(m_fileName));
    } else {
        emit loaded(m_fileName, m_points);
    }
}

} // namespace hmx

void TForm1::Button1Click()
{
    if (isLoadingChart())
        return;  // one load at a time (the button is disabled meanwhile)
    if (!OpenDialog1.Execute(this))
        return;
    // Refused here, before anything is read: a FIFO or a device is not even opened.
    std::unique_ptr<QFile> file;
    try {
        file = hmx::OpenChartFile(OpenDialog1.FileName);
    } catch (const hmx::ChartFileError& e) {
        hmx::ShowErrorReport(hmx::ChartLoadMessage(e, 0));
        return;
    }
    // The reader has its own handle on the file, so the measurement log (and a Poller
    // writing to it) is not disturbed.
    m_chartLoad.reset();
    m_chartLoad = std::make_unique<hmx::ChartLoadJob>(*this, *m_lines, std::move(file), OpenDialog1.FileName);
    Button1->setEnabled(false);
    connect(m_chartLoad.get(), &hmx::ChartLoadJob::finished, this, [this] {
        Button1->setEnabled(true);
        m_derived->refill();  // the loaded readings' quantities too
    });
    // Into the lines of the instrument shown now, whichever is shown when it ends.
    hmx::MeasuringSession* into = m_instruments->session(m_instruments->shown());
    connect(m_chartLoad.get(), &hmx::ChartLoadJob::loaded, this, [this, into](const QString& name, qulonglong points) {
        const int index = m_instruments->indexOf(into);
        if (index < 0)
            return;  // removed meanwhile: its lines are gone too
        m_instruments->setChartSource(index, name);
        into->journal().add(QStringLiteral("chart-loaded"),
                       {hmx::Detail(QStringLiteral("file"), name), hmx::Detail(QStringLiteral("points"), QString::number(points))});
    });
}

void TForm1::stopLoadingInto(const hmx::readings::Lines& lines)
{
    if (!m_chartLoad || &m_chartLoad->lines() != &lines)
        return;
    m_chartLoad.reset();
    Button1->setEnabled(true);
}

bool TForm1::isLoadingChart() const
{
    return m_chartLoad && m_chartLoad->running();
}
