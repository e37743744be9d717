#pragma once

#include "core/replace_file.h"
#include "sim/simulated_driver.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace sim {

// The file in which the simulated cards' EEPROMs and factory backups outlive the program. It is
// the truth for every board, as a card's EEPROM is, shared by every program that runs at the
// same time: a read takes the board's words from the file afresh, and a write replaces that
// board's words only, so a SAVE on one board never undoes another program's SAVE on another.
//
// Every program holds an operating-system lock on "<file>.lock" beside it while it works on
// the file: a shared one to read, the exclusive one to write, to move a damaged file aside and
// to remove temporaries. A writer holds the exclusive lock while its temporary exists, so a
// temporary found under that lock belongs to no living writer.
class CardsFile {
public:
    // Files larger than this are refused unread.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // The temporaries of a save: "simulated-cards.dat.mx4815cal-cards-XXXXXX.tmp".
    static constexpr const char* kTemporaryTag = "mx4815cal-cards";

    // failAt, for tests: a save fails at the steps it names.
    explicit CardsFile(QString filePath, std::function<bool(core::ReplaceStep)> failAt = {});

    const QString& filePath() const { return path_; }
    // "<file>.lock", beside the file.
    std::filesystem::path lockPath() const;

    // Makes cards work on this file: every Drvx_ReadEEP refreshes its board from it
    // (refreshBoard), every Drvx_WriteEEP and Drvx_RecoverEEP is kept in it (keepBoard) or
    // fails. This file must outlive that use of cards.
    void attach(SimulatedDriver& cards) const;

    // At start: loads every card from the file, after removing the temporaries that an
    // interrupted save left beside it. A missing file changes nothing and says nothing. A file
    // that cannot be read or is damaged leaves every card factory-fresh and is refused with a
    // message for the user; a regular file is first moved aside to
    // "<file>.damaged-<yyyyMMdd-hhmmss>" so that no save destroys it, and the message says
    // where it went. When the lock cannot be had (a folder this program may not write), the
    // file is read without it and no temporary is removed.
    core::Status load(SimulatedDriver& cards) const;

    // Replaces the board's EEPROM and backup in the file with those of cards, under the
    // exclusive lock, from the file as it is now: every other card stays as the file holds
    // it. The file is written atomically, done only once on the disk (core::replaceFile). A
    // missing file is created with all of cards; a damaged one is first moved aside (and when
    // it cannot be, nothing is written). Anything at the path that is not a regular file (or a
    // link to one) is refused and left alone. On failure the file stays as it was and the
    // refusal names the file and the reason.
    core::Status keepBoard(const SimulatedDriver& cards, int board) const;

    // Takes the board's EEPROM and backup from the file, under a shared lock, when the file
    // holds them; a missing, damaged or unreadable file changes nothing.
    void refreshBoard(SimulatedDriver& cards, int board) const;

    // keepBoard for every card of cards at once (cards beyond their count stay as the file
    // holds them), for a start with a file of its own; the refusal gives the reason without
    // the file name.
    core::Status save(const SimulatedDriver& cards) const;

    // "simulated-cards.dat" in the application's data folder, which is created if needed.
    static QString defaultPath();

private:
    core::Status keep(const SimulatedDriver& cards, std::optional<int> board) const;

    QString path_;
    std::function<bool(core::ReplaceStep)> failAt_;
};

} // namespace sim
