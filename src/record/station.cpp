#include "record/station.h"

#include <cmath>
#include <cstdio>

namespace record {

std::string orNotRecorded(const std::string& text) {
    return text.empty() ? std::string(kNotRecorded) : text;
}

namespace {

// The unsigned decimal of exactly `width` digits at text[at...], or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t width) {
    int v = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return -1;
        }
        v = 10 * v + (text[i] - '0');
    }
    return v;
}

} // namespace

std::optional<Date> parseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const int y = digitsAt(text, 0, 4);
    const int m = digitsAt(text, 5, 2);
    const int d = digitsAt(text, 8, 2);
    if (y < 0 || m < 0 || d < 0) {
        return std::nullopt;
    }
    const Date date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(m)),
                    std::chrono::day(static_cast<unsigned>(d))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return date;
}

std::string formatDate(Date d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

std::optional<Date> dateOfUtc(std::string_view utc) {
    if (utc.size() < 11 || utc[10] != 'T') {
        return std::nullopt;
    }
    return parseDate(utc.substr(0, 10));
}

bool plausible(const MeterUncertainty& u) {
    const auto fine = [](double v) { return std::isfinite(v) && v >= 0.0; };
    return fine(u.ppmOfReading) && fine(u.ppmOfRange) && fine(u.rangeVolts) &&
           fine(u.coverageFactor) && u.rangeVolts > 0.0 && u.coverageFactor > 0.0;
}

double expandedVolts(const MeterUncertainty& u, double readingVolts) {
    return u.ppmOfReading * 1e-6 * std::abs(readingVolts) + u.ppmOfRange * 1e-6 * u.rangeVolts;
}

double standardVolts(const MeterUncertainty& u, double readingVolts) {
    return expandedVolts(u, readingVolts) / u.coverageFactor;
}

std::string meterName(const ReferenceMeter& m) {
    std::string name = "the reference meter";
    for (const std::string* part : {&m.make, &m.model}) {
        if (!part->empty()) {
            name += " " + *part;
        }
    }
    if (!m.serialNumber.empty()) {
        name += " (serial " + m.serialNumber + ")";
    }
    return name;
}

DueState dueState(const Station& s, Date day) {
    if (!s.meter || !s.meter->dueDate) {
        return DueState::NotRecorded;
    }
    return std::chrono::sys_days(day) > std::chrono::sys_days(*s.meter->dueDate) ? DueState::PastDue
                                                                                 : DueState::InDate;
}

core::Status meterMayBeUsed(const Station& s, Date day, bool usedAnyway) {
    if (dueState(s, day) != DueState::PastDue || usedAnyway) {
        return {};
    }
    std::string name = meterName(*s.meter);
    name[0] = 'T';
    return core::refuse(core::Kind::Input,
                        name + " was due for calibration on " + formatDate(*s.meter->dueDate) +
                            "; this calibration is dated " + formatDate(day) + ".");
}

} // namespace record
