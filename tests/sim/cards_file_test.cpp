#include "sim/cards_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

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
    first.onEepromChanged = [&] {
        const core::Status saved = store.save(first);
        EXPECT_TRUE(saved) << saved.refusal();
    };
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
