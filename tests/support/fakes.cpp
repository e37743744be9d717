#include "support/fakes.h"

namespace testing_support {

namespace {
std::pair<int, int> key(caldata::Field f) { return {static_cast<int>(f.box), f.index}; }
} // namespace

MemoryTable::MemoryTable() {
    using namespace caldata;
    for (int k = 0; k < kOutputBoxes; ++k) {
        texts_[key(aoMax(k))] = "0";
        texts_[key(aoMin(k))] = "0";
    }
    for (int j = 0; j < kInputBoxes; ++j) {
        texts_[key(aiMax(j))] = "7FFF";
        texts_[key(aiMin(j))] = "0";
    }
    texts_[key(ref10())] = "10.0";
    texts_[key(ref5())] = "5.0";
}

std::string MemoryTable::text(caldata::Field f) const {
    auto it = texts_.find(key(f));
    return it == texts_.end() ? std::string() : it->second;
}

void MemoryTable::setText(caldata::Field f, const std::string& text) {
    auto& slot = texts_[key(f)];
    if (slot == text) {
        return;
    }
    slot = text;
    if (caldata::isOutput(f)) {
        changes.push_back(f);
        if (onChange) {
            onChange(f);
        }
    }
}

} // namespace testing_support
