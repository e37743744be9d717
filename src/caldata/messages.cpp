#include "caldata/messages.h"

#include "caldata/conversions.h"
#include "card/facts.h"
#include "core/text.h"

namespace caldata {

std::string textRefusal(Field f, std::string_view text, std::string_view problem) {
    return describe(f) + ": " + core::quoteText(text) + " " + std::string(problem) + ".";
}

core::Result<float> plausibleReference(Field f, std::string_view text) {
    const core::Result<float> v = parseReference(text);
    if (!v) {
        return core::refuse(textRefusal(f, text, v.refusal()));
    }
    const double nominal =
        f.box == Box::Ref5 ? card::kReferences[1].nominal : card::kReferences[0].nominal;
    const double low = nominal * 9 / 10;
    const double high = nominal * 11 / 10;
    if (!(*v >= low && *v <= high)) {
        return core::refuse(textRefusal(f, text,
                                        "is not a plausible reference voltage: it must lie "
                                        "within 10 % of " +
                                            formatReference(static_cast<float>(nominal)) +
                                            " V, from " + formatReference(static_cast<float>(low)) +
                                            " to " + formatReference(static_cast<float>(high)) +
                                            " V"));
    }
    return v;
}

std::string errorCodeText(std::int16_t code) {
    return "Error Code=" + std::to_string(code);
}

} // namespace caldata
