#pragma once

#include "caldata/table.h"
#include "session/journal.h"

#include <string>

// Where the values of a change came from, as the front ends tell the journal.
namespace journal {

// An automatic calibration that completed: the references it was run with and, as its
// end-point results, the codes it left in the boxes.
session::ValuesSource automaticRunSource(const caldata::CalibrationTable& table);

// A calibration file imported: its name and the SHA-256 of the bytes imported.
session::ValuesSource importedFileSource(const std::string& path, const std::string& bytes);

} // namespace journal
