// Replies cut in pieces, late, or with noise beside them, end to end: the Poller and the
// log against the simulator, every logged reading compared with the simulator's journal
// of what it sent. Each row is a run of its own program, up to RowsAtOnce at a time, so
// the whole table takes about as long as a few rows.
#include "instrument/poller.h"
#include "link/seriallink.h"
#include "log/measurementlog.h"
#include "tools/simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using hmx::sim::Simulator;

namespace {

// Cycles before the trouble (so the instrument's usual reply time is known, as after a
// Connect), with it, and at most after it while readings come back.
constexpr int CyclesBefore = 3;
constexpr int CyclesWithTrouble = 20;
constexpr int CyclesAfterAtMost = 24;
constexpr int NoiseBursts = 5;
constexpr int RowsAtOnce = 6;

struct Trouble {
    int splitBytes = 0;
    int splitGap = 0;
    int delay = 0;
    int noiseBytes = 0;
};

std::size_t MeasureQueries(const Simulator& sim)
{
    std::size_t count = 0;
    for (const auto& frame : sim.receivedFrames())
        count += frame.size() == 7 && frame[2] == 't';
    return count;
}

void WaitForCycles(const Simulator& sim, std::size_t cycles)
{
    while (MeasureQueries(sim) < cycles)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

QByteArray JournalText(const std::vector<hmx::sim::SentReply>& journal)
{
    QByteArray text;
    for (const auto& reply : journal) {
        text += reply.command ? reply.command : '-';
        text += ' ' + QByteArray(reinterpret_cast<const char*>(reply.bytes.data()), qsizetype(reply.bytes.size())).toHex();
        text += reply.whole ? " whole\n" : " split\n";
    }
    return text;
}

bool WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One row in a program of its own: writes jrt1.txt, journal.txt (what the simulator
// sent), trouble.txt (the journal's length when the trouble began and ended) and
// rejected.txt in the current folder.
int RunRow(const Trouble& trouble, quint32 seed)
{
    Simulator sim;
    std::unique_ptr<hmx::SerialLink> link = hmx::SerialLink::Open(sim.devicePath()).link;
    if (!link)
        return 2;
    hmx::MeasurementLog log(QStringLiteral("jrt1.txt"));
    if (!log.create())
        return 3;
    hmx::Poller poller(log, std::move(link));
    poller.start();
    WaitForCycles(sim, CyclesBefore);

    const std::size_t troubleBegan = sim.journal().size();
    sim.setReplyDelay(std::chrono::milliseconds(trouble.delay));
    sim.setSplitReply(std::size_t(trouble.splitBytes), std::chrono::milliseconds(trouble.splitGap));
    std::atomic<bool> noisy {trouble.noiseBytes > 0};
    std::thread noise([&] {
        QRandomGenerator random(seed);
        const int span = CyclesWithTrouble * 500;
        std::vector<int> moments;
        for (int i = 0; i < NoiseBursts; ++i)
            moments.push_back(random.bounded(span));
        std::sort(moments.begin(), moments.end());
        int now = 0;
        for (int at : moments) {
            if (!noisy.load())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(at - now));
            now = at;
            sim.injectNoise(std::size_t(trouble.noiseBytes));
        }
    });
    WaitForCycles(sim, CyclesBefore + CyclesWithTrouble);
    noisy.store(false);
    noise.join();
    sim.setReplyDelay(std::chrono::milliseconds(0));
    sim.setSplitReply(0, std::chrono::milliseconds(0));
    const std::size_t troubleEnded = sim.journal().size();

    const std::int32_t readingsThen = poller.readingCount();
    for (int cycle = 1; cycle <= CyclesAfterAtMost && poller.readingCount() < readingsThen + 3; ++cycle)
        WaitForCycles(sim, std::size_t(CyclesBefore + CyclesWithTrouble + cycle));
    poller.stop();
    log.close();

    const bool written = WriteFile(QStringLiteral("journal.txt"), JournalText(sim.journal()))
        && WriteFile(QStringLiteral("trouble.txt"), QByteArray::number(qulonglong(troubleBegan)) + ' '
                         + QByteArray::number(qulonglong(troubleEnded)))
        && WriteFile(QStringLiteral("rejected.txt"), QByteArray::number(qulonglong(poller.rejectedCount())));
    return written ? 0 : 4;
}

struct JournalEntry {
    char command = 0;
    QByteArray bytes;
    bool whole = false;
};

QList<JournalEntry> ReadJournal(const QString& name)
{
    QList<JournalEntry> entries;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3)
            entries.append({fields[0].at(0), QByteArray::fromHex(fields[1]), fields[2] == "whole"});
    }
    return entries;
}

// The raw values of a log line in wire order (humidity, dew point, ambient), as bytes.
QByteArray WireBytes(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < 5)
        return {};
    QByteArray bytes;
    for (int field : {3, 2, 4}) {
        const auto value = quint16(qint16(fields[field].toInt()));
        bytes += char(value >> 8);
        bytes += char(value & 0xFF);
    }
    return bytes;
}

// The rows' programs, started in table order, at most RowsAtOnce running.
class RowRuns {
public:
    struct Run {
        QStringList arguments;
        std::unique_ptr<QTemporaryDir> dir;
        std::unique_ptr<QProcess> process;
    };

    void add(const QStringList& arguments) { m_runs.push_back({arguments, nullptr, nullptr}); }

    // Waits for row `index`, having started the rows up to RowsAtOnce after it.
    Run& finish(std::size_t index)
    {
        for (std::size_t i = index; i < m_runs.size() && i < index + RowsAtOnce; ++i)
            start(m_runs[i]);
        Run& run = m_runs[index];
        run.process->waitForFinished(180000);
        return run;
    }

private:
    void start(Run& run)
    {
        if (run.process)
            return;
        run.dir = std::make_unique<QTemporaryDir>();
        run.process = std::make_unique<QProcess>();
        run.process->setWorkingDirectory(run.dir->path());
        run.process->setProcessChannelMode(QProcess::MergedChannels);
        run.process->start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--row")} + run.arguments);
    }

    std::vector<Run> m_runs;
};

RowRuns& Runs()
{
    static RowRuns runs;
    return runs;
}

} // namespace

class TestReplies : public QObject {
    Q_OBJECT

private slots:
    void readingsAreWholeReplies_data();
    void readingsAreWholeReplies();
};

void TestReplies::readingsAreWholeReplies_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("everyCycleRead");
    QTest::addColumn<bool>("everyReplyAnswersItsCycle");
    int row = 0;
    auto add = [&row](const QString& name, const Trouble& t, bool everyCycleRead, bool answersItsCycle) {
        Runs().add({QString::number(t.splitBytes), QString::number(t.splitGap), QString::number(t.delay),
                    QString::number(t.noiseBytes), QString::number(row + 1)});
        QTest::newRow(qPrintable(name)) << row++ << everyCycleRead << answersItsCycle;
    };
    for (int delay : {0, 250, 450})
        add(QStringLiteral("delay %1").arg(delay), {0, 0, delay, 0}, true, true);
    for (int bytes = 1; bytes <= 12; ++bytes)
        add(QStringLiteral("noise %1").arg(bytes), {0, 0, 0, bytes}, false, true);
    // The rest of a reply comes a cycle or more later. Gaps of whole cycles are left out:
    // there the rest comes with the front of a later reply, as promptly as a reply, which
    // no one can tell from a whole reply; only the cycle's few milliseconds of overhead
    // kept them apart, and a busy machine's scheduling takes that margin away.
    for (int bytes = 1; bytes <= 5; ++bytes)
        for (int gap : {600, 800, 1100, 1600, 2250, 4750})
            add(QStringLiteral("split %1 %2").arg(bytes).arg(gap), {bytes, gap, 0, 0}, false, false);
}

void TestReplies::readingsAreWholeReplies()
{
    QFETCH(int, row);
    QFETCH(bool, everyCycleRead);
    QFETCH(bool, everyReplyAnswersItsCycle);
    RowRuns::Run& run = Runs().finish(std::size_t(row));
    QVERIFY2(run.process->exitStatus() == QProcess::NormalExit && run.process->exitCode() == 0,
             run.process->readAll().constData());
    const QDir dir(run.dir->path());

    const QList<JournalEntry> journal = ReadJournal(dir.filePath(QStringLiteral("journal.txt")));
    QFile troubleFile(dir.filePath(QStringLiteral("trouble.txt")));
    QVERIFY(troubleFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> trouble = troubleFile.readAll().split(' ');
    QCOMPARE(trouble.size(), 2);
    const qsizetype troubleEnded = trouble[1].toLongLong();
    QFile rejectedFile(dir.filePath(QStringLiteral("rejected.txt")));
    QVERIFY(rejectedFile.open(QIODevice::ReadOnly));
    const qsizetype rejected = rejectedFile.readAll().toLongLong();
    QFile logFile(dir.filePath(QStringLiteral("jrt1.txt")));
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = logFile.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    // Every line is one reply the simulator sent whole, in the order sent.
    qsizetype next = 0;
    qsizetype lastMatched = -1;
    for (const QByteArray& line : lines) {
        const QByteArray wire = WireBytes(line);
        while (next < journal.size()
               && !(journal[next].command == 't' && journal[next].whole && journal[next].bytes == wire))
            ++next;
        QVERIFY2(next < journal.size(), ("not a whole reply that was sent: " + line).constData());
        lastMatched = next++;
    }
    // Readings came back once the trouble was over.
    QVERIFY2(lastMatched >= troubleEnded, qPrintable(QStringLiteral("last reading from journal entry %1 of %2")
                                                        .arg(lastMatched).arg(troubleEnded)));

    qsizetype replies = 0;
    for (const JournalEntry& entry : journal)
        replies += entry.command == 't';
    // The cycle stopped in its wait sent a reply that was never read.
    const qsizetype accounted = lines.size() + rejected;
    if (everyCycleRead) {
        QCOMPARE(rejected, qsizetype(0));
        QVERIFY2(replies - lines.size() <= 1, qPrintable(QStringLiteral("%1 of %2").arg(lines.size()).arg(replies)));
    } else if (everyReplyAnswersItsCycle) {
        // Each cycle had a reply in its wait: it is a reading or counted as rejected.
        QVERIFY2(accounted == replies || accounted == replies - 1,
                 qPrintable(QStringLiteral("%1 readings + %2 rejected, %3 replies").arg(lines.size()).arg(rejected).arg(replies)));
    } else {
        // Pieces pile up behind each other: at least the first piece alone was rejected,
        // and nothing is counted twice.
        QVERIFY(rejected >= 1);
        QVERIFY(accounted <= replies);
    }
}

int main(int argc, char** argv)
{
    if (argc == 7 && QByteArray(argv[1]) == "--row") {
        QCoreApplication app(argc, argv);
        return RunRow({atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5])}, quint32(atoi(argv[6])));
    }
    QCoreApplication app(argc, argv);
    TestReplies test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_replies.moc"
