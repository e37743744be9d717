#include "sim/cards_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using sim::CardsFile;
using sim::SimulatedDriver;
using ::testing::HasSubstr;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

std::array<std::uint16_t, 128> changedWords(const SimulatedDriver& cards) {
    auto words = cards.eeprom(0);
    words[8] = 0xFFA0;
    words[4] = 0x1234;
    return words;
}

} // namespace

TEST(CardsFile, AWriteThroughTheDriverSurvivesARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const CardsFile store(dir.filePath("sub/simulated-cards.dat"));

    SimulatedDriver first({.cards = 2});
    store.attach(first);
    card::EepImage image{};
    const auto words = changedWords(first);
    for (std::size_t i = 0; i < 128; ++i) {
        image[i] = words[i];
    }
    ASSERT_EQ(first.Drvx_WriteEEP(0, image), 0);
    EXPECT_TRUE(QFile::exists(store.filePath()));

    SimulatedDriver second({.cards = 2});
    EXPECT_TRUE(store.load(second).ok());
    EXPECT_EQ(second.eeprom(0), words);
    EXPECT_EQ(second.eeprom(1), second.factoryBackup(1));
}

TEST(CardsFile, MissingFileIsSilentDamagedOrUnreadableFileGivesFactoryCardsAndAMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimulatedDriver cards({.cards = 1});
    const auto words = changedWords(cards);

    cards.setEeprom(0, words);
    EXPECT_TRUE(CardsFile(dir.filePath("none.dat")).load(cards).ok());
    EXPECT_EQ(cards.eeprom(0), words) << "a missing file changes nothing";

    const std::string good = cards.serialize();
    const QByteArray goodBytes(good.data(), static_cast<qsizetype>(good.size()));
    QByteArray binary(5000, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>(i * 131 + 7);
    }
    const std::vector<QByteArray> contents{QByteArray(), goodBytes.left(goodBytes.size() / 3),
                                           goodBytes.left(goodBytes.size() - 1), binary,
                                           QByteArray("MX4815-SIMULATED-CARDS 1\n")};
    for (const QByteArray& content : contents) {
        const QString path = dir.filePath("damaged.dat");
        writeFile(path, content);
        cards.setEeprom(0, words);
        const core::Status loaded = CardsFile(path).load(cards);
        ASSERT_FALSE(loaded) << content.size();
        EXPECT_THAT(loaded.refusal(), HasSubstr("damaged.dat"));
        EXPECT_THAT(loaded.refusal(), HasSubstr("The file was kept as"));
        EXPECT_FALSE(QFileInfo::exists(path)) << "moved aside, also twice in one second";
        EXPECT_EQ(cards.eeprom(0), cards.factoryBackup(0));
    }

    // A folder where the file should be, and a file beyond the size limit.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    cards.setEeprom(0, words);
    EXPECT_FALSE(CardsFile(dir.filePath("folder.dat")).load(cards));
    EXPECT_EQ(cards.eeprom(0), cards.factoryBackup(0));
    {
        QFile huge(dir.filePath("huge.dat"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(CardsFile::kMaxFileSize + 1));
    }
    cards.setEeprom(0, words);
    const core::Status loaded = CardsFile(dir.filePath("huge.dat")).load(cards);
    ASSERT_FALSE(loaded);
    EXPECT_THAT(loaded.refusal(), HasSubstr("too large"));
    EXPECT_EQ(cards.eeprom(0), cards.factoryBackup(0));
}

TEST(CardsFile, FailedSaveReportsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimulatedDriver cards({.cards = 1});
    writeFile(dir.filePath("blocker"), "not a folder");
    const core::Status blocked = CardsFile(dir.filePath("blocker/cards.dat")).save(cards);
    EXPECT_FALSE(blocked);
    EXPECT_FALSE(blocked.refusal().empty());

    const CardsFile store(dir.filePath("cards.dat"));
    ASSERT_TRUE(store.save(cards).ok());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    cards.setEeprom(0, changedWords(cards));
    const bool saved = store.save(cards).ok(); // refused unless running as root
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SimulatedDriver reloaded({.cards = 1});
    EXPECT_TRUE(store.load(reloaded).ok());
    EXPECT_EQ(reloaded.eeprom(0), saved ? changedWords(cards) : reloaded.factoryBackup(0));

    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal-tests"));
    const QString path = CardsFile::defaultPath();
    EXPECT_TRUE(path.endsWith("mx4815cal-tests/simulated-cards.dat")) << path.toStdString();
    EXPECT_TRUE(QFileInfo(path).dir().exists());
}

namespace {

// The folder's entries but the lock files.
std::vector<QString> entries(const QTemporaryDir& dir) {
    std::vector<QString> names;
    for (const QString& n :
         QDir(dir.path())
             .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (!n.endsWith(".lock")) {
            names.push_back(n);
        }
    }
    return names;
}

} // namespace

TEST(CardsFile, NothingButARegularFileIsEverWrittenOver) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimulatedDriver cards({.cards = 1});
    const QString fifo = dir.filePath("fifo.dat");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString toFifo = dir.filePath("link-to-fifo.dat");
    ASSERT_TRUE(QFile::link(fifo, toFifo));
    const QString loop = dir.filePath("loop.dat");
    ASSERT_TRUE(QFile::link(loop, loop));

    for (const QString& path : {fifo, toFifo, loop}) {
        const CardsFile store(path);
        const core::Status loaded = store.load(cards);
        ASSERT_FALSE(loaded) << path.toStdString();
        const core::Status saved = store.save(cards);
        ASSERT_FALSE(saved) << path.toStdString();
        EXPECT_THAT(saved.refusal(),
                    ::testing::AnyOf(HasSubstr("not to a regular file"), HasSubstr("loop"),
                                     HasSubstr("not a regular file")));
    }
    EXPECT_THAT(CardsFile(toFifo).save(cards).refusal(),
                HasSubstr("symbolic link to a FIFO (named pipe)"));
    EXPECT_THAT(CardsFile(loop).load(cards).refusal(), HasSubstr("leads round in a loop"));
    // A link to a device is refused at load (what a save does to it is checked with FIFOs
    // only: a test must never risk a real device node).
    const QString toDevice = dir.filePath("link-to-device.dat");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), toDevice));
    EXPECT_THAT(CardsFile(toDevice).load(cards).refusal(),
                HasSubstr("symbolic link to a character device (\"/dev/null\")"));
    ASSERT_TRUE(QFile::remove(toDevice));
    EXPECT_EQ(QFileInfo(fifo).isFile(), false);
    EXPECT_TRUE(QFileInfo(toFifo).isSymLink());
    EXPECT_EQ(entries(dir).size(), 3u) << "nothing moved aside, no temporary left";

    // A link to a regular file is followed: the target is replaced, the link stays.
    const QString real = dir.filePath("real.dat");
    const QString toReal = dir.filePath("link-to-real.dat");
    writeFile(real, "old");
    ASSERT_TRUE(QFile::link(real, toReal));
    ASSERT_TRUE(CardsFile(toReal).save(cards).ok());
    EXPECT_TRUE(QFileInfo(toReal).isSymLink());
    SimulatedDriver reloaded({.cards = 1});
    EXPECT_TRUE(CardsFile(real).load(reloaded).ok());
}

TEST(CardsFile, AStartWithFewerCardsKeepsTheOthersInTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const CardsFile store(dir.filePath("cards.dat"));
    SimulatedDriver three({.cards = 3});
    auto words = three.eeprom(2);
    words[8] = 0x1357;
    three.setEeprom(2, words);
    ASSERT_TRUE(store.save(three).ok());

    SimulatedDriver one({.cards = 1});
    ASSERT_TRUE(store.load(one).ok());
    one.setEeprom(0, changedWords(one));
    ASSERT_TRUE(store.save(one).ok());

    SimulatedDriver again({.cards = 3});
    ASSERT_TRUE(store.load(again).ok());
    EXPECT_EQ(again.eeprom(0), changedWords(one));
    EXPECT_EQ(again.eeprom(2), words);
    EXPECT_EQ(again.serialize(), [&] {
        SimulatedDriver expected({.cards = 3});
        expected.setEeprom(0, changedWords(one));
        expected.setEeprom(2, words);
        return expected.serialize();
    }());
}

TEST(CardsFile, ADamagedFileIsKeptAsideBeforeTheNextSave) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    writeFile(path, "MX4815-SIMULATED-CARDS 1\ngarbage\n");
    SimulatedDriver cards({.cards = 1});
    const CardsFile store(path);
    const core::Status loaded = store.load(cards);
    ASSERT_FALSE(loaded);
    const std::vector<QString> names = entries(dir);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].startsWith("simulated-cards.dat.damaged-")) << names[0].toStdString();
    EXPECT_THAT(loaded.refusal(), HasSubstr(names[0].toStdString()));
    EXPECT_THAT(loaded.refusal(), HasSubstr("factory EEPROM"));

    ASSERT_TRUE(store.save(cards).ok());
    QFile aside(dir.filePath(names[0]));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray("MX4815-SIMULATED-CARDS 1\ngarbage\n"));
}

TEST(CardsFile, AFailedSyncOrRenameIsAFailedSaveAndStaleTemporariesGo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("simulated-cards.dat");
    SimulatedDriver cards({.cards = 1});
    ASSERT_TRUE(CardsFile(path).save(cards).ok());
    const std::string before = cards.serialize();
    cards.setEeprom(0, changedWords(cards));

    std::vector<QString> during;
    for (core::ReplaceStep step : {core::ReplaceStep::Sync, core::ReplaceStep::Rename}) {
        const CardsFile failing(path, [&](core::ReplaceStep s) {
            during = entries(dir);
            return s == step;
        });
        const core::Status saved = failing.save(cards);
        ASSERT_FALSE(saved);
        EXPECT_THAT(saved.refusal(), HasSubstr("Input/output error"));
        EXPECT_EQ(entries(dir).size(), 1u) << "the temporary is removed";
        SimulatedDriver reloaded({.cards = 1});
        ASSERT_TRUE(CardsFile(path).load(reloaded).ok());
        EXPECT_EQ(reloaded.serialize(), before) << "the old file stays";
    }
    ASSERT_EQ(during.size(), 2u);
    EXPECT_TRUE(during[1].startsWith("simulated-cards.dat.mx4815cal-cards-"))
        << during[1].toStdString();

    // Temporaries that a kill left behind, ours and those of earlier versions, go at load.
    writeFile(dir.filePath("simulated-cards.dat.mx4815cal-cards-Ab12Cd.tmp"), "x");
    writeFile(dir.filePath("simulated-cards.dat.Q1w2E3"), "MX4815-SIMULATED-CARDS 1\nvar");
    writeFile(dir.filePath("simulated-cards.dat.backup"), "the user's own");
    ASSERT_TRUE(CardsFile(path).load(cards).ok());
    EXPECT_EQ(entries(dir),
              (std::vector<QString>{"simulated-cards.dat", "simulated-cards.dat.backup"}));
}
