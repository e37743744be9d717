#pragma once

#include "caldata/table.h"
#include "core/result.h"
#include "platform/prompts.h"

#include <string>

namespace calfile {

// What reading a whole file gave.
struct FileContent {
    enum class State { Read, Missing, Unreadable };
    State state = State::Missing;
    std::string bytes;
    // Why the file was not read, as a phrase that follows "the file" in a message:
    // "does not exist", "is a folder", ...
    std::string problem;
};

// The files that calibration sets are kept in.
class FileStore {
public:
    virtual ~FileStore() = default;
    virtual FileContent read(const std::string& name) = 0;
    // Replaces the file's content as a whole, or leaves the file as it was and gives the
    // reason as a phrase: "the folder ... does not exist", "the file is read-only", ...
    virtual core::Status write(const std::string& name, const std::string& bytes) = 0;
    // Proves, before any work whose result the file is to hold, that write() can replace it:
    // nothing but a regular file (or nothing) is there, it is not read-only, and a file can be
    // created beside it. Changes nothing; the refusal is a phrase as write() gives.
    virtual core::Status probe(const std::string& name) {
        (void)name;
        return {};
    }
};

// The bytes of a calibration file after the thirty entries have been set, in table order, to
// the boxes' texts unchanged, starting from the bytes the file had (empty for a new file).
std::string exportedBytes(const std::string& existing, const caldata::CalibrationTable& table);

// Export: writes the thirty boxes into the file in one atomic replacement. A file whose
// entries already hold the boxes' texts is not touched. When the file cannot be read or
// written, or a box holds a line break, the refusal names the file and the reason and the
// file stays as it was.
core::Status exportCalibration(const caldata::CalibrationTable& table, FileStore& files,
                               const std::string& fileName);

// Import: reads the thirty entries from the file (default "0", values cut to 254
// characters) and sets the boxes in table order, each through setText, so that an output
// box's change handling runs before the next entry is taken. Code boxes receive the value
// unchanged; reference boxes the number's standard form. A reference value that is not a
// decimal number leaves its box unchanged. The notice given back names every entry the file
// lacks (its box set to "0") and every such reference (empty when every entry was found and
// taken). A file that cannot be read, or holds none of the thirty entries (so is no
// calibration file), changes no box and is refused naming the file and the reason.
core::Result<std::string> importCalibration(caldata::CalibrationTable& table, FileStore& files,
                                            const std::string& fileName);

// The file choice: the open-file dialog with the *.ini filter, starting from the last chosen
// name. On OK the chosen path becomes the last chosen name; on Cancel it stays. Returns the
// last chosen name, which the file-name box then receives (empty before the first choice).
std::string chooseCalibrationFile(platform::Prompts& prompts, std::string& lastChosenName);

} // namespace calfile
