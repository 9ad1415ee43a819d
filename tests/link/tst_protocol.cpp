// Reply texts, big-endian fields and the decoding of version and measurement replies.
#include "link/protocol.h"

#include <QtTest>

#include <cstring>
#include <vector>

Q_DECLARE_METATYPE(std::vector<std::uint8_t>)

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes bytesOf(const char* text, std::size_t length)
{
    return Bytes(text, text + length);
}

} // namespace

class ProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void replyText_data();
    void replyText();
    void replyTextStopsAtSize();
    void bigEndian16_data();
    void bigEndian16();
    void decodeVersion_data();
    void decodeVersion();
    void decodeMeasurement_data();
    void decodeMeasurement();
};

void ProtocolTest::replyText_data()
{
    QTest::addColumn<Bytes>("buffer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("passes");

    QTest::newRow("model name followed by zeros") << bytesOf("HMX-700\0\0\0", 10) << "HMX-700" << true;
    QTest::newRow("model name filling the buffer") << bytesOf("HMX-700", 7) << "HMX-700" << true;
    QTest::newRow("model name and CR") << bytesOf("HMX-700\r\0", 9) << "HMX-700" << false;
    QTest::newRow("model name and LF") << bytesOf("HMX-700\n\0", 9) << "HMX-700" << false;
    QTest::newRow("model name and CR LF") << bytesOf("HMX-700\r\n\0", 10) << "HMX-700" << false;
    QTest::newRow("model name and end") << bytesOf("HMX-700end\0", 11) << "HMX-700" << false;
    QTest::newRow("model name and space") << bytesOf("HMX-700 \0", 9) << "HMX-700" << false;
    QTest::newRow("leading space") << bytesOf(" HMX-700\0", 9) << "HMX-700" << false;
    QTest::newRow("lower case") << bytesOf("hmx-700\0", 8) << "HMX-700" << false;
    QTest::newRow("last character missing") << bytesOf("HMX-70\0\0", 8) << "HMX-700" << false;
    QTest::newRow("zero inside the name") << bytesOf("HMX\0-700", 8) << "HMX-700" << false;
    QTest::newRow("empty buffer") << bytesOf("\0\0\0\0", 4) << "HMX-700" << false;
    QTest::newRow("OK and zeros") << bytesOf("OK\0\0", 4) << "OK" << true;
    QTest::newRow("OK and CR LF") << bytesOf("OK\r\n\0", 5) << "OK" << false;
    QTest::newRow("OK and another byte") << bytesOf("OKx\0", 4) << "OK" << false;
    QTest::newRow("lower-case ok") << bytesOf("ok\0", 3) << "OK" << false;
}

void ProtocolTest::replyText()
{
    QFETCH(Bytes, buffer);
    QFETCH(QString, expected);
    QFETCH(bool, passes);
    const QByteArray want = expected.toLatin1();
    QCOMPARE(hmx::ReplyTextIs(buffer.data(), buffer.size(), std::string_view(want.constData(), want.size())), passes);
}

void ProtocolTest::replyTextStopsAtSize()
{
    // Without a zero byte the text ends at the size given, never beyond it.
    const std::uint8_t buffer[] = {'H', 'M', 'X', '-', '7', '0', '0', 'X'};
    QVERIFY(hmx::ReplyText(buffer, 7) == std::string_view("HMX-700"));
    QVERIFY(hmx::ReplyTextIs(buffer, 7, hmx::ModelName));
    QVERIFY(!hmx::ReplyTextIs(buffer, 8, hmx::ModelName));
    QVERIFY(!hmx::ReplyTextIs(buffer, 6, hmx::ModelName));
    QCOMPARE(hmx::ReplyText(buffer, 0).size(), std::size_t(0));
}

void ProtocolTest::bigEndian16_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << 0 << 0 << 0;
    QTest::newRow("low byte only") << 0 << 235 << 235;
    QTest::newRow("high byte first") << 48 << 57 << 12345;
    QTest::newRow("bytes unsigned") << 255 << 156 << 65436;
    QTest::newRow("largest") << 255 << 255 << 65535;
}

void ProtocolTest::bigEndian16()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(int, value);
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low)};
    QCOMPARE(int(hmx::BigEndian16(bytes)), value);
}

void ProtocolTest::decodeVersion_data()
{
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("revision");
    QTest::addColumn<int>("serial");
    QTest::newRow("1, 2, 48, 57") << Bytes {9, 9, 9, 9, 9, 1, 2, 48, 57} << 1 << 2 << 12345;
    QTest::newRow("3, 14, 1, 44") << Bytes {0, 0, 0, 0, 0, 3, 14, 1, 44} << 3 << 14 << 300;
    QTest::newRow("bytes 0..4 ignored") << Bytes {255, 255, 255, 255, 255, 0, 0, 0, 0} << 0 << 0 << 0;
    QTest::newRow("serial stays unsigned") << Bytes {0, 0, 0, 0, 0, 255, 255, 255, 255} << 255 << 255 << 65535;
    QTest::newRow("remains of the model name") << Bytes {'H', 'M', 'X', '-', '7', '0', '0', 0, 0} << 48 << 48 << 0;
}

void ProtocolTest::decodeVersion()
{
    QFETCH(Bytes, reply);
    QFETCH(int, version);
    QFETCH(int, revision);
    QFETCH(int, serial);
    const hmx::VersionInfo info = hmx::DecodeVersion(reply.data());
    QCOMPARE(int(info.version), version);
    QCOMPARE(int(info.revision), revision);
    QCOMPARE(int(info.serialNumber), serial);
}

void ProtocolTest::decodeMeasurement_data()
{
    QTest::addColumn<Bytes>("reply");
    QTest::addColumn<double>("humidity");
    QTest::addColumn<double>("dewPoint");
    QTest::addColumn<double>("ambient");
    QTest::newRow("60.0, -10.0, 23.5") << Bytes {2, 88, 255, 156, 0, 235} << 60.0 << -10.0 << 23.5;
    QTest::newRow("most negative") << Bytes {128, 0, 128, 0, 128, 0} << -3276.8 << -3276.8 << -3276.8;
    QTest::newRow("most positive") << Bytes {127, 255, 127, 255, 127, 255} << 3276.7 << 3276.7 << 3276.7;
    QTest::newRow("minus one tenth") << Bytes {255, 255, 0, 0, 0, 1} << -0.1 << 0.0 << 0.1;
    QTest::newRow("short reply in a zeroed buffer") << Bytes {2, 88, 255, 156, 0, 0} << 60.0 << -10.0 << 0.0;
}

void ProtocolTest::decodeMeasurement()
{
    QFETCH(Bytes, reply);
    QFETCH(double, humidity);
    QFETCH(double, dewPoint);
    QFETCH(double, ambient);
    const hmx::Measurement m = hmx::DecodeMeasurement(reply.data());
    QCOMPARE(m.humidity / 10.0, humidity);
    QCOMPARE(m.dewPoint / 10.0, dewPoint);
    QCOMPARE(m.ambient / 10.0, ambient);
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
