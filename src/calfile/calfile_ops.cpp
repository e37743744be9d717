#include "calfile/calfile_ops.h"

#include "caldata/conversions.h"
#include "calfile/entries.h"
#include "calfile/profile.h"

#include <vector>

namespace calfile {

namespace {

// A file value as a message shows it: quoted, long values shortened.
std::string quoted(std::string_view value) {
    constexpr std::size_t kShown = 40;
    std::string text = "\"";
    if (value.size() > kShown) {
        text.append(value.substr(0, kShown)).append("...");
    } else {
        text.append(value);
    }
    return text + "\"";
}

std::string entryName(const Entry& entry) {
    // Built by appending: "[" + std::string(...) trips a false -Wrestrict of GCC 12 at -O3
    // (the Release build for Windows).
    std::string name = "[";
    name.append(entry.section).append("] ").append(entry.key);
    return name;
}

} // namespace

std::string exportedBytes(const std::string& existing, const caldata::CalibrationTable& table) {
    Profile profile(existing);
    for (const Entry& entry : kEntries) {
        profile.set(entry.section, entry.key, table.text(entry.field));
    }
    return profile.bytes();
}

bool exportCalibration(const caldata::CalibrationTable& table, FileStore& files,
                       platform::Prompts& prompts, const std::string& fileName) {
    const auto fail = [&](const std::string& reason) {
        prompts.message("The calibration data could not be exported to \"" + fileName +
                        "\": " + reason + ". The file was not changed.");
        return false;
    };
    if (fileName.empty()) {
        prompts.message(
            "The calibration data could not be exported: no file name was given. Choose a "
            "file first.");
        return false;
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
        return true;
    }
    const std::string problem = files.write(fileName, after);
    if (!problem.empty()) {
        return fail(problem);
    }
    return true;
}

bool importCalibration(caldata::CalibrationTable& table, FileStore& files,
                       platform::Prompts& prompts, const std::string& fileName) {
    if (fileName.empty()) {
        prompts.message("The calibration data could not be imported: no file name was given. "
                        "Choose a file first. No box was changed.");
        return false;
    }
    const FileContent content = files.read(fileName);
    if (content.state != FileContent::State::Read) {
        prompts.message("The calibration data could not be imported from \"" + fileName +
                        "\": the file " + content.problem + ". No box was changed.");
        return false;
    }

    const Profile profile(content.bytes);
    std::vector<std::string> leftUnchanged;
    for (const Entry& entry : kEntries) {
        const std::string value =
            profile.read(entry.section, entry.key, kEntryDefault, kReadBufferSize);
        if (entry.field.box == caldata::Box::Ref10 || entry.field.box == caldata::Box::Ref5) {
            const caldata::Parsed<float> volts = caldata::parseReference(value);
            if (!volts) {
                leftUnchanged.push_back(caldata::describe(entry.field) + " (" + entryName(entry) +
                                        "): " + quoted(value) + " " + volts.problem);
                continue;
            }
            table.setText(entry.field, caldata::formatReference(*volts.value));
        } else {
            table.setText(entry.field, value);
        }
    }

    if (leftUnchanged.empty()) {
        return true;
    }
    std::string text = "The calibration data was imported from \"" + fileName +
                       "\", but these boxes were left unchanged because their values cannot be "
                       "read as voltages:";
    for (const std::string& line : leftUnchanged) {
        text += "\n" + line;
    }
    prompts.message(text);
    return false;
}

std::string chooseCalibrationFile(platform::Prompts& prompts, std::string& lastChosenName) {
    if (auto chosen = prompts.chooseOpenFile(std::string(kFileFilter), lastChosenName)) {
        lastChosenName = std::move(*chosen);
    }
    return lastChosenName;
}

} // namespace calfile
