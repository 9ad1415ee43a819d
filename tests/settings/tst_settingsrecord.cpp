// The Settings record without a port: decoding, the write frame, the two encodings
// and the settings page's text conversions.
#include "instrument/settings.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using hmx::SettingsValues;

namespace {

using Record = std::array<std::uint8_t, 36>;
using Bytes = QList<int>;  // offset/value pairs, easy to write in a table

Record MakeRecord(const Bytes& pairs)
{
    Record r{};
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        r[static_cast<std::size_t>(pairs[i])] = static_cast<std::uint8_t>(pairs[i + 1]);
    return r;
}

// Every byte different, so a field read from the wrong offset shows.
Record DistinctRecord()
{
    Record r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(0x81 + 7 * i);
    return r;
}

} // namespace

class TestSettingsRecord : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void decodeUpperGroup_data();
    void decodeUpperGroup();
    void decodeEveryField();
    void encodeScaled_data();
    void encodeScaled();
    void decodeScaled_data();
    void decodeScaled();
    void frameUnits_data();
    void frameUnits();
    void frameByHand();
    void roundTrip();
    void tenthsToText_data();
    void tenthsToText();
    void textToTenths_data();
    void textToTenths();
    void textToScaled_data();
    void textToScaled();
    void integerText_data();
    void integerText();
    void malformed_data();
    void malformed();
    void outOfRange_data();
    void outOfRange();
    void outputTypeIndex_data();
    void outputTypeIndex();
    void storeFlag();
};

void TestSettingsRecord::decodeUpperGroup_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("exponent");
    QTest::addColumn<QString>("shown");

    QTest::newRow("tenths, unit 0") << Bytes{0, 0, 6, 0x00, 7, 0xEB, 8, 0x03} << 0 << 235 << 3 << "23.5";
    QTest::newRow("Scaled, unit 2, exponent 3") << Bytes{0, 2, 6, 0x00, 7, 0xEB, 8, 0x03} << 2 << 235 << 3 << "23.5";
    QTest::newRow("Scaled, unit 2, exponent 1") << Bytes{0, 2, 6, 0x00, 7, 0xEB, 8, 0x01} << 2 << 235 << 1 << "0.235";
    QTest::newRow("negative tenths FF 38") << Bytes{0, 3, 6, 0xFF, 7, 0x38} << 3 << -200 << 0 << "-20";
    QTest::newRow("negative Scaled FF 38 exponent 4") << Bytes{0, 2, 6, 0xFF, 7, 0x38, 8, 4} << 2 << -200 << 4 << "-200";
}

void TestSettingsRecord::decodeUpperGroup()
{
    QFETCH(Bytes, bytes);
    QFETCH(int, unit);
    QFETCH(int, high);
    QFETCH(int, exponent);
    QFETCH(QString, shown);

    const Record record = MakeRecord(bytes);
    const SettingsValues v = hmx::DecodeSettingsRecord(record.data());
    QCOMPARE(v.UpperUnit, unit);
    QCOMPARE(v.Alarm1High, high);
    QCOMPARE(v.Alarm1HighExp, exponent);
    const QString text = v.UpperUnit == hmx::ScaledUnit
        ? hmx::ScaledToText(v.Alarm1High, v.Alarm1HighExp, QLocale::c())
        : hmx::TenthsToText(v.Alarm1High, QLocale::c());
    QCOMPARE(text, shown);
}

void TestSettingsRecord::decodeEveryField()
{
    Record r{};
    const std::uint8_t bytes[36] = {2, 6, 3, 4, 0xAA, 0xBB, 0x01, 0x02, 3, 0xFE, 0x0C, 2, 0x80, 0x00, 0xCC,
                                    0x7F, 0xFF, 0xCC, 4, 0, 0xDD, 0xDD, 0x00, 0x64, 1, 0x12, 0x34, 4,
                                    0xFC, 0x18, 0xEE, 0x03, 0xE8, 0xEE, 0x00, 0x18};
    std::memcpy(r.data(), bytes, sizeof bytes);
    SettingsValues expected;
    expected.UpperUnit = 2;
    expected.LowerUnit = 6;
    expected.Alarm1Mode = 3;
    expected.Alarm2Mode = 4;
    expected.Alarm1High = 0x0102;
    expected.Alarm1HighExp = 3;
    expected.Alarm1Low = static_cast<std::int16_t>(0xFE0C);
    expected.Alarm1LowExp = 2;
    expected.Alarm2High = -32768;
    expected.Alarm2Low = 32767;
    expected.Output1Type = 4;
    expected.Output2Type = 0;
    expected.Output1Min = 100;
    expected.Output1MinExp = 1;
    expected.Output1Max = 0x1234;
    expected.Output1MaxExp = 4;
    expected.Output2Min = -1000;
    expected.Output2Max = 1000;
    expected.CleaningInterval = 24;
    QVERIFY(hmx::DecodeSettingsRecord(r.data()) == expected);
    QCOMPARE(hmx::IntegerToText(expected.CleaningInterval), QStringLiteral("24"));
}

void TestSettingsRecord::encodeScaled_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("mantissa");
    QTest::addColumn<int>("exponent");

    QTest::newRow("250.5 half to even down") << 250.5 << 250 << 4;
    QTest::newRow("251.5 half to even up") << 251.5 << 252 << 4;
    QTest::newRow("200 is not above 200") << 200.0 << 2000 << 3;
    QTest::newRow("20.25 half to even") << 20.25 << 202 << 3;
    QTest::newRow("20 is not above 20") << 20.0 << 2000 << 2;
    QTest::newRow("2 is not above 2") << 2.0 << 2000 << 1;
    QTest::newRow("zero") << 0.0 << 0 << 1;
    QTest::newRow("negative") << -1.5 << -1500 << 1;
    QTest::newRow("just above 200") << 200.5 << 200 << 4;
    QTest::newRow("32767 fits") << 32767.0 << 32767 << 4;
    QTest::newRow("beyond 16 bits keeps low bits") << 32768.0 << -32768 << 4;
    // 0.1 as float is 0.100000001..., times 1000 rounds to 100.
    QTest::newRow("float conversion first") << 0.1 << 100 << 1;
    // 2.0000001 becomes the float 2.0 before the band test.
    QTest::newRow("float of 2.0000001 is 2") << 2.0000001 << 2000 << 1;
    QTest::newRow("beyond the float range") << 1e300 << 0 << 4;
    QTest::newRow("not a number") << std::nan("") << 0 << 1;
}

void TestSettingsRecord::encodeScaled()
{
    QFETCH(double, x);
    QFETCH(int, mantissa);
    QFETCH(int, exponent);
    const hmx::ScaledValue s = hmx::EncodeScaled(x);
    QCOMPARE(s.mantissa, mantissa);
    QCOMPARE(s.exponent, exponent);
}

void TestSettingsRecord::decodeScaled_data()
{
    QTest::addColumn<int>("mantissa");
    QTest::addColumn<int>("exponent");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("exponent 0") << 1234 << 0 << 0.1234 << "0.1234";
    QTest::newRow("exponent 1") << 1234 << 1 << 1.234 << "1.234";
    QTest::newRow("exponent 2") << 1234 << 2 << 12.34 << "12.34";
    QTest::newRow("exponent 3") << 1234 << 3 << 123.4 << "123.4";
    QTest::newRow("exponent 4") << 1234 << 4 << 1234.0 << "1234";
    QTest::newRow("exponent 20 written out, no e+16") << 1 << 20 << 1e16 << "10000000000000000";
    QTest::newRow("exponent 0, smallest step") << 1 << 0 << 0.0001 << "0.0001";
    QTest::newRow("negative, exponent 1") << -1500 << 1 << -1.5 << "-1.5";
}

void TestSettingsRecord::decodeScaled()
{
    QFETCH(int, mantissa);
    QFETCH(int, exponent);
    QFETCH(double, value);
    QFETCH(QString, text);
    const auto m = static_cast<std::int16_t>(mantissa);
    const auto e = static_cast<std::uint8_t>(exponent);
    QCOMPARE(hmx::DecodeScaled(m, e), value);
    QCOMPARE(hmx::ScaledToText(m, e, QLocale::c()), text);
    // Every band of EncodeScaled is inverted by the decoding.
    if (exponent >= 1 && exponent <= 4) {
        const hmx::ScaledValue back = hmx::EncodeScaled(value);
        QCOMPARE(hmx::DecodeScaled(back.mantissa, back.exponent), value);
    }
}

void TestSettingsRecord::frameUnits_data()
{
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("lower");
    QTest::newRow("upper 0, lower 5") << 0 << 5;
    QTest::newRow("upper 2, lower 7") << 2 << 7;
    QTest::newRow("codes out of the tables") << 250 << 255;
}

void TestSettingsRecord::frameUnits()
{
    QFETCH(int, upper);
    QFETCH(int, lower);
    SettingsValues v;
    v.UpperUnit = static_cast<std::uint8_t>(upper);
    v.LowerUnit = static_cast<std::uint8_t>(lower);
    const auto frame = hmx::BuildSettingsFrame(v);
    QCOMPARE(frame.size(), std::size_t(42));
    QCOMPARE(int(frame[3]), (upper + 30) % 256);
    QCOMPARE(int(frame[4]), (lower + 30) % 256);
    QCOMPARE(int(frame[7]), upper);
    QCOMPARE(int(frame[8]), lower);
}

void TestSettingsRecord::frameByHand()
{
    SettingsValues v;
    v.UpperUnit = 2;
    v.LowerUnit = 6;
    v.Alarm1Mode = 1;
    v.Alarm2Mode = 5;
    v.Output1Type = 4;
    v.Output2Type = 0;
    v.Alarm1High = 0x0123;
    v.Alarm1HighExp = 3;
    v.Alarm1Low = -2;
    v.Alarm1LowExp = 1;
    v.Alarm2High = 0x0456;
    v.Alarm2Low = -300;
    v.Output1Min = 0;
    v.Output1MinExp = 2;
    v.Output1Max = 0x7FFF;
    v.Output1MaxExp = 4;
    v.Output2Min = -32768;
    v.Output2Max = 1000;
    v.CleaningInterval = 24;

    const std::array<std::uint8_t, 42> expected = {
        '0', '1', 'm',
        32, 36, 1, 5, 2, 6,                // units + 30, modes, plain units
        0x01, 0x23, 3, 0xFF, 0xFE, 1,      // alarm 1 high, exp, low, exp
        0x04, 0x56, 'k', 0xFE, 0xD4, 'k',  // alarm 2 high, k, low, k
        4, 0, 'j', 'j',                    // output types
        0x00, 0x00, 2, 0x7F, 0xFF, 4,      // output 1 min, exp, max, exp
        0x80, 0x00, 'k', 0x03, 0xE8, 'k',  // output 2 min, k, max, k
        0x00, 0x18,                        // cleaning interval
        'e', 'n', 'd'};
    const auto frame = hmx::BuildSettingsFrame(v);
    for (std::size_t i = 0; i < expected.size(); ++i)
        QVERIFY2(frame[i] == expected[i], qPrintable(QStringLiteral("frame offset %1: %2, expected %3")
                                                         .arg(i).arg(frame[i]).arg(expected[i])));
}

void TestSettingsRecord::roundTrip()
{
    const Record record = DistinctRecord();
    const SettingsValues v = hmx::DecodeSettingsRecord(record.data());
    const auto frame = hmx::BuildSettingsFrame(v);
    // Offsets the client writes with its own content instead of what it read.
    const std::size_t ownContent[] = {0, 1, 4, 5, 14, 17, 20, 21, 30, 33};
    for (std::size_t n = 0; n < record.size(); ++n) {
        if (std::find(std::begin(ownContent), std::end(ownContent), n) != std::end(ownContent))
            continue;
        QVERIFY2(frame[n + 3] == record[n], qPrintable(QStringLiteral("record offset %1").arg(n)));
    }
    QCOMPARE(int(frame[3]), (record[0] + 30) % 256);
    QCOMPARE(int(frame[4]), (record[1] + 30) % 256);
    QCOMPARE(frame[7], record[0]);
    QCOMPARE(frame[8], record[1]);
    QVERIFY(hmx::DecodeSettingsRecord(frame.data() + 3).Alarm1High == v.Alarm1High);
    // Decoding the frame's record gives back every field except the two units.
    SettingsValues again = hmx::DecodeSettingsRecord(frame.data() + 3);
    again.UpperUnit = v.UpperUnit;
    again.LowerUnit = v.LowerUnit;
    QVERIFY(again == v);
}

void TestSettingsRecord::tenthsToText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("text");

    QTest::newRow("235") << "en_US" << 235 << "23.5";
    QTest::newRow("200 without trailing zeros") << "en_US" << 200 << "20";
    QTest::newRow("-200") << "en_US" << -200 << "-20";
    QTest::newRow("0") << "en_US" << 0 << "0";
    QTest::newRow("no group separator") << "en_US" << 32767 << "3276.7";
    QTest::newRow("comma locale") << "pl_PL" << 235 << "23,5";
    QTest::newRow("comma locale, minimum") << "de_DE" << -32768 << "-3276,8";
    // Plain ASCII digits and '-' in every locale; only the decimal separator is the locale's.
    QTest::newRow("Arabic: ASCII digits, Arabic separator") << "ar_EG" << 235 << QStringLiteral("23\u066B5");
    QTest::newRow("Arabic: plain minus, no direction mark") << "ar_EG" << -200 << "-20";
    QTest::newRow("Persian: ASCII digits and minus") << "fa_IR" << -235 << QStringLiteral("-23\u066B5");
    QTest::newRow("Swedish: hyphen-minus, not U+2212") << "sv_SE" << -32768 << "-3276,8";
}

void TestSettingsRecord::tenthsToText()
{
    QFETCH(QString, locale);
    QFETCH(int, tenths);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(hmx::TenthsToText(static_cast<std::int16_t>(tenths)), text);
    // What is shown reads back as the same value.
    QCOMPARE(hmx::TextToTenths(text), tenths);
}

void TestSettingsRecord::textToTenths_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tenths");

    QTest::newRow("12.5") << "en_US" << "12.5" << 125;
    QTest::newRow("12,5 in a comma locale") << "pl_PL" << "12,5" << 125;
    QTest::newRow("0.25 half to even down") << "en_US" << "0.25" << 2;
    QTest::newRow("0.75 half to even up") << "en_US" << "0.75" << 8;
    QTest::newRow("0.35 as typed, not binary") << "en_US" << "0.35" << 4;
    QTest::newRow("0,35 comma locale") << "de_DE" << "0,35" << 4;
    QTest::newRow("0.45 half to even down") << "en_US" << "0.45" << 4;
    QTest::newRow("-0.25 negative half") << "en_US" << "-0.25" << -2;
    QTest::newRow("-0.35 negative half") << "en_US" << "-0.35" << -4;
    QTest::newRow("0.2501 above half") << "en_US" << "0.2501" << 3;
    QTest::newRow("0.04 below half of a tenth") << "en_US" << "0.04" << 0;
    QTest::newRow("0.005 tiny") << "en_US" << "0.005" << 0;
    QTest::newRow("integer text") << "en_US" << "20" << 200;
    QTest::newRow("leading zeros") << "en_US" << "007.0" << 70;
    QTest::newRow("upper limit") << "en_US" << "3276.7" << 32767;
    QTest::newRow("lower limit") << "en_US" << "-3276.8" << -32768;
    QTest::newRow("rounds into range") << "en_US" << "3276.74" << 32767;
    QTest::newRow("Swedish: hyphen-minus and comma") << "sv_SE" << "-1,5" << -15;
    QTest::newRow("Arabic: ASCII digits, Arabic separator") << "ar_EG" << QStringLiteral("12\u066B5") << 125;
    QTest::newRow("Persian: negative half") << "fa_IR" << QStringLiteral("-0\u066B35") << -4;
}

void TestSettingsRecord::textToTenths()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, tenths);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(hmx::TextToTenths(text), tenths);
    QCOMPARE(hmx::TextToTenths(text, QLocale(locale)), tenths);
}

void TestSettingsRecord::textToScaled_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mantissa");
    QTest::addColumn<int>("exponent");

    QTest::newRow("0.235") << "en_US" << "0.235" << 235 << 1;
    QTest::newRow("23,5 comma") << "pl_PL" << "23,5" << 235 << 3;
    QTest::newRow("250.5") << "en_US" << "250.5" << 250 << 4;
    QTest::newRow("20.25") << "en_US" << "20.25" << 202 << 3;
    QTest::newRow("-1.5") << "en_US" << "-1.5" << -1500 << 1;
    QTest::newRow("largest") << "en_US" << "32767" << 32767 << 4;
    QTest::newRow("smallest") << "en_US" << "-32.768" << -32768 << 1;
}

void TestSettingsRecord::textToScaled()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, mantissa);
    QFETCH(int, exponent);
    QLocale::setDefault(QLocale(locale));
    const hmx::ScaledValue s = hmx::TextToScaled(text);
    QCOMPARE(s.mantissa, mantissa);
    QCOMPARE(s.exponent, exponent);
}

void TestSettingsRecord::integerText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("24") << "24" << 24;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("upper limit") << "32767" << 32767;
    QTest::newRow("lower limit") << "-32768" << -32768;
}

void TestSettingsRecord::integerText()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(hmx::TextToInteger(text), value);
    QCOMPARE(hmx::IntegerToText(static_cast<std::int16_t>(value)), QString::number(value));
}

void TestSettingsRecord::malformed_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString fp = QStringLiteral("'%1' is not a valid floating point value");
    const QString in = QStringLiteral("'%1' is not a valid integer value");
    for (const char* kind : {"tenths", "scaled"}) {
        const QByteArray k(kind);
        QTest::newRow(k + ": empty") << "en_US" << kind << "" << fp.arg("");
        QTest::newRow(k + ": letters") << "en_US" << kind << "abc" << fp.arg("abc");
        QTest::newRow(k + ": two points") << "en_US" << kind << "1.2.3" << fp.arg("1.2.3");
        QTest::newRow(k + ": comma under a point locale") << "en_US" << kind << "12,5" << fp.arg("12,5");
        QTest::newRow(k + ": point under a comma locale") << "pl_PL" << kind << "12.5" << fp.arg("12.5");
        QTest::newRow(k + ": group separator") << "en_US" << kind << "1,000" << fp.arg("1,000");
        QTest::newRow(k + ": only a sign") << "en_US" << kind << "-" << fp.arg("-");
        QTest::newRow(k + ": trailing letters") << "en_US" << kind << "12.5x" << fp.arg("12.5x");
        QTest::newRow(k + ": dangling exponent") << "en_US" << kind << "1e" << fp.arg("1e");
        // ASCII digits, '-' and the locale's separator, nothing else.
        QTest::newRow(k + ": surrounding blanks") << "en_US" << kind << "  23.5 " << fp.arg("  23.5 ");
        QTest::newRow(k + ": plus sign") << "en_US" << kind << "+1.5" << fp.arg("+1.5");
        QTest::newRow(k + ": exponent") << "en_US" << kind << "1.5e2" << fp.arg("1.5e2");
        QTest::newRow(k + ": no-break space") << "pl_PL" << kind << QStringLiteral("\u00A012,5")
                                              << fp.arg(QStringLiteral("\u00A012,5"));
        QTest::newRow(k + ": Swedish U+2212 minus") << "sv_SE" << kind << QStringLiteral("\u22121,5")
                                                    << fp.arg(QStringLiteral("\u22121,5"));
        QTest::newRow(k + ": Arabic-Indic digits") << "ar_EG" << kind << QStringLiteral("\u0661\u0662\u066B\u0665")
                                                   << fp.arg(QStringLiteral("\u0661\u0662\u066B\u0665"));
        QTest::newRow(k + ": Arabic minus with its direction mark")
            << "ar_EG" << kind << QStringLiteral("\u061C-1\u066B5") << fp.arg(QStringLiteral("\u061C-1\u066B5"));
        QTest::newRow(k + ": Arabic locale, point") << "ar_EG" << kind << "12.5" << fp.arg("12.5");
        QTest::newRow(k + ": Persian digits") << "fa_IR" << kind << QStringLiteral("\u06F1\u06F2")
                                              << fp.arg(QStringLiteral("\u06F1\u06F2"));
        QTest::newRow(k + ": Persian minus with its direction mark")
            << "fa_IR" << kind << QStringLiteral("\u200E\u22121") << fp.arg(QStringLiteral("\u200E\u22121"));
        QTest::newRow(k + ": fullwidth digits") << "en_US" << kind << QStringLiteral("\uFF11\uFF12")
                                                << fp.arg(QStringLiteral("\uFF11\uFF12"));
    }
    QTest::newRow("integer: empty") << "en_US" << "integer" << "" << in.arg("");
    QTest::newRow("integer: decimal") << "en_US" << "integer" << "12.5" << in.arg("12.5");
    QTest::newRow("integer: letters") << "en_US" << "integer" << "abc" << in.arg("abc");
    QTest::newRow("integer: only a sign") << "en_US" << "integer" << "+" << in.arg("+");
    QTest::newRow("integer: blanks") << "en_US" << "integer" << " 12 " << in.arg(" 12 ");
    QTest::newRow("integer: plus sign") << "en_US" << "integer" << "+12" << in.arg("+12");
    QTest::newRow("integer: Arabic-Indic digits") << "ar_EG" << "integer" << QStringLiteral("\u0662\u0664")
                                                  << in.arg(QStringLiteral("\u0662\u0664"));
    QTest::newRow("integer: U+2212 minus") << "sv_SE" << "integer" << QStringLiteral("\u22127")
                                           << in.arg(QStringLiteral("\u22127"));
}

void TestSettingsRecord::malformed()
{
    QFETCH(QString, locale);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QLocale::setDefault(QLocale(locale));
    try {
        if (kind == "tenths")
            hmx::TextToTenths(text);
        else if (kind == "scaled")
            hmx::TextToScaled(text);
        else
            hmx::TextToInteger(text);
        QFAIL("no ConversionError");
    } catch (const hmx::ConversionError& e) {
        QCOMPARE(QString::fromStdString(e.what()), message);
    }
}

void TestSettingsRecord::outOfRange_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("tenths above") << "tenths" << "3276.8";
    QTest::newRow("tenths rounding above") << "tenths" << "3276.75";
    QTest::newRow("tenths below") << "tenths" << "-3276.9";
    QTest::newRow("tenths huge") << "tenths" << QString(400, u'9');
    QTest::newRow("scaled above") << "scaled" << "32768";
    QTest::newRow("scaled half rounds above") << "scaled" << "32767.5";
    QTest::newRow("scaled below") << "scaled" << "-32.769";
    QTest::newRow("scaled huge") << "scaled" << QString(400, u'9');
    QTest::newRow("integer above") << "integer" << "32768";
    QTest::newRow("integer below") << "integer" << "-32769";
    QTest::newRow("integer very long") << "integer" << "99999999999999999999";
}

void TestSettingsRecord::outOfRange()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    try {
        if (kind == "tenths")
            hmx::TextToTenths(text);
        else if (kind == "scaled")
            hmx::TextToScaled(text);
        else
            hmx::TextToInteger(text);
        QFAIL("no ConversionError");
    } catch (const hmx::ConversionError& e) {
        const QString message = QString::fromStdString(e.what());
        QVERIFY2(message.startsWith("'" + text + "' is outside the allowed range "), qPrintable(message));
    }
}

void TestSettingsRecord::outputTypeIndex_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("index");
    QTest::newRow("0-20mA") << 0 << 0;
    QTest::newRow("4-20mA") << 4 << 1;
    QTest::newRow("code 3 falls to item 0") << 3 << 0;
    QTest::newRow("code 7 falls to item 1") << 7 << 1;
    QTest::newRow("code 8 is beyond the list") << 8 << 2;
}

void TestSettingsRecord::outputTypeIndex()
{
    QFETCH(int, code);
    QFETCH(int, index);
    QCOMPARE(hmx::OutputTypeIndex(static_cast<std::uint8_t>(code)), index);
    if (code % 4 == 0)
        QCOMPARE(int(hmx::OutputTypeCode(index)), code);
}

void TestSettingsRecord::storeFlag()
{
    hmx::SettingsStore store;
    QVERIFY(!store.writePending());
    store.update([](SettingsValues& v) { v.CleaningInterval = 24; });
    store.requestWrite();
    QVERIFY(store.writePending());
    QCOMPARE(store.values().CleaningInterval, 24);
    store.clearWriteRequest();
    QVERIFY(!store.writePending());
    SettingsValues v;
    v.LowerUnit = 7;
    store.setValues(v);
    QVERIFY(store.values() == v);
}

QTEST_GUILESS_MAIN(TestSettingsRecord)
#include "tst_settingsrecord.moc"
