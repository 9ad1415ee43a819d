// The Settings record's layout as one table; the decoder and the encoder both walk it.
#include "instrument/settingsrecord.h"

#include "link/protocol.h"

#include <algorithm>
#include <string_view>

namespace hmx {

namespace {

constexpr std::uint8_t FrameUnitOffset = 30;  // decimal 30, not the character '0'

enum class Use {
    Both,       // read from the reply, written into the frame unchanged
    UnitCode,   // read as it is, written plus FrameUnitOffset
    FrameOnly,  // not read; the frame carries the field again
    Filler,     // not read; the frame carries a fixed character
};

// `size` bytes at `offset`: one unsigned byte, or a 16-bit value, high byte first,
// two's complement.
struct RecordField {
    std::size_t offset;
    std::size_t size;
    Use use;
    std::uint8_t SettingsValues::*byte = nullptr;
    std::int16_t SettingsValues::*word = nullptr;
    std::uint8_t filler = 0;

    constexpr RecordField(std::size_t at, std::size_t bytes, std::uint8_t SettingsValues::*field, Use how = Use::Both)
        : offset(at), size(bytes), use(how), byte(field)
    {
    }
    constexpr RecordField(std::size_t at, std::size_t bytes, std::int16_t SettingsValues::*field)
        : offset(at), size(bytes), use(Use::Both), word(field)
    {
    }
    constexpr RecordField(std::size_t at, std::size_t bytes, char character)
        : offset(at), size(bytes), use(Use::Filler), filler(static_cast<std::uint8_t>(character))
    {
    }

    constexpr bool read() const { return use == Use::Both || use == Use::UnitCode; }
};

using V = SettingsValues;

// Offset, size and field of every stretch of the record; 'k' and 'j' are frame-only fillers.
constexpr RecordField SettingsLayout[] = {
    {0, 1, &V::UpperUnit, Use::UnitCode},
    {1, 1, &V::LowerUnit, Use::UnitCode},
    {2, 1, &V::Alarm1Mode},
    {3, 1, &V::Alarm2Mode},
    {4, 1, &V::UpperUnit, Use::FrameOnly},
    {5, 1, &V::LowerUnit, Use::FrameOnly},
    {6, 2, &V::Alarm1High},
    {8, 1, &V::Alarm1HighExp},
    {9, 2, &V::Alarm1Low},
    {11, 1, &V::Alarm1LowExp},
    {12, 2, &V::Alarm2High},
    {14, 1, 'k'},
    {15, 2, &V::Alarm2Low},
    {17, 1, 'k'},
    {18, 1, &V::Output1Type},
    {19, 1, &V::Output2Type},
    {20, 1, 'j'},
    {21, 1, 'j'},
    {22, 2, &V::Output1Min},
    {24, 1, &V::Output1MinExp},
    {25, 2, &V::Output1Max},
    {27, 1, &V::Output1MaxExp},
    {28, 2, &V::Output2Min},
    {30, 1, 'k'},
    {31, 2, &V::Output2Max},
    {33, 1, 'k'},
    {34, 2, &V::CleaningInterval},
};

// The rows cover the record in order, without gaps or overlaps, each size fitting its field.
constexpr bool LayoutIsWhole()
{
    std::size_t next = 0;
    for (const RecordField& f : SettingsLayout) {
        if (f.offset != next || f.size != (f.word ? 2u : 1u))
            return false;
        next += f.size;
    }
    return next == SettingsRecordSize;
}
static_assert(LayoutIsWhole(), "the Settings record layout must cover 36 bytes in order");

constexpr std::uint8_t Added(const RecordField& f, RecordForm form)
{
    return form == RecordForm::Frame && f.use == Use::UnitCode ? FrameUnitOffset : 0;
}

constexpr std::string_view FrameHead = "01m";  // address 01, command letter m
constexpr std::string_view FrameEnd = "end";
static_assert(FrameHead.size() + SettingsRecordSize + FrameEnd.size() == SettingsFrameSize);

} // namespace

SettingsValues DecodeSettingsRecord(const std::uint8_t* record, RecordForm form)
{
    SettingsValues v;
    for (const RecordField& f : SettingsLayout) {
        if (!f.read())
            continue;
        const std::uint8_t* at = record + f.offset;
        if (f.word)
            v.*f.word = static_cast<std::int16_t>(BigEndian16(at));
        else
            v.*f.byte = static_cast<std::uint8_t>(at[0] - Added(f, form));
    }
    return v;
}

void EncodeSettingsRecord(const SettingsValues& v, std::uint8_t* record, RecordForm form)
{
    for (const RecordField& f : SettingsLayout) {
        if (form == RecordForm::Reply && !f.read())
            continue;
        std::uint8_t* at = record + f.offset;
        if (f.word) {
            const auto bits = static_cast<std::uint16_t>(v.*f.word);
            at[0] = static_cast<std::uint8_t>(bits >> 8);
            at[1] = static_cast<std::uint8_t>(bits & 0xFF);
        } else if (f.byte) {
            at[0] = static_cast<std::uint8_t>(v.*f.byte + Added(f, form));
        } else {
            at[0] = f.filler;
        }
    }
}

std::array<std::uint8_t, SettingsFrameSize> BuildSettingsFrame(const SettingsValues& values)
{
    std::array<std::uint8_t, SettingsFrameSize> frame{};
    std::copy(FrameHead.begin(), FrameHead.end(), frame.begin());
    EncodeSettingsRecord(values, frame.data() + FrameHead.size(), RecordForm::Frame);
    std::copy(FrameEnd.begin(), FrameEnd.end(), frame.end() - FrameEnd.size());
    return frame;
}

} // namespace hmx
