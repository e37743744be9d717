// The simulated cards' file shared by programs that run at the same time, and writes the file
// cannot keep.
#include "caldata/eeprom_ops.h"
#include "sim/cards_file.h"
#include "support/child_process.h"
#include "support/fakes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using sim::CardsFile;
using sim::SimulatedDriver;
using ::testing::HasSubstr;
using testing_support::ChildProcess;

namespace {

using Words = std::array<std::uint16_t, card::kEepromWords>;

// Another program writing a board of the file (tests/sim/cards_writer.cpp).
ChildProcess writer(const QString& file, int cards, int board, int times, int pauseMs = 0) {
    return ChildProcess({MXCAL_CARDS_WRITER, file.toStdString(), std::to_string(cards),
                         std::to_string(board), std::to_string(times), std::to_string(pauseMs)});
}

// Board's words as the writer's last write left them.
Words written(const SimulatedDriver& cards, int board, int times) {
    Words w = cards.eeprom(board);
    w[8] = static_cast<std::uint16_t>(times);
    w[9] = static_cast<std::uint16_t>(0xB000 + board);
    return w;
}

// The file's bytes; never opens anything but a regular file (a FIFO would block).
QByteArray bytes(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return "(not a file)";
    }
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

QStringList temporaries(const QString& folder) {
    return QDir(folder).entryList({"*.tmp"}, QDir::Files | QDir::Hidden);
}

card::EepImage imageOf(const Words& words) {
    card::EepImage image{};
    std::copy(words.begin(), words.end(), image.begin());
    return image;
}

} // namespace

TEST(CardsShared, TwoProgramsWritingTwoBoardsAtOnceKeepEveryWriteOfTheOther) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    SimulatedDriver observer({.cards = 3});
    Words third = observer.eeprom(2);
    third[8] = 0x1357;
    observer.setEeprom(2, third);
    ASSERT_TRUE(CardsFile(path).save(observer).ok());
    const CardsFile store(path);
    ASSERT_TRUE(store.load(observer).ok());
    store.attach(observer);

    constexpr int kTimes = 60;
    ChildProcess first = writer(path, 2, 0, kTimes); // a program with fewer cards
    ChildProcess second = writer(path, 3, 1, kTimes);
    EXPECT_EQ(first.readLine(), "done");
    EXPECT_EQ(second.readLine(), "done");
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);

    // The program that started before them reads their writes, as from a card's EEPROM.
    SimulatedDriver fresh({.cards = 3});
    for (int board : {0, 1}) {
        card::EepImage read{};
        ASSERT_EQ(observer.Drvx_ReadEEP(static_cast<card::Int16>(board), read), 0);
        EXPECT_EQ(read, imageOf(written(fresh, board, kTimes))) << board;
    }
    SimulatedDriver reloaded({.cards = 3});
    ASSERT_TRUE(store.load(reloaded).ok());
    EXPECT_EQ(reloaded.eeprom(2), third) << "the card neither program has is kept";
    for (int board : {0, 1, 2}) {
        EXPECT_EQ(reloaded.factoryBackup(board), fresh.factoryBackup(board));
    }
    EXPECT_TRUE(temporaries(dir.path()).isEmpty());
}

TEST(CardsShared, ALiveWritersTemporarySurvivesAnotherProgramAndAStaleOneGoes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    SimulatedDriver cards({.cards = 2});
    const CardsFile store(path);
    ASSERT_TRUE(store.save(cards).ok());
    const QString stale = path + ".mx4815cal-cards-Zz9Yy8.tmp"; // a kill left it
    QFile(stale).open(QIODevice::WriteOnly);

    // The writer stops with its temporary beside the file and the lock held.
    ChildProcess live = writer(path, 2, 0, 1, 300);
    ASSERT_EQ(live.readLine(), "renaming");
    const QStringList during = temporaries(dir.path());
    ASSERT_EQ(during.size(), 1) << "the stale one went at the writer's start";
    EXPECT_NE(during[0], QFileInfo(stale).fileName());

    // Meanwhile this program starts and saves board 1: both wait for the writer.
    SimulatedDriver other({.cards = 2});
    ASSERT_TRUE(store.load(other).ok());
    EXPECT_EQ(other.eeprom(0), written(cards, 0, 1)) << "loaded after the writer's write";
    store.attach(other);
    Words mine = other.eeprom(1);
    mine[8] = 0x0ACE;
    card::EepImage image = imageOf(mine);
    ASSERT_EQ(other.Drvx_WriteEEP(1, image), 0) << other.failureDetail();
    EXPECT_EQ(live.readLine(), "done");
    EXPECT_EQ(live.wait(), 0);

    SimulatedDriver after({.cards = 2});
    ASSERT_TRUE(store.load(after).ok());
    EXPECT_EQ(after.eeprom(0), written(cards, 0, 1));
    EXPECT_EQ(after.eeprom(1), mine);
    EXPECT_TRUE(temporaries(dir.path()).isEmpty());
}

namespace {

// A program on the file at path, two cards, with failAt injected into its writes.
struct Program {
    explicit Program(const QString& path, std::function<bool(core::ReplaceStep)> failAt = {})
        : store(path, std::move(failAt)) {
        (void)store.load(cards);
        store.attach(cards);
    }
    SimulatedDriver cards{{.cards = 2}};
    CardsFile store;
};

// A write and a RECOVER the file cannot keep: both fail, and neither the card nor the file
// changes; the detail names the file and why.
void expectNotKept(Program& p, const QString& path, const std::string& why) {
    SCOPED_TRACE(path.toStdString() + ": " + why);
    const QByteArray before = bytes(path);
    const Words eeprom = p.cards.eeprom(0);
    Words changed = eeprom;
    changed[8] ^= 0x00FF;
    card::EepImage image = imageOf(changed);
    EXPECT_EQ(p.cards.Drvx_WriteEEP(0, image), sim::kEepromNotKept);
    EXPECT_EQ(p.cards.eeprom(0), eeprom);
    EXPECT_EQ(p.cards.eepromWrites(0), 0);
    EXPECT_THAT(p.cards.failureDetail(), HasSubstr(path.toStdString()));
    EXPECT_THAT(p.cards.failureDetail(), HasSubstr(why));
    EXPECT_EQ(p.cards.Drvx_RecoverEEP(0), sim::kEepromNotKept);
    EXPECT_EQ(p.cards.eeprom(0), eeprom);
    EXPECT_EQ(bytes(path), before);
    card::EepImage read{};
    EXPECT_EQ(p.cards.Drvx_ReadEEP(0, read), 0);
    EXPECT_EQ(p.cards.failureDetail(), "") << "said of the failed call only";
}

} // namespace

TEST(CardsShared, AWriteTheFileCannotKeepFailsAndChangesNeitherCardNorFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    {
        Program writes(path);
        Words w = writes.cards.eeprom(0);
        w[8] = 0x7001;
        card::EepImage image = imageOf(w);
        ASSERT_EQ(writes.cards.Drvx_WriteEEP(0, image), 0);
    }
    for (core::ReplaceStep step : {core::ReplaceStep::Create, core::ReplaceStep::Write,
                                   core::ReplaceStep::Sync, core::ReplaceStep::Rename}) {
        Program failing(path, [step](core::ReplaceStep s) { return s == step; });
        expectNotKept(failing, path, "Input/output error");
        EXPECT_TRUE(temporaries(dir.path()).isEmpty());
    }

    const QString folder = dir.filePath("folder.dat");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    Program onFolder(folder);
    expectNotKept(onFolder, folder, "is a folder");
    const QString fifo = dir.filePath("fifo.dat");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    Program onFifo(fifo);
    expectNotKept(onFifo, fifo, "FIFO");

    // A folder this program may not write (root may write anyway: then there is nothing to see).
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    const QString inLocked = dir.filePath("locked/simulated-cards.dat");
    Program locked(inLocked);
    ASSERT_TRUE(locked.store.save(locked.cards).ok());
    ASSERT_EQ(::chmod(dir.filePath("locked").toLocal8Bit().constData(), 0500), 0);
    if (!QFile(dir.filePath("locked/probe")).open(QIODevice::WriteOnly)) {
        expectNotKept(locked, inLocked, "Permission denied");
    }
    ::chmod(dir.filePath("locked").toLocal8Bit().constData(), 0700);
}

TEST(CardsShared, SaveAndRecoverReportAWriteTheFileCannotKeepWithItsCodeAndWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    bool failing = false;
    Program p(path, [&failing](core::ReplaceStep s) {
        return failing && s == core::ReplaceStep::Create;
    });
    testing_support::Rig rig(p.cards);
    testing_support::MemoryTable table;
    auto ctx = rig.context();
    ASSERT_TRUE(caldata::Reload(ctx, table).ok());
    table.setText(caldata::aoMax(0), "7FF1");
    failing = true;

    const std::string code = "Error Code=" + std::to_string(sim::kEepromNotKept);
    const auto saved = caldata::Save(ctx, table);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.kind(), core::Kind::Card);
    EXPECT_THAT(saved.refusal(), HasSubstr("SAVE: writing the EEPROM of board 0 failed (" + code));
    EXPECT_THAT(saved.refusal(), HasSubstr(path.toStdString() + "\" could not be written: a "
                                                                "temporary file could not be "
                                                                "created"));
    const core::Status recovered = caldata::Recover(ctx);
    ASSERT_FALSE(recovered);
    EXPECT_THAT(recovered.refusal(), HasSubstr(code));
    EXPECT_THAT(recovered.refusal(), HasSubstr("Input/output error"));

    failing = false;
    EXPECT_TRUE(caldata::Save(ctx, table).ok()) << "the same SAVE, once the file keeps it";
}
