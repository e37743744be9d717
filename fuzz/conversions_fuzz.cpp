// The hex-text and reference conversions on arbitrary text and bit patterns. Besides not
// crashing: a code read back from its own hex text is the same code, and the text of a finite
// reference reads back as a number.

#include "caldata/conversions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto bits = input.ConsumeIntegral<std::int32_t>();
    const std::string text = input.ConsumeRemainingBytesAsString();

    if (const auto code = caldata::parseCode(text)) {
        if (caldata::parseCode(caldata::hexText16(*code)).optional() != *code ||
            caldata::parseCode(caldata::hexText32(*code)).optional() != *code) {
            std::abort();
        }
    } else if (code.refusal().empty()) {
        std::abort(); // a refusal says why
    }
    if (const auto volts = caldata::parseReference(text)) {
        if (!std::isfinite(*volts) || !caldata::parseReference(caldata::formatReference(*volts))) {
            std::abort();
        }
    } else if (volts.refusal().empty()) {
        std::abort();
    }

    const float pattern = caldata::Long2Float(bits);
    const std::string shown = caldata::formatReference(pattern);
    if (std::isfinite(pattern) != static_cast<bool>(caldata::parseReference(shown))) {
        std::abort(); // finite numbers read back, the others are refused
    }
    if (caldata::Float2Long(pattern) != bits) {
        std::abort();
    }
    const auto words = caldata::referenceWords(pattern);
    (void)caldata::referenceText(words.upper, words.lower);
    return 0;
}
