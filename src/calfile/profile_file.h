#pragma once

#include "calfile/calfile_ops.h"

#include <cstdint>

namespace calfile {

// Calibration files on disk (Qt Core). A file is read whole and replaced atomically
// (QSaveFile): an interrupted write leaves the file as it was.
class DiskFiles : public FileStore {
public:
    // Files larger than this are refused: a calibration file is well under a kilobyte.
    static constexpr std::int64_t kMaxFileSize = 16 * 1024 * 1024;

    FileContent read(const std::string& name) override;
    core::Status write(const std::string& name, const std::string& bytes) override;
};

} // namespace calfile
