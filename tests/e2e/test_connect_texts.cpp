// The texts the connection shows, in the language this executable was built with.
#include "tools/simulator.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

class TestConnectTexts : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void foundInstrument();
    void noInstrument_data();
    void noInstrument();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    // Every caption the Connect button carried during the test, each once.
    QStringList m_captions;
    QTimer m_captionWatch;
    QString m_oldDir;
    std::unique_ptr<hmx::sim::Simulator> m_sim;
    std::unique_ptr<TForm1> m_form;
};

void TestConnectTexts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_sim = std::make_unique<hmx::sim::Simulator>();
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_sim->linkPath()));
    m_form = CreateMainWindow();
    m_captions.clear();
    connect(&m_captionWatch, &QTimer::timeout, this, [this] {
        if (!m_captions.contains(m_form->Connect->text()))
            m_captions << m_form->Connect->text();
    });
    m_captionWatch.start(10);
}

void TestConnectTexts::cleanup()
{
    m_captionWatch.stop();
    m_captionWatch.disconnect();
    // Each fits the button whole at the platform's font, as the style lays it out.
    QPushButton* button = m_form->Connect;
    const QString shown = button->text();
    for (const QString& caption : std::as_const(m_captions)) {
        button->setText(caption);
        const QSize needed = button->sizeHint();
        QVERIFY2(needed.width() <= button->width() && needed.height() <= button->height(),
                 qPrintable(QStringLiteral("\"%1\" needs %2 x %3").arg(caption).arg(needed.width()).arg(needed.height())));
    }
    button->setText(shown);
    m_form.reset();
    m_sim.reset();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestConnectTexts::foundInstrument()
{
    m_sim->setVersion(3, 14, 300);
    QString title;
    QString text;
    QTimer catcher;
    connect(&catcher, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    catcher.start(20);
    m_form->Connect->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_form->poller() != nullptr, 10000);

    const bool english = hmx::InterfaceLanguage == 1;
    QCOMPARE(title, english ? QStringLiteral("Found device  :") : QStringLiteral("Identyfikator urzadzenia  :"));
    QCOMPARE(text, QStringLiteral("HMX-700"));
    QCOMPARE(m_form->Label16->text(), english ? QStringLiteral("KVT-10 version: 3 rev.: 14 serial number: 300")
                                              : QStringLiteral("KVT-10 wersja: 3 rewizja: 14 numer seyjny: 300"));
    QCOMPARE(m_form->Connect->text(), english ? QStringLiteral("Measuring") : QStringLiteral("Pomiar trwa"));
    QVERIFY(!m_form->Connect->isEnabled());
    // The caption while the instrument is away.
    m_sim->unplug();
    QTRY_VERIFY2_WITH_TIMEOUT(m_captions.size() >= 3 && m_form->Connect->text().contains(QLatin1Char('\n')),
                              qPrintable(m_captions.join(QLatin1Char('|')).replace(QLatin1Char('\n'), QLatin1Char('/'))), 10000);
}

void TestConnectTexts::noInstrument_data()
{
    QTest::addColumn<QString>("denied");  // a listed device that refuses to open for lack of permission
    QTest::newRow("silent instrument") << QString();
    // A read-only kernel attribute refuses writing even to the superuser, as a serial
    // device does to a user outside the dialout group.
    QTest::newRow("no permission") << QStringLiteral("/sys/kernel/uevent_seqnum");
}

void TestConnectTexts::noInstrument()
{
    QFETCH(QString, denied);
    if (!denied.isEmpty()) {
        QFile probe(denied);
        if (!probe.exists() || probe.open(QIODevice::ReadWrite))
            QSKIP("no device here that refuses to open");
        qputenv("HMX700_PORTS", denied.toLocal8Bit() + ':' + QByteArray::fromStdString(m_sim->linkPath()));
    }
    const QString listed = QString::fromStdString(m_sim->linkPath());
    m_sim->setSilent(true);
    m_form->show();
    m_form->Connect->click();
    // While the scan runs the window goes on, and the button says which port is tried
    // (a long name without its middle).
    const auto namesPort = [&](const QString& caption) {
        const QString shown = caption.section(QLatin1Char('\n'), 1);
        const QString name = QFileInfo(listed).fileName();
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        return cut < 0 ? shown == name
                       : cut > 0 && name.startsWith(shown.left(cut)) && name.endsWith(shown.mid(cut + 1));
    };
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(m_captions.cbegin(), m_captions.cend(), namesPort), 5000);
    QVERIFY(!m_form->Connect->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->Connect->isEnabled(), 10000);
    const bool english = hmx::InterfaceLanguage == 1;
    const QString notFound = english ? QStringLiteral("Device not found !") : QStringLiteral("Urządzenie nie odpowiada !");
    QCOMPARE(m_form->Label9->text(), notFound);
    QCOMPARE(m_form->Connect->text(), english ? QStringLiteral("Connect") : QStringLiteral("Połącz"));
    // Said visibly too, naming the port that was tried, over the window.
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
            box = b;
    QVERIFY(box);
    QVERIFY2(box->text().startsWith(notFound), qPrintable(box->text()));
    if (denied.isEmpty()) {
        QVERIFY2(box->text().contains(listed), qPrintable(box->text()));
    } else {
        // The device and how to get access to it.
        QVERIFY2(box->text().contains(denied), qPrintable(box->text()));
        QVERIFY2(box->text().contains(QStringLiteral("dialout")), qPrintable(box->text()));
    }
    QCOMPARE(box->parentWidget(), m_form.get());
    QCOMPARE(box->windowTitle(), QStringLiteral("HMX-700"));
    box->close();
}

QTEST_MAIN(TestConnectTexts)
#include "test_connect_texts.moc"
