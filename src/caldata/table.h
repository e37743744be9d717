#pragma once

#include "card/facts.h"

#include <array>
#include <string>

namespace caldata {

// The thirty boxes of the calibration table.
//   AOMax/AOMin k (0..7): output box index 4 x channel + range, range 0 = Unipolar 5V,
//     1 = Unipolar 10V, 2 = Bipolar 5V, 3 = Bipolar 10V (tbxBiAOMax / tbxBiAOMin).
//   AIMax/AIMin j (0..5): input range from the widest down, 0 = 20.48V .. 5 = 0.64V
//     (tbxAIMaxVal / tbxAIMinVal).
//   Ref10, Ref5: the measured reference voltages (tbx10VRef / tbx5VRef); index unused.
enum class Box { AOMax, AOMin, AIMax, AIMin, Ref10, Ref5 };

struct Field {
    Box box = Box::AOMax;
    int index = 0;
    friend bool operator==(const Field&, const Field&) = default;
};

inline constexpr int kOutputBoxes = card::kOutputBoxCount;
inline constexpr int kInputBoxes = card::kInputRangeCount;
inline constexpr int kReferenceBoxes = static_cast<int>(card::kReferences.size());
// All the boxes: two end points of every output box, two points of every input range, and
// the references.
inline constexpr int kBoxCount = 2 * kOutputBoxes + 2 * kInputBoxes + kReferenceBoxes;

inline constexpr Field aoMax(int k) {
    return {Box::AOMax, k};
}
inline constexpr Field aoMin(int k) {
    return {Box::AOMin, k};
}
inline constexpr Field aiMax(int j) {
    return {Box::AIMax, j};
}
inline constexpr Field aiMin(int j) {
    return {Box::AIMin, j};
}
inline constexpr Field ref10() {
    return {Box::Ref10, 0};
}
inline constexpr Field ref5() {
    return {Box::Ref5, 0};
}

// The box of a reference, and the reference of a reference box (Ref10 or Ref5).
inline constexpr Field referenceBox(card::Reference r) {
    return r == card::Reference::Ref10V ? ref10() : ref5();
}
inline constexpr card::Reference referenceOf(Field f) {
    return f.box == Box::Ref5 ? card::Reference::Ref5V : card::Reference::Ref10V;
}

inline constexpr bool isOutput(Field f) {
    return f.box == Box::AOMax || f.box == Box::AOMin;
}

// The calibration table: the window's text boxes themselves, addressed by field. Setting the
// text of an output box runs that box's change handling when the text changes, as an edit by
// the user would.
class CalibrationTable {
public:
    virtual ~CalibrationTable() = default;
    virtual std::string text(Field f) const = 0;
    virtual void setText(Field f, const std::string& text) = 0;
};

// A name for a box that a technician recognises in the window, for messages:
// "CH0 Unipolar 10V +10V (Hex)", "20.48V 0V(Hex)", "10V Ref(TP2)".
std::string describe(Field f);

} // namespace caldata
