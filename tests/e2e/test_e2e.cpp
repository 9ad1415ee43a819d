// The main use end to end: the real window, offscreen, against simulated instruments
// on pseudo-terminals, found through HMX700_PORTS.
#include "instrument/poller.h"
#include "instrument/settings.h"
#include "link/seriallink.h"
#include "log/logfolderlock.h"
#include "tools/simulator.h"
#include "tools/mqttwatcher.h"
#include "tools/testbroker.h"
#include "limits/limitsettings.h"
#include "readings/lines.h"
#include "session/measuringsession.h"
#include "ui/alarmpanel.h"
#include "ui/chartinstruments.h"
#include "ui/derivedpanel.h"
#include "ui/fieldlook.h"
#include "ui/instruments.h"
#include "ui/instrumentsettings.h"
#include "ui/instrumentspage.h"
#include "ui/instrumenttile.h"
#include "ui/language.h"
#include "ui/limitsdialog.h"
#include "ui/statisticspanel.h"
#include "ui/mainwindow.h"
#include "ui/stopsignals.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using hmx::sim::Simulator;

namespace {

std::string FrameText(const std::vector<std::uint8_t>& frame)
{
    return std::string(frame.begin(), frame.end());
}

std::vector<std::string> Queries(const Simulator& sim)
{
    std::vector<std::string> result;
    for (const auto& frame : sim.receivedFrames())
        if (frame.size() == 7)
            result.push_back(FrameText(frame));
    return result;
}

// Whether the device opens, as it does once this program has closed its port (an open
// link holds it exclusively).
bool PortFree(const std::string& device)
{
    return hmx::SerialLink::Open(device).link != nullptr;
}

// A descriptor of this process on the device that the program's link opened (the only
// one in non-blocking mode; the simulator holds its own side blocking); -1 if none.
int LinkDescriptor(const std::string& device)
{
    QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const int fd = entry.toInt();
        if (QFile::symLinkTarget(fds.filePath(entry)) == QString::fromStdString(device)
            && (::fcntl(fd, F_GETFL) & O_NONBLOCK))
            return fd;
    }
    return -1;
}

std::vector<std::vector<std::uint8_t>> WriteFrames(const Simulator& sim)
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto& frame : sim.receivedFrames())
        if (frame.size() == 42)
            result.push_back(frame);
    return result;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Visible error reports whose text starts with prefix.
int ErrorBoxes(const QString& prefix)
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text().startsWith(prefix))
            ++count;
    return count;
}

// Holds jrt1.txt locked the way another program writing it would.
class LogLock {
public:
    LogLock() : m_fd(::open("jrt1.txt", O_RDWR | O_CREAT, 0644)) { ::flock(m_fd, LOCK_EX); }
    ~LogLock() { release(); }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

QStringList LogLines(const QString& name = QStringLiteral("jrt1.txt"))
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLocal8Bit(file.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The reading number of each log line, and what it must be: 1, 2, 3 ... without a gap.
QList<int> ReadingNumbers(const QStringList& lines)
{
    QList<int> numbers;
    for (const QString& line : lines)
        numbers << line.section(QLatin1Char('\t'), 0, 0).toInt();
    return numbers;
}

QList<int> NumbersFromOne(qsizetype count)
{
    QList<int> numbers;
    for (int n = 1; n <= count; ++n)
        numbers << n;
    return numbers;
}

// Accepts the identification message box as soon as it appears, remembering what it said.
class MessageBoxCatcher : public QObject {
public:
    QString title;
    QString text;
    int seen = 0;

    MessageBoxCatcher()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            // Error reports (critical boxes) are left for the tests to find.
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->icon() == QMessageBox::Critical)
                return;
            title = box->windowTitle();
            text = box->text();
            ++seen;
            box->accept();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectFindsTheThirdPortAndMeasures();
    void silentCycleShowsErrorAndKeepsTheRest();
    void saveWithScaledUnitSendsEncodingsAndConfirms();
    void malformedFieldStoresEarlierValuesAndSendsNothing();
    void saveBeforeConnectingIsNeverSent();
    void settingsReadWhileMeasuringNeverInterleaves();
    void lostInstrumentComesBack_data();
    void lostInstrumentComesBack();
    void lostForGoodCostsNothing();
    void anotherUnitBackIsNotMeasuredUnasked();
    void garbledRepliesAreNeverReadings();
    void closingMidRunKeepsEveryReading();
    void stopSignalKeepsEveryShownReading();
    void closingIsPrompt_data();
    void closingIsPrompt();
    void droppedReadingsAreToldAtOnce();
    void twoInstrumentsMeasuredAtOnce();
    void secondConnectKeepsFirstLog();
    void noInstrumentLeavesConnectEnabled();
    void lockedLogIsReportedOnceAndLosesNothing();
    void heldLinesAtCloseGoToUnsavedFile();
    void failedConnectCanBeRetried();
    void refusedBrokerIsShownAndMeasuringGoesOn();
    void secondCopyInTheFolderIsRefused();
    void addedInstrumentsRecordApartAndComeBackNextStart();
    void addingAMeasuredUnitNamesItsPort();

private:
    // Connects a window to the simulator, with two misbehaving ports before it.
    // False when the window did not start measuring.
    bool connectWithDecoys();
    void fillValidSettingsPage();
    // The Poller's counts, -1 when it is gone (a failure to report, not to crash on).
    std::int32_t readingCount() const { return m_form->poller() ? m_form->poller()->readingCount() : -1; }
    qint64 rejectedCount() const { return m_form->poller() ? qint64(m_form->poller()->rejectedCount()) : -1; }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
    std::unique_ptr<Simulator> m_silent;
    std::unique_ptr<Simulator> m_wrong;
    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<MessageBoxCatcher> m_catcher;
};

void TestEndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_silent = std::make_unique<Simulator>();
    m_silent->setSilent(true);
    m_wrong = std::make_unique<Simulator>();
    m_wrong->setModelName("HMX-70");
    m_sim = std::make_unique<Simulator>();
    const std::string ports = m_silent->devicePath() + ":" + m_wrong->devicePath() + ":" + m_sim->devicePath();
    qputenv("HMX700_PORTS", QByteArray::fromStdString(ports));
    m_form = std::make_unique<TForm1>();
    Form1 = m_form.get();
    m_catcher = std::make_unique<MessageBoxCatcher>();
}

void TestEndToEnd::cleanup()
{
    m_catcher.reset();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->close();
    if (m_form)
        m_form->Shutdown();
    Form1 = nullptr;
    m_form.reset();
    m_sim.reset();
    m_wrong.reset();
    m_silent.reset();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

bool TestEndToEnd::connectWithDecoys()
{
    m_form->Connect->click();
    return !m_form->Connect->isEnabled() && QTest::qWaitFor([this] { return m_form->poller() != nullptr; }, 10000);
}

void TestEndToEnd::fillValidSettingsPage()
{
    for (QLineEdit* edit : {m_form->Edit5, m_form->Edit16, m_form->Edit1, m_form->Edit2, m_form->Edit17,
                            m_form->Edit18, m_form->Edit3, m_form->Edit4})
        edit->setText(QStringLiteral("1"));
    m_form->Edit12->setText(QStringLiteral("24"));
}

void TestEndToEnd::connectFindsTheThirdPortAndMeasures()
{
    m_sim->setVersion(3, 14, 300);
    m_sim->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    QVERIFY(connectWithDecoys());

    QCOMPARE(m_catcher->seen, 1);
    QCOMPARE(m_catcher->text, QStringLiteral("HMX-700"));
    QCOMPARE(m_catcher->title, QStringLiteral("Identyfikator urzadzenia  :"));
    QCOMPARE(m_form->Label16->text(), QStringLiteral("KVT-10 wersja: 3 rewizja: 14 numer seyjny: 300"));
    QCOMPARE(m_form->Connect->text(), QStringLiteral("Pomiar trwa"));

    // The decoys were asked and refused; the instrument is the one that stays open.
    QVERIFY(!m_silent->receivedFrames().empty());
    QVERIFY(!m_wrong->receivedFrames().empty());

    QTRY_COMPARE_WITH_TIMEOUT(m_form->Series7->count(), std::size_t(3), 5000);
    QCOMPARE(m_form->Edit20->text(), QStringLiteral("-10.50"));
    QCOMPARE(m_form->Edit6->text(), QStringLiteral("45.00"));
    QCOMPARE(m_form->Edit14->text(), QStringLiteral("23.50"));
    QCOMPARE(m_form->Label35->text(), QStringLiteral("Poldni:0 godzin:0 sekund:0"));
    QCOMPARE(m_form->Series1->y(0), -10.5);
    QCOMPARE(m_form->Series6->y(0), 45.0);
    QCOMPARE(m_form->Series7->y(0), 23.5);
    QVERIFY(m_form->Series1->x(0) > 40000);  // a date of this century, not a bare time

    const QStringList lines = LogLines();
    QVERIFY(lines.size() >= 3);
    const QStringList fields = lines.first().split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 8);
    QCOMPARE(fields[0], QStringLiteral("1"));
    QCOMPARE(fields.mid(2), (QStringList{"-105", "450", "235", "-10.50", "45.00", "23.50"}));

    const std::vector<std::string> queries = Queries(*m_sim);
    QVERIFY(queries.size() >= 6);
    QCOMPARE(queries[0], std::string("01i?end"));
    QCOMPARE(queries[1], std::string("01v?end"));
    QCOMPARE(queries[2], std::string("01s?end"));
    for (std::size_t i = 3; i < queries.size(); ++i)
        QCOMPARE(queries[i], std::string("01t?end"));
    QCOMPARE(m_sim->strayByteCount(), std::size_t(0));
}

void TestEndToEnd::silentCycleShowsErrorAndKeepsTheRest()
{
    m_sim->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 2, 5000);

    m_sim->setSilent(true);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit20->text(), QStringLiteral("Error"), 5000);
    const std::int32_t counted = readingCount();
    const std::size_t points = m_form->Series1->count();
    QTest::qWait(1200);  // two more silent cycles
    QCOMPARE(m_form->Edit20->text(), QStringLiteral("Error"));
    QCOMPARE(m_form->Edit6->text(), QStringLiteral("45.00"));
    QCOMPARE(m_form->Edit14->text(), QStringLiteral("23.50"));
    QCOMPARE(readingCount(), counted);
    QCOMPARE(m_form->Series1->count(), points);
    QCOMPARE(LogLines().size(), qsizetype(counted));

    m_sim->setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit20->text(), QStringLiteral("-10.50"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines().size() > counted, 5000);
    const QStringList lines = LogLines();
    QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
}

void TestEndToEnd::saveWithScaledUnitSendsEncodingsAndConfirms()
{
    QVERIFY(connectWithDecoys());
    m_form->ComboBox1->setCurrentIndex(2);  // "gm-3"
    fillValidSettingsPage();
    m_form->Edit5->setText(QStringLiteral("250.5"));
    m_form->Edit16->setText(QStringLiteral("20.25"));
    m_form->Edit1->setText(QStringLiteral("2"));
    m_form->Edit2->setText(QStringLiteral("-1.5"));
    m_form->Edit17->setText(QStringLiteral("12.5"));
    m_form->ZapisUstawien->click();

    QTRY_COMPARE_WITH_TIMEOUT(m_form->Label9->text(), QStringLiteral("Zapisano!"), 5000);
    QVERIFY(m_form->poller() && !m_form->poller()->settingsWritePending());
    const auto writes = WriteFrames(*m_sim);
    QCOMPARE(writes.size(), std::size_t(1));
    const std::vector<std::uint8_t>& f = writes.front();
    QCOMPARE(FrameText({f.begin(), f.begin() + 3}), std::string("01m"));
    QCOMPARE(int(f[3]), 2 + 30);
    QCOMPARE(int(f[7]), 2);
    // Scaled values: (mantissa high, low, exponent) at record offsets 6, 9, 22, 25.
    const int expected[][4] = {{6, 0x00, 0xFA, 4}, {9, 0x00, 0xCA, 3}, {22, 0x07, 0xD0, 1}, {25, 0xFA, 0x24, 1}};
    for (const auto& e : expected) {
        QCOMPARE(int(f[e[0] + 3]), e[1]);
        QCOMPARE(int(f[e[0] + 4]), e[2]);
        QCOMPARE(int(f[e[0] + 5]), e[3]);
    }
    // Alarm 2 upper threshold in tenths: 125.
    QCOMPARE(int(f[12 + 3]), 0);
    QCOMPARE(int(f[12 + 4]), 125);
    QCOMPARE(FrameText({f.end() - 3, f.end()}), std::string("end"));
    QCOMPARE(m_sim->strayByteCount(), std::size_t(0));
}

void TestEndToEnd::malformedFieldStoresEarlierValuesAndSendsNothing()
{
    QVERIFY(connectWithDecoys());
    const hmx::SettingsValues before = m_form->settingsStore().values();
    QCOMPARE(before.UpperUnit, std::uint8_t(0));
    fillValidSettingsPage();
    m_form->Edit5->setText(QStringLiteral("12.5"));
    m_form->Edit16->setText(QStringLiteral("abc"));
    m_form->ZapisUstawien->click();

    // The error is reported, the program goes on.
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()
                    && box->text() == QStringLiteral("'abc' is not a valid floating point value."))
                    return true;
            return false;
        }(),
        3000);
    const hmx::SettingsValues after = m_form->settingsStore().values();
    QCOMPARE(after.Alarm1High, std::int16_t(125));
    QCOMPARE(after.Alarm1Low, before.Alarm1Low);
    QCOMPARE(after.Output1Min, before.Output1Min);
    QCOMPARE(after.CleaningInterval, before.CleaningInterval);
    QVERIFY(!m_form->settingsStore().writePending());
    QVERIFY(m_form->poller() && !m_form->poller()->settingsWritePending());
    QTest::qWait(1200);
    QVERIFY(WriteFrames(*m_sim).empty());
}

void TestEndToEnd::saveBeforeConnectingIsNeverSent()
{
    fillValidSettingsPage();
    m_form->ZapisUstawien->click();
    QVERIFY(m_form->settingsStore().writePending());
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 2, 5000);
    QVERIFY(WriteFrames(*m_sim).empty());
}

void TestEndToEnd::settingsReadWhileMeasuringNeverInterleaves()
{
    hmx::sim::SettingsRecord record = hmx::sim::DefaultSettingsRecord();
    record[34] = 0x00;
    record[35] = 0x30;  // cleaning every 48 hours
    m_sim->setSettingsRecord(record);
    QVERIFY(connectWithDecoys());
    QCOMPARE(m_form->Edit12->text(), QStringLiteral("48"));
    m_form->Label9->setText(QStringLiteral("-"));
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(170);
        m_form->Button2->click();
        // The read waits for the link on a worker; the button is off until it has reported.
        QVERIFY(!m_form->Button2->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_form->Button2->isEnabled(), 5000);
        QCOMPARE(m_form->Edit12->text(), QStringLiteral("48"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 3, 5000);
    QCOMPARE(m_sim->strayByteCount(), std::size_t(0));
    std::size_t settingsReads = 0;
    for (const std::string& query : Queries(*m_sim))
        settingsReads += query == "01s?end";
    QCOMPARE(settingsReads, std::size_t(6));
    // No read came back short, as one would if a measurement reply had cut in.
    QCOMPARE(m_form->Label9->text(), QStringLiteral("-"));
}

void TestEndToEnd::lostInstrumentComesBack_data()
{
    QTest::addColumn<bool>("samePath");
    QTest::newRow("replugged at the same link") << true;
    QTest::newRow("back at a port that appeared after the loss") << false;
}

void TestEndToEnd::lostInstrumentComesBack()
{
    QFETCH(bool, samePath);
    // The instrument is reached through its stable link; the silent decoy comes first.
    // In the second case it comes back on a port that appears after the loss.
    const std::string ports = m_silent->linkPath() + ":" + m_sim->linkPath();
    qputenv("HMX700_PORTS", QByteArray::fromStdString(ports));
    m_sim->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    m_silent->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    QVERIFY(connectWithDecoys());
    int readings = 0;
    QTime lastShown;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&] {
        ++readings;
        lastShown = QTime::currentTime();
    });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 2, 5000);
    m_sim->unplug();

    const QColor live = m_form->Edit6->palette().color(QPalette::Text);
    QCOMPARE(m_form->Label36->text(), QString());
    const QString searching = hmx::ByLanguage("Szukam\nurządzenia…", "Searching\nfor the\ninstrument…");
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Connect->text(), searching, 5000);
    QCOMPARE(m_form->Edit20->text(), QStringLiteral("Error"));
    // The last values stay, shown plainly as old: dimmed, with the time they were read.
    for (QLineEdit* field : {m_form->Edit6, m_form->Edit14})
        QVERIFY(field->palette().color(QPalette::Text) != live);
    // (The window read the clock for the last reading just before this test did.)
    const QString old = m_form->Label36->text();
    QVERIFY2(old.contains(hmx::LongTimeText(lastShown)) || old.contains(hmx::LongTimeText(lastShown.addSecs(-1))),
             qPrintable(old));
    QVERIFY(!m_form->Connect->isEnabled());
    m_form->ZapisUstawien->click();  // a save made while the instrument is away
    // Readings confirmed before the loss may still be on their way from the disk sync.
    QTest::qWait(1000);
    const int readingsWhenLost = readings;
    QTest::qWait(3000);
    QCOMPARE(readings, readingsWhenLost);
    QCOMPARE(m_catcher->seen, 1);  // no box while searching, only the identification at Connect

    std::unique_ptr<Simulator> moved;
    if (samePath) {
        m_sim->replug();
    } else {
        moved = std::make_unique<Simulator>();
        moved->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
        qputenv("HMX700_PORTS", QByteArray::fromStdString(ports + ":" + moved->devicePath()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Connect->text(), hmx::ByLanguage("Pomiar trwa", "Measuring"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(readings >= readingsWhenLost + 2, 5000);
    for (QLineEdit* field : {m_form->Edit6, m_form->Edit14})
        QCOMPARE(field->palette().color(QPalette::Text), live);
    QCOMPARE(m_form->Label36->text(), QString());
    // The save made during the loss went out once the instrument was back.
    Simulator& back = samePath ? *m_sim : *moved;
    QTRY_COMPARE_WITH_TIMEOUT(WriteFrames(back).size(), std::size_t(1), 5000);
    m_form->close();
    QCoreApplication::sendPostedEvents();

    // Every reading is a line, numbered on without a gap or a line for the outage.
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), qsizetype(readings));
    QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
    // Getting it back used the identify command and the version read (its serial number) alone.
    const std::vector<std::string> queries = Queries(back);
    const auto firstMeasure = std::find(queries.begin(), queries.end(), std::string("01t?end"));
    const auto resumed = samePath ? std::find(firstMeasure, queries.end(), std::string("01i?end")) : queries.begin();
    QVERIFY(resumed != queries.end());
    auto q = resumed;
    for (; q != queries.end() && *q != "01t?end"; ++q)
        QVERIFY2(*q == "01i?end" || *q == "01v?end", q->c_str());
    QCOMPARE(*std::prev(q), std::string("01v?end"));
    QCOMPARE(QDir().entryList({QStringLiteral("jrt1*")}), QStringList{QStringLiteral("jrt1.txt")});  // no new log

    // The journal tells of the loss and how long it lasted (at least the 3 s waited).
    QStringList outage;
    for (const QString& line : LogLines(QStringLiteral("hmx700-events.txt")))
        if (line.contains(QStringLiteral("\tinstrument-")))
            outage << line.section(u'\t', 1);
    QCOMPARE(outage.size(), 2);
    QVERIFY2(outage.at(0).startsWith(QStringLiteral("instrument-lost\tport=")), qPrintable(outage.at(0)));
    QVERIFY2(outage.at(1).startsWith(QStringLiteral("instrument-back\tport=")), qPrintable(outage.at(1)));
    QVERIFY(outage.at(1).section(QStringLiteral("lostSeconds="), 1).toDouble() >= 3.0);
}

void TestEndToEnd::lostForGoodCostsNothing()
{
    // Through the links: a freed terminal number may soon belong to another program's terminal.
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_silent->linkPath() + ":" + m_wrong->linkPath() + ":"
                                                      + m_sim->linkPath()));
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 1, 5000);
    m_sim->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit20->text(), QStringLiteral("Error"), 5000);
    // Ports that were there all along are another program's business from now on.
    m_silent->clearRecord();
    m_wrong->clearRecord();

    // The window keeps handling its events while the Poller searches.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(100);
    const double cpuBefore = CpuSeconds();
    QTest::qWait(10000);
    const double cpuUsed = CpuSeconds() - cpuBefore;
    // Under 5 % of one core, simulators included; a spinning search would take the core.
    QVERIFY2(cpuUsed < 0.5, qPrintable(QStringLiteral("CPU used: %1 s").arg(cpuUsed)));
    QVERIFY2(ticks >= 80, qPrintable(QStringLiteral("timer ticks: %1").arg(ticks)));
    QCOMPARE(m_form->Edit20->text(), QStringLiteral("Error"));
    QVERIFY(readingCount() >= 1);
    // Two whole looks for the instrument have passed them by.
    QCOMPARE(m_silent->receivedByteCount(), std::size_t(0));
    QCOMPARE(m_wrong->receivedByteCount(), std::size_t(0));
}

void TestEndToEnd::anotherUnitBackIsNotMeasuredUnasked()
{
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_sim->linkPath()));
    m_sim->setVersion(1, 0, 12345);
    QVERIFY(connectWithDecoys());
    int readings = 0;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&readings] { ++readings; });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 2, 5000);
    m_sim->unplug();
    const QString searching = hmx::ByLanguage("Szukam\nurządzenia…", "Searching for\nthe instrument…");
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Connect->text(), searching, 5000);

    // Another unit on the same port.
    m_sim->setVersion(1, 0, 999);
    m_sim->replug();
    QPointer<QMessageBox> box;
    QTRY_VERIFY_WITH_TIMEOUT((box = m_form->findChild<QMessageBox*>(QStringLiteral("otherInstrument"))) != nullptr, 15000);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QVERIFY2(box->text().contains(QStringLiteral("999")) && box->text().contains(QStringLiteral("12345"))
                 && box->text().contains(QString::fromStdString(m_sim->linkPath())),
             qPrintable(box->text()));
    const int readingsWhenFound = readings;
    QTest::qWait(1500);
    QCOMPARE(readings, readingsWhenFound);
    QCOMPARE(m_form->Connect->text(), searching);
    QCOMPARE(LogLines().size(), qsizetype(readingsWhenFound));

    // Switching is a new Connect on that port: the first log kept, numbering from 1.
    const QStringList firstRun = LogLines();
    auto* switchButton = box->findChild<QPushButton*>(QStringLiteral("switchInstrument"));
    QVERIFY(switchButton);
    switchButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Connect->text(), hmx::ByLanguage("Pomiar trwa", "Measuring"), 10000);
    QCOMPARE(m_catcher->seen, 2);  // the identification, as at every Connect
    QVERIFY2(m_form->Label16->text().endsWith(QStringLiteral("999")), qPrintable(m_form->Label16->text()));
    QTRY_VERIFY_WITH_TIMEOUT(LogLines().size() >= 1, 5000);
    QCOMPARE(LogLines().first().section(QLatin1Char('\t'), 0, 0), QStringLiteral("1"));
    const QStringList kept = QDir().entryList({QStringLiteral("jrt1-*.txt")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(LogLines(kept.first()), firstRun);
}

void TestEndToEnd::garbledRepliesAreNeverReadings()
{
    m_sim->setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    QVERIFY(connectWithDecoys());
    int readings = 0;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&readings] { ++readings; });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 2, 5000);

    // A noisy line, then replies cut across the end of the cycle.
    m_sim->injectNoise(700);
    QTRY_VERIFY_WITH_TIMEOUT(rejectedCount() >= 1, 5000);
    const qint64 afterNoise = rejectedCount();
    m_sim->setSplitReply(3, std::chrono::milliseconds(600));
    QTRY_VERIFY_WITH_TIMEOUT(rejectedCount() >= afterNoise + 3, 15000);
    const int readingsBefore = readings;
    m_sim->setSplitReply(0, std::chrono::milliseconds(0));
    QTRY_VERIFY_WITH_TIMEOUT(readings >= readingsBefore + 2, 10000);
    QVERIFY2(m_form->Label36->text().contains(QString::number(rejectedCount())),
             qPrintable(m_form->Label36->text()));
    m_form->close();
    QCoreApplication::sendPostedEvents();

    // Every line and every point is the instrument's reading, nothing else.
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), qsizetype(readings));
    for (const QString& line : lines)
        QCOMPARE(line.section(QLatin1Char('\t'), 2), QStringLiteral("-105\t450\t235\t-10.50\t45.00\t23.50"));
    QCOMPARE(m_form->Series1->count(), std::size_t(readings));
    for (std::size_t i = 0; i < m_form->Series1->count(); ++i) {
        QCOMPARE(m_form->Series1->y(i), -10.5);
        QCOMPARE(m_form->Series6->y(i), 45.0);
    }
}

void TestEndToEnd::closingMidRunKeepsEveryReading()
{
    QVERIFY(connectWithDecoys());
    int readings = 0;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&readings] { ++readings; });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 3, 5000);
    m_form->close();
    QVERIFY(m_form->poller() == nullptr);
    // Readings handed over before the Poller stopped are still queued for the window.
    QCoreApplication::sendPostedEvents();
    const int emitted = readings;
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), qsizetype(emitted));
    QCOMPARE(lines.last().section(QLatin1Char('\t'), 0, 0), QString::number(emitted));
    QVERIFY(PortFree(m_sim->devicePath()));
}

void TestEndToEnd::stopSignalKeepsEveryShownReading()
{
    hmx::CloseOnStopSignals(*m_form);
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Series1->count() >= 3, 5000);
    ::raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->poller() == nullptr, 5000);
    QCoreApplication::sendPostedEvents();
    const std::size_t shown = m_form->Series1->count();
    const QStringList lines = LogLines();
    QVERIFY(lines.size() >= qsizetype(shown));
    QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
    QVERIFY(PortFree(m_sim->devicePath()));
}

void TestEndToEnd::closingIsPrompt_data()
{
    QTest::addColumn<bool>("scanning");
    QTest::newRow("measuring on a stalled port") << false;
    QTest::newRow("scan under way") << true;
}

void TestEndToEnd::closingIsPrompt()
{
    QFETCH(bool, scanning);
    if (scanning) {
        // Three ports that open and stay silent: a scan of several seconds.
        m_sim->setSilent(true);
        m_form->Connect->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_form->Connect->text().contains(QStringLiteral("pts")), 5000);
        QTest::qWait(300);
    } else {
        QVERIFY(connectWithDecoys());
        QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 1, 5000);
        // Nobody reads the line any more and it is full: every send now stalls.
        m_sim->setStalled(true);
        const int port = LinkDescriptor(m_sim->devicePath());
        QVERIFY(port >= 0);
        const std::vector<char> junk(4096, 'x');
        for (int refused = 0; refused < 3;) {
            if (::write(port, junk.data(), junk.size()) > 0)
                refused = 0;
            else
                ++refused, QTest::qWait(20);
        }
    }
    if (!scanning)
        QTest::qWait(700);  // the Poller is inside a stalled send now
    QElapsedTimer timer;
    timer.start();
    m_form->close();
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_form->poller() == nullptr);
    QVERIFY(PortFree(m_sim->devicePath()));
    // Nothing goes on behind the closed window.
    const std::size_t frames = m_silent->receivedFrames().size() + m_wrong->receivedFrames().size()
        + m_sim->receivedFrames().size();
    QTest::qWait(600);
    QCOMPARE(m_silent->receivedFrames().size() + m_wrong->receivedFrames().size() + m_sim->receivedFrames().size(),
             frames);
}

void TestEndToEnd::droppedReadingsAreToldAtOnce()
{
    // A Poller of its own, with a log that may keep only two lines back.
    std::unique_ptr<hmx::SerialLink> link = hmx::SerialLink::Open(m_sim->devicePath()).link;
    QVERIFY(link);
    hmx::MeasurementLog log(QStringLiteral("jrt1.txt"));
    QVERIFY(log.create());
    log.setPendingLimit(2);
    LogLock lock;
    hmx::Poller poller(log, std::move(link));
    // Counted on the window thread, where the window hears of it too.
    QList<quint64> dropped;
    int failed = 0;
    connect(&poller, &hmx::Poller::linesDropped, this, [&dropped](quint64 total) { dropped << total; });
    connect(&poller, &hmx::Poller::logFailed, this, [&failed] { ++failed; });
    // However the test ends, nothing may arrive after the counters are gone.
    const auto flush = qScopeGuard([&] {
        poller.stop();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    });
    poller.start();
    // The third reading that cannot be written pushes the first out: told at once,
    // though the failure itself was reported only once, long before.
    QTRY_VERIFY_WITH_TIMEOUT(!dropped.isEmpty(), 5000);
    QCOMPARE(dropped.first(), quint64(1));
    QCOMPARE(failed, 1);
}

void TestEndToEnd::twoInstrumentsMeasuredAtOnce()
{
    // Two units measured at once in one process, each by a Poller with its own link and
    // log; the second is unplugged and comes back while the first goes on.
    Simulator first;
    Simulator second;
    first.setVersion(1, 0, 111);
    first.setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    second.setVersion(1, 0, 222);
    second.setMeasurement(hmx::sim::MeasurementTenths{600, 52, 211});
    qputenv("HMX700_PORTS", QByteArray::fromStdString(first.linkPath() + ":" + second.linkPath()));
    std::unique_ptr<hmx::SerialLink> firstLink = hmx::SerialLink::Open(first.linkPath()).link;
    std::unique_ptr<hmx::SerialLink> secondLink = hmx::SerialLink::Open(second.linkPath()).link;
    QVERIFY(firstLink && secondLink);
    hmx::MeasurementLog firstLog(QStringLiteral("first.txt"));
    hmx::MeasurementLog secondLog(QStringLiteral("second.txt"));
    QVERIFY(firstLog.create() && secondLog.create());
    hmx::Poller firstPoller(firstLog, std::move(firstLink), 111);
    hmx::Poller secondPoller(secondLog, std::move(secondLink), 222);
    int lost = 0, back = 0, others = 0;
    connect(&secondPoller, &hmx::Poller::instrumentLost, this, [&lost] { ++lost; });
    connect(&secondPoller, &hmx::Poller::instrumentBack, this, [&back] { ++back; });
    for (hmx::Poller* poller : {&firstPoller, &secondPoller})
        connect(poller, &hmx::Poller::otherInstrumentFound, this, [&others] { ++others; });
    const auto stop = qScopeGuard([&] {
        firstPoller.stop();
        secondPoller.stop();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    });
    firstPoller.start();
    secondPoller.start();
    QTRY_VERIFY_WITH_TIMEOUT(firstPoller.readingCount() >= 4 && secondPoller.readingCount() >= 4, 15000);

    second.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 5000);
    const std::int32_t secondWhenLost = secondPoller.readingCount();
    const std::int32_t firstWhenLost = firstPoller.readingCount();
    QTRY_VERIFY_WITH_TIMEOUT(firstPoller.readingCount() >= firstWhenLost + 4, 10000);
    QCOMPARE(secondPoller.readingCount(), secondWhenLost);
    second.replug();
    QTRY_COMPARE_WITH_TIMEOUT(back, 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(secondPoller.readingCount() >= secondWhenLost + 3, 10000);
    firstPoller.stop();
    secondPoller.stop();
    QCOMPARE(lost, 1);
    QCOMPARE(others, 0);

    // Each log holds its own unit's readings alone, every one, numbered without a gap.
    const struct {
        hmx::Poller& poller;
        QString file;
        QString values;
    } runs[] = {{firstPoller, QStringLiteral("first.txt"), QStringLiteral("-105\t450\t235\t-10.50\t45.00\t23.50")},
                {secondPoller, QStringLiteral("second.txt"), QStringLiteral("52\t600\t211\t5.20\t60.00\t21.10")}};
    for (const auto& run : runs) {
        const QStringList lines = LogLines(run.file);
        QCOMPARE(lines.size(), qsizetype(run.poller.readingCount()));
        QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
        for (const QString& line : lines)
            QCOMPARE(line.section(QLatin1Char('\t'), 2), run.values);
    }
    // The second's search for its unit never touched the first's port.
    for (const std::string& query : Queries(first))
        QCOMPARE(query, std::string("01t?end"));
    QCOMPARE(first.strayByteCount(), std::size_t(0));
}

void TestEndToEnd::secondConnectKeepsFirstLog()
{
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 2, 5000);
    m_form->close();
    QFile first(QStringLiteral("jrt1.txt"));
    QVERIFY(first.open(QIODevice::ReadOnly));
    const QByteArray firstRun = first.readAll();
    const QDateTime modified = QFileInfo(first).lastModified();
    first.close();
    QVERIFY(!firstRun.isEmpty());

    m_form = std::make_unique<TForm1>();
    Form1 = m_form.get();
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 1, 5000);
    QFile kept(QStringLiteral("jrt1-") + modified.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) + QStringLiteral(".txt"));
    QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(kept.fileName()));
    QCOMPARE(kept.readAll(), firstRun);
    QCOMPARE(LogLines().first().section(QLatin1Char('\t'), 0, 0), QStringLiteral("1"));
}

void TestEndToEnd::noInstrumentLeavesConnectEnabled()
{
    m_sim->setSilent(true);
    m_form->Connect->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Connect->isEnabled(), 10000);
    QCOMPARE(m_catcher->seen, 0);
    QVERIFY(m_form->Connect->isEnabled());
    QCOMPARE(m_form->Connect->text(), QStringLiteral("Połącz"));
    QCOMPARE(m_form->Label9->text(), QStringLiteral("Urządzenie nie odpowiada !"));
    QVERIFY(m_form->poller() == nullptr);
    for (const Simulator* sim : {m_silent.get(), m_wrong.get(), m_sim.get()})
        QVERIFY(PortFree(sim->devicePath()));
    QVERIFY(!QFile::exists(QStringLiteral("jrt1.txt")));
    // Every port was tried twice, once in each pass over the numbers.
    QCOMPARE(Queries(*m_sim).size(), std::size_t(2));
    QCOMPARE(Queries(*m_silent).size(), std::size_t(2));
}

void TestEndToEnd::lockedLogIsReportedOnceAndLosesNothing()
{
    QVERIFY(connectWithDecoys());
    int readings = 0;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&readings] { ++readings; });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 1, 5000);

    const QString cannot = hmx::ByLanguage("Nie można", "Cannot");
    auto lock = std::make_unique<LogLock>();
    QTRY_COMPARE_WITH_TIMEOUT(ErrorBoxes(cannot), 1, 5000);
    const int readingsWhenLocked = readings;
    // Measuring and plotting go on; the message is not repeated every cycle, and the
    // measurement page says the log is not being written.
    QTRY_VERIFY_WITH_TIMEOUT(readings >= readingsWhenLocked + 3, 5000);
    QCOMPARE(ErrorBoxes(cannot), 1);
    QCOMPARE(m_form->Series1->count(), std::size_t(readings));
    QVERIFY(m_form->Label36->text().contains(QStringLiteral("jrt1.txt")));

    lock->release();
    const int readingsWhenReleased = readings;
    QTRY_VERIFY_WITH_TIMEOUT(readings >= readingsWhenReleased + 2, 5000);
    QCOMPARE(m_form->Label36->text(), QString());
    m_form->close();
    QCoreApplication::sendPostedEvents();
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), qsizetype(readings));
    QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
}

void TestEndToEnd::heldLinesAtCloseGoToUnsavedFile()
{
    QVERIFY(connectWithDecoys());
    int readings = 0;
    connect(m_form->poller(), &hmx::Poller::readingArrived, this, [&readings] { ++readings; });
    QTRY_VERIFY_WITH_TIMEOUT(readings >= 1, 5000);
    LogLock lock;
    QTRY_VERIFY_WITH_TIMEOUT(ErrorBoxes(hmx::ByLanguage("Nie można", "Cannot")) == 1, 5000);
    const int readingsWhenLocked = readings;
    QTRY_VERIFY_WITH_TIMEOUT(readings >= readingsWhenLocked + 2, 5000);

    // The catcher answers the box that says where the lines went.
    m_form->close();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_catcher->seen, 2);
    const QStringList unsaved = QDir().entryList({QStringLiteral("jrt1-unsaved-*.txt")});
    QCOMPARE(unsaved.size(), 1);
    QVERIFY2(m_catcher->text.contains(unsaved.first()), qPrintable(m_catcher->text));
    // The log and the unsaved file together hold every reading, in order.
    const QStringList lines = LogLines() + LogLines(unsaved.first());
    QCOMPARE(lines.size(), qsizetype(readings));
    QCOMPARE(ReadingNumbers(lines), NumbersFromOne(lines.size()));
}

void TestEndToEnd::failedConnectCanBeRetried()
{
    // jrt1.txt cannot be created: a folder stands in its way.
    QVERIFY(QDir().mkdir(QStringLiteral("jrt1.txt")));
    m_form->Connect->click();
    const QString cannot = hmx::ByLanguage("Nie można utworzyć jrt1.txt", "Cannot create jrt1.txt");
    QTRY_COMPARE_WITH_TIMEOUT(ErrorBoxes(cannot), 1, 10000);
    QCOMPARE(m_catcher->seen, 1);
    QVERIFY(m_form->poller() == nullptr);
    QTRY_VERIFY(m_form->Connect->isEnabled());
    QCOMPARE(m_form->Connect->text(), hmx::ByLanguage("Połącz", "Connect"));
    QVERIFY(PortFree(m_sim->devicePath()));
    QTest::qWait(700);
    std::size_t measures = 0;
    for (const std::string& query : Queries(*m_sim))
        measures += query == "01t?end";
    QCOMPARE(measures, std::size_t(0));

    // Mended, a second Connect measures.
    QVERIFY(QDir().rmdir(QStringLiteral("jrt1.txt")));
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(LogLines().size() >= 1, 5000);
}

// Publishing set in the Preferences dialog, to a broker that refuses the account (no
// password in the key store): the status line says so and why, no box appears, measuring
// and logging go on, and every reading waits in the queue beside the log.
void TestEndToEnd::refusedBrokerIsShownAndMeasuringGoesOn()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
    const auto forget = qScopeGuard([] { QSettings().remove(QStringLiteral("Publishing")); });
    QProcess passwd;
    passwd.start(QStringLiteral("mosquitto_passwd"), {"-c", "-b", "passwords", "plant", "right horse"});
    QVERIFY(passwd.waitForFinished() && passwd.exitCode() == 0);
    hmx::sim::TestBroker broker(m_dir->path());
    broker.setExtraConfig(QStringLiteral("password_file %1/passwords").arg(m_dir->path()));
    QVERIFY2(broker.start(), qPrintable(broker.log()));

    m_form->ShowPreferences();
    auto* dialog = m_form->findChild<QDialog*>(QStringLiteral("preferences"));
    QVERIFY(dialog);
    dialog->findChild<QCheckBox*>(QStringLiteral("enabled"))->setChecked(true);
    dialog->findChild<QLineEdit*>(QStringLiteral("host"))->setText(QStringLiteral("127.0.0.1"));
    dialog->findChild<QSpinBox*>(QStringLiteral("port"))->setValue(broker.port());
    dialog->findChild<QLineEdit*>(QStringLiteral("user"))->setText(QStringLiteral("plant"));
    dialog->accept();
    QCOMPARE(QSettings().value(QStringLiteral("Publishing/port")).toInt(), broker.port());

    QVERIFY(connectWithDecoys());
    const QString refused = ByLanguage("MQTT: brak połączenia z 127.0.0.1:%1 (", "MQTT: cannot reach 127.0.0.1:%1 (")
                                .arg(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Label36->text().contains(refused), 15000);
    QVERIFY2(m_form->Label36->text().contains(QStringLiteral("not authorised")), qPrintable(m_form->Label36->text()));
    QTRY_VERIFY_WITH_TIMEOUT(readingCount() >= 4, 10000);
    QCOMPARE(ErrorBoxes(QString()), 0);
    m_form->Shutdown();
    QFile queue(QStringLiteral("jrt1.queue"));
    QVERIFY(queue.open(QIODevice::ReadOnly));
    // Beside the readings, the journal's events wait there too.
    qsizetype readings = 0;
    for (const QByteArray& line : queue.readAll().split('\n'))
        readings += line.left(line.indexOf(' ')).endsWith("/reading");
    QCOMPARE(readings, LogLines().size());
}

void TestEndToEnd::secondCopyInTheFolderIsRefused()
{
    // The first copy: a program of its own that holds the folder's log, as a measuring
    // copy does, and whose live log is there.
    QProcess first;
    first.setWorkingDirectory(m_dir->path());
    first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-log-lock")});
    QVERIFY(first.waitForReadyRead(10000));
    QCOMPARE(first.readLine().trimmed(), QByteArray("held"));
    const QByteArray firstLog("1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n");
    QFile live(QStringLiteral("jrt1.txt"));
    QVERIFY(live.open(QIODevice::WriteOnly) && live.write(firstLog) == firstLog.size());
    live.close();
    const QStringList filesBefore = QDir().entryList(QDir::Files);

    m_form->Connect->click();
    const QString folder = QDir::toNativeSeparators(m_dir->path());
    QTRY_COMPARE_WITH_TIMEOUT(ErrorBoxes(hmx::ByLanguage("W folderze " + folder, "Another copy")), 1, 5000);
    bool named = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            named = named || (box->text().contains(folder) && box->text().contains(QString::number(first.processId())));
    QVERIFY(named);
    QVERIFY(m_form->Connect->isEnabled());
    QCOMPARE(m_form->Connect->text(), hmx::ByLanguage("Połącz", "Connect"));
    // Nothing was scanned, renamed or created.
    QCOMPARE(m_sim->receivedByteCount(), std::size_t(0));
    QCOMPARE(QDir().entryList(QDir::Files), filesBefore);
    QVERIFY(live.open(QIODevice::ReadOnly));
    QCOMPARE(live.readAll(), firstLog);
    live.close();

    // The first copy dies without a word: the system lets go of its lock.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(connectWithDecoys());
    QTRY_VERIFY_WITH_TIMEOUT(LogLines().size() >= 1, 5000);
    QCOMPARE(QDir().entryList({QStringLiteral("jrt1-*.txt")}).size(), 1);  // the first log, kept
}

namespace {

// The tile of an instrument by its serial number on the overview page; nullptr: none.
hmx::InstrumentTile* TileOf(const TForm1& form, quint16 serialNumber)
{
    if (!form.instruments()->page())
        return nullptr;
    for (hmx::InstrumentTile* tile : form.instruments()->page()->tiles())
        if (tile->view().serialNumber == serialNumber)
            return tile;
    return nullptr;
}

hmx::InstrumentState StateOf(const TForm1& form, quint16 serialNumber)
{
    const hmx::InstrumentTile* tile = TileOf(form, serialNumber);
    return tile ? tile->view().state : hmx::InstrumentState::NotMeasuring;
}

bool AllMeasuring(const TForm1& form, int instruments)
{
    if (form.instruments()->count() != instruments)
        return false;
    for (int i = 0; i < instruments; ++i)
        if (!form.instruments()->session(i)->poller())
            return false;
    return true;
}

QString FileText(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A report's text as pdftotext reads it, its lines' runs of spaces made one.
QString ReportText(const QString& pdf)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!text.waitForFinished(30000))
        return QStringLiteral("(pdftotext failed)");
    return QString::fromUtf8(text.readAllStandardOutput()).replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
}

// The minimum of a statistics row, by its line's title.
std::optional<double> MinimumOf(const hmx::readings::StatisticsTable& table, const QString& title)
{
    const qsizetype column = table.header.indexOf(QStringLiteral("Minimum"));
    for (const QStringList& row : table.rows) {
        bool number = false;
        const double value = QLocale().toDouble(row.value(column), &number);
        if (row.value(0) == title && number)
            return value;
    }
    return std::nullopt;
}

} // namespace

void TestEndToEnd::addedInstrumentsRecordApartAndComeBackNextStart()
{
    // What this test keeps for the next start must not reach another test's window.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
    const auto forget = qScopeGuard([] {
        const std::unique_ptr<QSettings> stored = hmx::ProgramSettings();
        stored->remove(QStringLiteral("lastInstruments"));
        stored->remove(QStringLiteral("instruments"));
        QSettings().remove(QStringLiteral("Publishing"));
    });
    // Published under a base topic of the user's: the first keeps it, the others add their
    // serial numbers, all over one connection.
    hmx::sim::TestBroker broker(m_dir->path());
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    hmx::sim::MqttWatcher watcher(broker.port(), QStringLiteral("site/#"), QStringLiteral("watcher-window"));
    {
        hmx::PublishSettings publish;
        publish.enabled = true;
        publish.host = QStringLiteral("127.0.0.1");
        publish.port = broker.port();
        publish.baseTopic = QStringLiteral("site/hall");
        QSettings stored;
        hmx::SavePublishSettings(publish, stored);
    }
    // Three units, each with readings of its own, so a line in the wrong log shows.
    const struct {
        quint16 serial;
        hmx::sim::MeasurementTenths tenths;
        QString values;
    } units[] = {{301, {450, -105, 235}, QStringLiteral("-105\t450\t235\t-10.50\t45.00\t23.50")},
                 {302, {600, 52, 211}, QStringLiteral("52\t600\t211\t5.20\t60.00\t21.10")},
                 {303, {550, 10, 220}, QStringLiteral("10\t550\t220\t1.00\t55.00\t22.00")}};
    Simulator sims[3];
    std::string ports;
    for (int i = 0; i < 3; ++i) {
        sims[i].setVersion(1, 0, units[i].serial);
        sims[i].setMeasurement(units[i].tenths);
        ports += (i ? ":" : "") + sims[i].linkPath();
    }
    qputenv("HMX700_PORTS", QByteArray::fromStdString(ports));
    // The third has a name, a humidity alarm below its readings and derived quantities of
    // its own, kept before it is added.
    hmx::DerivedChoice thirdDerived;
    thirdDerived.shown = {hmx::humidity::Quantity::AbsoluteHumidity};
    {
        const std::unique_ptr<QSettings> stored = hmx::ProgramSettings();
        hmx::SaveInstrumentName(*stored, 303, QStringLiteral("Magazyn A"));
        hmx::AlarmPreferences alarm;
        alarm.limits[hmx::limits::QuantityId::Humidity][hmx::limits::Bound::AlarmHigh] = 50.0;
        hmx::SaveInstrumentLimits(*stored, 303, alarm);
        hmx::SaveInstrumentDerived(*stored, 303, thirdDerived);
    }

    QVERIFY(!m_form->instruments()->page());
    m_form->Connect->click();
    QTRY_VERIFY_WITH_TIMEOUT(AllMeasuring(*m_form, 1), 30000);
    QCOMPARE(m_form->instruments()->session(0)->serialNumber(), quint16(301));
    const int tabs = m_form->PageControl1->count();
    auto* add = m_form->findChild<QPushButton*>(QStringLiteral("addInstrumentButton"));
    QVERIFY(add && add->isEnabled());
    add->click();
    QVERIFY(!add->isEnabled());  // searching
    QTRY_VERIFY_WITH_TIMEOUT(AllMeasuring(*m_form, 3), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(add->isEnabled(), 30000);

    // The overview appears with the second instrument: a tile each, the first included.
    QCOMPARE(m_form->PageControl1->count(), tabs + 1);
    QVERIFY(m_form->PageControl1->isTabVisible(tabs));
    QCOMPARE(m_form->instruments()->page()->tiles().size(), std::size_t(3));
    for (const auto& unit : units)
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(*m_form, unit.serial), hmx::InstrumentState::Measuring, 30000);
    QCOMPARE(TileOf(*m_form, 303)->view().name, QStringLiteral("Magazyn A"));
    QTRY_COMPARE_WITH_TIMEOUT(TileOf(*m_form, 302)->view().humidity, QStringLiteral("60.00"), 30000);
    // Its alarm reaches the window's title, by its name, and its tile's colour.
    QTRY_VERIFY_WITH_TIMEOUT(m_form->windowTitle().startsWith(QStringLiteral("⚠"))
                                 && m_form->windowTitle().contains(QStringLiteral("Magazyn A")), 30000);
    QCOMPARE(TileOf(*m_form, 303)->view().level, hmx::limits::Level::Alarm);
    QCOMPARE(TileOf(*m_form, 302)->view().level, hmx::limits::Level::None);
    for (const QString& base : {QStringLiteral("site/hall"), QStringLiteral("site/hall/302"), QStringLiteral("site/hall/303")})
        QTRY_VERIFY2_WITH_TIMEOUT(watcher.payloads(base + "/reading").size() >= 2, qPrintable(base), 30000);
    QCOMPARE(broker.clients(), QStringList{QStringLiteral("hmx700-301")});

    // Another instrument's lines beside the shown one's on the chart, named in its CSV.
    hmx::ChartInstruments* onChart = m_form->instruments()->chart();
    QVERIFY(onChart->menuAction()->isVisible() && m_form->Chart1->menuActions().contains(onChart->menuAction()));
    QVERIFY(!onChart->entry(0)->isEnabled() && onChart->entry(0)->isChecked());
    const int seriesBefore = m_form->Chart1->seriesCount();
    onChart->entry(2)->setChecked(true);
    QCOMPARE(m_form->Chart1->seriesCount(), seriesBefore + 3);
    QVERIFY(onChart->line(2, 1)->data() == m_form->instruments()->lines(2)->line(hmx::humidity::Quantity::RelativeHumidity));
    QVERIFY(onChart->line(2, 1)->color() != m_form->Series6->color());
    const QString csv = m_dir->filePath(QStringLiteral("chart.csv"));
    QVERIFY(m_form->Chart1->exportCsv(csv));
    const QString header = FileText(csv).section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(header.contains(QStringLiteral("%Rh – Magazyn A")) && header.contains(QStringLiteral("%Rh – HMX-700")),
             qPrintable(header));
    // The statistics and the report cover it too, each line from its own readings, each
    // instrument with its own facts and log.
    m_form->statistics()->setShown(true);
    QTRY_VERIFY_WITH_TIMEOUT(MinimumOf(m_form->statistics()->shownTable(), QStringLiteral("%Rh – Magazyn A")) == 55.0, 30000);
    QCOMPARE(MinimumOf(m_form->statistics()->shownTable(), QStringLiteral("%Rh – HMX-700 nr 301")), 45.0);
    m_form->statistics()->setShown(false);
    QVERIFY(m_form->writeReport(m_dir->filePath(QStringLiteral("two.pdf"))));
    const QString two = ReportText(m_dir->filePath(QStringLiteral("two.pdf")));
    for (const QString& fact : {QStringLiteral("Numer seryjny – HMX-700 nr 301 301"), QStringLiteral("Numer seryjny – Magazyn A 303"),
                                QStringLiteral("Plik dziennika – Magazyn A")})
        QVERIFY2(two.contains(fact), qPrintable(fact + QStringLiteral(" in:\n") + two));
    QVERIFY2(two.contains(QDir::toNativeSeparators(QStringLiteral("303/jrt1.txt"))), qPrintable(two));
    onChart->entry(2)->setChecked(false);
    QCOMPARE(m_form->Chart1->seriesCount(), seriesBefore);
    QCOMPARE(m_form->Series6->title(), QStringLiteral("%Rh"));

    // A tile opens its instrument on the measurement page and the chart; the first's again.
    QTest::mouseClick(TileOf(*m_form, 302), Qt::LeftButton);
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheet3);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit6->text(), QStringLiteral("60.00"), 30000);
    QVERIFY(m_form->Series6->data() == m_form->instruments()->lines(1)->line(hmx::humidity::Quantity::RelativeHumidity));
    // Two readings of the first meanwhile, which must not take the fields.
    QSignalSpy firstReadings(m_form->instruments()->session(0), &hmx::MeasuringSession::reading);
    QVERIFY(firstReadings.isValid());
    QTRY_VERIFY_WITH_TIMEOUT(firstReadings.count() >= 2, 30000);
    QCOMPARE(m_form->Edit6->text(), QStringLiteral("60.00"));
    // Its report is made of its own log.
    QVERIFY(m_form->writeReport(m_dir->filePath(QStringLiteral("302.pdf"))));
    const QString report302 = ReportText(m_dir->filePath(QStringLiteral("302.pdf")));
    QVERIFY2(report302.contains(QStringLiteral("Numer seryjny 302")) && report302.contains(QStringLiteral("302/jrt1.txt")),
             qPrintable(report302));
    // Its silence shows as the first's does: "Error" in the dew-point field, then old values.
    sims[1].setSilent(true);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit20->text(), QStringLiteral("Error"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit6->palette().color(QPalette::Text), hmx::FieldLook::oldColor(), 30000);
    sims[1].setSilent(false);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Edit20->text() == QStringLiteral("5.20")
                                 && m_form->Edit6->palette().color(QPalette::Text) != hmx::FieldLook::oldColor(), 30000);
    QTest::mouseClick(TileOf(*m_form, 301), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit6->text(), QStringLiteral("45.00"), 30000);
    QVERIFY(m_form->Series6->data() == m_form->lines().line(hmx::humidity::Quantity::RelativeHumidity));

    // Shown, the third's humidity alarm is the page's: the field's colour and status line,
    // Acknowledge (its journal says so); the first shown again has its own.
    using hmx::limits::QuantityId;
    hmx::AlarmPanel* alarms = m_form->alarms();
    hmx::MeasuringSession* first = m_form->instruments()->session(0);
    hmx::MeasuringSession* third = m_form->instruments()->session(2);
    const hmx::AlarmPreferences firstLimits = first->limits().preferences();
    const hmx::AlarmPreferences firstStored = hmx::LoadAlarmPreferences(*hmx::ProgramSettings());
    const hmx::DerivedChoice firstDerived = m_form->derived()->choice();
    QVERIFY(firstDerived != thirdDerived);
    QCOMPARE(first->limits().status(QuantityId::Humidity).level, hmx::limits::Level::None);
    QVERIFY(m_form->Edit6->palette().color(QPalette::Base) != hmx::FieldLook::alarmColor());
    QTest::mouseClick(TileOf(*m_form, 303), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit6->text(), QStringLiteral("55.00"), 30000);
    QCOMPARE(m_form->Edit6->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());
    QVERIFY(!alarms->statusLabel(QuantityId::Humidity)->text().isEmpty());
    QVERIFY(!alarms->acknowledgeButton()->isHidden());
    alarms->acknowledgeButton()->click();
    QVERIFY(third->limits().status(QuantityId::Humidity).acknowledged);
    const QString journal303 = QStringLiteral("303/hmx700-events.txt");
    const QRegularExpression acknowledged(QStringLiteral("limit-acknowledged\tquantity=humidity\t[^\r]*limit=alarmHigh"));
    QTRY_VERIFY_WITH_TIMEOUT(FileText(journal303).contains(acknowledged), 30000);
    QTest::mouseClick(TileOf(*m_form, 301), Qt::LeftButton);
    QVERIFY(m_form->Edit6->palette().color(QPalette::Base) != hmx::FieldLook::alarmColor());
    QVERIFY(alarms->statusLabel(QuantityId::Humidity)->text().isEmpty());

    // Its Limits dialog holds its limits; what it accepts is its own, kept by its serial
    // number, and the crossing clears; the first's limits and keys stay as they were.
    QTest::mouseClick(TileOf(*m_form, 303), Qt::LeftButton);
    QCOMPARE(m_form->Edit6->palette().color(QPalette::Base), hmx::FieldLook::alarmColor());
    alarms->limitsButton()->click();
    QPointer<hmx::LimitsDialog> limitsDialog = alarms->limitsDialog();
    QVERIFY(limitsDialog);
    auto* humidityHigh = limitsDialog->findChild<QLineEdit*>(QStringLiteral("humidity.alarmHigh"));
    QVERIFY(humidityHigh && !humidityHigh->text().isEmpty());
    humidityHigh->setText(QStringLiteral("60"));
    limitsDialog->accept();
    QVERIFY(limitsDialog.isNull() || limitsDialog->problem().isEmpty());
    QCOMPARE(third->limits().preferences().of(QuantityId::Humidity)[hmx::limits::Bound::AlarmHigh], 60.0);
    QCOMPARE(hmx::LoadInstrumentLimits(*hmx::ProgramSettings(), 303).of(QuantityId::Humidity)[hmx::limits::Bound::AlarmHigh], 60.0);
    QTRY_COMPARE_WITH_TIMEOUT(third->limits().status(QuantityId::Humidity).level, hmx::limits::Level::None, 30000);
    QVERIFY(m_form->Edit6->palette().color(QPalette::Base) != hmx::FieldLook::alarmColor());
    QVERIFY(first->limits().preferences() == firstLimits);
    QVERIFY(hmx::LoadAlarmPreferences(*hmx::ProgramSettings()) == firstStored);

    // Its derived quantities in the fields; the dialog edits them alone.
    using hmx::humidity::Quantity;
    QCOMPARE(m_form->derived()->choice(), thirdDerived);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->derived()->field(Quantity::AbsoluteHumidity)
                                 && !m_form->derived()->field(Quantity::AbsoluteHumidity)->text().isEmpty(), 30000);
    m_form->ShowDerivedDialog();
    QPointer<QDialog> derivedDialog = m_form->findChild<QDialog*>(QStringLiteral("derivedDialog"));
    QVERIFY(derivedDialog);
    derivedDialog->findChild<QCheckBox*>(QStringLiteral("derived-mixing-ratio"))->setChecked(true);
    derivedDialog->accept();
    QVERIFY(m_form->derived()->field(Quantity::MixingRatio));
    thirdDerived.shown = {Quantity::AbsoluteHumidity, Quantity::MixingRatio};
    QCOMPARE(third->options().derived.shown, thirdDerived.shown);
    QCOMPARE(hmx::LoadInstrumentDerived(*hmx::ProgramSettings(), 303, {}), third->options().derived);
    // The statistics name the instrument whose lines they describe.
    m_form->statistics()->setShown(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->statistics()->shownTable().header.value(0).endsWith(QStringLiteral("Magazyn A")), 30000);
    m_form->statistics()->setShown(false);

    QTest::mouseClick(TileOf(*m_form, 301), Qt::LeftButton);
    QVERIFY(alarms->preferences() == firstLimits);
    QCOMPARE(m_form->derived()->choice(), firstDerived);
    QCOMPARE(first->options().derived, firstDerived);

    // One unplugged: its tile searches while the others go on.
    const auto linesIn = [](const QString& folder) { return LogLines(QDir(folder).filePath(QStringLiteral("jrt1.txt"))).size(); };
    const QString folder302 = QStringLiteral("302"), folder303 = QStringLiteral("303");
    sims[1].unplug();
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(*m_form, 302), hmx::InstrumentState::Searching, 30000);
    // Shown meanwhile, its old values are dimmed; the first's live ones are not.
    QTest::mouseClick(TileOf(*m_form, 302), Qt::LeftButton);
    QCOMPARE(m_form->Edit6->palette().color(QPalette::Text), hmx::FieldLook::oldColor());
    QTest::mouseClick(TileOf(*m_form, 301), Qt::LeftButton);
    QVERIFY(m_form->Edit6->palette().color(QPalette::Text) != hmx::FieldLook::oldColor());
    const qsizetype firstLines = LogLines().size(), thirdLines = linesIn(folder303);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines().size() >= firstLines + 2 && linesIn(folder303) >= thirdLines + 2, 30000);
    QCOMPARE(StateOf(*m_form, 301), hmx::InstrumentState::Measuring);

    // Another unit where it was lost: shown in its tile and journaled, asking nothing.
    sims[1].setVersion(1, 0, 399);
    sims[1].replug();
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(*m_form, 302), hmx::InstrumentState::OtherUnit, 30000);
    QVERIFY(TileOf(*m_form, 302)->stateText().contains(QStringLiteral("399")));
    QVERIFY(!m_form->findChild<QMessageBox*>(QStringLiteral("otherInstrument")));
    const QString journal302 = FileText(QDir(folder302).filePath(QStringLiteral("hmx700-events.txt")));
    QVERIFY2(journal302.contains(QStringLiteral("other-unit")) && journal302.contains(QStringLiteral("399")),
             qPrintable(journal302));
    // Its own unit back on the port: measured again by its session alone.
    sims[1].setVersion(1, 0, 302);
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(*m_form, 302), hmx::InstrumentState::Measuring, 30000);

    // Each folder holds its own unit's readings alone; the first's stays the start folder.
    const auto ownReadingsOnly = [&units](const QString& log, int unit) {
        const QStringList lines = LogLines(log);
        if (lines.isEmpty())
            return false;
        for (const QString& line : lines)
            if (line.section(QLatin1Char('\t'), 2) != units[unit].values)
                return false;
        return true;
    };
    QVERIFY(ownReadingsOnly(QStringLiteral("jrt1.txt"), 0));
    QVERIFY(ownReadingsOnly(QStringLiteral("302/jrt1.txt"), 1));
    QVERIFY(ownReadingsOnly(QStringLiteral("303/jrt1.txt"), 2));
    QVERIFY(!QFile::exists(QStringLiteral("301")));

    // Closed with three: the next start offers all three again, and brings each back.
    m_form->close();
    m_catcher.reset();
    Form1 = nullptr;
    m_form.reset();
    m_form = std::make_unique<TForm1>();
    Form1 = m_form.get();
    m_form->show();
    QPointer<QMessageBox> question;
    QTRY_VERIFY_WITH_TIMEOUT((question = m_form->findChild<QMessageBox*>(QStringLiteral("reconnectInstruments"))), 30000);
    for (const auto& unit : units)
        QVERIFY2(question->text().contains(QString::number(unit.serial)), qPrintable(question->text()));
    question->button(QMessageBox::Yes)->click();
    QPointer<QMessageBox> identification;
    QTRY_VERIFY_WITH_TIMEOUT((identification = m_form->findChild<QMessageBox*>(QStringLiteral("identification"))), 30000);
    identification->accept();
    QTRY_VERIFY_WITH_TIMEOUT(AllMeasuring(*m_form, 3), 30000);
    QCOMPARE(m_form->instruments()->session(0)->serialNumber(), quint16(301));
    for (const QString& folder : {QStringLiteral("."), folder302, folder303})
        QTRY_VERIFY_WITH_TIMEOUT(linesIn(folder) >= 2, 30000);
    // The earlier runs' logs kept beside the new ones, each in its own folder.
    for (const QString& folder : {QStringLiteral("."), folder302, folder303})
        QCOMPARE(QDir(folder).entryList({QStringLiteral("jrt1-*.txt")}).size(), 1);
    QVERIFY(ownReadingsOnly(QStringLiteral("jrt1.txt"), 0));
    QVERIFY(ownReadingsOnly(QStringLiteral("302/jrt1.txt"), 1));
    QVERIFY(ownReadingsOnly(QStringLiteral("303/jrt1.txt"), 2));

    // The second removed while shown, the third drawn beside it: it stops in its folder,
    // the third goes on in its new place, and the next start does not look for it.
    hmx::Instruments* instruments = m_form->instruments();
    QTest::mouseClick(TileOf(*m_form, 302), Qt::LeftButton);
    instruments->chart()->entry(2)->setChecked(true);
    instruments->askRemove(1);
    QPointer<QMessageBox> removeBox;
    QTRY_VERIFY_WITH_TIMEOUT((removeBox = m_form->findChild<QMessageBox*>(QStringLiteral("removeInstrument"))), 30000);
    removeBox->button(QMessageBox::Yes)->click();
    QCOMPARE(instruments->count(), 2);
    QCOMPARE(instruments->session(1)->serialNumber(), quint16(303));
    QVERIFY(instruments->showsFirst() && !TileOf(*m_form, 302));
    QCOMPARE(instruments->page()->tiles().size(), std::size_t(2));
    QVERIFY(m_form->Series6->data() == m_form->lines().line(hmx::humidity::Quantity::RelativeHumidity));
    QVERIFY(instruments->chart()->line(1, 1)
            && instruments->chart()->line(1, 1)->data() == instruments->lines(1)->line(hmx::humidity::Quantity::RelativeHumidity));
    QVERIFY(!hmx::LogFolderLock::HeldNow(QDir(folder302).filePath(QStringLiteral("jrt1.txt"))));
    QVERIFY(FileText(QDir(folder302).filePath(QStringLiteral("hmx700-events.txt"))).trimmed().section(QLatin1Char('\n'), -1).contains(QStringLiteral("\tstop")));
    const qsizetype stopped302 = linesIn(folder302), before303 = linesIn(folder303);
    QTRY_VERIFY_WITH_TIMEOUT(linesIn(folder303) >= before303 + 2, 30000);
    QCOMPARE(linesIn(folder302), stopped302);
    QTest::mouseClick(TileOf(*m_form, 303), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->Edit6->text(), QStringLiteral("55.00"), 30000);
    QCOMPARE(TileOf(*m_form, 303)->view().state, hmx::InstrumentState::Measuring);
    const std::vector<hmx::KeptInstrument> kept = hmx::LoadLastInstruments(*hmx::ProgramSettings());
    QCOMPARE(kept.size(), std::size_t(2));
    QCOMPARE(kept.back().serialNumber, quint16(303));
    m_form->Shutdown();
}

void TestEndToEnd::addingAMeasuredUnitNamesItsPort()
{
    // The same serial number on two ports: the second answer is the unit already measured.
    Simulator twin;
    m_sim->setVersion(1, 0, 501);
    twin.setVersion(1, 0, 501);
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_sim->linkPath() + ":" + twin.linkPath()));
    QVERIFY(connectWithDecoys());
    const QString held = m_form->instruments()->session(0)->device();
    QCOMPARE(held, QString::fromStdString(m_sim->linkPath()));
    const int tabs = m_form->PageControl1->count();
    m_form->instruments()->addAction()->trigger();
    QPointer<QMessageBox> notice;
    QTRY_VERIFY_WITH_TIMEOUT([&notice] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text().contains(QStringLiteral("501")))
                notice = box;
        return !notice.isNull();
    }(), 30000);
    QVERIFY2(notice->text().contains(held) && notice->text().contains(QString::fromStdString(twin.linkPath())),
             qPrintable(notice->text()));
    QCOMPARE(m_form->instruments()->count(), 1);
    QCOMPARE(m_form->PageControl1->count(), tabs);
    QVERIFY(m_form->instruments()->addButton()->isEnabled());
}

int main(int argc, char** argv)
{
    // The other copy of secondCopyInTheFolderIsRefused: holds the lock until killed.
    if (argc == 2 && QByteArray(argv[1]) == "--hold-log-lock") {
        QCoreApplication app(argc, argv);
        hmx::LogFolderLock lock(QStringLiteral("jrt1.txt"));
        if (lock.acquire() != hmx::LogFolderLock::Result::Held)
            return 1;
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestEndToEnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_e2e.moc"
