#pragma once

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

inline constexpr int kOutputBoxes = 8;
inline constexpr int kInputBoxes = 6;

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
