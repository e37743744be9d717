#pragma once

#include "caldata/table.h"

#include <array>
#include <functional>
#include <string>

namespace caldata {

// The calibration table held in memory, for a front end without the window's boxes (the
// command line) and for tests. It starts with the window's start texts. Setting an output
// box to a new text runs onChange, the place of the box's change handling, as the window's
// boxes do. A field outside the table reads as "" and takes no text.
class MemoryTable : public CalibrationTable {
public:
    MemoryTable();
    std::string text(Field f) const override;
    void setText(Field f, const std::string& text) override;

    std::function<void(Field)> onChange;

protected:
    // An output box's text changed; runs onChange.
    virtual void outputChanged(Field f);

private:
    const std::string* slot(Field f) const;
    std::array<std::string, 2 * kOutputBoxes> outputs_;
    std::array<std::string, 2 * kInputBoxes> inputs_;
    std::string ref10_ = "10.0";
    std::string ref5_ = "5.0";
};

} // namespace caldata
