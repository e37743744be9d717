#pragma once

#include "card/types.h"

#include <array>
#include <optional>
#include <string_view>

// The MX-4815's numbering in one place: output ranges and their driver range codes, input
// ranges and their gain codes, the calibration sources of the auto-calibration path, and
// for every box of the calibration table its captions, its calibration-file entry and its
// EEPROM words. The window, the messages, the word map, the calibration files, the
// automatic run and the simulated card's factory image all take these facts from here.
namespace card {

// The sources that the auto-calibration path routes to the A/D converter (the source field
// of the configuration word, wChannel of MX4815_Get_AutoCal_Data).
enum class Source : Int16 {
    Ref5V = 2,
    Ref10V = 3,
    ZeroVolts = 4,
    Output0 = 5, // D/A channel 0
    Output1 = 7, // D/A channel 1
};

constexpr Source outputSource(int channel) {
    return channel == 0 ? Source::Output0 : Source::Output1;
}

// The A/D gain codes, one per input range.
enum class Gain : Int16 {
    Range20_48V = 7,
    Range10_24V = 1,
    Range5_12V = 2,
    Range2_56V = 3,
    Range1_28V = 4,
    Range0_64V = 5,
};

constexpr Int16 code(Source s) {
    return static_cast<Int16>(s);
}
constexpr Int16 code(Gain g) {
    return static_cast<Int16>(g);
}

// The two on-board references, in the order of kReferences (below).
enum class Reference { Ref10V, Ref5V };

// The four output ranges in the order of the window's frames. An output box index is
// k = 4 x channel + range; the driver knows the ranges by other numbers (rangeCode).
enum class OutputRange { Unipolar5V, Unipolar10V, Bipolar5V, Bipolar10V };

inline constexpr int kOutputChannels = 2;
inline constexpr int kOutputRangeCount = 4;

struct OutputRangeFacts {
    Int16 rangeCode;     // wRange of Drvx_ConfigAO
    Gain readBack;       // the input range in which the output is read back
    Reference reference; // the reference whose targets its end points are calibrated against
    double low;          // nominal volts at code 0000 and at code FFFF
    double high;
    std::string_view caption;     // the frame's caption
    std::string_view upperIniKey; // the calibration-file keys of its two end points
    std::string_view lowerIniKey;

    constexpr bool bipolar() const { return low < 0.0; }
};

inline constexpr std::array<OutputRangeFacts, kOutputRangeCount> kOutputRanges{{
    {0, Gain::Range5_12V, Reference::Ref5V, 0.0, 5.0, "Unipolar 5V", "UNI5V_POS_5V",
     "UNI5V_ABS_0V"},
    {2, Gain::Range10_24V, Reference::Ref10V, 0.0, 10.0, "Unipolar 10V", "UNI10V_POS_10V",
     "UNI10V_ABS_0V"},
    {1, Gain::Range5_12V, Reference::Ref5V, -5.0, 5.0, "Bipolar 5V", "BI5V_POS_5V", "BI5V_NEG_5V"},
    {3, Gain::Range10_24V, Reference::Ref10V, -10.0, 10.0, "Bipolar 10V", "BI10V_POS_10V",
     "BI10V_NEG_10V"},
}};

constexpr const OutputRangeFacts& facts(OutputRange r) {
    return kOutputRanges[static_cast<std::size_t>(r)];
}

// The window's range (frame order) of a driver range code; nothing for codes outside 0..3.
constexpr std::optional<OutputRange> outputRangeOfCode(Int16 rangeCode) {
    for (std::size_t r = 0; r < kOutputRanges.size(); ++r) {
        if (kOutputRanges[r].rangeCode == rangeCode) {
            return static_cast<OutputRange>(r);
        }
    }
    return std::nullopt;
}

// The eight output boxes k = 4 x channel + range, each with an upper and a lower end point.
// The row labels differ between the two channels ("+0V (Hex)" on CH0 is "0V(Hex)" on CH1).
struct OutputBoxFacts {
    int channel;
    OutputRange range;
    std::string_view upperLabel;
    std::string_view lowerLabel;
    int upperWord; // EEPROM word of the upper end point's code
    int lowerWord;

    constexpr const OutputRangeFacts& rangeFacts() const { return facts(range); }
};

inline constexpr int kOutputBoxCount = kOutputChannels * kOutputRangeCount;

inline constexpr std::array<OutputBoxFacts, kOutputBoxCount> kOutputBoxes{{
    {0, OutputRange::Unipolar5V, "+5V (Hex)", "0V (Hex)", 8, 9},
    {0, OutputRange::Unipolar10V, "+10V (Hex)", "+0V (Hex)", 10, 11},
    {0, OutputRange::Bipolar5V, "+5V(Hex)", "-5V (Hex)", 12, 13},
    {0, OutputRange::Bipolar10V, "+10V(Hex)", "-10V (Hex)", 14, 15},
    {1, OutputRange::Unipolar5V, "+5V (Hex)", "0V(Hex)", 16, 17},
    {1, OutputRange::Unipolar10V, "+10V (Hex)", "0V(Hex)", 18, 19},
    {1, OutputRange::Bipolar5V, "+5V(Hex)", "-5V (Hex)", 20, 21},
    {1, OutputRange::Bipolar10V, "+10V (Hex)", "-10V(Hex)", 22, 23},
}};

constexpr int outputBoxIndex(int channel, OutputRange range) {
    return kOutputRangeCount * channel + static_cast<int>(range);
}

// The calibration-file section of an output channel's codes.
inline constexpr std::array<std::string_view, kOutputChannels> kOutputIniSections{"AOCH0", "AOCH1"};

// The six input ranges from the widest down, the order of the input boxes j = 0..5. The
// upper point of the three widest is a reference, read by the input readings; that of the
// three smallest is channel 0's Unipolar 5V output driven to a fraction of its +5 V code
// (upperVolts / 5), read by the automatic run. The lower point is always 0 V.
struct InputRangeFacts {
    Gain gain;
    double fullScale; // volts at the code 7FFF
    std::string_view caption;
    std::string_view upperLabel;
    std::string_view iniSection;
    std::string_view upperIniKey;
    Source upperSource;
    double upperVolts; // nominal volts of the upper point
    int upperWord;     // EEPROM words of the two points' codes
    int lowerWord;
};

inline constexpr int kInputRangeCount = 6;
// The rows whose upper point is a reference: the input readings' rows.
inline constexpr int kReferenceRows = 3;

inline constexpr std::array<InputRangeFacts, kInputRangeCount> kInputRanges{{
    {Gain::Range20_48V, 20.48, "20.48V", "10V Ref", "AI_20.48V", "20.48V", Source::Ref10V, 10.0, 48,
     49},
    {Gain::Range10_24V, 10.24, "10.24V", "10V Ref", "AI_10.24V", "10.24V", Source::Ref10V, 10.0, 24,
     25},
    {Gain::Range5_12V, 5.12, "5.12V", "5V Ref", "AI_5.12V", "5.12V", Source::Ref5V, 5.0, 28, 29},
    {Gain::Range2_56V, 2.56, "2.56V", "2.54V", "AI_2.56V", "2.56V", Source::Output0, 2.54, 32, 33},
    {Gain::Range1_28V, 1.28, "1.28V", "1.27V", "AI_1.28V", "1.28V", Source::Output0, 1.27, 36, 37},
    {Gain::Range0_64V, 0.64, "0.64V", "0.63V", "AI_0.64V", "0.64V", Source::Output0, 0.63, 40, 41},
}};

inline constexpr std::string_view kInputLowerLabel = "0V(Hex)";
inline constexpr std::string_view kInputLowerIniKey = "0V";

// The full scale of a gain code; nothing for a code no input range uses.
constexpr std::optional<double> fullScaleOfGain(Int16 gain) {
    for (const InputRangeFacts& r : kInputRanges) {
        if (code(r.gain) == gain) {
            return r.fullScale;
        }
    }
    return std::nullopt;
}

// The two on-board references whose measured voltages the technician types in. Each is
// kept in two EEPROM words, the halves of its single-precision pattern; its targets come
// from the readings of input row targetRow.
struct ReferenceFacts {
    std::string_view caption;
    double nominal;
    Source source;
    int lowerWord;
    int upperWord;
    std::string_view iniKey;
    int targetRow;
};

inline constexpr std::array<ReferenceFacts, 2> kReferences{{
    {"10V Ref(TP2)", 10.0, Source::Ref10V, 4, 5, "10V", 1},
    {"5V Ref(TP3)", 5.0, Source::Ref5V, 6, 7, "5V", 2},
}};

constexpr const ReferenceFacts& facts(Reference r) {
    return kReferences[static_cast<std::size_t>(r)];
}

// An output range is calibrated against the reference of its own full scale.
constexpr bool rangesMatchTheirReferences() {
    for (const OutputRangeFacts& r : kOutputRanges) {
        if (facts(r.reference).nominal != r.high) {
            return false;
        }
    }
    return true;
}
static_assert(rangesMatchTheirReferences());

inline constexpr std::string_view kReferenceIniSection = "REF";

// The EEPROM words that keep the calibration: every word of the tables above lies in
// kFirstCalibrationWord..kLastCalibrationWord; every other word of the EEPROM is carried
// from RELOAD to SAVE untouched.
inline constexpr int kFirstCalibrationWord = 4;
inline constexpr int kLastCalibrationWord = 49;

// The calibration steps, one per frame: 0..7 the output boxes, 8 the references, 9..14 the
// input ranges.
inline constexpr Int16 kReferenceStep = 8;
inline constexpr Int16 kFirstInputStep = 9;

} // namespace card
