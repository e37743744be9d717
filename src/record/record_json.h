#pragma once

#include "core/result.h"
#include "record/calibration_record.h"
#include "record/station.h"

#include <QJsonObject>

// The JSON forms: the calibration record, version 3 (docs/calibration-record-v3.schema.json),
// and the station's facts as the station file keeps them.
namespace record {

inline constexpr int kRecordVersion = 3;

// The record as JSON, without its seal (record/seal.h adds it).
QJsonObject recordJson(const CalibrationRecord& r);

// The record as JSON with its seal.
QJsonObject sealedRecordJson(const CalibrationRecord& r);

// One point's results as the record carries them.
QJsonObject pointResultJson(const PointResult& p);

// The station's facts: texts as given (empty ones left out), the due date "YYYY-MM-DD", the
// meter's uncertainty as its four figures.
QJsonObject stationJson(const Station& s);
// The station read back; a refusal (Kind::Input) naming the member that is of the wrong
// type, a due date that is no date, or an uncertainty that is not plausible.
core::Result<Station> stationFromJson(const QJsonObject& o);

} // namespace record
