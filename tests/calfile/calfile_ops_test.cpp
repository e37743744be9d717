#include "calfile/calfile_ops.h"
#include "calfile/entries.h"
#include "calfile/profile.h"

#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

using caldata::Field;
using calfile::FileContent;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::MemoryTable;
using testing_support::RecordingPrompts;

namespace {

class MemoryFiles : public calfile::FileStore {
public:
    FileContent read(const std::string& name) override {
        FileContent content;
        if (unreadable.count(name) != 0) {
            content.state = FileContent::State::Unreadable;
            content.problem = "cannot be opened (Permission denied)";
        } else if (auto it = files.find(name); it != files.end()) {
            content.state = FileContent::State::Read;
            content.bytes = it->second;
        } else {
            content.problem = "does not exist";
        }
        return content;
    }
    core::Status write(const std::string& name, const std::string& bytes) override {
        ++writes;
        if (!writeProblem.empty()) {
            return core::refuse(writeProblem);
        }
        files[name] = bytes;
        return {};
    }
    std::map<std::string, std::string> files;
    std::set<std::string> unreadable;
    std::string writeProblem;
    int writes = 0;
};

// The file Export writes from the window's start texts.
const std::string kStartFile = "[REF]\r\n10V=10.0\r\n5V=5.0\r\n"
                               "[AOCH0]\r\nUNI5V_POS_5V=0\r\nUNI5V_ABS_0V=0\r\n"
                               "UNI10V_POS_10V=0\r\nUNI10V_ABS_0V=0\r\n"
                               "BI5V_POS_5V=0\r\nBI5V_NEG_5V=0\r\n"
                               "BI10V_POS_10V=0\r\nBI10V_NEG_10V=0\r\n"
                               "[AOCH1]\r\nUNI5V_POS_5V=0\r\nUNI5V_ABS_0V=0\r\n"
                               "UNI10V_POS_10V=0\r\nUNI10V_ABS_0V=0\r\n"
                               "BI5V_POS_5V=0\r\nBI5V_NEG_5V=0\r\n"
                               "BI10V_POS_10V=0\r\nBI10V_NEG_10V=0\r\n"
                               "[AI_20.48V]\r\n20.48V=7FFF\r\n0V=0\r\n"
                               "[AI_10.24V]\r\n10.24V=7FFF\r\n0V=0\r\n"
                               "[AI_5.12V]\r\n5.12V=7FFF\r\n0V=0\r\n"
                               "[AI_2.56V]\r\n2.56V=7FFF\r\n0V=0\r\n"
                               "[AI_1.28V]\r\n1.28V=7FFF\r\n0V=0\r\n"
                               "[AI_0.64V]\r\n0.64V=7FFF\r\n0V=0\r\n";

struct CalFile : testing::Test {
    MemoryTable table;
    MemoryFiles files;
    RecordingPrompts prompts;
    const std::string name = "/cal/card1.ini";

    bool exportFile() { return exportTo(name); }
    bool importFile() { return importInto(table, name); }
    // Export and Import with their messages shown as the window shows them.
    bool exportTo(const std::string& file) {
        return testing_support::shown(prompts, calfile::exportCalibration(table, files, file));
    }
    bool importInto(caldata::CalibrationTable& into, const std::string& file) {
        const auto imported = calfile::importCalibration(into, files, file);
        if (imported && !imported->empty()) {
            prompts.message(*imported);
            return false;
        }
        return testing_support::shown(prompts, imported);
    }
    std::string value(std::string_view section, std::string_view key) {
        return calfile::Profile(files.files[name]).read(section, key, "<missing>");
    }
    // Every box's text, in table order.
    std::vector<std::string> texts() {
        std::vector<std::string> all;
        for (const auto& entry : calfile::kEntries) {
            all.push_back(table.text(entry.field));
        }
        return all;
    }
};

} // namespace

TEST_F(CalFile, ExportIntoMissingFileWritesTheNineSectionsInOrder) {
    EXPECT_TRUE(exportFile());
    EXPECT_EQ(files.files[name], kStartFile);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CalFile, ExportKeepsEverythingElseAndTwiceGivesTheSameBytes) {
    files.files[name] = "; bench 3\n[Operator]\nname=J. Smith\n\n[ref]\n 10v = 9.99 \n"
                        "note=x\n[AI_0.64V]\n0V=12\n; end";
    table.setText(caldata::ref10(), "10.0002");
    table.setText(caldata::aiMin(5), "12");
    ASSERT_TRUE(exportFile());
    const std::size_t from = kStartFile.find("[AOCH0]");
    const std::size_t to = kStartFile.find("[AI_0.64V]");
    EXPECT_EQ(files.files[name], "; bench 3\n[Operator]\nname=J. Smith\n\n[ref]\n10v=10.0002\r\n"
                                 "note=x\n5V=5.0\r\n[AI_0.64V]\n0V=12\n0.64V=7FFF\r\n; end\r\n" +
                                     kStartFile.substr(from, to - from));

    table.setText(caldata::aiMin(5), "0");
    ASSERT_TRUE(exportFile());
    EXPECT_EQ(value("AI_0.64V", "0V"), "0");
    const std::string once = files.files[name];
    const int writes = files.writes;
    ASSERT_TRUE(exportFile());
    EXPECT_EQ(files.files[name], once);
    EXPECT_EQ(files.writes, writes) << "an unchanged file is not written again";
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CalFile, ExportWritesBoxTextsAsTheyStand) {
    table.setText(caldata::aoMax(0), "&HFFF0");
    table.setText(caldata::aoMin(0), "ff");
    table.setText(caldata::aoMax(1), "00A0");
    table.setText(caldata::aoMin(7), "");
    table.setText(caldata::ref5(), " 4.99870 ");
    table.setText(caldata::aiMax(2), "not hex");
    ASSERT_TRUE(exportFile());
    const std::string& bytes = files.files[name];
    EXPECT_THAT(bytes, HasSubstr("[AOCH0]\r\nUNI5V_POS_5V=&HFFF0\r\nUNI5V_ABS_0V=ff\r\n"
                                 "UNI10V_POS_10V=00A0\r\n"));
    EXPECT_THAT(bytes, HasSubstr("BI10V_NEG_10V=\r\n[AI_20.48V]"));
    EXPECT_THAT(bytes, HasSubstr("5V= 4.99870 \r\n"));
    EXPECT_THAT(bytes, HasSubstr("5.12V=not hex\r\n"));
}

TEST_F(CalFile, TheSixZeroVoltKeysStayApart) {
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        table.setText(caldata::aiMin(j), "1" + std::to_string(j));
    }
    ASSERT_TRUE(exportFile());
    const std::array<const char*, 6> sections{"AI_20.48V", "AI_10.24V", "AI_5.12V",
                                              "AI_2.56V",  "AI_1.28V",  "AI_0.64V"};
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        EXPECT_EQ(value(sections[j], "0V"), "1" + std::to_string(j));
        table.setText(caldata::aiMin(j), "x");
    }
    ASSERT_TRUE(importFile());
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        EXPECT_EQ(table.text(caldata::aiMin(j)), "1" + std::to_string(j));
    }
}

TEST_F(CalFile, ExportFailuresSayWhichFileAndWhy) {
    files.writeProblem = "the folder \"/cal\" does not exist";
    EXPECT_FALSE(exportFile());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0], HasSubstr("\"/cal/card1.ini\""));
    EXPECT_THAT(prompts.messages[0], HasSubstr("the folder \"/cal\" does not exist"));

    files.writeProblem.clear();
    files.unreadable.insert(name);
    EXPECT_FALSE(exportFile());
    EXPECT_EQ(files.files.count(name), 0u) << "a file that cannot be read is not overwritten";
    EXPECT_THAT(prompts.messages.at(1), HasSubstr("Permission denied"));

    EXPECT_FALSE(exportTo(""));
    EXPECT_THAT(prompts.messages.at(2), HasSubstr("no file name"));

    files.unreadable.clear();
    table.setText(caldata::aoMax(3), "7F\r\n[REF]\r\n10V=0");
    EXPECT_FALSE(exportFile());
    EXPECT_EQ(files.files.count(name), 0u);
    EXPECT_THAT(prompts.messages.at(3), HasSubstr("CH0 Bipolar 10V +10V(Hex)"));
    EXPECT_EQ(prompts.messages.size(), 4u);
}

TEST_F(CalFile, RoundTripGivesCodesBackAndReferencesInStandardForm) {
    table.setText(caldata::ref10(), "10.0");
    table.setText(caldata::ref5(), "4.99870");
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        table.setText(caldata::aoMax(k), "FF" + std::to_string(k));
        table.setText(caldata::aoMin(k), "&h" + std::to_string(k));
    }
    table.setText(caldata::aiMax(0), "");
    ASSERT_TRUE(exportFile());
    const std::vector<std::string> exported = texts();

    MemoryTable fresh;
    ASSERT_TRUE(importInto(fresh, name));
    for (std::size_t i = 2; i < calfile::kEntries.size(); ++i) {
        EXPECT_EQ(fresh.text(calfile::kEntries[i].field), exported[i]) << i;
    }
    EXPECT_EQ(fresh.text(caldata::ref10()), "10");
    EXPECT_EQ(fresh.text(caldata::ref5()), "4.9987");
    EXPECT_EQ(fresh.text(caldata::aiMax(0)), "") << "an empty value empties its box";
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CalFile, ImportFindsKeysByNameAndGivesZeroForMissingOnes) {
    const std::string longValue(300, 'C');
    files.files[name] = "[ai_0.64v]\n0v = 'A5' \n[AOCH1]\nbi10v_neg_10v=\"1234\"\n"
                        "[REF]\n5v=4.5\n[AOCH0]\nUNI5V_ABS_0V=" +
                        longValue + "\n";
    EXPECT_FALSE(importFile()); // with the notice below
    EXPECT_EQ(table.text(caldata::aiMin(5)), "A5");
    EXPECT_EQ(table.text(caldata::aoMin(7)), "1234");
    EXPECT_EQ(table.text(caldata::ref5()), "4.5");
    EXPECT_EQ(table.text(caldata::ref10()), "0") << "missing keys give 0, references too";
    EXPECT_EQ(table.text(caldata::aoMin(0)), std::string(254, 'C'));
    EXPECT_EQ(table.text(caldata::aiMax(5)), "0");
    EXPECT_EQ(table.text(caldata::aiMax(0)), "0");
    // One notice afterwards lists the 26 entries the file lacks.
    ASSERT_EQ(prompts.messages.size(), 1u);
    const std::string& m = prompts.messages[0];
    EXPECT_THAT(m, HasSubstr("lacks 26 of the thirty entries"));
    EXPECT_THAT(m, HasSubstr("\n10V Ref(TP2) ([REF] 10V)"));
    EXPECT_THAT(m, HasSubstr("\n20.48V 10V Ref ([AI_20.48V] 20.48V)"));
    EXPECT_THAT(m, testing::Not(HasSubstr("[REF] 5V")));
    EXPECT_THAT(m, testing::Not(HasSubstr("[AI_0.64V] 0V")));
    EXPECT_EQ(std::count(m.begin(), m.end(), '\n'), 26);
}

TEST_F(CalFile, AFileWithNoneOfTheEntriesIsRefusedAndChangesNoBox) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 7919) % 251);
    }
    const std::string notCalibration[] = {
        binary,
        std::string("\x7F"
                    "ELF\x02\x01\x01\0\0\0",
                    10) +
            binary,
        "",
        "[REF]\r\n10 V=10.0\r\n[Other]\r\n5V=5.0\r\n",
        "10V=10.0\r\n5V=5.0\r\n", // keys outside any section
    };
    const std::vector<std::string> before = texts();
    for (const std::string& bytes : notCalibration) {
        files.files[name] = bytes;
        prompts.messages.clear();
        EXPECT_FALSE(importFile());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_THAT(prompts.messages[0], HasSubstr("\"/cal/card1.ini\""));
        EXPECT_THAT(prompts.messages[0], HasSubstr("not a calibration file"));
        EXPECT_THAT(prompts.messages[0], HasSubstr("No box was changed"));
    }
    EXPECT_EQ(texts(), before);
    EXPECT_TRUE(table.changes.empty());

    files.files[name] = "[ref]\r\n10v=9.5\r\n"; // one entry is enough to be one
    EXPECT_FALSE(importFile());
    EXPECT_EQ(table.text(caldata::ref10()), "9.5");
    EXPECT_THAT(prompts.messages.back(), HasSubstr("lacks 29 of the thirty entries"));
}

TEST_F(CalFile, ImportOfAFileThatCannotBeReadChangesNothing) {
    const std::vector<std::string> before = texts();
    EXPECT_FALSE(importFile());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0], HasSubstr("\"/cal/card1.ini\": the file does not exist"));

    files.files[name] = kStartFile;
    files.unreadable.insert(name);
    EXPECT_FALSE(importFile());
    EXPECT_FALSE(importInto(table, ""));
    EXPECT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(texts(), before);
    EXPECT_TRUE(table.changes.empty());
}

TEST_F(CalFile, UnreadableReferencesStayAndAreNamedOnce) {
    files.files[name] = "[REF]\r\n10V=ten volts\r\n5V=\r\n[AOCH0]\r\nUNI5V_POS_5V=FFF0\r\n";
    table.setText(caldata::ref10(), "9.9987");
    EXPECT_FALSE(importFile());
    EXPECT_EQ(table.text(caldata::ref10()), "9.9987");
    EXPECT_EQ(table.text(caldata::ref5()), "5.0");
    EXPECT_EQ(table.text(caldata::aoMax(0)), "FFF0") << "the import goes on";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0], HasSubstr("10V Ref(TP2) ([REF] 10V): \"ten volts\""));
    EXPECT_THAT(prompts.messages[0], HasSubstr("5V Ref(TP3) ([REF] 5V): \"\""));
}

TEST_F(CalFile, ChangeHandlingRunsOncePerChangedOutputBoxBeforeTheNextEntry) {
    files.files[name] = "[AOCH0]\r\nUNI5V_POS_5V=0\r\nUNI5V_ABS_0V=1\r\nBI5V_NEG_5V=2\r\n"
                        "[AOCH1]\r\nBI10V_POS_10V=3\r\n[AI_20.48V]\r\n0V=4\r\n";
    std::vector<std::string> seenNextBox;
    table.onChange = [&](Field f) {
        // The entry after each changed box has not been taken yet.
        if (f == caldata::aoMin(0)) {
            seenNextBox.push_back(table.text(caldata::aoMax(1)));
        }
        if (f == caldata::aoMax(7)) {
            seenNextBox.push_back(table.text(caldata::aoMin(7)));
        }
    };
    table.setText(caldata::aoMax(1), "5");
    table.setText(caldata::aoMin(7), "6");
    table.changes.clear();
    importFile(); // its notice lists the entries the file lacks
    EXPECT_THAT(table.changes, ElementsAre(caldata::aoMin(0), caldata::aoMax(1), caldata::aoMin(2),
                                           caldata::aoMax(7), caldata::aoMin(7)));
    EXPECT_THAT(seenNextBox, ElementsAre("5", "6"));
}

TEST(CalFileChoice, CancelKeepsTheLastChosenName) {
    RecordingPrompts prompts;
    std::string last;
    EXPECT_EQ(calfile::chooseCalibrationFile(prompts, last), "") << "cancel before any choice";
    prompts.fileAnswers = {std::string("/cal/a.ini"), std::nullopt, std::string("")};
    EXPECT_EQ(calfile::chooseCalibrationFile(prompts, last), "/cal/a.ini");
    EXPECT_EQ(calfile::chooseCalibrationFile(prompts, last), "/cal/a.ini");
    ASSERT_EQ(prompts.fileChoices.size(), 3u);
    EXPECT_EQ(prompts.fileChoices[0].filter, "ini(*.ini)|*.ini");
    EXPECT_EQ(prompts.fileChoices[0].startName, "");
    EXPECT_EQ(prompts.fileChoices[2].startName, "/cal/a.ini");
    EXPECT_EQ(calfile::chooseCalibrationFile(prompts, last), "");
}

TEST_F(CalFile, OnePassExportEqualsThirtySingleWrites) {
    // Each single write starts from the bytes the one before left on disk.
    const auto singleWrites = [&](std::string bytes) {
        for (const auto& entry : calfile::kEntries) {
            calfile::Profile profile(bytes);
            profile.set(entry.section, entry.key, table.text(entry.field));
            bytes = profile.bytes();
        }
        return bytes;
    };
    table.setText(caldata::ref5(), " 5.0");
    table.setText(caldata::aoMin(3), "");
    const std::string tricky[] = {
        // byte-order mark, a stray entry before any section, CR line ends, no final line end
        "\xEF\xBB\xBF"
        "5V=stray\r\n[ref]\r; measured\r5v = 5.0\r\r[Other]\rx=1",
        // the first of two sections wins; an empty section at the end without a line end
        "[AOCH0]\nBI10V_NEG_10V=1\nnot an entry\n[aoch0]\nUNI5V_POS_5V=9\n[AI_0.64V]",
        // quoted and blank-padded values, comments between entries, mixed line ends
        "[REF]\r\n10V = \"10.0\"\n;5V=4\r\n[ AI_5.12V ]\r0v=0\r\n5.12v='7FFF'\n\n; end\r\n",
    };
    for (const std::string& file : tricky) {
        files.files[name] = file;
        ASSERT_TRUE(exportFile());
        EXPECT_EQ(files.files[name], singleWrites(file)) << file;
    }
    // The first file, as the profile rules give it.
    const std::size_t from = kStartFile.find("[AOCH0]");
    EXPECT_EQ(calfile::exportedBytes(tricky[0], table),
              "\xEF\xBB\xBF"
              "5V=stray\r\n[ref]\r; measured\r5v= 5.0\r\n10V=10.0\r\n\r[Other]\rx=1\r\n" +
                  kStartFile.substr(from, kStartFile.find("BI10V_NEG_10V") - from) +
                  "BI10V_NEG_10V=\r\n" +
                  kStartFile.substr(kStartFile.find("BI10V_NEG_10V=0\r\n", from) + 17));
}
