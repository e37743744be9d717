#include "calfile/calfile_ops.h"

#include "caldata/conversions.h"
#include "calfile/entries.h"
#include "calfile/profile.h"
#include "core/text.h"

#include <vector>

namespace calfile {

namespace {

std::string entryName(const Entry& entry) {
    // Built by appending: "[" + std::string(...) trips a false -Wrestrict of GCC 12 at -O3
    // (the Release build for Windows).
    std::string name = "[";
    name.append(entry.section).append("] ").append(entry.key);
    return name;
}

// The notice after an import: the entries the file lacks (their boxes were set to "0") and the
// reference values that could not be read (their boxes were left as they were); empty when
// every entry was found and taken.
std::string importNotice(const std::string& fileName, const std::vector<std::string>& missing,
                         const std::vector<std::string>& leftUnchanged) {
    if (missing.empty() && leftUnchanged.empty()) {
        return std::string();
    }
    std::string text = "The calibration data was imported from \"" + fileName + "\", but";
    if (!missing.empty()) {
        text += " the file lacks " + std::to_string(missing.size()) + " of the thirty entries; " +
                "these boxes were set to 0:";
        for (const std::string& line : missing) {
            text += "\n" + line;
        }
    }
    if (!leftUnchanged.empty()) {
        text += std::string(missing.empty() ? "" : "\nAnd") +
                " these boxes were left unchanged because their values cannot be read as "
                "voltages:";
        for (const std::string& line : leftUnchanged) {
            text += "\n" + line;
        }
    }
    return text;
}

} // namespace

std::string exportedBytes(const std::string& existing, const caldata::CalibrationTable& table) {
    Profile profile(existing);
    for (const Entry& entry : kEntries) {
        profile.set(entry.section, entry.key, table.text(entry.field));
    }
    return profile.bytes();
}

core::Status exportCalibration(const caldata::CalibrationTable& table, FileStore& files,
                               const std::string& fileName) {
    const auto fail = [&](const std::string& reason) {
        return core::refuse("The calibration data could not be exported to \"" + fileName +
                            "\": " + reason + ". The file was not changed.");
    };
    if (fileName.empty()) {
        return core::refuse(
            "The calibration data could not be exported: no file name was given. Choose a "
            "file first.");
    }

    // A line break in a box would end its entry early and put the rest of the text into
    // the file as lines of their own.
    for (const Entry& entry : kEntries) {
        if (table.text(entry.field).find_first_of(std::string_view("\r\n\0", 3)) !=
            std::string::npos) {
            return fail("the box " + caldata::describe(entry.field) +
                        " holds a line break or a NUL character, which a calibration file "
                        "cannot keep");
        }
    }

    const FileContent before = files.read(fileName);
    if (before.state == FileContent::State::Unreadable) {
        // Writing over a file that cannot be read would lose whatever else it holds.
        return fail("the file " + before.problem);
    }
    const std::string after = exportedBytes(before.bytes, table);
    if (before.state == FileContent::State::Read && after == before.bytes) {
        return {};
    }
    if (const core::Status written = files.write(fileName, after); !written) {
        return fail(written.refusal());
    }
    return {};
}

core::Result<std::string> importCalibration(caldata::CalibrationTable& table, FileStore& files,
                                            const std::string& fileName) {
    if (fileName.empty()) {
        return core::refuse("The calibration data could not be imported: no file name was given. "
                            "Choose a file first. No box was changed.");
    }
    const FileContent content = files.read(fileName);
    if (content.state != FileContent::State::Read) {
        return core::refuse("The calibration data could not be imported from \"" + fileName +
                            "\": the file " + content.problem + ". No box was changed.");
    }

    const Profile profile(content.bytes);
    std::vector<std::string> missing;
    for (const Entry& entry : kEntries) {
        if (!profile.contains(entry.section, entry.key)) {
            missing.push_back(caldata::describe(entry.field) + " (" + entryName(entry) + ")");
        }
    }
    if (missing.size() == kEntries.size()) {
        // Any file at all reads as thirty missing entries: all "0", references included, which
        // a SAVE would then write into every calibration word.
        return core::refuse("The calibration data could not be imported from \"" + fileName +
                            "\": the file holds none of the thirty calibration entries, so it "
                            "is not a calibration file. No box was changed.");
    }

    std::vector<std::string> leftUnchanged;
    for (const Entry& entry : kEntries) {
        const std::string value =
            profile.read(entry.section, entry.key, kEntryDefault, kReadBufferSize);
        if (entry.field.box == caldata::Box::Ref10 || entry.field.box == caldata::Box::Ref5) {
            const core::Result<float> volts = caldata::parseReference(value);
            if (!volts) {
                leftUnchanged.push_back(caldata::describe(entry.field) + " (" + entryName(entry) +
                                        "): " + core::quoteText(value) + " " + volts.refusal());
                continue;
            }
            table.setText(entry.field, caldata::formatReference(*volts));
        } else {
            table.setText(entry.field, value);
        }
    }
    return importNotice(fileName, missing, leftUnchanged);
}

std::string chooseCalibrationFile(platform::Prompts& prompts, std::string& lastChosenName) {
    if (auto chosen = prompts.chooseOpenFile(std::string(kFileFilter), lastChosenName)) {
        lastChosenName = std::move(*chosen);
    }
    return lastChosenName;
}

} // namespace calfile
