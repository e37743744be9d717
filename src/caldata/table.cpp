#include "caldata/table.h"

#include "card/facts.h"

namespace caldata {

namespace {

std::string outputRow(int k, bool upper) {
    if (k < 0 || k >= kOutputBoxes) {
        return upper ? "output upper point" : "output lower point";
    }
    const card::OutputBoxFacts& box = card::kOutputBoxes[static_cast<std::size_t>(k)];
    return "CH" + std::to_string(box.channel) + " " + std::string(box.rangeFacts().caption) + " " +
           std::string(upper ? box.upperLabel : box.lowerLabel);
}

std::string inputRow(int j, bool upper) {
    if (j < 0 || j >= kInputBoxes) {
        return upper ? "input upper point" : "input 0V";
    }
    const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(j)];
    return std::string(range.caption) + " " +
           std::string(upper ? range.upperLabel : card::kInputLowerLabel);
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
    case Box::Ref5:
        return std::string(card::facts(referenceOf(f)).caption);
    }
    return "calibration box";
}

} // namespace caldata
