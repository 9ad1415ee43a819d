// The texts the connection shows, in the language this executable was built with.
#include "tools/simulator.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestConnectTexts : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void foundInstrument();
    void noInstrument();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
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
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_sim->devicePath()));
    m_form = CreateMainWindow();
}

void TestConnectTexts::cleanup()
{
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

    const bool english = hmx::InterfaceLanguage == 1;
    QCOMPARE(title, english ? QStringLiteral("Found device  :") : QStringLiteral("Identyfikator urzadzenia  :"));
    QCOMPARE(text, QStringLiteral("HMX-700"));
    QCOMPARE(m_form->Label16->text(), english ? QStringLiteral("KVT-10 version: 3 rev.: 14 serial number: 300")
                                              : QStringLiteral("KVT-10 wersja: 3 rewizja: 14 numer seyjny: 300"));
    QCOMPARE(m_form->Connect->text(), english ? QStringLiteral("Measuring") : QStringLiteral("Pomiar trwa"));
    QVERIFY(!m_form->Connect->isEnabled());
}

void TestConnectTexts::noInstrument()
{
    m_sim->setSilent(true);
    m_form->Connect->click();
    const bool english = hmx::InterfaceLanguage == 1;
    QCOMPARE(m_form->Label9->text(),
             english ? QStringLiteral("Device not found !") : QStringLiteral("Urządzenie nie odpowiada !"));
    QCOMPARE(m_form->Connect->text(), english ? QStringLiteral("Connect") : QStringLiteral("Połącz"));
    QVERIFY(m_form->Connect->isEnabled());
}

QTEST_MAIN(TestConnectTexts)
#include "test_connect_texts.moc"
