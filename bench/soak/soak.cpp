// hmx700-soak: the real window, offscreen, measuring a simulated instrument for a
// number of minutes while the instrument is unplugged and plugged back at random.
// Prints readings, lines written, cycles lost to the outages, how long getting the
// instrument back took, and the growth of resident memory per reading: over the
// whole run after start-up, and as the slope of a line fitted to resident memory
// against readings after a warm-up, which a one-off rise (an allocator's high-water
// mark, a cache filled by the first outage) does not bend the way it does a short
// run's whole-run figure. The live heap's slope is printed beside them, and every
// window shown during the run as it comes. With several instruments (the first by
// Connect, the others by Add instrument), the last is the one unplugged while the others
// go on; readings and lines count all of them, each log is checked to hold its own unit's
// readings only, and the window thread's share of one core is printed.
//
//   hmx700-soak [minutes] [seed] [samples.csv] [instruments]
//       (default 30 minutes, a random seed, one instrument; the samples are written when named)
#include "instrument/poller.h"
#include "session/instrumentset.h"
#include "session/measuringsession.h"
#include "tools/simulator.h"
#include "ui/errorreport.h"
#include "ui/instruments.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Resident set size in bytes, from /proc.
long long ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// The anonymous part of resident memory (heaps, stacks, anonymous maps) in bytes: the
// rest is pages of files, mostly libraries' code paged in as new paths first run.
long long AnonymousResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Bytes the allocator has handed out and not had back, over all its arenas: the live
// heap, without the pages an allocator keeps or the page granularity of resident memory.
double HeapInUseBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks) + double(info.hblkhd);
}

// Bytes the allocator holds from the system, in use or free.
double HeapHeldBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.arena) + double(info.hblkhd);
}

// Read a block at a time into one buffer: reading the whole log, which grows with the
// run, would itself raise the allocator's pages as the run goes on, and count here.
qsizetype LogLineCount(const QString& path = QStringLiteral("jrt1.txt"))
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    static char block[16384];
    qsizetype lines = 0;
    for (qint64 got; (got = log.read(block, sizeof block)) > 0;)
        lines += std::count(block, block + got, '\n');
    return lines;
}

// Whether every line of the log holds the unit's own raw tenths (dew point, humidity, ambient).
bool OwnReadingsOnly(const QString& path, const hmx::sim::MeasurementTenths& own)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return false;
    const QByteArray values = QByteArray::number(own.dewPoint) + '\t' + QByteArray::number(own.humidity) + '\t'
                              + QByteArray::number(own.ambient) + '\t';
    for (const QByteArray& line : log.readAll().split('\n'))
        if (!line.isEmpty() && line.split('\t').mid(2, 3).join('\t') + '\t' != values)
            return false;
    return true;
}

// CPU time of the calling thread, in seconds.
double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Slope of the least-squares line through (readings, bytes of `field`): bytes per reading.
struct Sample {
    double readings;
    double resident;
    double anonymous;
    double heap;
    double held;
};
double SlopePerReading(const std::vector<Sample>& samples, double Sample::*field)
{
    if (samples.size() < 2)
        return 0;
    double meanX = 0, meanY = 0;
    for (const Sample& s : samples) {
        meanX += s.readings;
        meanY += s.*field;
    }
    meanX /= double(samples.size());
    meanY /= double(samples.size());
    double sxy = 0, sxx = 0;
    for (const Sample& s : samples) {
        sxy += (s.readings - meanX) * (s.*field - meanY);
        sxx += (s.readings - meanX) * (s.readings - meanX);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

// Names every window shown during the run, with the reading it came at: a window's
// first showing pages in code and fills caches, a rise in resident memory that has
// nothing to do with the readings, so a rise can be matched with what was shown.
class ShownWindows : public QObject {
public:
    explicit ShownWindows(const long long& readings) : m_readings(readings) {}
    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The type first: this filter sees every event of the program.
        if (event->type() != QEvent::Show)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow()) {
            QString what = widget->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(widget))
                what += QStringLiteral(": ") + box->text();
            std::printf("reading %lld: %s \"%s\" shown (%s)\n", m_readings, widget->metaObject()->className(),
                        qPrintable(widget->objectName()), qPrintable(what.simplified()));
            std::fflush(stdout);
            ++m_count;
        }
        return false;
    }

private:
    const long long& m_readings;
    int m_count = 0;
};

// Gives this process terminals of its own where it may (Linux, with the right to mount):
// soaks run side by side would otherwise take each other's freed terminal numbers, and
// the window, rightly, would find another unit on its lost port and say so in a box.
bool OwnTerminals()
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    if (::mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666") != 0)
        return false;
    if (::mount("/dev/pts/ptmx", "/dev/ptmx", nullptr, MS_BIND, nullptr) == 0)
        return true;
    // Half done, new terminals would not be found under /dev/pts: back to the shared ones.
    ::umount2("/dev/pts", MNT_DETACH);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts.
    const bool ownTerminals = OwnTerminals();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    hmx::Application app(argc, argv);
    const double minutes = argc > 1 ? std::max(0.2, std::atof(argv[1])) : 30.0;
    const unsigned seed = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
    std::mt19937 random(seed);

    // Named before the run moves into its own folder.
    const QString samplesPath = argc > 3 && *argv[3] ? QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath() : QString();
    const int count = argc > 4 ? std::clamp(std::atoi(argv[4]), 1, 64) : 1;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    // Preferences of its own: the user's (instruments kept for reconnecting, limits) would
    // change the run, and what the run keeps must not reach the user's next start.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    // Serial numbers of this process's own: a simulator of another program running at the
    // same time can take a lost terminal's number, and would be the same unit. Each unit
    // measures values of its own, so a reading in another's log shows.
    std::vector<std::unique_ptr<hmx::sim::Simulator>> sims;
    std::vector<hmx::sim::MeasurementTenths> values;
    QByteArrayList ports;
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<hmx::sim::Simulator>());
        sims.back()->setVersion(1, 0, std::uint16_t(20000 + (getpid() % 600) * 64 + i));
        values.push_back({std::int16_t(400 + i), std::int16_t(-100 - i), std::int16_t(200 + i)});
        sims.back()->setMeasurement(values.back());
        ports << QByteArray::fromStdString(sims.back()->linkPath());
    }
    hmx::sim::Simulator& sim = *sims.back();  // the one unplugged
    qputenv("HMX700_PORTS", ports.join(':'));
    std::unique_ptr<TForm1> window = CreateMainWindow();
    window->show();

    QTimer acceptIdentification;
    QObject::connect(&acceptIdentification, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    acceptIdentification.start(50);
    window->Connect->click();
    QElapsedTimer waited;
    waited.start();
    while (!window->poller() && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window->poller()) {
        std::fprintf(stderr, "hmx700-soak: the window did not start measuring\n");
        return 1;
    }
    hmx::Instruments& instruments = *window->instruments();
    if (count > 1) {
        instruments.addInstruments();
        const auto allMeasuring = [&] {
            if (instruments.count() < count)
                return false;
            for (int i = 0; i < count; ++i)
                if (!instruments.session(i)->poller())
                    return false;
            return true;
        };
        while (!allMeasuring() && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!allMeasuring()) {
            std::fprintf(stderr, "hmx700-soak: %d of %d instruments measured\n", instruments.count(), count);
            return 1;
        }
    }
    // Each unit's log, by its serial number: the first's in the start folder.
    std::vector<QString> logs;
    for (int i = 0; i < count; ++i)
        logs.push_back(i == 0 ? QStringLiteral("jrt1.txt")
                              : QDir(instruments.set().folderFor(instruments.session(i)->serialNumber()))
                                    .filePath(QStringLiteral("jrt1.txt")));
    const auto allLines = [&] {
        qsizetype lines = 0;
        for (const QString& log : logs)
            lines += std::max<qsizetype>(LogLineCount(log), 0);
        return lines;
    };
    hmx::MeasuringSession& unplugged = *instruments.session(count - 1);

    long long readings = 0, lostCycles = 0, othersLost = 0, outages = 0;
    ShownWindows shownWindows(readings);
    app.installEventFilter(&shownWindows);
    long long rssBase = -1, readingsAtBase = 0;
    double recoverySum = 0, recoveryMax = 0;
    QElapsedTimer outage;
    // Counted on the window thread, where the window takes its readings too.
    // Resident memory is sampled every SampleEvery readings; the slope is fitted to the
    // samples after the first quarter of the run, the warm-up.
    constexpr long long SampleEvery = 20;
    // Reserved for up to ten readings a second: the samples add under one byte per reading.
    std::vector<Sample> samples;
    samples.reserve(std::size_t(minutes * 60 * 10 / SampleEvery) + 1);
    QObject* here = window.get();
    const auto counted = [&] {
        ++readings;
        // The simulator keeps every frame it received for tests to read; in this same
        // process that record would grow by some 60 bytes a reading and be counted here.
        for (const auto& s : sims)
            s->clearRecord();
        if (readings == 200) {  // past start-up allocations
            rssBase = ResidentBytes();
            readingsAtBase = readings;
        }
        if (readings % SampleEvery == 0)
            samples.push_back({double(readings), double(ResidentBytes()), double(AnonymousResidentBytes()),
                               HeapInUseBytes(), HeapHeldBytes()});
    };
    for (int i = 0; i < count; ++i) {
        QObject::connect(instruments.session(i), &hmx::MeasuringSession::reading, here, counted);
        // The unplugged one's cycles are lost to its outages; the others' must not be.
        QObject::connect(instruments.session(i), &hmx::MeasuringSession::noReply, here,
                         [&, i] { ++(i == count - 1 ? lostCycles : othersLost); });
    }

    // Random unplugs: every 30 to 90 s, for 1 to 10 s.
    std::uniform_int_distribution<int> between(30000, 90000), away(1000, 10000);
    QTimer unplug, replug;
    unplug.setSingleShot(true);
    replug.setSingleShot(true);
    QElapsedTimer sinceReplug;
    bool waitingForBack = false;
    QObject::connect(&unplug, &QTimer::timeout, [&] {
        sim.unplug();
        ++outages;
        replug.start(away(random));
    });
    QObject::connect(&replug, &QTimer::timeout, [&] {
        sim.replug();
        sinceReplug.start();
        waitingForBack = true;
    });
    QObject::connect(&unplugged, &hmx::MeasuringSession::back, here, [&] {
        if (!waitingForBack)
            return;
        waitingForBack = false;
        const double s = sinceReplug.elapsed() / 1000.0;
        recoverySum += s;
        recoveryMax = std::max(recoveryMax, s);
        unplug.start(between(random));
    });
    unplug.start(between(random));

    QTimer progress;
    QElapsedTimer run;
    run.start();
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::printf("%6.1f min: %lld readings, %lld lines, %lld outages\n", run.elapsed() / 60000.0, readings,
                    static_cast<long long>(allLines()), outages);
        std::fflush(stdout);
    });
    progress.start(60000);
    long long readingsAfterWarmUp = -1;
    QTimer::singleShot(int(minutes * 15000), &app, [&] { readingsAfterWarmUp = readings; });
    const double windowCpuAtStart = ThreadCpuSeconds();
    double windowCpu = 0;
    QTimer::singleShot(int(minutes * 60000), &app, [&] {
        windowCpu = ThreadCpuSeconds() - windowCpuAtStart;
        unplug.stop();
        replug.stop();
        if (!sim.plugged())
            sim.replug();
        app.quit();
    });
    app.exec();

    const long long rssEnd = ResidentBytes();
    window->close();
    QCoreApplication::sendPostedEvents();
    const qsizetype lines = allLines();
    bool ownOnly = true;
    for (int i = 0; i < count; ++i)
        ownOnly = OwnReadingsOnly(logs[std::size_t(i)], values[std::size_t(i)]) && ownOnly;
    const long long recoveries = outages - (waitingForBack ? 1 : 0);
    std::printf("minutes %.1f, seed %u, instruments %d\n", run.elapsed() / 60000.0, seed, count);
    std::printf("window thread busy    %.2f %% of a core\n", windowCpu / (minutes * 60.0) * 100.0);
    if (!ownOnly)
        std::printf("A LOG HOLDS ANOTHER UNIT'S READINGS\n");
    if (!ownTerminals)
        std::printf("(terminals shared with other programs: run one soak at a time)\n");
    if (shownWindows.count() > 0)
        std::printf("windows shown         %d (a window's first showing is counted in the memory figures)\n",
                    shownWindows.count());
    std::printf("readings shown        %lld\n", readings);
    std::printf("lines written         %lld%s\n", static_cast<long long>(lines),
                lines >= readings ? "" : "   (LINES MISSING)");
    std::printf("outages               %lld\n", outages);
    std::printf("cycles lost           %lld\n", lostCycles);
    if (count > 1)
        std::printf("  by the others       %lld\n", othersLost);
    if (recoveries > 0)
        std::printf("back after replug     %.2f s on average, %.2f s at most\n", recoverySum / double(recoveries),
                    recoveryMax);
    if (rssBase > 0 && readings > readingsAtBase)
        std::printf("resident memory       %.1f MiB -> %.1f MiB, %.1f bytes per reading\n", rssBase / 1048576.0,
                    rssEnd / 1048576.0, double(rssEnd - rssBase) / double(readings - readingsAtBase));
    std::vector<Sample> afterWarmUp;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(afterWarmUp),
                 [&](const Sample& s) { return s.readings >= double(readingsAfterWarmUp); });
    if (readingsAfterWarmUp >= 0 && afterWarmUp.size() >= 2)
    {
        std::printf("resident memory slope %.1f bytes per reading (fitted to %zu samples after the first quarter)\n",
                    SlopePerReading(afterWarmUp, &Sample::resident), afterWarmUp.size());
        std::printf("  of it anonymous     %.1f bytes per reading\n", SlopePerReading(afterWarmUp, &Sample::anonymous));
        std::printf("heap in use slope     %.1f bytes per reading\n", SlopePerReading(afterWarmUp, &Sample::heap));
        std::printf("heap held slope       %.1f bytes per reading (in use or free)\n",
                    SlopePerReading(afterWarmUp, &Sample::held));
    }
    if (!samplesPath.isEmpty()) {
        QFile out(samplesPath);
        if (out.open(QIODevice::WriteOnly | QIODevice::Text)) {
            out.write("readings,resident,anonymous,heap,held\n");
            for (const Sample& s : samples)
                out.write(QByteArray::number(s.readings) + ',' + QByteArray::number(s.resident, 'f', 0) + ','
                          + QByteArray::number(s.anonymous, 'f', 0) + ',' + QByteArray::number(s.heap, 'f', 0) + ','
                          + QByteArray::number(s.held, 'f', 0) + '\n');
        }
    }
    return lines >= readings && ownOnly ? 0 : 1;
}
