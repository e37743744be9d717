#pragma once

#include "calfile/calfile_ops.h"

#include "core/replace_file.h"

#include <cstdint>
#include <functional>
#include <utility>

namespace calfile {

// Calibration files on disk (Qt Core). A file is read whole and replaced atomically
// (core::replaceFile, its temporaries named "<file>.mx4815cal-export-XXXXXX.tmp"): an
// interrupted write leaves the file as it was, and a write is done only once it is on the
// disk.
class DiskFiles : public FileStore {
public:
    static constexpr const char* kTemporaryTag = "mx4815cal-export";

    DiskFiles() = default;
    // For tests: a replacement that fails at the steps failAt names.
    explicit DiskFiles(std::function<bool(core::ReplaceStep)> failAt)
        : failAt_(std::move(failAt)) {}

    // Files larger than this are refused: a calibration file is well under a kilobyte.
    static constexpr std::int64_t kMaxFileSize = 16 * 1024 * 1024;

    FileContent read(const std::string& name) override;
    core::Status write(const std::string& name, const std::string& bytes) override;
    core::Status probe(const std::string& name) override;

private:
    std::function<bool(core::ReplaceStep)> failAt_;
};

} // namespace calfile
