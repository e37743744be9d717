#pragma once

#include "sim/simulated_driver.h"

#include <QString>

#include <string>

namespace sim {

// The file in which the application keeps the simulated cards' EEPROMs and factory backups,
// so that a SAVE survives a restart.
class CardsFile {
public:
    // Files larger than this are refused unread.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    explicit CardsFile(QString filePath);

    const QString& filePath() const { return path_; }

    // Loads the cards from the file. A missing file changes nothing and says nothing. A file
    // that cannot be read or is damaged leaves every card factory-fresh and is refused with a
    // message for the user.
    core::Status load(SimulatedDriver& cards) const;

    // Writes the cards to the file atomically; on failure the old file stays as it was and
    // the refusal gives the reason (without the file name, which filePath() gives).
    core::Status save(const SimulatedDriver& cards) const;

    // "simulated-cards.dat" in the application's data folder, which is created if needed.
    static QString defaultPath();

private:
    QString path_;
};

} // namespace sim
