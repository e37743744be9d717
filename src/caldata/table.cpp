#include "caldata/table.h"

namespace caldata {

namespace {

// Frame captions and row labels as the window shows them.
constexpr std::array<const char*, 4> kAoRange{"Unipolar 5V", "Unipolar 10V", "Bipolar 5V",
                                              "Bipolar 10V"};
// The row labels differ between the two channels (CH1 has "0V(Hex)" where CH0 has
// "+0V (Hex)", ...), so they are listed per output box index k.
constexpr std::array<const char*, 8> kAoMaxLabel{"+5V (Hex)", "+10V (Hex)", "+5V(Hex)",
                                                 "+10V(Hex)", "+5V (Hex)",  "+10V (Hex)",
                                                 "+5V(Hex)",  "+10V (Hex)"};
constexpr std::array<const char*, 8> kAoMinLabel{"0V (Hex)", "+0V (Hex)", "-5V (Hex)", "-10V (Hex)",
                                                 "0V(Hex)",  "0V(Hex)",   "-5V (Hex)", "-10V(Hex)"};
constexpr std::array<const char*, 6> kAiRange{"20.48V", "10.24V", "5.12V",
                                              "2.56V",  "1.28V",  "0.64V"};
constexpr std::array<const char*, 6> kAiMaxLabel{"10V Ref", "10V Ref", "5V Ref",
                                                 "2.54V",   "1.27V",   "0.63V"};

std::string outputRow(int k, bool upper) {
    if (k < 0 || k >= kOutputBoxes) {
        return upper ? "output upper point" : "output lower point";
    }
    const int range = k % 4;
    return "CH" + std::to_string(k / 4) + " " + kAoRange[range] + " " +
           (upper ? kAoMaxLabel[k] : kAoMinLabel[k]);
}

std::string inputRow(int j, bool upper) {
    if (j < 0 || j >= kInputBoxes) {
        return upper ? "input upper point" : "input 0V";
    }
    return std::string(kAiRange[j]) + " " + (upper ? kAiMaxLabel[j] : "0V(Hex)");
}

} // namespace

std::string describe(Field f) {
    switch (f.box) {
    case Box::AOMax:
        return outputRow(f.index, true);
    case Box::AOMin:
        return outputRow(f.index, false);
    case Box::AIMax:
        return inputRow(f.index, true);
    case Box::AIMin:
        return inputRow(f.index, false);
    case Box::Ref10:
        return "10V Ref(TP2)";
    case Box::Ref5:
        return "5V Ref(TP3)";
    }
    return "calibration box";
}

} // namespace caldata
