// The tenths and Scaled encodings, the page's text conversions and the two settings
// exchanges on the link.
#include "instrument/settings.h"

#include "link/protocol.h"
#include "link/seriallink.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <thread>

namespace hmx {

namespace {

// Nearest integer, halves to the even neighbour, whatever the FPU rounding mode.
double RoundHalfEven(double v)
{
    const double down = std::floor(v);
    const double diff = v - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

// The band of EncodeScaled with the rounded mantissa before it is cut to 16 bits.
struct WideScaled {
    double mantissa = 0;  // an integer value, possibly far outside 16 bits
    std::uint8_t exponent = 1;
};

WideScaled ScaledBand(double x)
{
    // Beyond the float range the conversion itself would be undefined; infinity is what it gives.
    const double limit = std::numeric_limits<float>::max();
    const float f = x > limit ? std::numeric_limits<float>::infinity()
        : x < -limit          ? -std::numeric_limits<float>::infinity()
                              : static_cast<float>(x);
    const double v = f;  // the products below are exact in double
    if (v > 200)
        return {RoundHalfEven(v), 4};
    if (v > 20)
        return {RoundHalfEven(v * 10), 3};
    if (v > 2)
        return {RoundHalfEven(v * 100), 2};
    return {RoundHalfEven(v * 1000), 1};
}

std::int16_t Low16(double integer)
{
    if (!std::isfinite(integer))
        return 0;
    // Floats this large are multiples of 2^40, so their low 16 bits are zero anyway.
    if (std::fabs(integer) >= 9.0e18)
        return 0;
    const auto wide = static_cast<long long>(integer);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long long>(wide) & 0xFFFFu));
}

// A decimal number exactly as typed: (-1)^negative x digits x 10^exponent.
struct Decimal {
    bool negative = false;
    QByteArray digits;  // ASCII digits without leading zeros; empty for zero
    long long exponent = 0;
};

bool StartsWithAt(const QString& text, qsizetype pos, const QString& part)
{
    return !part.isEmpty() && QStringView(text).mid(pos).startsWith(part);
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The page's numbers: an optional '-', ASCII digits and at most one decimal separator
// of the locale, nothing else (no blanks, no '+', no exponent, no other digits or
// minus signs, no direction marks).
std::optional<Decimal> ParseDecimal(const QString& text, const QLocale& locale)
{
    Decimal d;
    qsizetype pos = 0;
    if (pos < text.size() && text.at(pos) == u'-') {
        d.negative = true;
        ++pos;
    }
    int digitCount = 0;
    long long fractionDigits = 0;
    bool inFraction = false;
    const QString point = locale.decimalPoint();
    while (pos < text.size()) {
        const QChar c = text.at(pos);
        if (IsAsciiDigit(c)) {
            ++digitCount;
            // Leading zeros are dropped; after the point they still shift the exponent.
            if (!(d.digits.isEmpty() && c == u'0'))
                d.digits.append(static_cast<char>(c.unicode()));
            if (inFraction)
                ++fractionDigits;
            ++pos;
        } else if (!inFraction && StartsWithAt(text, pos, point)) {
            inFraction = true;
            pos += point.size();
        } else {
            return std::nullopt;
        }
    }
    if (digitCount == 0)
        return std::nullopt;
    // Leading zeros of the integer part were dropped; only fraction digits move the point.
    d.exponent = -fractionDigits;
    return d;
}

// The decimal times 10^shift, rounded half to even; nullopt when beyond 10^18.
std::optional<long long> RoundDecimal(const Decimal& d, long long shift)
{
    if (d.digits.isEmpty())
        return 0;
    const long long n = d.digits.size();
    const long long integerDigits = n + d.exponent + shift;
    if (integerDigits > 18)
        return std::nullopt;
    long long integer = 0;
    for (long long i = 0; i < integerDigits; ++i)
        integer = integer * 10 + (i < n ? d.digits.at(i) - '0' : 0);
    bool up = false;
    if (integerDigits >= 0 && integerDigits < n) {
        // Below 10^integerDigits the dropped part starts with this digit.
        const int first = d.digits.at(integerDigits) - '0';
        bool restNonZero = false;
        for (long long i = integerDigits + 1; i < n; ++i)
            restNonZero = restNonZero || d.digits.at(i) != '0';
        up = first > 5 || (first == 5 && (restNonZero || integer % 2 != 0));
    }
    // integerDigits < 0: the value is below 0.1, nearer to 0 than to 1.
    if (up)
        ++integer;
    return d.negative ? -integer : integer;
}

double DecimalToDouble(const Decimal& d)
{
    if (d.digits.isEmpty())
        return d.negative ? -0.0 : 0.0;
    const QByteArray text = (d.negative ? QByteArray("-") : QByteArray()) + d.digits + 'e'
        + QByteArray::number(d.exponent);
    return std::strtod(text.constData(), nullptr);
}

// The page's text of a number: the shortest general form with up to 15 significant
// digits, written out in ASCII digits with '-' and the locale's decimal separator,
// never with an exponent, group separators or the locale's own digits and signs.
QString GeneralText(double value, const QLocale& locale)
{
    if (value == 0)
        return QStringLiteral("0");  // never "-0"
    const QByteArray g = QByteArray::number(value, 'g', 15);  // C locale: "-2.35", "1e+16", "1.5e-05"
    const qsizetype e = g.indexOf('e');
    QByteArray mantissa = e < 0 ? g : g.left(e);
    const int exponent = e < 0 ? 0 : g.mid(e + 1).toInt();
    const bool negative = mantissa.startsWith('-');
    if (negative)
        mantissa.remove(0, 1);
    const qsizetype point = mantissa.indexOf('.');
    QByteArray digits = mantissa;
    qsizetype integerDigits = digits.size();
    if (point >= 0) {
        digits.remove(point, 1);
        integerDigits = point;
    }
    integerDigits += exponent;
    QByteArray whole;
    QByteArray fraction;
    if (integerDigits <= 0) {
        whole = "0";
        fraction = QByteArray(-integerDigits, '0') + digits;
    } else if (integerDigits >= digits.size()) {
        whole = digits + QByteArray(integerDigits - digits.size(), '0');
    } else {
        whole = digits.left(integerDigits);
        fraction = digits.mid(integerDigits);
    }
    QString text = QString::fromLatin1((negative ? "-" : "") + whole);
    if (!fraction.isEmpty())
        text += locale.decimalPoint() + QString::fromLatin1(fraction);
    return text;
}

[[noreturn]] void ThrowMalformed(const QString& text, const char* kind)
{
    throw ConversionError(ConversionError::Kind::Malformed,
                          QStringLiteral("'%1' is not a valid %2 value").arg(text, QLatin1String(kind)), text);
}

[[noreturn]] void ThrowRange(const QString& text, const QString& low, const QString& high)
{
    throw ConversionError(ConversionError::Kind::Range,
                          QStringLiteral("'%1' is outside the allowed range %2 to %3").arg(text, low, high), text, low,
                          high);
}

} // namespace

ScaledValue EncodeScaled(double x)
{
    const WideScaled wide = ScaledBand(x);
    return {Low16(wide.mantissa), wide.exponent};
}

double DecodeScaled(std::int16_t mantissa, std::uint8_t exponent)
{
    return std::pow(10.0, exponent) * mantissa / 10000.0;
}

QString TenthsToText(std::int16_t tenths, const QLocale& locale)
{
    return GeneralText(tenths / 10.0, locale);
}

QString ScaledToText(std::int16_t mantissa, std::uint8_t exponent, const QLocale& locale)
{
    return GeneralText(DecodeScaled(mantissa, exponent), locale);
}

QString IntegerToText(std::int16_t value)
{
    return QString::number(value);
}

std::int16_t TextToTenths(const QString& text, const QLocale& locale)
{
    const std::optional<Decimal> d = ParseDecimal(text, locale);
    if (!d)
        ThrowMalformed(text, "floating point");
    // Rounded from the digits as typed: 0.35 gives 4, not the 3 its binary neighbour would.
    const std::optional<long long> tenths = RoundDecimal(*d, 1);
    if (!tenths || *tenths < std::numeric_limits<std::int16_t>::min()
        || *tenths > std::numeric_limits<std::int16_t>::max()) {
        ThrowRange(text, GeneralText(-3276.8, locale), GeneralText(3276.7, locale));
    }
    return static_cast<std::int16_t>(*tenths);
}

TypedNumber TextToNumber(const QString& text, const QLocale& locale)
{
    std::optional<Decimal> d = ParseDecimal(text, locale);
    if (!d)
        ThrowMalformed(text, "floating point");
    while (d->digits.endsWith('0')) {
        d->digits.chop(1);
        ++d->exponent;
    }
    const long long decimals = d->digits.isEmpty() ? 0 : std::max(-d->exponent, 0LL);
    return {DecimalToDouble(*d), int(std::min(decimals, 1000LL))};
}

QString NumberToText(double value, const QLocale& locale)
{
    return GeneralText(value, locale);
}

ScaledValue TextToScaled(const QString& text, const QLocale& locale)
{
    const std::optional<Decimal> d = ParseDecimal(text, locale);
    if (!d)
        ThrowMalformed(text, "floating point");
    const double x = DecimalToDouble(*d);
    const WideScaled wide = ScaledBand(x);
    if (!std::isfinite(wide.mantissa) || wide.mantissa < std::numeric_limits<std::int16_t>::min()
        || wide.mantissa > std::numeric_limits<std::int16_t>::max()) {
        ThrowRange(text, GeneralText(-32.768, locale), GeneralText(32767, locale));
    }
    return EncodeScaled(x);
}

std::int16_t TextToInteger(const QString& text)
{
    qsizetype pos = 0;
    const bool negative = pos < text.size() && text.at(pos) == u'-';
    if (negative)
        ++pos;
    if (pos == text.size())
        ThrowMalformed(text, "integer");
    long long value = 0;
    bool tooLarge = false;
    for (; pos < text.size(); ++pos) {
        const QChar c = text.at(pos);
        if (!IsAsciiDigit(c))
            ThrowMalformed(text, "integer");
        if (value < 1000000)
            value = value * 10 + (c.unicode() - u'0');
        else
            tooLarge = true;
    }
    if (negative)
        value = -value;
    if (tooLarge || value < std::numeric_limits<std::int16_t>::min()
        || value > std::numeric_limits<std::int16_t>::max())
        ThrowRange(text, QStringLiteral("-32768"), QStringLiteral("32767"));
    return static_cast<std::int16_t>(value);
}

int OutputTypeIndex(std::uint8_t code)
{
    return code >> 2;
}

std::uint8_t OutputTypeCode(int index)
{
    return static_cast<std::uint8_t>(index * 4);
}

SettingsValues SettingsStore::values() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

void SettingsStore::setValues(const SettingsValues& values)
{
    std::lock_guard lock(m_mutex);
    m_values = values;
}

bool ReadSettingsRecord(SerialLink& link, SettingsValues& out, const SleepFunction& sleep)
{
    std::size_t received = 0;
    QueryExchange(link, SettingsReadCommand, SettingsReadWait, ClearAfterSend::No, sleep, &received);
    // Only a whole record counts; anything shorter or longer would decode stale or
    // foreign bytes.
    const bool complete = received == SettingsRecordSize;
    if (complete)
        out = DecodeSettingsRecord(link.ReceiveBuffer);
    else if (received > 0)
        DiscardUntilQuiet(link, QuietAfterBadReply, QuietLimit, sleep);
    std::memset(link.ReceiveBuffer, 0, sizeof link.ReceiveBuffer);
    return complete;
}

bool WriteSettings(SerialLink& link, SettingsStore& store, const SleepFunction& sleep)
{
    // Cleared before the values are taken: a save landing during the exchange raises
    // the flag again and goes out next cycle instead of being lost.
    store.clearWriteRequest();
    const auto frame = BuildSettingsFrame(store.values());
    std::memcpy(link.TransmitBuffer, frame.data(), frame.size());
    bool confirmed = false;
    const bool sent = link.SendSettingsFrame();
    // The full wait even when the frame did not go out, so the cycle keeps its pace.
    const bool waited = sleep ? sleep(SettingsWriteWait) : (std::this_thread::sleep_for(SettingsWriteWait), true);
    if (sent && waited) {
        const std::size_t received = link.ReadReply(ReceiveBufferSize);
        // Only the bytes of this reply count; older bytes further on must not spoil the test.
        confirmed = received > 0 && ReplyTextIs(link.ReceiveBuffer, received, WriteAcknowledgement);
    }
    std::memset(link.TransmitBuffer, 0, 49);
    return confirmed;
}

} // namespace hmx
