// Chart loading off the window thread: a worker reads the chosen file while the
// window stays live (measuring goes on); the points reach the lines of readings the
// chart draws in file order on the window thread, and a progress box with Cancel
// shows for files that take longer than a moment.
#pragma once

#include "log/chartfile.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

class QFile;
class QProgressDialog;
class TForm1;

namespace hmx {

namespace readings {
class Lines;
}

// The message for a load that stopped, in the interface language. `pointsLoaded`
// tells whether the file gave any point before it stopped.
QString ChartLoadMessage(const ChartFileError& error, std::size_t pointsLoaded);

// "no readings found in <file>", in the interface language.
QString NoReadingsMessage(const QString& fileName);

class ChartLoadJob : public QObject {
    Q_OBJECT
public:
    // Starts reading `file` (from OpenChartFile) on a worker thread at once, into the
    // three reading lines of `lines` (the form's chart shows them).
    ChartLoadJob(TForm1& form, readings::Lines& lines, std::unique_ptr<QFile> file, const QString& fileName);
    // Cancels a load still running and waits for the worker; points not yet applied are dropped.
    ~ChartLoadJob() override;

    // True until the last point is applied and the outcome is reported.
    bool running() const { return m_running; }
    // Stops reading; the points already applied stay.
    void cancel();
    // The lines it fills.
    const readings::Lines& lines() const { return m_lines; }

    ChartLoadJob(const ChartLoadJob&) = delete;
    ChartLoadJob& operator=(const ChartLoadJob&) = delete;

signals:
    void finished();
    // The file gave readings and was read to its end (after finished()).
    void loaded(const QString& fileName, qulonglong points);

    // From the worker to the window thread (queued): a batch or the end is waiting,
    // and how far the reading has come in permille.
    void batchWaiting();
    void readingProgressed(int permille);

private:
    struct Batch;
    class BatchingSink;

    // Worker side.
    void run();
    // Queues a batch for the window thread, waiting while the queue is full.
    void push(std::shared_ptr<Batch> batch);
    void postProgress(qint64 done, qint64 total);
    // Window side: one batch per turn of the event loop, so the window stays live.
    void startPump();
    void showProgress(int permille);
    void pumpOnce();
    void apply(Batch& batch);
    void finish();

    TForm1& m_form;
    readings::Lines& m_lines;
    std::unique_ptr<QFile> m_file;
    QString m_fileName;
    QLocale m_locale;
    std::unique_ptr<QProgressDialog> m_progress;
    QTimer m_pump;
    bool m_running = true;

    std::atomic<bool> m_cancel{false};
    std::mutex m_mutex;  // guards the fields below
    std::condition_variable m_taken;
    std::deque<std::shared_ptr<Batch>> m_queue;
    bool m_done = false;             // the worker has queued its last batch
    std::size_t m_points = 0;        // points the reader gave
    std::exception_ptr m_error;      // why it stopped, if it did

    int m_lastPermille = -1;  // worker only
    std::thread m_worker;
};

} // namespace hmx
