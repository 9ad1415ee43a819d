// Chart loading: a million-line file of the loader's layout, a million-line own log
// and a 200 MB own log, loaded through Button1Click into Chart1's lines. One iteration
// is one load into a fresh window, from the click until the last point is drawn (the
// file is read off the window thread); counters: points loaded, peak memory growth
// during the load, the memory the series hold afterwards in MiB, and the longest the
// window thread went without turning its event loop. Beside them, for scale: the
// million-line log read by the reader alone into a sink that only counts, and by
// pandas.read_csv (Debian's python3-pandas), its parse timed inside Python. The CPU
// time of the loads is the whole process's: the file is read on several threads.
#include "benchutil.h"

#include "log/chartfile.h"
#include "log/measurementlog.h"
#include "ui/mainwindow.h"
#include "ui/opendialog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int Lines = 1000000;
constexpr double MiB = 1024.0 * 1024.0;

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in bytes (Linux; 0 elsewhere).
double statusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::strlen(key))) * 1024.0;
    }
    return 0;
}

// Hands freed heap back to the system, so a load's growth does not hide in memory an
// earlier load left resident, then restarts the peak from the current size.
void resetPeak()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool writeLoaderLayout(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    chunk += "header\r\nheader\r\n";
    for (int i = 0; i < Lines; ++i) {
        const int second = i / 2;
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%d\t%02d:%02d:%02d\t%05d\r\n", i % 100000,
                                    second / 3600 % 24, second / 60 % 60, second % 60, 1000 + i % 2000);
        chunk.append(line, n);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

bool writeOwnLog(const QString& name, int lines = Lines)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    hmx::LogLine line;
    for (int i = 0; i < lines; ++i) {
        const int second = i / 2;
        line.number = i + 1;
        line.time = QTime(second / 3600 % 24, second / 60 % 60, second % 60);
        line.dewPoint = std::int16_t(-105 + i % 300);
        line.humidity = std::int16_t(450 + i % 100);
        line.ambient = std::int16_t(235 + i % 50);
        const auto shown = [](int tenths) {
            return QString::number(tenths / 10.0, 'f', 2);
        };
        line.dewPointText = shown(line.dewPoint);
        line.humidityText = shown(line.humidity);
        line.ambientText = shown(line.ambient);
        chunk += hmx::FormatLogLine(line, QLocale::c());
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

// The two files, written once per run of the program.
struct Files {
    QTemporaryDir dir;
    QString loaderLayout = dir.filePath(QStringLiteral("chart.txt"));
    QString ownLog = dir.filePath(QStringLiteral("jrt1.txt"));
    bool written = dir.isValid() && writeLoaderLayout(loaderLayout) && writeOwnLog(ownLog);
};

const Files& files()
{
    static const Files f;
    return f;
}

// About 200 MB of own log (4.6 million lines), written only when its benchmark runs.
struct LargeLog {
    QTemporaryDir dir;
    QString name = dir.filePath(QStringLiteral("jrt1.txt"));
    bool written = dir.isValid() && writeOwnLog(name, 4600000);
};

const LargeLog& largeLog()
{
    static const LargeLog f;
    return f;
}

void loadThroughButton(benchmark::State& state, const QString& name, bool written)
{
    if (!written) {
        state.SkipWithError("could not write the chart files");
        return;
    }
    OpenDialog::setChooserForTesting([name] { return name; });
    double peakGrowth = 0;
    double held = 0;
    double points = 0;
    // A timer on the window thread: the longest gap between its turns is the longest
    // the window could not react to anything.
    qint64 longestGap = 0;
    QElapsedTimer sinceTurn;
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    turn.setInterval(5);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTurn.nsecsElapsed());
        sinceTurn.start();
    });
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TForm1>();
        resetPeak();
        const double before = statusBytes("VmRSS:");
        state.ResumeTiming();
        sinceTurn.start();
        turn.start();
        form->Button1Click();
        longestGap = std::max(longestGap, sinceTurn.nsecsElapsed());
        sinceTurn.start();
        while (form->isLoadingChart())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        turn.stop();
        peakGrowth = std::max(peakGrowth, statusBytes("VmHWM:") - before);
        points = double(form->Series1->count() + form->Series6->count() + form->Series7->count());
        held = double(form->Series1->memoryBytes() + form->Series6->memoryBytes() + form->Series7->memoryBytes());
        form.reset();
        state.ResumeTiming();
    }
    OpenDialog::setChooserForTesting({});
    state.counters["points"] = points;
    state.counters["peak_growth_MiB"] = peakGrowth / MiB;
    state.counters["held_MiB"] = held / MiB;
    state.counters["longest_stall_ms"] = double(longestGap) / 1e6;
}

void ChartLoadLoaderLayout(benchmark::State& state)
{
    loadThroughButton(state, files().loaderLayout, files().written);
}
BENCHMARK(ChartLoadLoaderLayout)->Apply(bench::Defaults)->MeasureProcessCPUTime()->UseRealTime();

void ChartLoadOwnLog(benchmark::State& state)
{
    QLocale::setDefault(QLocale::c());
    loadThroughButton(state, files().ownLog, files().written);
    QLocale::setDefault(QLocale::system());
}
BENCHMARK(ChartLoadOwnLog)->Apply(bench::Defaults)->MeasureProcessCPUTime()->UseRealTime();

void ChartLoadOwnLog200MB(benchmark::State& state)
{
    QLocale::setDefault(QLocale::c());
    loadThroughButton(state, largeLog().name, largeLog().written);
    QLocale::setDefault(QLocale::system());
}
BENCHMARK(ChartLoadOwnLog200MB)->Apply(bench::Defaults)->MeasureProcessCPUTime()->UseRealTime()->Iterations(1);

// Counts what the reader hands on.
class CountingSink : public hmx::ChartSink {
public:
    void clearSeries(hmx::ChartLine) override {}
    void setTimeAxisAutomatic() override {}
    void addPoint(hmx::ChartLine, double, double) override { ++points; }
    void addRows(std::span<const double> xs, std::span<const hmx::ChartLine> lines,
                 std::span<const double* const>) override
    {
        points += xs.size() * lines.size();
    }
    std::size_t points = 0;
};

void ChartFileOwnLog(benchmark::State& state)
{
    if (!files().written) {
        state.SkipWithError("could not write the chart files");
        return;
    }
    std::size_t points = 0;
    for (auto _ : state) {
        CountingSink sink;
        hmx::LoadChartFile(files().ownLog, sink, QLocale::c());
        points = sink.points;
    }
    state.counters["points"] = double(points);
}
BENCHMARK(ChartFileOwnLog)->Apply(bench::Defaults)->MeasureProcessCPUTime()->UseRealTime();

void PandasReadCsvOwnLog(benchmark::State& state)
{
    if (!files().written) {
        state.SkipWithError("could not write the chart files");
        return;
    }
    const QString script = QStringLiteral(
        "import sys, time\n"
        "import pandas\n"
        "start = time.perf_counter()\n"
        "frame = pandas.read_csv(sys.argv[1], sep='\\t', header=None)\n"
        "print(time.perf_counter() - start, len(frame))\n");
    // Debian's Python, which has Debian's pandas, before any other on the path.
    const QString python3 = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
    for (auto _ : state) {
        QProcess python;
        python.start(python3, {QStringLiteral("-c"), script, files().ownLog});
        if (!python.waitForFinished(300000) || python.exitCode() != 0) {
            state.SkipWithError("python3 with pandas did not run (install python3-pandas)");
            return;
        }
        const QList<QByteArray> out = python.readAllStandardOutput().trimmed().split(' ');
        if (out.size() != 2 || out[1].toInt() != Lines) {
            state.SkipWithError("pandas read another number of rows");
            return;
        }
        state.SetIterationTime(out[0].toDouble());
    }
}
BENCHMARK(PandasReadCsvOwnLog)->Apply(bench::Defaults)->UseManualTime();

} // namespace
