#include "caldata/memory_table.h"

namespace caldata {

MemoryTable::MemoryTable() {
    outputs_.fill("0");
    for (int j = 0; j < kInputBoxes; ++j) {
        inputs_[static_cast<std::size_t>(2 * j)] = "7FFF";
        inputs_[static_cast<std::size_t>(2 * j + 1)] = "0";
    }
}

const std::string* MemoryTable::slot(Field f) const {
    const auto i = static_cast<std::size_t>(f.index);
    const bool output = f.index >= 0 && f.index < kOutputBoxes;
    const bool input = f.index >= 0 && f.index < kInputBoxes;
    switch (f.box) {
    case Box::AOMax:
        return output ? &outputs_[2 * i] : nullptr;
    case Box::AOMin:
        return output ? &outputs_[2 * i + 1] : nullptr;
    case Box::AIMax:
        return input ? &inputs_[2 * i] : nullptr;
    case Box::AIMin:
        return input ? &inputs_[2 * i + 1] : nullptr;
    case Box::Ref10:
        return &ref10_;
    case Box::Ref5:
        return &ref5_;
    }
    return nullptr;
}

std::string MemoryTable::text(Field f) const {
    const std::string* s = slot(f);
    return s ? *s : std::string();
}

void MemoryTable::setText(Field f, const std::string& text) {
    auto* s = const_cast<std::string*>(slot(f));
    if (!s || *s == text) {
        return;
    }
    *s = text;
    if (isOutput(f)) {
        outputChanged(f);
    }
}

void MemoryTable::outputChanged(Field f) {
    if (onChange) {
        onChange(f);
    }
}

} // namespace caldata
