#pragma once

#include "core/result.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The facts of the bench that a calibration record names: the laboratory, the operator and
// the reference meter the technician measured the card's two references (TP2, TP3) with.
// A text left empty was not given; the record then says kNotRecorded.
namespace record {

inline constexpr std::string_view kNotRecorded = "not recorded";

// The text, or kNotRecorded when it is empty.
std::string orNotRecorded(const std::string& text);

// A calendar date (the meter's due date, the day of a calibration).
using Date = std::chrono::year_month_day;

// "2025-03-31": four-digit year, two-digit month and day, a real day of the calendar.
std::optional<Date> parseDate(std::string_view text);
std::string formatDate(Date d);
// The date of an ISO 8601 UTC time "2025-03-31T12:00:00Z" (its first ten characters).
std::optional<Date> dateOfUtc(std::string_view utc);

// The meter's uncertainty as its certificate or data sheet states it:
// U = ppmOfReading x 1e-6 x reading + ppmOfRange x 1e-6 x rangeVolts, at coverageFactor.
struct MeterUncertainty {
    double ppmOfReading = 0.0;
    double ppmOfRange = 0.0;
    double rangeVolts = 10.0; // the meter range the references are read on
    double coverageFactor = 2.0;
};

// Whether every figure is finite, none negative, the range and the coverage factor above 0.
bool plausible(const MeterUncertainty& u);

// The meter's expanded uncertainty (volts) of a reading, at its own coverage factor.
double expandedVolts(const MeterUncertainty& u, double readingVolts);
// The standard uncertainty (volts, k = 1) of a reading: expandedVolts / coverageFactor.
double standardVolts(const MeterUncertainty& u, double readingVolts);

struct ReferenceMeter {
    std::string make;
    std::string model;
    std::string serialNumber;
    std::string certificateNumber;
    std::optional<Date> dueDate;
    std::optional<MeterUncertainty> uncertainty;
};

// "the reference meter Fluke 8846A (serial 1234567)": what a message calls the meter, with
// the texts that were given.
std::string meterName(const ReferenceMeter& m);

struct Station {
    std::string laboratoryName;
    std::string laboratoryAddress;
    std::string operatorName;
    std::optional<ReferenceMeter> meter;
};

enum class DueState {
    NotRecorded, // no meter, or no due date given
    InDate,      // on or before its due date
    PastDue,     // the day is after its due date
};
DueState dueState(const Station& s, Date day);

// A calibration dated day may keep its results (be saved) with this station's meter: yes
// when the meter is in date or its due date is not recorded, or when the technician said it
// was used anyway past its due date (usedAnyway). Otherwise a refusal (Kind::Input) naming
// the meter, its due date and the day.
core::Status meterMayBeUsed(const Station& s, Date day, bool usedAnyway);

} // namespace record
