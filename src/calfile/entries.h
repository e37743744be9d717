#pragma once

#include "caldata/table.h"

#include <array>
#include <string_view>

namespace calfile {

// One entry of a calibration file: the key in its section, and the box it keeps.
struct Entry {
    std::string_view section;
    std::string_view key;
    caldata::Field field;
};

// The thirty entries of a calibration file, in the order Export writes them and Import reads
// them. The key 0V occurs in each of the six input sections and belongs to its own section.
inline constexpr std::array<Entry, 30> kEntries{{
    {"REF", "10V", caldata::ref10()},
    {"REF", "5V", caldata::ref5()},
    {"AOCH0", "UNI5V_POS_5V", caldata::aoMax(0)},
    {"AOCH0", "UNI5V_ABS_0V", caldata::aoMin(0)},
    {"AOCH0", "UNI10V_POS_10V", caldata::aoMax(1)},
    {"AOCH0", "UNI10V_ABS_0V", caldata::aoMin(1)},
    {"AOCH0", "BI5V_POS_5V", caldata::aoMax(2)},
    {"AOCH0", "BI5V_NEG_5V", caldata::aoMin(2)},
    {"AOCH0", "BI10V_POS_10V", caldata::aoMax(3)},
    {"AOCH0", "BI10V_NEG_10V", caldata::aoMin(3)},
    {"AOCH1", "UNI5V_POS_5V", caldata::aoMax(4)},
    {"AOCH1", "UNI5V_ABS_0V", caldata::aoMin(4)},
    {"AOCH1", "UNI10V_POS_10V", caldata::aoMax(5)},
    {"AOCH1", "UNI10V_ABS_0V", caldata::aoMin(5)},
    {"AOCH1", "BI5V_POS_5V", caldata::aoMax(6)},
    {"AOCH1", "BI5V_NEG_5V", caldata::aoMin(6)},
    {"AOCH1", "BI10V_POS_10V", caldata::aoMax(7)},
    {"AOCH1", "BI10V_NEG_10V", caldata::aoMin(7)},
    {"AI_20.48V", "20.48V", caldata::aiMax(0)},
    {"AI_20.48V", "0V", caldata::aiMin(0)},
    {"AI_10.24V", "10.24V", caldata::aiMax(1)},
    {"AI_10.24V", "0V", caldata::aiMin(1)},
    {"AI_5.12V", "5.12V", caldata::aiMax(2)},
    {"AI_5.12V", "0V", caldata::aiMin(2)},
    {"AI_2.56V", "2.56V", caldata::aiMax(3)},
    {"AI_2.56V", "0V", caldata::aiMin(3)},
    {"AI_1.28V", "1.28V", caldata::aiMax(4)},
    {"AI_1.28V", "0V", caldata::aiMin(4)},
    {"AI_0.64V", "0.64V", caldata::aiMax(5)},
    {"AI_0.64V", "0V", caldata::aiMin(5)},
}};

// The default of every entry that the file lacks, and the size of the buffer a value is read
// into (a value arrives cut to kReadBufferSize - 1 characters).
inline constexpr std::string_view kEntryDefault = "0";
inline constexpr std::size_t kReadBufferSize = 255;

// The filter of the file choice: one choice, shown as "ini(*.ini)", listing *.ini.
inline constexpr std::string_view kFileFilter = "ini(*.ini)|*.ini";

} // namespace calfile
