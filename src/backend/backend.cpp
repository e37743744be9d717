#include "backend/backend.h"

#include "core/text.h"
#include "sim/cards_file.h"
#include "sim/simulated_driver.h"
#ifdef _WIN32
#include "card/dravex_library.h"
#endif

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace backend {

namespace {

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// The same file, whichever way its name is written (relative, through links).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) {
        return true;
    }
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

// The day of MXCAL_SIM_DATE: nothing when it is not set, a refusal when it is no date.
core::Result<std::optional<QDate>> simulatedDay() {
    const char* text = std::getenv(kSimDateVariable);
    if (text == nullptr) {
        return std::optional<QDate>{};
    }
    const QDate d = QDate::fromString(QString::fromLocal8Bit(text), Qt::ISODate);
    if (std::strlen(text) != 10 || !d.isValid()) {
        return core::refuse(std::string(kSimDateVariable) + ": " + core::quoteText(text) +
                            " is not a date YYYY-MM-DD.");
    }
    return std::optional<QDate>{d};
}

class SimulatedBackend : public Backend {
public:
    SimulatedBackend(int cards, const std::string& program, std::optional<QDate> day)
        : driver_(sim::SimOptions{cards}), store_(sim::CardsFile::defaultPath()),
          locks_(localPath(QFileInfo(store_.filePath()).absolutePath()) / "board-locks", program) {
        using namespace std::chrono;
        if (day) {
            date_ = day->toString(Qt::ISODate).toStdString();
            driver_.setToday(sys_days{year{day->year()} / day->month() / day->day()});
        } else {
            driver_.setToday(floor<days>(system_clock::now()));
        }
        if (const core::Status loaded = store_.load(driver_); !loaded) {
            notice_ = loaded.refusal();
        }
        // A write the file cannot keep fails as the card's own write would: SAVE reports it.
        store_.attach(driver_);
    }

    card::Driver& driver() override { return driver_; }
    bool simulated() const override { return true; }
    session::BoardLocks& locks() override { return locks_; }
    const std::string& notice() const override { return notice_; }
    bool ownsFile(const std::string& path) const override {
        const std::filesystem::path p(path);
        if (sameFile(p, localPath(store_.filePath())) || sameFile(p, store_.lockPath())) {
            return true;
        }
        const std::filesystem::path folder = localPath(QFileInfo(store_.filePath()).absolutePath());
        return sameFile(p.parent_path().empty() ? std::filesystem::path(".") : p.parent_path(),
                        folder / "board-locks");
    }
    std::string driverDescription() const override { return "simulated card"; }
    std::string simulatedDate() const override { return date_; }

private:
    sim::SimulatedDriver driver_;
    sim::CardsFile store_;
    session::FileBoardLocks locks_;
    std::string notice_;
    std::string date_;
};

#ifdef _WIN32
// The machine's folder for the locks of real boards, shared by every user's programs.
std::filesystem::path machineLockFolder() {
    const char* programData = std::getenv("PROGRAMDATA");
    const std::filesystem::path root = programData != nullptr && *programData != '\0'
                                           ? std::filesystem::path(programData)
                                           : std::filesystem::temp_directory_path();
    return root / "mx4815cal" / "board-locks";
}

class LibraryBackend : public Backend {
public:
    LibraryBackend(std::unique_ptr<card::DravexLibrary> library, const std::string& program)
        : library_(std::move(library)), locks_(machineLockFolder(), program) {}

    card::Driver& driver() override { return *library_; }
    bool simulated() const override { return false; }
    session::BoardLocks& locks() override { return locks_; }
    const std::string& notice() const override { return notice_; }
    bool ownsFile(const std::string& path) const override {
        return sameFile(std::filesystem::path(path).parent_path(), machineLockFolder());
    }
    std::string driverDescription() const override { return "Dravex.dll"; }
    std::string simulatedDate() const override { return {}; }

private:
    std::unique_ptr<card::DravexLibrary> library_;
    session::FileBoardLocks locks_;
    std::string notice_;
};
#endif

} // namespace

core::Result<int> parseCardCount(std::string_view text) {
    int n = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size() || n < 0 || n > kMaxSimulatedCards) {
        return core::refuse("--cards: " + core::quoteText(text) +
                            " is not a number of cards from 0 to " +
                            std::to_string(kMaxSimulatedCards) + ".");
    }
    return n;
}

core::Result<std::unique_ptr<Backend>> open(const Choice& choice, const std::string& program) {
#ifdef _WIN32
    if (!choice.simulate) {
        auto opened = card::DravexLibrary::open();
        if (!opened) {
            return core::refuse(core::Kind::Card, opened.refusal());
        }
        return std::unique_ptr<Backend>(
            std::make_unique<LibraryBackend>(std::move(*opened), program));
    }
#endif
    const auto day = simulatedDay();
    if (!day) {
        return core::refuse(core::Kind::Input, day.refusal());
    }
    return std::unique_ptr<Backend>(
        std::make_unique<SimulatedBackend>(choice.cards, program, *day));
}

} // namespace backend
