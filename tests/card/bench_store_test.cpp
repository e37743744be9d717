#include "card/bench_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using card::BenchStore;
using card::SimulatedBench;
using ::testing::HasSubstr;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

std::array<std::uint16_t, 128> changedWords(const SimulatedBench& bench) {
    auto words = bench.eeprom(0);
    words[8] = 0xFFA0;
    words[4] = 0x1234;
    return words;
}

} // namespace

TEST(BenchStore, AWriteThroughTheDriverSurvivesARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const BenchStore store(dir.filePath("sub/simulated-cards.dat"));

    SimulatedBench first({.cards = 2});
    std::string problem;
    first.onEepromChanged = [&] { EXPECT_TRUE(store.save(first, &problem)) << problem; };
    card::EepImage image{};
    const auto words = changedWords(first);
    for (std::size_t i = 0; i < 128; ++i) {
        image[i] = words[i];
    }
    ASSERT_EQ(first.Drvx_WriteEEP(0, image), 0);
    EXPECT_TRUE(QFile::exists(store.filePath()));

    SimulatedBench second({.cards = 2});
    EXPECT_EQ(store.load(second), std::nullopt);
    EXPECT_EQ(second.eeprom(0), words);
    EXPECT_EQ(second.eeprom(1), second.factoryBackup(1));
}

TEST(BenchStore, MissingFileIsSilentDamagedOrUnreadableFileGivesFactoryCardsAndAMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimulatedBench bench({.cards = 1});
    const auto words = changedWords(bench);

    bench.setEeprom(0, words);
    EXPECT_EQ(BenchStore(dir.filePath("none.dat")).load(bench), std::nullopt);
    EXPECT_EQ(bench.eeprom(0), words) << "a missing file changes nothing";

    const std::string good = bench.serialize();
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
        bench.setEeprom(0, words);
        const auto message = BenchStore(path).load(bench);
        ASSERT_TRUE(message.has_value()) << content.size();
        EXPECT_THAT(*message, HasSubstr("damaged.dat"));
        EXPECT_EQ(bench.eeprom(0), bench.factoryBackup(0));
    }

    // A folder where the file should be, and a file beyond the size limit.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    bench.setEeprom(0, words);
    EXPECT_TRUE(BenchStore(dir.filePath("folder.dat")).load(bench).has_value());
    EXPECT_EQ(bench.eeprom(0), bench.factoryBackup(0));
    {
        QFile huge(dir.filePath("huge.dat"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(BenchStore::kMaxFileSize + 1));
    }
    bench.setEeprom(0, words);
    const auto message = BenchStore(dir.filePath("huge.dat")).load(bench);
    ASSERT_TRUE(message.has_value());
    EXPECT_THAT(*message, HasSubstr("too large"));
    EXPECT_EQ(bench.eeprom(0), bench.factoryBackup(0));
}

TEST(BenchStore, FailedSaveReportsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimulatedBench bench({.cards = 1});
    writeFile(dir.filePath("blocker"), "not a folder");
    std::string problem;
    EXPECT_FALSE(BenchStore(dir.filePath("blocker/cards.dat")).save(bench, &problem));
    EXPECT_FALSE(problem.empty());

    const BenchStore store(dir.filePath("cards.dat"));
    ASSERT_TRUE(store.save(bench, &problem)) << problem;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bench.setEeprom(0, changedWords(bench));
    const bool saved = store.save(bench, &problem); // refused unless running as root
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SimulatedBench reloaded({.cards = 1});
    EXPECT_EQ(store.load(reloaded), std::nullopt);
    EXPECT_EQ(reloaded.eeprom(0), saved ? changedWords(bench) : reloaded.factoryBackup(0));

    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("mx4815cal-tests"));
    const QString path = BenchStore::defaultPath();
    EXPECT_TRUE(path.endsWith("mx4815cal-tests/simulated-cards.dat")) << path.toStdString();
    EXPECT_TRUE(QFileInfo(path).dir().exists());
}
