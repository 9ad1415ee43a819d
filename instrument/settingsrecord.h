// The instrument's 36-byte Settings record: the decoded values and the two directions
// of the byte layout. Standard library only, so the simulator shares the same layout.
#pragma once

#include "link/seriallink.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace hmx {

inline constexpr std::size_t SettingsRecordSize = 36;

struct SettingsValues {
    std::uint8_t UpperUnit = 0;
    std::uint8_t LowerUnit = 0;
    std::uint8_t Alarm1Mode = 0;
    std::uint8_t Alarm2Mode = 0;
    std::uint8_t Output1Type = 0;
    std::uint8_t Output2Type = 0;
    std::int16_t Alarm1High = 0;
    std::uint8_t Alarm1HighExp = 0;
    std::int16_t Alarm1Low = 0;
    std::uint8_t Alarm1LowExp = 0;
    std::int16_t Alarm2High = 0;
    std::int16_t Alarm2Low = 0;
    std::int16_t Output1Min = 0;
    std::uint8_t Output1MinExp = 0;
    std::int16_t Output1Max = 0;
    std::uint8_t Output1MaxExp = 0;
    std::int16_t Output2Min = 0;
    std::int16_t Output2Max = 0;
    std::int16_t CleaningInterval = 0;

    friend bool operator==(const SettingsValues&, const SettingsValues&) = default;
};

// The two directions differ: the client writes its own content at the offsets it
// never reads (plain unit codes, "k" and "j" fillers), and the unit codes at 0 and 1
// plus 30.
enum class RecordForm {
    Reply,  // as the instrument sends it to 01s?end
    Frame,  // as the client writes it inside the Settings-write frame
};

// Reads the fields the client reads; in the Frame form the unit codes lose their 30 again.
SettingsValues DecodeSettingsRecord(const std::uint8_t* record, RecordForm form = RecordForm::Reply);

// Frame: writes all 36 bytes. Reply: writes only the bytes the client reads and leaves
// the others as they are.
void EncodeSettingsRecord(const SettingsValues& values, std::uint8_t* record, RecordForm form);

// The 42-byte Settings-write frame: "01m", the record in the Frame form, "end".
std::array<std::uint8_t, SettingsFrameSize> BuildSettingsFrame(const SettingsValues& values);

} // namespace hmx
