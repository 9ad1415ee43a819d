// The instrument's configuration: the tenths and Scaled encodings of the settings
// values, the text conversions of the settings page, and the read and write exchanges.
#pragma once

#include "instrument/settingsrecord.h"
#include "link/protocol.h"

#include <QLocale>
#include <QMetaType>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stdexcept>

namespace hmx {

class SerialLink;

// The upper unit code that makes the upper group Scaled values (g/m3).
inline constexpr std::uint8_t ScaledUnit = 2;

struct ScaledValue {
    std::int16_t mantissa = 0;
    std::uint8_t exponent = 0;
};

// Float conversion first, then the strict bands: >200 (m, 4), >20 (10m, 3), >2 (100m, 2), else (1000m, 1).
ScaledValue EncodeScaled(double x);
// 10^e * m / 10000 for any exponent byte.
double DecodeScaled(std::int16_t mantissa, std::uint8_t exponent);

// Raised by the text conversions. what() is the English message; the parts let the
// window word a range error in the interface language.
class ConversionError : public std::runtime_error {
public:
    enum class Kind { Malformed, Range };
    ConversionError(Kind kind, const QString& message, QString text, QString low = {}, QString high = {})
        : std::runtime_error(message.toStdString()), m_kind(kind), m_text(std::move(text)), m_low(std::move(low)),
          m_high(std::move(high))
    {
    }
    Kind kind() const { return m_kind; }
    QString text() const { return m_text; }  // the text that was typed
    QString low() const { return m_low; }    // Range: the allowed range, as shown
    QString high() const { return m_high; }

private:
    Kind m_kind;
    QString m_text, m_low, m_high;
};

// The settings page's numbers are ASCII digits, '-' and the locale's decimal separator
// only, in whatever locale (no Arabic or Persian digits, no U+2212 minus, no direction
// marks, no exponent, no group separators), shown and typed alike.

// Shortest general form, up to 15 significant digits: 235 -> "23.5" ("23,5" where the
// separator is a comma), 200 -> "20".
QString TenthsToText(std::int16_t tenths, const QLocale& locale = QLocale());
QString ScaledToText(std::int16_t mantissa, std::uint8_t exponent, const QLocale& locale = QLocale());
QString IntegerToText(std::int16_t value);

// Parse, x10, round half to even. Anything but an optional '-', ASCII digits and one
// decimal separator of the locale (blanks, '+' and exponents included) throws
// ConversionError "'%s' is not a valid floating point value"; a result beyond 16 bits
// throws a range error naming the text.
std::int16_t TextToTenths(const QString& text, const QLocale& locale = QLocale());
ScaledValue TextToScaled(const QString& text, const QLocale& locale = QLocale());
// A number exactly as typed, not rounded, and how many decimals it has (trailing zeros
// aside: "0,50" has 1); throws as TextToTenths for a malformed text. A text of very many
// digits gives an infinite value.
struct TypedNumber {
    double value = 0;
    int decimals = 0;
};
TypedNumber TextToNumber(const QString& text, const QLocale& locale = QLocale());
// Any number in the page's form, shortest, up to 15 significant digits: 0.25 -> "0,25".
QString NumberToText(double value, const QLocale& locale = QLocale());
// An optional '-' and ASCII digits; anything else throws "'%s' is not a valid integer value".
std::int16_t TextToInteger(const QString& text);

// List index of an output type code (0 -> 0, 4 -> 1; codes 1-3 and 5-7 fall to the
// nearer item below) and the code stored for a list index (index x 4).
int OutputTypeIndex(std::uint8_t code);
std::uint8_t OutputTypeCode(int index);

// Settings values with a flag that asks for them to be written: the window's (as last
// read or saved) and the Poller's (the write it is asked for), each its own. Safe to
// share between two threads: a save stores every value, then raises the pending flag
// (release); the writer sees the flag (acquire) before it reads the values.
class SettingsStore {
public:
    SettingsValues values() const;
    void setValues(const SettingsValues& values);
    // Stores one field at a time, so a save that stops at a malformed field keeps
    // the fields before it.
    template <typename F>
    void update(F&& change)
    {
        std::lock_guard lock(m_mutex);
        change(m_values);
    }

    bool writePending() const { return m_pending.load(std::memory_order_acquire) == 1; }
    void requestWrite() { m_pending.store(1, std::memory_order_release); }
    void clearWriteRequest() { m_pending.store(0, std::memory_order_release); }

private:
    mutable std::mutex m_mutex;
    SettingsValues m_values;
    std::atomic<std::uint8_t> m_pending{0};
};

// The read exchange on the link: 01s?end, 300 ms (also when the send failed), one
// read, decode. Returns false (values untouched) unless exactly the 36 bytes of a
// record came. Zeroes the Receive buffer afterwards. `sleep` as for QueryExchange.
bool ReadSettingsRecord(SerialLink& link, SettingsValues& out, const SleepFunction& sleep = {});

// The write exchange run by the Poller on its link: frame from the store's values,
// SendSettingsFrame, 100 ms, one read, exact "OK" test on the bytes of this reply, zero
// the first 49 bytes of the Transmit buffer. The store's pending flag is cleared
// whatever comes back; it is cleared before the values are taken, so a save made during
// the exchange is sent next cycle. The 100 ms wait is kept when the frame did not go
// out. Returns true when the instrument confirmed with "OK".
bool WriteSettings(SerialLink& link, SettingsStore& store, const SleepFunction& sleep = {});

} // namespace hmx

Q_DECLARE_METATYPE(hmx::SettingsValues)
