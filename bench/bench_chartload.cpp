// Chart loading: a million-line file of the loader's layout and a million-line own
// log, loaded through Button1Click into Chart1's lines. One iteration is one load into
// a fresh window; counters: points loaded, peak memory growth during the load and the
// memory the series hold afterwards, in MiB.
#include "benchutil.h"

#include "log/measurementlog.h"
#include "ui/mainwindow.h"
#include "ui/opendialog.h"

#include <QFile>
#include <QTemporaryDir>

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

bool writeOwnLog(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    hmx::LogLine line;
    for (int i = 0; i < Lines; ++i) {
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

void loadThroughButton(benchmark::State& state, const QString& name)
{
    if (!files().written) {
        state.SkipWithError("could not write the chart files");
        return;
    }
    OpenDialog::setChooserForTesting([name] { return name; });
    double peakGrowth = 0;
    double held = 0;
    double points = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TForm1>();
        resetPeak();
        const double before = statusBytes("VmRSS:");
        state.ResumeTiming();
        form->Button1Click();
        state.PauseTiming();
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
}

void ChartLoadLoaderLayout(benchmark::State& state)
{
    loadThroughButton(state, files().loaderLayout);
}
BENCHMARK(ChartLoadLoaderLayout)->Apply(bench::Defaults)->UseRealTime();

void ChartLoadOwnLog(benchmark::State& state)
{
    QLocale::setDefault(QLocale::c());
    loadThroughButton(state, files().ownLog);
    QLocale::setDefault(QLocale::system());
}
BENCHMARK(ChartLoadOwnLog)->Apply(bench::Defaults)->UseRealTime();

} // namespace
