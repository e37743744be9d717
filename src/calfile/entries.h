#pragma once

#include "caldata/table.h"
#include "card/facts.h"

#include <array>
#include <string_view>

namespace calfile {

// One entry of a calibration file: the key in its section, and the box it keeps.
struct Entry {
    std::string_view section;
    std::string_view key;
    caldata::Field field;
};

namespace detail {

// The entries in the order of the file: the two references, the output codes of CH0 and CH1
// (each range's upper, then lower end point), then each input range's upper point and 0 V.
constexpr std::array<Entry, caldata::kBoxCount> entries() {
    std::array<Entry, caldata::kBoxCount> out{};
    std::size_t n = 0;
    for (int i = 0; i < caldata::kReferenceBoxes; ++i) {
        const auto ref = static_cast<card::Reference>(i);
        out[n++] = {card::kReferenceIniSection, card::facts(ref).iniKey,
                    caldata::referenceBox(ref)};
    }
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        const card::OutputBoxFacts& box = card::kOutputBoxes[static_cast<std::size_t>(k)];
        const std::string_view section =
            card::kOutputIniSections[static_cast<std::size_t>(box.channel)];
        out[n++] = {section, box.rangeFacts().upperIniKey, caldata::aoMax(k)};
        out[n++] = {section, box.rangeFacts().lowerIniKey, caldata::aoMin(k)};
    }
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(j)];
        out[n++] = {range.iniSection, range.upperIniKey, caldata::aiMax(j)};
        out[n++] = {range.iniSection, card::kInputLowerIniKey, caldata::aiMin(j)};
    }
    return out;
}

} // namespace detail

// The thirty entries of a calibration file, in the order Export writes them and Import reads
// them. The key 0V occurs in each of the six input sections and belongs to its own section.
inline constexpr std::array<Entry, caldata::kBoxCount> kEntries = detail::entries();

// The default of every entry that the file lacks, and the size of the buffer a value is read
// into (a value arrives cut to kReadBufferSize - 1 characters).
inline constexpr std::string_view kEntryDefault = "0";
inline constexpr std::size_t kReadBufferSize = 255;

// The filter of the file choice: one choice, shown as "ini(*.ini)", listing *.ini.
inline constexpr std::string_view kFileFilter = "ini(*.ini)|*.ini";

} // namespace calfile
