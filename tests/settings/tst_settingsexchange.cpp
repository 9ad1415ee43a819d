// The settings read and write exchanges against the simulated instrument.
#include "instrument/settings.h"
#include "link/seriallink.h"
#include "tools/simulator.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>

using hmx::SettingsValues;

namespace {

// Values with zero bytes in them, and a Scaled upper group.
SettingsValues SampleValues()
{
    SettingsValues v;
    v.UpperUnit = 2;
    v.LowerUnit = 6;
    v.Alarm1Mode = 1;
    v.Alarm2Mode = 0;
    v.Output1Type = 4;
    v.Output2Type = 0;
    v.Alarm1High = 235;
    v.Alarm1HighExp = 3;
    v.Alarm1Low = -1500;
    v.Alarm1LowExp = 1;
    v.Alarm2High = 256;  // 01 00
    v.Alarm2Low = -200;
    v.Output1Min = 0;
    v.Output1MinExp = 1;
    v.Output1Max = 2000;
    v.Output1MaxExp = 2;
    v.Output2Min = -400;
    v.Output2Max = 1000;
    v.CleaningInterval = 24;
    return v;
}

bool AllZero(const std::uint8_t* bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0; });
}

} // namespace

class TestSettingsExchange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void writeSettings_data();
    void writeSettings();
    void readSettings();
    void readWithoutReply_data();
    void readWithoutReply();
    void waitKeptWhenSendFails_data();
    void waitKeptWhenSendFails();

private:
    std::unique_ptr<hmx::sim::Simulator> m_sim;
    std::unique_ptr<hmx::SerialLink> m_link;
};

void TestSettingsExchange::initTestCase()
{
    m_sim = std::make_unique<hmx::sim::Simulator>();
    m_link = hmx::SerialLink::Open(m_sim->devicePath()).link;
    QVERIFY(m_link);
}

void TestSettingsExchange::cleanupTestCase()
{
    m_link.reset();
    m_sim.reset();
}

void TestSettingsExchange::init()
{
    m_sim->setSilent(false);
    m_sim->setDropAcknowledgement(false);
    m_sim->setExtraBytes({});
    m_sim->setSplitReply(0, std::chrono::milliseconds(0));
    m_sim->setSettingsRecord(hmx::sim::DefaultSettingsRecord());
    m_sim->clearRecord();
    QVERIFY(m_link);
    m_link->ClearBuffers();
}

void TestSettingsExchange::writeSettings_data()
{
    QTest::addColumn<bool>("dropAck");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<bool>("confirmed");

    QTest::newRow("OK confirms") << false << QByteArray() << true;
    QTest::newRow("no acknowledgement") << true << QByteArray() << false;
    QTest::newRow("OK with CR LF is not OK") << false << QByteArray("\r\n") << false;
}

void TestSettingsExchange::writeSettings()
{
    QFETCH(bool, dropAck);
    QFETCH(QByteArray, extra);
    QFETCH(bool, confirmed);

    m_sim->setDropAcknowledgement(dropAck);
    m_sim->setExtraBytes(extra.toStdString());
    const SettingsValues values = SampleValues();
    hmx::SettingsStore store;
    store.setValues(values);
    store.requestWrite();

    QCOMPARE(hmx::WriteSettings(*m_link, store), confirmed);
    QVERIFY(!store.writePending());

    const auto expected = hmx::BuildSettingsFrame(values);
    const auto frames = m_sim->receivedFrames();
    QCOMPARE(frames.size(), std::size_t(1));
    QCOMPARE(frames[0].size(), std::size_t(42));
    QVERIFY(std::equal(frames[0].begin(), frames[0].end(), expected.begin()));
    QCOMPARE(m_sim->strayByteCount(), std::size_t(0));

    // The instrument now holds what was written, whether or not it said so.
    const auto record = m_sim->settingsRecord();
    QVERIFY(hmx::DecodeSettingsRecord(record.data()) == values);

    QVERIFY(AllZero(m_link->TransmitBuffer, 49));
}

void TestSettingsExchange::readSettings()
{
    hmx::sim::SettingsRecord record{};
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(0x90 + 5 * i);
    record[0] = 2;
    record[1] = 7;
    m_sim->setSettingsRecord(record);

    SettingsValues out;
    QVERIFY(hmx::ReadSettingsRecord(*m_link, out));
    QVERIFY(out == hmx::DecodeSettingsRecord(record.data()));
    QCOMPARE(out.UpperUnit, 2);
    QCOMPARE(out.LowerUnit, 7);

    const auto frames = m_sim->receivedFrames();
    QCOMPARE(frames.size(), std::size_t(1));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(frames[0].data()), qsizetype(frames[0].size())),
             QByteArray("01s?end"));
    QVERIFY(AllZero(m_link->ReceiveBuffer, hmx::ReceiveBufferSize));
}

void TestSettingsExchange::readWithoutReply_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("extra");
    QTest::newRow("silent instrument") << true << QByteArray();
    QTest::newRow("reply cut short") << false << QByteArray();
    QTest::newRow("reply too long") << false << QByteArray("\r\n");
}

void TestSettingsExchange::readWithoutReply()
{
    QFETCH(bool, silent);
    QFETCH(QByteArray, extra);
    const std::chrono::milliseconds gap(800);
    if (silent)
        m_sim->setSilent(true);
    else if (!extra.isEmpty())
        m_sim->setExtraBytes(extra.toStdString());
    else
        m_sim->setSplitReply(10, gap);
    // Stale bytes of an earlier reply must not be decoded.
    std::memset(m_link->ReceiveBuffer, 0x55, hmx::ReceiveBufferSize);
    const SettingsValues before = SampleValues();
    SettingsValues out = before;
    QVERIFY(!hmx::ReadSettingsRecord(*m_link, out));
    QVERIFY(out == before);
    QVERIFY(AllZero(m_link->ReceiveBuffer, hmx::ReceiveBufferSize));
    if (!silent) {
        // Drain the rest of the split reply so it does not reach the next test.
        QTest::qWait(int(gap.count()) + 300);
        m_link->ReadReply(hmx::ReceiveBufferSize);
        m_link->ClearBuffers();
    }
}

void TestSettingsExchange::waitKeptWhenSendFails_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("settings read") << false << 300;
    QTest::newRow("settings write") << true << 100;
}

void TestSettingsExchange::waitKeptWhenSendFails()
{
    QFETCH(bool, write);
    QFETCH(int, waitMs);
    // A port that is gone: the frame cannot go out, yet the exchange takes its time,
    // so the Poller's cycle keeps its pace.
    m_sim->unplug();
    std::vector<int> waits;
    const hmx::SleepFunction sleep = [&waits](std::chrono::milliseconds d) {
        waits.push_back(int(d.count()));
        return true;
    };
    SettingsValues out;
    hmx::SettingsStore store;
    store.setValues(SampleValues());
    store.requestWrite();
    const bool done = write ? hmx::WriteSettings(*m_link, store, sleep) : hmx::ReadSettingsRecord(*m_link, out, sleep);
    const bool lost = m_link->lost();
    // The instrument back on a new link, for the next case.
    m_sim->replug();
    m_link = hmx::SerialLink::Open(m_sim->devicePath()).link;
    QVERIFY(m_link);
    QVERIFY(!done);
    QVERIFY(lost);
    QCOMPARE(store.writePending(), !write);  // a write clears it whatever came of it
    QCOMPARE(waits, std::vector<int>{waitMs});
    QVERIFY(m_sim->receivedFrames().empty());
}

QTEST_GUILESS_MAIN(TestSettingsExchange)
#include "tst_settingsexchange.moc"
