#pragma once

#include "card/types.h"
#include "core/result.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace session {

using card::Int16;

// The boards this program works on, held exclusively across programs: while one program holds
// a board, every other program that asks for it is refused. A board is held until it is let go
// or the program ends, however it ends.
class BoardLocks {
public:
    virtual ~BoardLocks() = default;
    // Takes the board for this program (nothing to do when it already holds it). Refused with
    // core::Kind::Busy naming the board and its holder when another program holds it.
    virtual core::Status take(Int16 board) = 0;
    // Lets every board go but keep (none when keep < 0).
    virtual void keepOnly(Int16 keep) = 0;
    virtual bool holds(Int16 board) const = 0;
};

// Boards held by nobody else: for tests and a program that needs no exclusion.
class NoBoardLocks : public BoardLocks {
public:
    core::Status take(Int16) override { return {}; }
    void keepOnly(Int16) override {}
    bool holds(Int16) const override { return true; }
};

// Board locks as operating-system locks on one file per board ("board-N.lock" in a folder
// shared by every program of the machine or the user), released by the system when the
// program ends. The file names the holder: "<program> (process <pid>) since <UTC time>".
class FileBoardLocks : public BoardLocks {
public:
    // program: the name the refusal of another program shows ("mx4815cal-cli calibrate").
    FileBoardLocks(std::filesystem::path folder, std::string program);
    ~FileBoardLocks() override;

    core::Status take(Int16 board) override;
    void keepOnly(Int16 keep) override;
    bool holds(Int16 board) const override;

    std::filesystem::path lockPath(Int16 board) const;

private:
    struct Held;
    std::filesystem::path folder_;
    std::string program_;
    std::map<Int16, std::unique_ptr<Held>> held_;
};

// The identity written into a lock: "<program> (process <pid>) since <time UTC>".
std::string holderText(const std::string& program);

} // namespace session
