// The calibration-file handlers through the window's own widgets.
#include "app_harness.h"

#include <QFile>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

using namespace app_testing;
using testing::_;
using testing::AnyNumber;
using testing::HasSubstr;
using testing::Return;

struct CalFileWindow : testing::Test {
    CalFileWindow() {
        // Whatever the output boxes' change handling does with the card is not the point here.
        EXPECT_CALL(h.driver, Drvx_ConfigAO(_, _, _)).Times(AnyNumber()).WillRepeatedly(Return(0));
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(_, _, _))
            .Times(AnyNumber())
            .WillRepeatedly(Return(0));
    }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    static std::string contents(const std::string& name) {
        QFile file(QString::fromStdString(name));
        if (!file.open(QIODevice::ReadOnly)) {
            return "<unreadable>";
        }
        return file.readAll().toStdString();
    }
    void writeFile(const std::string& name, const std::string& bytes) {
        QFile file(QString::fromStdString(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    void choose(const std::string& name) {
        h.prompts.fileAnswers.push_back(name);
        ui().cmdBrowse->click();
    }
    app::Controls& ui() { return app::testProbe(*h.form).ui; }

    Harness h;
    QTemporaryDir dir;
};

} // namespace

TEST_F(CalFileWindow, FileChoiceCancelAndButtons) {
    EXPECT_FALSE(ui().cmdLoadINI->isEnabled());
    EXPECT_FALSE(ui().cmdSaveINI->isEnabled());

    ui().tbxFileName->setText("typed.ini");
    ui().cmdBrowse->click(); // cancelled
    EXPECT_EQ(ui().tbxFileName->text(), "");
    EXPECT_FALSE(ui().cmdLoadINI->isEnabled());
    EXPECT_FALSE(ui().cmdSaveINI->isEnabled());

    choose("/cal/card 1.ini");
    EXPECT_EQ(ui().tbxFileName->text(), "/cal/card 1.ini");
    EXPECT_TRUE(ui().cmdLoadINI->isEnabled());
    EXPECT_TRUE(ui().cmdSaveINI->isEnabled());

    ui().tbxFileName->setText("");
    ui().cmdBrowse->click(); // cancelled again
    EXPECT_EQ(ui().tbxFileName->text(), "/cal/card 1.ini");
    ASSERT_EQ(h.prompts.fileChoices.size(), 3u);
    EXPECT_EQ(h.prompts.fileChoices[0].filter, "ini(*.ini)|*.ini");
    EXPECT_EQ(h.prompts.fileChoices[0].startName, "");
    EXPECT_EQ(h.prompts.fileChoices[2].startName, "/cal/card 1.ini");

    ui().tbxFileName->setText("");
    EXPECT_TRUE(ui().cmdLoadINI->isEnabled()) << "enabled for good";
    EXPECT_TRUE(ui().cmdSaveINI->isEnabled());
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST_F(CalFileWindow, ExportThenImportThroughTheBoxes) {
    ASSERT_TRUE(dir.isValid());
    const std::string name = path("card.ini");
    choose(name);
    ui().tbx10VRef->setText("10.0");
    ui().tbx5VRef->setText("4.99870");
    ui().tbxBiAOMax[0]->setText("&Hfff0");
    ui().tbxBiAOMin[7]->setText("0012");
    ui().tbxAIMinVal[5]->setText("");
    ui().cmdSaveINI->click();
    const std::string written = contents(name);
    EXPECT_TRUE(written.starts_with("[REF]\r\n10V=10.0\r\n5V=4.99870\r\n[AOCH0]\r\n"
                                    "UNI5V_POS_5V=&Hfff0\r\n"))
        << written;
    EXPECT_TRUE(written.ends_with("BI10V_NEG_10V=0012\r\n[AI_20.48V]\r\n20.48V=7FFF\r\n0V=0\r\n"
                                  "[AI_10.24V]\r\n10.24V=7FFF\r\n0V=0\r\n[AI_5.12V]\r\n"
                                  "5.12V=7FFF\r\n0V=0\r\n[AI_2.56V]\r\n2.56V=7FFF\r\n0V=0\r\n"
                                  "[AI_1.28V]\r\n1.28V=7FFF\r\n0V=0\r\n[AI_0.64V]\r\n"
                                  "0.64V=7FFF\r\n0V=\r\n"));
    ui().cmdSaveINI->click();
    EXPECT_EQ(contents(name), written);

    ui().tbxBiAOMax[0]->setText("1");
    ui().tbxBiAOMin[7]->setText("2");
    ui().tbxAIMinVal[5]->setText("3");
    std::vector<std::string> changed;
    for (int k = 0; k < 8; ++k) {
        QObject::connect(ui().tbxBiAOMax[k], &QLineEdit::textChanged,
                         [&, k] { changed.push_back("max" + std::to_string(k)); });
        QObject::connect(ui().tbxBiAOMin[k], &QLineEdit::textChanged,
                         [&, k] { changed.push_back("min" + std::to_string(k)); });
    }
    ui().cmdLoadINI->click();
    EXPECT_EQ(ui().tbx10VRef->text(), "10");
    EXPECT_EQ(ui().tbx5VRef->text(), "4.9987");
    EXPECT_EQ(ui().tbxBiAOMax[0]->text(), "&Hfff0");
    EXPECT_EQ(ui().tbxBiAOMin[7]->text(), "0012");
    EXPECT_EQ(ui().tbxAIMinVal[5]->text(), "");
    EXPECT_EQ(changed, (std::vector<std::string>{"max0", "min7"}));
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST_F(CalFileWindow, FailuresAreShownOnceAndChangeNothing) {
    ASSERT_TRUE(dir.isValid());
    const std::string missing = path("no such.ini");
    choose(missing);
    ui().tbx10VRef->setText("9.9987");
    ui().cmdLoadINI->click();
    ASSERT_EQ(h.prompts.messages.size(), 1u);
    EXPECT_THAT(h.prompts.messages[0], HasSubstr(missing));
    EXPECT_THAT(h.prompts.messages[0], HasSubstr("does not exist"));
    EXPECT_EQ(ui().tbx10VRef->text(), "9.9987");
    EXPECT_EQ(ui().tbxAIMaxVal[0]->text(), "7FFF");

    const std::string inMissingFolder = path("gone/card.ini");
    ui().tbxFileName->setText(QString::fromStdString(inMissingFolder));
    ui().cmdSaveINI->click();
    ASSERT_EQ(h.prompts.messages.size(), 2u);
    EXPECT_THAT(h.prompts.messages[1], HasSubstr(inMissingFolder));
    EXPECT_THAT(h.prompts.messages[1], HasSubstr("does not exist"));

    const std::string badReference = path("bad.ini");
    writeFile(badReference, "[REF]\r\n10V=abc\r\n5V=5.0010\r\n[AOCH0]\r\nBI5V_NEG_5V=8000\r\n");
    ui().tbxFileName->setText(QString::fromStdString(badReference));
    ui().cmdLoadINI->click();
    EXPECT_EQ(ui().tbx10VRef->text(), "9.9987");
    EXPECT_EQ(ui().tbx5VRef->text(), "5.001");
    EXPECT_EQ(ui().tbxBiAOMin[2]->text(), "8000");
    EXPECT_EQ(ui().tbxAIMaxVal[0]->text(), "0") << "a readable file lacking the key gives 0";
    ASSERT_EQ(h.prompts.messages.size(), 3u);
    EXPECT_THAT(h.prompts.messages[2], HasSubstr("10V Ref(TP2)"));
    EXPECT_THAT(h.prompts.messages[2], testing::Not(HasSubstr("5V Ref(TP3)")));
}

TEST_F(CalFileWindow, AFileThatIsNoCalibrationIsRefusedOnceAndChangesNoBox) {
    ASSERT_TRUE(dir.isValid());
    std::string binary;
    for (int i = 0; i < 65536; ++i) {
        binary += static_cast<char>((i * 2654435761u) >> 24);
    }
    const std::string name = path("random.bin");
    writeFile(name, binary);
    choose(name);
    ui().tbx10VRef->setText("9.9987");
    ui().tbxBiAOMax[3]->setText("FFF0");
    ui().cmdLoadINI->click();
    ASSERT_EQ(h.prompts.messages.size(), 1u);
    EXPECT_THAT(h.prompts.messages[0], HasSubstr(name));
    EXPECT_THAT(h.prompts.messages[0], HasSubstr("not a calibration file"));
    EXPECT_EQ(ui().tbx10VRef->text(), "9.9987");
    EXPECT_EQ(ui().tbxBiAOMax[3]->text(), "FFF0");
    EXPECT_EQ(ui().tbxAIMaxVal[0]->text(), "7FFF");

    // A file with some of the entries: the others become 0, and one notice names them.
    writeFile(name, "[REF]\r\n10V=10.0010\r\n5V=5.0\r\n");
    ui().cmdLoadINI->click();
    ASSERT_EQ(h.prompts.messages.size(), 2u);
    EXPECT_THAT(h.prompts.messages[1], HasSubstr("lacks 28 of the thirty entries"));
    EXPECT_THAT(h.prompts.messages[1],
                HasSubstr("CH0 Bipolar 10V +10V(Hex) ([AOCH0] BI10V_POS_10V)"));
    EXPECT_EQ(ui().tbx10VRef->text(), "10.001");
    EXPECT_EQ(ui().tbxBiAOMax[3]->text(), "0");

    // A symbolic link that loops is named for what it is.
    const std::string loop = path("loop.ini");
    ASSERT_TRUE(QFile::link(QString::fromStdString(loop), QString::fromStdString(loop)));
    ui().tbxFileName->setText(QString::fromStdString(loop));
    ui().cmdLoadINI->click();
    ASSERT_EQ(h.prompts.messages.size(), 3u);
    EXPECT_THAT(h.prompts.messages[2], HasSubstr("symbolic link that leads round in a loop"));
    EXPECT_THAT(h.prompts.messages[2], testing::Not(HasSubstr("does not exist")));
}

namespace {

// The simulated cards' own file is no export target: the window refuses it with one message.
TEST(WindowExport, TheProgramsOwnFilesAreRefused) {
    QTemporaryDir dir;
    const std::string own = dir.filePath("simulated-cards.dat").toStdString();
    sim::SimulatedDriver cards;
    testing_support::VirtualClock clock;
    testing_support::ScriptedPump pump;
    testing_support::RecordingPrompts prompts;
    app::Form1 form(app::Services{cards, clock, pump, prompts, true, [] {}, nullptr,
                                  [&](const std::string& name) { return name == own; }});
    form.Form_Load();
    app::testProbe(form).ui.tbxFileName->setText(QString::fromStdString(own));
    form.cmdSaveINI_Click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0], HasSubstr("is one of the program's own files"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(own)));
}

} // namespace
