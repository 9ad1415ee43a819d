// The program's end as it happens outside a test's event loop: the built program on an X
// server of the test's own (Xvfb), measuring the simulated instrument while another
// program holds its log locked, so every reading is held in memory. However it ends, the
// held readings must be in the unsaved-lines file; so must the events when the journal
// is held too.
#include "log/eventjournal.h"
#include "tools/simulator.h"

#include <QDir>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

// The reading numbers of a log's lines.
QList<int> Numbers(const QString& name)
{
    QFile file(name);
    QList<int> numbers;
    if (!file.open(QIODevice::ReadOnly))
        return numbers;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            numbers << line.left(line.indexOf('\t')).toInt();
    return numbers;
}

// The kinds of a journal's events, in order.
QStringList Kinds(const QString& name)
{
    QStringList kinds;
    for (const hmx::JournalEvent& event : hmx::ReadJournal(name))
        kinds << event.kind;
    return kinds;
}

// What a window manager sends when the user closes a window.
bool SendCloseRequest(const QByteArray& display, quint32 window)
{
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    const bool ok = !xcb_connection_has_error(connection);
    if (ok) {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return ok;
}

} // namespace

class TestEnding : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stopSignalWithTheUnsavedLinesBoxOpen_data();
    void stopSignalWithTheUnsavedLinesBoxOpen();
    void displayServerGoneKeepsHeldReadings();

private:
    // Starts Xvfb and the program, presses Connect, and locks the log (and the journal
    // with `journalToo`) once a few readings have been held back. False (with a message)
    // when a step failed.
    bool startMeasuringWithLockedLog(bool journalToo);
    QStringList windows(const QString& title);
    qsizetype measureQueries() const;
    QByteArray standardError();
    // Every reading taken is in the log or the unsaved-lines file, in order.
    void expectEveryReadingKept();
    // Every event is in the journal or, when it was locked, in the unsaved-events file.
    void expectEveryEventKept(bool journalLocked);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<hmx::sim::Simulator> m_sim;
    QProcess m_xvfb;
    QProcess m_program;
    QByteArray m_display;
    QString m_mainWindow;
    QByteArray m_standardError;
    int m_lock = -1;
    int m_journalLock = -1;
};

void TestEnding::init()
{
    for (const char* tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("needs Xvfb and xdotool");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sim = std::make_unique<hmx::sim::Simulator>();
}

void TestEnding::cleanup()
{
    for (QProcess* process : {&m_program, &m_xvfb}) {
        process->kill();
        process->waitForFinished(5000);
    }
    for (int* lock : {&m_lock, &m_journalLock}) {
        if (*lock >= 0)
            ::close(*lock);
        *lock = -1;
    }
    m_standardError.clear();
    m_sim.reset();
    m_dir.reset();
}

QStringList TestEnding::windows(const QString& title)
{
    QProcess search;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    search.setProcessEnvironment(env);
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--name"), title});
    search.waitForFinished(5000);
    return QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

qsizetype TestEnding::measureQueries() const
{
    qsizetype count = 0;
    for (const auto& frame : m_sim->receivedFrames())
        count += std::string(frame.begin(), frame.end()) == "01t?end";
    return count;
}

QByteArray TestEnding::standardError()
{
    m_standardError += m_program.readAllStandardError();
    return m_standardError;
}

bool TestEnding::startMeasuringWithLockedLog(bool journalToo)
{
    // -displayfd 1: Xvfb picks a free display and names it on its standard output.
    m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!QTest::qWaitFor([this] { return m_xvfb.canReadLine() || m_xvfb.waitForReadyRead(100); }, 20000))
        return false;
    m_display = ':' + m_xvfb.readLine().trimmed();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HMX700_PORTS"), QString::fromStdString(m_sim->devicePath()));
    m_program.setProcessEnvironment(env);
    m_program.setWorkingDirectory(m_dir->path());
    m_program.start(QStringLiteral(HMX700_PROGRAM), {});
    QProcess press;
    press.setProcessEnvironment(env);
    press.start(QStringLiteral(HMX700_SOURCE_DIR "/tools/press-connect.sh"), {QStringLiteral("30")});
    if (!press.waitForFinished(40000) || press.exitCode() != 0) {
        qWarning("%s", press.readAllStandardError().constData());
        return false;
    }
    const QString log = m_dir->filePath(QStringLiteral("jrt1.txt"));
    if (!QTest::qWaitFor([&] { return !Numbers(log).isEmpty(); }, 30000))
        return false;
    // Before any box shares its title.
    const QStringList shown = windows(QStringLiteral("^HMX-700$"));
    if (shown.size() != 1)
        return false;
    m_mainWindow = shown.first();
    // Held the way another program writing them would hold them: the journal first, so
    // the log's failure is an event it cannot take.
    if (journalToo) {
        m_journalLock = ::open(QFile::encodeName(m_dir->filePath(QStringLiteral("hmx700-events.txt"))).constData(), O_RDWR);
        if (m_journalLock < 0 || ::flock(m_journalLock, LOCK_EX) != 0)
            return false;
    }
    m_lock = ::open(QFile::encodeName(log).constData(), O_RDWR);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0)
        return false;
    const qsizetype locked = measureQueries();
    return QTest::qWaitFor([&] { return measureQueries() >= locked + 3; }, 30000);
}

void TestEnding::expectEveryReadingKept()
{
    const QStringList unsaved = QDir(m_dir->path()).entryList({QStringLiteral("jrt1-unsaved-*.txt")});
    QCOMPARE(unsaved.size(), 1);
    const QList<int> numbers =
        Numbers(m_dir->filePath(QStringLiteral("jrt1.txt"))) + Numbers(m_dir->filePath(unsaved.first()));
    QList<int> expected;
    for (int n = 1; n <= numbers.size(); ++n)
        expected << n;
    QCOMPARE(numbers, expected);
    // Each measure query answered before the end is a reading; only the one whose wait
    // the end cut short is not.
    QVERIFY2(numbers.size() >= measureQueries() - 1,
             qPrintable(QStringLiteral("%1 readings, %2 queries").arg(numbers.size()).arg(measureQueries())));
    // And the user is told where they are.
    QVERIFY(standardError().contains(unsaved.first().toLocal8Bit()));
}

void TestEnding::expectEveryEventKept(bool journalLocked)
{
    const QStringList unsaved = QDir(m_dir->path()).entryList({QStringLiteral("hmx700-events-unsaved-*.txt")});
    const QStringList written = Kinds(m_dir->filePath(QStringLiteral("hmx700-events.txt")));
    QCOMPARE(written.value(0), QStringLiteral("start"));
    if (!journalLocked) {
        // Nothing waited: no such file, not even an empty one.
        QCOMPARE(unsaved, QStringList());
        QCOMPARE(written.last(), QStringLiteral("stop"));
        return;
    }
    // The journal has the events up to its lock, the file (in the journal's format) the
    // rest: the log's failure first, the end last.
    QCOMPARE(unsaved.size(), 1);
    const QStringList kept = Kinds(m_dir->filePath(unsaved.first()));
    QVERIFY(!written.contains(QStringLiteral("log-failed")) && !written.contains(QStringLiteral("stop")));
    QCOMPARE(kept.value(0), QStringLiteral("log-failed"));
    QCOMPARE(kept.last(), QStringLiteral("stop"));
    QVERIFY2(standardError().contains(unsaved.first().toLocal8Bit()), standardError().constData());
}

void TestEnding::stopSignalWithTheUnsavedLinesBoxOpen_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("journalLocked");
    QTest::newRow("SIGTERM, the journal locked too") << int(SIGTERM) << true;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
}

void TestEnding::stopSignalWithTheUnsavedLinesBoxOpen()
{
    QFETCH(int, signal);
    QFETCH(bool, journalLocked);
    QVERIFY(startMeasuringWithLockedLog(journalLocked));
    const QStringList before = windows(QStringLiteral("^HMX-700$"));
    QVERIFY(before.contains(m_mainWindow));
    // The box saying where the held lines went opens (over the window, until answered).
    // A request that comes while the window is busy may go unheard: it is sent again.
    const auto boxOpen = [&] {
        const QStringList now = windows(QStringLiteral("^HMX-700$"));
        return std::any_of(now.begin(), now.end(), [&](const QString& w) { return !before.contains(w); });
    };
    // Generous: a sanitized build on a busy machine may take many seconds to answer.
    bool opened = false;
    const QDeadlineTimer deadline(60000);
    while (!opened && !deadline.hasExpired()) {
        QVERIFY(SendCloseRequest(m_display, m_mainWindow.toUInt()));
        opened = QTest::qWaitFor(boxOpen, 2000);
    }
    QVERIFY(opened);
    QCOMPARE(m_program.state(), QProcess::Running);

    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(m_program.processId()), signal);
    QVERIFY(m_program.waitForFinished(5000));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    expectEveryReadingKept();
    expectEveryEventKept(journalLocked);
}

void TestEnding::displayServerGoneKeepsHeldReadings()
{
    QVERIFY(startMeasuringWithLockedLog(true));
    m_xvfb.kill();
    QVERIFY(m_program.waitForFinished(10000));
    expectEveryReadingKept();
    expectEveryEventKept(true);
}

QTEST_GUILESS_MAIN(TestEnding)
#include "test_ending.moc"
