// Button1Click on a real main window: the dialog, the three chart lines, the error report.
#include "log/measurementlog.h"
#include "tools/simulator.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

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
    void loadWhileMeasuringKeepsTheLogGrowing();

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
    if (QMessageBox* box = errorReport())
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
    m_form->Button1Click();
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
    QLocale::setDefault(QLocale::system());

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
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("series1");

    QTest::newRow("invalid time keeps the points before it")
        << QByteArray("a\nb\n1\t12:00:00\t00100\n2\t12:00:01\t00200\n\n") << QStringLiteral("'' is not a valid time.")
        << 2;
    QTest::newRow("missing file leaves Series1 alone") << QByteArray() << QStringLiteral("Cannot open") << 2;
}

void TestChartLoad::errorsReachTheReport()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, series1);
    const QString name = m_dir->filePath(QStringLiteral("data.txt"));
    if (!content.isEmpty())
        writeFile(name, content);
    OpenDialog::setChooserForTesting([name] { return name; });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);  // through the window's wiring and its error report
    QTRY_VERIFY(errorReport() != nullptr);
    QVERIFY2(errorReport()->text().startsWith(message), qPrintable(errorReport()->text()));
    QCOMPARE(int(m_form->Series1->count()), series1);
    QCOMPARE(m_form->Series6->count(), std::size_t(1));
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
    QVERIFY(m_form->poller() != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= 3, 10000);

    // Our own log, loaded while the Poller appends to it: three lines of today.
    OpenDialog::setChooserForTesting([log] { return log; });
    m_form->Button1Click();
    const std::size_t loaded = m_form->Series6->count();
    QVERIFY(loaded >= 3);
    QCOMPARE(m_form->Series1->y(0), -10.5);
    const double now = QDate(1899, 12, 30).daysTo(QDate::currentDate())
        + QTime::currentTime().msecsSinceStartOfDay() / 86400000.0;
    QVERIFY2(std::abs(m_form->Series6->x(loaded - 1) - now) < 30.0 / 86400, qPrintable(QString::number(now, 'f', 6)));

    // Another file, loaded while measuring, leaves the log where it is.
    OpenDialog::setChooserForTesting([other] { return other; });
    m_form->Button1Click();
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

QTEST_MAIN(TestChartLoad)
#include "tst_chartload.moc"
