// The settings page against a simulated instrument the window measures: what a read
// shows, what a save stores and sends.
#include "instrument/poller.h"
#include "instrument/settings.h"
#include "tools/simulator.h"
#include "ui/mainwindow.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using hmx::sim::SettingsRecord;

namespace {

void Put16(SettingsRecord& r, int offset, int value)
{
    r[std::size_t(offset)] = std::uint8_t((value >> 8) & 0xFF);
    r[std::size_t(offset + 1)] = std::uint8_t(value & 0xFF);
}

// Whether the last settings frame the instrument received is the one for these values.
bool LastWriteIs(const hmx::sim::Simulator& sim, const hmx::SettingsValues& values)
{
    const auto expected = hmx::BuildSettingsFrame(values);
    const auto frames = sim.receivedFrames();
    const auto last = std::find_if(frames.rbegin(), frames.rend(), [](const auto& f) { return f.size() == 42; });
    return last != frames.rend() && std::equal(last->begin(), last->end(), expected.begin(), expected.end());
}

} // namespace

class TestSettingsPage : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readFillsThePage_data();
    void readFillsThePage();
    void missingReplyKeepsThePage();
    void readWithoutConnectionTouchesNoPort();
    void saveStoresCodes_data();
    void saveStoresCodes();
    void saveWithoutScaledUnitKeepsExponents();

private:
    // Presses "Odczytaj ustawienia" and waits until the read has reported.
    bool loadSettings()
    {
        m_form->Button2->click();
        return QTest::qWaitFor([this] { return m_form->Button2->isEnabled(); }, 10000);
    }
    // Connects as the user does (the identification box answered) and waits until the
    // window measures: the Poller then serves the page's reads and saves.
    bool connectWindow()
    {
        m_form->Connect->click();
        QMessageBox* found = nullptr;
        if (!QTest::qWaitFor([&] { return (found = m_form->findChild<QMessageBox*>(QStringLiteral("identification"))); },
                             10000))
            return false;
        found->accept();
        return QTest::qWaitFor([this] { return m_form->poller() != nullptr; }, 10000);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
    std::unique_ptr<hmx::sim::Simulator> m_sim;
    std::unique_ptr<TForm1> m_form;
};

void TestSettingsPage::init()
{
    QLocale::setDefault(QLocale::c());
    // The log and the journal of the connection go to a folder of the case's own.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_sim = std::make_unique<hmx::sim::Simulator>();
    qputenv("HMX700_PORTS", QByteArray::fromStdString(m_sim->devicePath()));
    m_form = std::make_unique<TForm1>();
    if (QByteArray(QTest::currentTestFunction()) != "readWithoutConnectionTouchesNoPort")
        QVERIFY(connectWindow());
}

void TestSettingsPage::cleanup()
{
    if (m_form)
        m_form->Shutdown();
    m_form.reset();
    m_sim.reset();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestSettingsPage::readFillsThePage_data()
{
    QTest::addColumn<int>("upperUnit");
    QTest::addColumn<int>("lowerUnit");
    QTest::addColumn<int>("alarm1Mode");
    QTest::addColumn<int>("output1Type");
    QTest::addColumn<QString>("upperText");   // ComboBox1
    QTest::addColumn<QString>("mirrorText");  // ComboBox3 and ComboBox4
    QTest::addColumn<QString>("lowerText");   // ComboBox10
    QTest::addColumn<QString>("lowerMirror"); // ComboBox6 and ComboBox8
    QTest::addColumn<QString>("modeText");    // ComboBox7
    QTest::addColumn<QString>("outputText");  // ComboBox2
    QTest::addColumn<QString>("edit5");       // alarm 1 upper threshold: 0x00EB, exponent 3
    QTest::addColumn<QString>("locale");

    QTest::newRow("tenths") << 0 << 5 << 1 << 4 << "°Cdp" << "°Cdp" << "°C" << "°C" << "1 górny" << "4-20mA"
                            << "23.5" << "C";
    QTest::newRow("g/m3 shows Scaled values") << 2 << 6 << 6 << 0 << "gm-3" << "g/m3" << "°F" << "°F"
                                              << "6 dolny z histerezą" << "0-20mA" << "23.5" << "C";
    QTest::newRow("output codes 1-3 and 5-7 by shifting") << 3 << 7 << 0 << 7 << "%Rh" << "%Rh" << "t-tdp"
                                                           << "t-tdp" << "0 wyłączony" << "4-20mA" << "23.5" << "C";
    // Codes outside a list leave it without a selection; the eight-item mirrors still show them.
    QTest::newRow("codes outside the lists") << 6 << 3 << 7 << 8 << "" << "°F" << "" << "%Rh" << "" << "" << "23.5"
                                             << "C";
    // Plain digits and '-' in every locale, with the locale's decimal separator.
    QTest::newRow("Arabic locale") << 0 << 5 << 1 << 4 << "°Cdp" << "°Cdp" << "°C" << "°C" << "1 górny" << "4-20mA"
                                   << QStringLiteral("23\u066B5") << "ar_EG";
    QTest::newRow("Persian locale, g/m3") << 2 << 6 << 6 << 0 << "gm-3" << "g/m3" << "°F" << "°F"
                                          << "6 dolny z histerezą" << "0-20mA" << QStringLiteral("23\u066B5")
                                          << "fa_IR";
    QTest::newRow("Swedish locale") << 0 << 5 << 1 << 4 << "°Cdp" << "°Cdp" << "°C" << "°C" << "1 górny" << "4-20mA"
                                    << "23,5" << "sv_SE";
}

void TestSettingsPage::readFillsThePage()
{
    QFETCH(int, upperUnit);
    QFETCH(int, lowerUnit);
    QFETCH(int, alarm1Mode);
    QFETCH(int, output1Type);
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    SettingsRecord record = hmx::sim::DefaultSettingsRecord();
    record[0] = std::uint8_t(upperUnit);
    record[1] = std::uint8_t(lowerUnit);
    record[2] = std::uint8_t(alarm1Mode);
    record[18] = std::uint8_t(output1Type);
    Put16(record, 6, 0x00EB);
    record[8] = 3;
    Put16(record, 12, -200);  // FF 38
    Put16(record, 34, 24);
    m_sim->setSettingsRecord(record);

    QVERIFY(loadSettings());

    QTEST(m_form->ComboBox1->currentText(), "upperText");
    QTEST(m_form->ComboBox3->currentText(), "mirrorText");
    QTEST(m_form->ComboBox4->currentText(), "mirrorText");
    QTEST(m_form->ComboBox10->currentText(), "lowerText");
    QTEST(m_form->ComboBox6->currentText(), "lowerMirror");
    QTEST(m_form->ComboBox8->currentText(), "lowerMirror");
    QTEST(m_form->ComboBox7->currentText(), "modeText");
    QTEST(m_form->ComboBox2->currentText(), "outputText");
    QTEST(m_form->Edit5->text(), "edit5");
    QCOMPARE(m_form->Edit17->text(), QStringLiteral("-20"));
    QCOMPARE(m_form->Edit12->text(), QStringLiteral("24"));
    const hmx::SettingsValues read = m_form->settingsStore().values();
    QCOMPARE(read.UpperUnit, std::uint8_t(upperUnit));

    // What the page shows saves back unchanged, and goes out to the instrument.
    m_form->ZapisUstawien->click();
    const hmx::SettingsValues saved = m_form->settingsStore().values();
    QTRY_VERIFY_WITH_TIMEOUT(LastWriteIs(*m_sim, saved), 5000);
    QCOMPARE(saved.Alarm1High, read.Alarm1High);
    QCOMPARE(saved.Alarm1HighExp, read.Alarm1HighExp);
    QCOMPARE(saved.Alarm2High, read.Alarm2High);
    QCOMPARE(saved.CleaningInterval, read.CleaningInterval);
}

void TestSettingsPage::missingReplyKeepsThePage()
{
    QVERIFY(loadSettings());
    const QString shown = m_form->Edit5->text();
    const hmx::SettingsValues stored = m_form->settingsStore().values();
    m_form->Label9->setText(QStringLiteral("-"));
    m_sim->setSilent(true);
    QVERIFY(loadSettings());
    QCOMPARE(m_form->Label9->text(), QStringLiteral("Brak komunikacji !"));
    QCOMPARE(m_form->Edit5->text(), shown);
    QVERIFY(m_form->settingsStore().values() == stored);
}

void TestSettingsPage::readWithoutConnectionTouchesNoPort()
{
    // Nothing measures: the read fails as on a port that is gone, and no port is opened.
    m_form->Label9->setText(QStringLiteral("-"));
    QVERIFY(loadSettings());
    QCOMPARE(m_form->Label9->text(), QStringLiteral("Brak komunikacji !"));
    QVERIFY(hmx::SerialLink::Open(m_sim->devicePath()).link);  // nobody holds it
    QCOMPARE(m_sim->receivedByteCount(), std::size_t(0));
}

void TestSettingsPage::saveStoresCodes_data()
{
    QTest::addColumn<int>("upperIndex");
    QTest::addColumn<int>("lowerIndex");
    QTest::addColumn<int>("modeIndex");
    QTest::addColumn<int>("outputIndex");
    QTest::addColumn<int>("upperCode");
    QTest::addColumn<int>("lowerCode");
    QTest::addColumn<int>("modeCode");
    QTest::addColumn<int>("outputCode");

    QTest::newRow("items") << 3 << 2 << 5 << 0 << 3 << 7 << 5 << 0;
    QTest::newRow("4-20mA stores 4") << 0 << 1 << 0 << 1 << 0 << 6 << 0 << 4;
    QTest::newRow("nothing selected") << -1 << -1 << -1 << -1 << 255 << 4 << 255 << 252;
}

void TestSettingsPage::saveStoresCodes()
{
    QFETCH(int, upperIndex);
    QFETCH(int, lowerIndex);
    QFETCH(int, modeIndex);
    QFETCH(int, outputIndex);
    QVERIFY(loadSettings());
    m_form->ComboBox1->setCurrentIndex(upperIndex);
    m_form->ComboBox10->setCurrentIndex(lowerIndex);
    m_form->ComboBox7->setCurrentIndex(modeIndex);
    m_form->ComboBox2->setCurrentIndex(outputIndex);
    m_form->Edit17->setText(QStringLiteral("0.75"));

    m_form->ZapisUstawien->click();

    const hmx::SettingsValues v = m_form->settingsStore().values();
    QTEST(int(v.UpperUnit), "upperCode");
    QTEST(int(v.LowerUnit), "lowerCode");
    QTEST(int(v.Alarm1Mode), "modeCode");
    QTEST(int(v.Output1Type), "outputCode");
    QCOMPARE(v.Alarm2High, std::int16_t(8));
    QCOMPARE(v.CleaningInterval, std::int16_t(24));
    QTRY_VERIFY_WITH_TIMEOUT(LastWriteIs(*m_sim, v), 5000);
}

void TestSettingsPage::saveWithoutScaledUnitKeepsExponents()
{
    SettingsRecord record = hmx::sim::DefaultSettingsRecord();
    record[0] = 2;
    Put16(record, 6, 2345);
    record[8] = 2;  // 23.45
    m_sim->setSettingsRecord(record);
    QVERIFY(loadSettings());
    QCOMPARE(m_form->Edit5->text(), QStringLiteral("23.45"));

    m_form->ComboBox1->setCurrentIndex(0);  // °Cdp: the numbers are tenths now
    m_form->ZapisUstawien->click();
    const hmx::SettingsValues v = m_form->settingsStore().values();
    QCOMPARE(v.UpperUnit, std::uint8_t(0));
    QCOMPARE(v.Alarm1High, std::int16_t(234));  // 234.5 tenths, half to even
    QCOMPARE(v.Alarm1HighExp, std::uint8_t(2));

    m_form->ComboBox1->setCurrentIndex(2);  // back to g/m3: Scaled again
    m_form->ZapisUstawien->click();
    // 23.45 as a float is a little above 23.45, so x10 rounds up.
    QCOMPARE(m_form->settingsStore().values().Alarm1High, std::int16_t(235));
    QCOMPARE(m_form->settingsStore().values().Alarm1HighExp, std::uint8_t(3));
    QTRY_VERIFY_WITH_TIMEOUT(LastWriteIs(*m_sim, m_form->settingsStore().values()), 5000);
}

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
