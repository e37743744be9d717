#pragma once

#include "core/result.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// Replacing a file's content as a whole, so that an interruption at any moment leaves either
// the old content or the new one: the bytes go into a temporary file beside it, are flushed
// to the disk, and the temporary file is then renamed over the file.
namespace core {

// The steps of a replacement, for tests that make one of them fail.
enum class ReplaceStep { Create, Write, Sync, Rename };

struct ReplaceOptions {
    // Names the temporary files: "<file name>.<tag>-XXXXXX.tmp" beside the file, so that one
    // left behind by a kill says whose it is.
    std::string tag = "unfinished";
    // When set and true for a step, that step fails as if the system had refused it (EIO).
    std::function<bool(ReplaceStep)> failAt;
};

// What lies at a path, as a phrase for a message that follows the path's name: empty for a
// regular file (or a link to one) and for nothing at all; else "is a folder", "is a symbolic
// link that leads round in a loop", "is a FIFO (named pipe), not a regular file", ...
std::string notRegularFile(const std::filesystem::path& path);

// Replaces the content of path with bytes. A symbolic link is followed and its target
// replaced (the link stays a link); anything that is not a regular file is refused and left
// alone. The new file keeps the old one's permissions. On failure the old file stays as it
// was, the temporary file is removed and the refusal is a phrase saying which step failed and
// why: "the new content could not be flushed to the disk (Input/output error)".
Status replaceFile(const std::filesystem::path& path, std::string_view bytes,
                   const ReplaceOptions& options = {});

// The temporary files of replaceFile(path, ..., tag) left behind beside path, e.g. by a kill
// before the rename; removes them and returns how many there were.
int removeStaleTemporaries(const std::filesystem::path& path, std::string_view tag);

} // namespace core
