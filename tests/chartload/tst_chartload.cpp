// Button1Click on a real main window: the dialog, the three chart lines, the error
// report, loading off the window thread.
#include "instrument/charttime.h"
#include "log/measurementlog.h"
#include "report/statisticstexts.h"
#include "tools/simulator.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

void writeFile(const QString& name, const QByteArray& content)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

QMessageBox* errorReport()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->objectName() == QLatin1String("errorReport") && box->isVisible())
            return box;
    }
    return nullptr;
}

// Button1Click returns while the file is still being read.
void loadChosen(TForm1& form)
{
    form.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.isLoadingChart(), 60000);
}

QStringList logLines(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestChartLoad : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cancelChangesNothing();
    void loaderLayoutReplacesSeries1Only_data();
    void loaderLayoutReplacesSeries1Only();
    void ownLogFillsAllThreeLines();
    void errorsReachTheReport_data();
    void errorsReachTheReport();
    void largeFileLoadsWithTheWindowResponsive_data();
    void largeFileLoadsWithTheWindowResponsive();
    void loadWhileMeasuringKeepsTheLogGrowing();
    void reportWhileMeasuringIsOfTheShownFileOnly();

private:
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestChartLoad::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_form = std::make_unique<TForm1>();
    // Points the chart already has (live readings, an earlier load).
    m_form->Series1->addXY(45000.5, 1.5);
    m_form->Series1->addXY(45000.6, 2.5);
    m_form->Series6->addXY(45000.5, 40.0);
    m_form->Series7->addXY(45000.5, 21.0);
}

void TestChartLoad::cleanup()
{
    OpenDialog::setChooserForTesting({});
    while (QMessageBox* box = errorReport())
        box->close();
    m_form.reset();
}

void TestChartLoad::cancelChangesNothing()
{
    const QString earlier = m_dir->filePath(QStringLiteral("earlier.txt"));
    m_form->OpenDialog1.FileName = earlier;
    int asked = 0;
    OpenDialog::setChooserForTesting([&asked] {
        ++asked;
        return QString();
    });
    m_form->Button1Click();
    QCOMPARE(asked, 1);
    QCOMPARE(m_form->Series1->count(), std::size_t(2));
    QCOMPARE(m_form->Series1->y(1), 2.5);
    QCOMPARE(m_form->OpenDialog1.FileName, earlier);
}

void TestChartLoad::loaderLayoutReplacesSeries1Only_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::newRow("absolute name") << QStringLiteral("abs");
    QTest::newRow("relative name becomes the full name") << QStringLiteral("rel");
}

void TestChartLoad::loaderLayoutReplacesSeries1Only()
{
    QFETCH(QString, chosen);
    const QString name = m_dir->filePath(QStringLiteral("chart.txt"));
    writeFile(name, "first\r\nsecond\r\n7\t23:59:58\t02345\r\n8\t00:00:03\t02350\r\n9\t00:00:04\t00000\r\n");
    const QString given = chosen == QLatin1String("abs") ? name : QDir::current().relativeFilePath(name);
    OpenDialog::setChooserForTesting([given] { return given; });
    m_form->Chart1->bottomAxis()->setAutomatic(false);
    m_form->Chart1->leftAxis()->setAutomatic(false);  // a zoomed view
    loadChosen(*m_form);
    QCOMPARE(m_form->OpenDialog1.FileName, QFileInfo(name).absoluteFilePath());
    QCOMPARE(m_form->Series1->count(), std::size_t(2));
    QVERIFY(std::abs(m_form->Series1->x(0) - 0.999977) < 1e-6);
    QCOMPARE(m_form->Series1->y(0), 23.45);
    QVERIFY(std::abs(m_form->Series1->x(1) - 1.000035) < 1e-6);
    QCOMPARE(m_form->Series1->y(1), 23.5);
    QCOMPARE(m_form->Series6->count(), std::size_t(1));
    QCOMPARE(m_form->Series7->count(), std::size_t(1));
    QVERIFY(m_form->Chart1->bottomAxis()->automatic());
    QVERIFY(m_form->Chart1->leftAxis()->automatic());
}

void TestChartLoad::ownLogFillsAllThreeLines()
{
    const QString name = m_dir->filePath(QStringLiteral("jrt1.txt"));
    const QLocale c(QLocale::C);
    {
        hmx::MeasurementLog log(name);
        QVERIFY(log.create());
        QVERIFY(log.appendLine({1, QTime(23, 59, 59), -105, 450, 235, "-10.50", "45.00", "23.50"}, c));
        QVERIFY(log.appendLine({2, QTime(0, 0, 0), 7, 451, 236, "0.70", "45.10", "23.60"}, c));
        QVERIFY(log.appendLine({3, QTime(0, 0, 1), 8, 452, 237, "0.80", "45.20", "23.70"}, c));
        log.close();
    }
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2025, 1, 2), QTime(0, 0, 2)), QFileDevice::FileModificationTime));
    file.close();

    QLocale::setDefault(c);
    OpenDialog::setChooserForTesting([name] { return name; });
    m_form->Button1Click();
    QLocale::setDefault(QLocale::system());  // the load keeps the locale it started with
    QTRY_VERIFY(!m_form->isLoadingChart());

    const double jan2 = QDate(1899, 12, 30).daysTo(QDate(2025, 1, 2));
    QCOMPARE(m_form->Series1->count(), std::size_t(3));
    QCOMPARE(m_form->Series6->count(), std::size_t(3));
    QCOMPARE(m_form->Series7->count(), std::size_t(3));
    QVERIFY(std::abs(m_form->Series1->x(0) - (jan2 - 1 + 86399.0 / 86400)) < 1e-9);
    QVERIFY(std::abs(m_form->Series6->x(1) - jan2) < 1e-9);
    QVERIFY(std::abs(m_form->Series7->x(2) - (jan2 + 1.0 / 86400)) < 1e-9);
    QCOMPARE(m_form->Series1->y(0), -10.5);
    QCOMPARE(m_form->Series6->y(1), 45.1);
    QCOMPARE(m_form->Series7->y(2), 23.7);
}

void TestChartLoad::errorsReachTheReport_data()
{
    QTest::addColumn<QString>("file");        // "missing", "fifo", "folder", a path, or "data.txt" with content
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("parts");   // in the message, in this order; %1 is the file's name
    QTest::addColumn<bool>("refused");        // before anything is read, so reported at once
    QTest::addColumn<bool>("untouched");      // the chart as it was

    const QString noReadings =
        ByLanguage(QStringLiteral("Nie znaleziono odczytów w pliku %1"), QStringLiteral("no readings found in %1"));
    QTest::newRow("invalid time keeps the points before it")
        << "data.txt" << QByteArray("a\nb\n1\t12:00:00\t00100\n2\t12:00:01\t00200\n\n")
        << QStringList{QStringLiteral("'' is not a valid time (") + ByLanguage("wiersz", "line") + " 5)."} << false << false;
    QTest::newRow("missing file leaves Series1 alone")
        << "missing" << QByteArray() << QStringList{"%1", "No such file or directory"} << true << true;
    QTest::newRow("FIFO refused at once") << "fifo" << QByteArray() << QStringList{"%1", "FIFO"} << true << true;
    QTest::newRow("/dev/zero refused at once") << "/dev/zero" << QByteArray() << QStringList{"%1"} << true << true;
    QTest::newRow("folder refused") << "folder" << QByteArray() << QStringList{"%1"} << true << true;
    // No point at all: the live lines stay as they were.
    QTest::newRow("empty file") << "data.txt" << QByteArray() << QStringList{noReadings + '.'} << false << true;
    QTest::newRow("only CRs") << "data.txt" << QByteArray(500, '\r') << QStringList{noReadings + '.'} << false << true;
    QTest::newRow("one 10 MB line") << "data.txt" << QByteArray(10 << 20, 'x') << QStringList{noReadings + '.'}
                                    << false << true;
    QTest::newRow("garbage: no readings, and why")
        << "data.txt" << QByteArray("\x01\x02\n\x03\n\x7f\xfe\x01\n")
        << QStringList{noReadings + "\n'", QStringLiteral("' is not a valid time (") + ByLanguage("wiersz", "line") + " 3)."}
        << false << true;
}

void TestChartLoad::errorsReachTheReport()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, parts);
    QFETCH(bool, refused);
    QFETCH(bool, untouched);
    QString name = m_dir->filePath(file);
    if (file == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);  // no writer: an open would wait for one
    else if (file == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(file));
    else if (file.startsWith(QLatin1Char('/')))
        name = file;
    else if (file != QLatin1String("missing"))
        writeFile(name, content);
    OpenDialog::setChooserForTesting([name] { return name; });
    m_form->Chart1->bottomAxis()->setAutomatic(false);
    m_form->Chart1->leftAxis()->setAutomatic(false);  // a zoomed view
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);  // through the window's wiring and its error report
    if (refused) {
        QVERIFY(!m_form->isLoadingChart());
        QVERIFY(errorReport() != nullptr);
    }
    QTRY_VERIFY_WITH_TIMEOUT(errorReport() != nullptr, 20000);
    const QString text = errorReport()->text();
    qsizetype at = 0;
    for (const QString& part : parts) {
        const qsizetype found = text.indexOf(QString(part).replace(QLatin1String("%1"), name), at);
        QVERIFY2(found >= at, qPrintable(text));
        at = found + 1;
    }
    // Two points either way: the two the chart had, or the two read before the bad time.
    QCOMPARE(m_form->Series1->count(), std::size_t(2));
    QCOMPARE(m_form->Series1->y(1), untouched ? 2.5 : 2.0);
    QCOMPARE(m_form->Series6->count(), std::size_t(1));
    QCOMPARE(m_form->Chart1->bottomAxis()->automatic(), !untouched);
    QCOMPARE(m_form->Chart1->leftAxis()->automatic(), !untouched);
    QVERIFY(m_form->Button1->isEnabled());
}

void TestChartLoad::largeFileLoadsWithTheWindowResponsive_data()
{
    QTest::addColumn<bool>("ownLog");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("loader layout to the end") << false << false;
    QTest::newRow("own log to the end") << true << false;
    QTest::newRow("cancelled midway") << false << true;
}

void TestChartLoad::largeFileLoadsWithTheWindowResponsive()
{
    QFETCH(bool, ownLog);
    QFETCH(bool, cancel);
    const int lines = 300000;
    const QString name = m_dir->filePath(QStringLiteral("large.txt"));
    const QLocale c(QLocale::C);
    {
        QByteArray content = ownLog ? QByteArray() : QByteArray("h\r\nh\r\n");
        for (int i = 0; i < lines; ++i) {
            const QTime time = QTime(0, 0).addMSecs(i * 250);
            content += ownLog ? hmx::FormatLogLine({i + 1, time, -105, 450, 235, "-10.50", "45.00", "23.50"}, c)
                              : QByteArray::number(i % 1000) + '\t' + time.toString(u"hh:mm:ss").toLatin1()
                    + "\t0" + QByteArray::number(1000 + i % 9000) + "\r\n";
        }
        writeFile(name, content);
    }
    QLocale::setDefault(c);
    OpenDialog::setChooserForTesting([name] { return name; });

    // Counts the steps by which the chart grew, as seen from turns of the event loop.
    int partialSteps = 0;
    std::size_t seen = 0;
    QTimer turn;
    turn.setInterval(0);
    connect(&turn, &QTimer::timeout, this, [&] {
        const std::size_t n = m_form->Series1->count();
        if (!m_form->isLoadingChart() || n == seen || n >= std::size_t(lines))
            return;
        seen = n;
        if (++partialSteps == 1 && cancel) {
            auto* progress = m_form->findChild<QProgressDialog*>(QStringLiteral("chartLoadProgress"));
            QVERIFY(progress != nullptr);
            progress->findChild<QPushButton*>()->click();
        }
    });
    turn.start();
    m_form->Button1Click();
    QLocale::setDefault(QLocale::system());
    // Nothing has reached the chart yet: the file is read meanwhile.
    QVERIFY(m_form->isLoadingChart());
    QVERIFY(!m_form->Button1->isEnabled());
    QCOMPARE(m_form->Series1->count(), std::size_t(2));
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->isLoadingChart(), 120000);
    turn.stop();

    QVERIFY(errorReport() == nullptr);
    QVERIFY(m_form->Button1->isEnabled());
    QVERIFY(m_form->findChild<QProgressDialog*>() == nullptr);
    const std::size_t loaded = m_form->Series1->count();
    if (cancel) {
        QVERIFY2(loaded > 0 && loaded < std::size_t(lines), qPrintable(QString::number(loaded)));
        return;
    }
    // The points came in many steps with the event loop turning between them.
    QVERIFY2(partialSteps >= 10, qPrintable(QString::number(partialSteps)));
    QCOMPARE(loaded, std::size_t(lines));
    QCOMPARE(m_form->Series7->count(), std::size_t(ownLog ? lines : 1));
    for (std::size_t i = 1; i < loaded; i += 997)
        QVERIFY(m_form->Series1->x(i) >= m_form->Series1->x(i - 1));
    const double lastTime = (lines - 1) / 4 / 86400.0;
    QVERIFY(std::abs(m_form->Series1->x(loaded - 1) - m_form->Series1->x(0) - lastTime) < 1e-9);
    QCOMPARE(m_form->Series1->y(loaded - 1), ownLog ? -10.5 : (1000 + (lines - 1) % 9000) / 100.0);
}

void TestChartLoad::loadWhileMeasuringKeepsTheLogGrowing()
{
    const QString oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    hmx::sim::Simulator sim;
    sim.setMeasurement(hmx::sim::MeasurementTenths{450, -105, 235});
    qputenv("HMX700_PORTS", QByteArray::fromStdString(sim.devicePath()));
    QTimer accept;  // answers the identification box
    connect(&accept, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    accept.start(20);
    const QString log = m_dir->filePath(QStringLiteral("jrt1.txt"));
    const QString other = m_dir->filePath(QStringLiteral("other.txt"));
    const QByteArray otherContent = "a\nb\n1\t12:00:00\t00100\n";
    writeFile(other, otherContent);

    m_form->Series1->clear();
    m_form->ConnectClick();
    QTRY_VERIFY_WITH_TIMEOUT(m_form->poller() != nullptr, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= 3, 10000);

    // Our own log, loaded while the Poller appends to it: three lines of today.
    OpenDialog::setChooserForTesting([log] { return log; });
    loadChosen(*m_form);
    const std::size_t loaded = m_form->Series6->count();
    QVERIFY(loaded >= 3);
    QCOMPARE(m_form->Series1->y(0), -10.5);
    const double now = hmx::ChartXNow();
    QVERIFY2(std::abs(m_form->Series6->x(loaded - 1) - now) < 30.0 / 86400, qPrintable(QString::number(now, 'f', 6)));

    // Another file, loaded while measuring, leaves the log where it is.
    OpenDialog::setChooserForTesting([other] { return other; });
    loadChosen(*m_form);
    const qsizetype before = logLines(log).size();
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= before + 2, 10000);
    QCOMPARE(QFileInfo(other).size(), qint64(otherContent.size()));  // readings never go to the loaded file
    // Live points keep arriving on all three lines after the load.
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Series1->count() >= 2, 10000);

    const QStringList lines = logLines(log);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i].section(QLatin1Char('\t'), 0, 0), QString::number(i + 1));  // no reading lost

    m_form->Shutdown();
    qunsetenv("HMX700_PORTS");
    QVERIFY(QDir::setCurrent(oldDir));
}

void TestChartLoad::reportWhileMeasuringIsOfTheShownFileOnly()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) reads the report");
    const QString oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    hmx::sim::Simulator sim;
    qputenv("HMX700_PORTS", QByteArray::fromStdString(sim.devicePath()));
    QTimer accept;  // answers the identification box
    connect(&accept, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    accept.start(20);
    const QString log = m_dir->filePath(QStringLiteral("jrt1.txt"));
    m_form->ConnectClick();
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= 3, 10000);

    // Never over the log being written, by whatever name; the log goes on.
    QVERIFY(QFile::link(log, m_dir->filePath(QStringLiteral("link.pdf"))));
    for (const QString& name : {QStringLiteral("jrt1.txt"), log, QStringLiteral("link.pdf")}) {
        QVERIFY(!m_form->writeReport(name));
        QVERIFY(!m_form->Chart1->exportCsv(name));
        QVERIFY(!m_form->Chart1->saveImage(name));
    }
    QTRY_VERIFY(errorReport() != nullptr);

    // Another day's log loaded while measuring: the chart holds both, the report the file only.
    const QString other = m_dir->filePath(QStringLiteral("other.txt"));
    {
        hmx::MeasurementLog file(other);
        QVERIFY(file.create());
        for (int i = 0; i < 40; ++i)
            QVERIFY(file.appendLine({i + 1, QTime(9, 0).addSecs(i), -105, 450, 235, "-10.50", "45.00", "23.50"}, QLocale::c()));
        file.close();
    }
    QFile touched(other);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(QDateTime(QDate(2026, 1, 5), QTime(9, 0, 40)), QFileDevice::FileModificationTime));
    const QByteArray otherBytes = touched.readAll();
    touched.close();
    OpenDialog::setChooserForTesting([other] { return other; });
    loadChosen(*m_form);
    const qsizetype before = logLines(log).size();
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= before + 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Series1->count() > 40, 10000);  // live readings beside the file's
    QVERIFY(!m_form->writeReport(other));  // the file shown is kept too
    QVERIFY(m_form->writeReport(m_dir->filePath(QStringLiteral("r.pdf"))));
    QProcess reader;
    reader.start(pdftotext, {QStringLiteral("-layout"), m_dir->filePath(QStringLiteral("r.pdf")), QStringLiteral("-")});
    QVERIFY(reader.waitForFinished(30000));
    const QString text = QString::fromUtf8(reader.readAllStandardOutput());
    QVERIFY(text.contains(QString::fromLatin1(QCryptographicHash::hash(otherBytes, QCryptographicHash::Sha256).toHex())));
    QRegularExpression counts(QStringLiteral("\\n\\s*%1\\s+40\\s+40\\s+40\\s*\\n").arg(hmx::StatisticsHeaders(hmx::WindowLanguage).count));
    QVERIFY2(text.contains(counts), qPrintable(text));

    const QStringList lines = logLines(log);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i].section(QLatin1Char('\t'), 0, 0), QString::number(i + 1));  // still the log, whole
    m_form->Shutdown();
    qunsetenv("HMX700_PORTS");
    QVERIFY(QDir::setCurrent(oldDir));
}

QTEST_MAIN(TestChartLoad)
#include "tst_chartload.moc"
