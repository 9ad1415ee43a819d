// Cases the serial-link tests share on every platform: the query frames with the length of
// their replies, the identification replies, and the settings-write frame.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace linkcases {

// Columns frame (QByteArray) and replyLength (int).
inline void AddQueryFrameRows()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("replyLength");
    QTest::newRow("identify") << QByteArray("01i?end") << 7;
    QTest::newRow("version") << QByteArray("01v?end") << 9;
    QTest::newRow("settings read") << QByteArray("01s?end") << 36;
    QTest::newRow("measure") << QByteArray("01t?end") << 6;
}

// Columns model (QString), extra (QByteArray: bytes after the model name) and accepted (bool).
inline void AddIdentificationRows()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exact model name") << "HMX-700" << QByteArray() << true;
    QTest::newRow("followed by CR") << "HMX-700" << QByteArray("\r") << false;
    QTest::newRow("followed by LF") << "HMX-700" << QByteArray("\n") << false;
    QTest::newRow("followed by end") << "HMX-700" << QByteArray("end") << false;
    QTest::newRow("followed by a space") << "HMX-700" << QByteArray(" ") << false;
    QTest::newRow("lower case") << "hmx-700" << QByteArray() << false;
    QTest::newRow("last character missing") << "HMX-70" << QByteArray() << false;
    QTest::newRow("another model") << "HMX-701" << QByteArray() << false;
}

// Column record (QByteArray of 36 bytes): records whose zero bytes must all go out.
inline void AddSettingsRecordRows()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("all values zero") << QByteArray(36, '\0');
    QByteArray mixed(36, '\0');
    for (int i = 0; i < mixed.size(); ++i)
        mixed[i] = char(i % 3 == 0 ? 0 : 200 + i);
    QTest::newRow("zeros inside and at the end") << mixed;
    QTest::newRow("no zero at all") << QByteArray(36, '\xFF');
}

// The client's side of the write: record offset n goes out at frame offset n + 3, with the
// unit codes repeated and the client's own marks in place.
inline std::vector<std::uint8_t> SettingsFrame(const std::uint8_t* values)
{
    std::vector<std::uint8_t> r(values, values + 36);
    r[0] = static_cast<std::uint8_t>(values[0] + 30);
    r[1] = static_cast<std::uint8_t>(values[1] + 30);
    r[4] = values[0];
    r[5] = values[1];
    r[14] = r[17] = r[30] = r[33] = 'k';
    r[20] = r[21] = 'j';
    std::vector<std::uint8_t> frame(42);
    frame[0] = '0';
    frame[1] = '1';
    frame[2] = 'm';
    std::copy(r.begin(), r.end(), frame.begin() + 3);
    frame[39] = 'e';
    frame[40] = 'n';
    frame[41] = 'd';
    return frame;
}

inline std::vector<std::uint8_t> SettingsFrame(const QByteArray& record)
{
    return SettingsFrame(reinterpret_cast<const std::uint8_t*>(record.constData()));
}

} // namespace linkcases
