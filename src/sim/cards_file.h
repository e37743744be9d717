#pragma once

#include "core/replace_file.h"
#include "sim/simulated_driver.h"

#include <QString>

#include <functional>
#include <string>

namespace sim {

// The file in which the application keeps the simulated cards' EEPROMs and factory backups,
// so that a SAVE survives a restart.
class CardsFile {
public:
    // Files larger than this are refused unread.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // The temporaries of a save: "simulated-cards.dat.mx4815cal-cards-XXXXXX.tmp".
    static constexpr const char* kTemporaryTag = "mx4815cal-cards";

    // failAt, for tests: a save fails at the steps it names.
    explicit CardsFile(QString filePath, std::function<bool(core::ReplaceStep)> failAt = {});

    const QString& filePath() const { return path_; }

    // Loads the cards from the file, after removing the temporaries that an interrupted save
    // left beside it. A missing file changes nothing and says nothing. A file that cannot be
    // read or is damaged leaves every card factory-fresh and is refused with a message for the
    // user; a regular file is first moved aside to "<file>.damaged-<yyyyMMdd-hhmmss>" so that
    // the next save does not destroy it, and the message says where it went.
    core::Status load(SimulatedDriver& cards) const;

    // Writes the cards to the file atomically, done only once on the disk (core::replaceFile).
    // Anything at the path that is not a regular file (or a link to one), such as a device, a
    // FIFO or a link to one, is refused and left alone. On failure the old file stays as it
    // was and the refusal gives the reason (without the file name, which filePath() gives).
    core::Status save(const SimulatedDriver& cards) const;

    // "simulated-cards.dat" in the application's data folder, which is created if needed.
    static QString defaultPath();

private:
    QString path_;
    std::function<bool(core::ReplaceStep)> failAt_;
    // Set when a damaged file could not be moved aside: it is then never written over.
    mutable bool keepDamaged_ = false;
};

} // namespace sim
