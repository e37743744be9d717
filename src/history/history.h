#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The calibration history as the front ends see it: records of EEPROM changes, never rows.
// The store itself is history::Store (store.h).
namespace history {

using Time = std::chrono::system_clock::time_point;

// The version of the database schema this program writes.
inline constexpr int kSchemaVersion = 3;

// Where the history lives: an SQLite file on the bench, or a PostgreSQL database that the
// stations of a laboratory share, reached by Qt's PostgreSQL driver or through ODBC (the
// way a Windows station without the PostgreSQL client reaches it).
struct Location {
    enum class Engine { SQLite, PostgreSQL, Odbc };
    Engine engine = Engine::SQLite;
    std::string path; // SQLite: the database file (its folder is created when missing)
    // PostgreSQL: a host name or address, or a socket folder (an absolute path).
    std::string host;
    int port = 5432;
    std::string database;
    std::string user;
    std::string password; // optional
    // ODBC: the connection string ("DSN=lab-history" or "Driver={PostgreSQL Unicode};..."),
    // of a PostgreSQL server.
    std::string odbc;
};

inline Location sqliteAt(std::string path) {
    Location l;
    l.path = std::move(path);
    return l;
}

// How messages name the history: "the calibration history at /data/history.sqlite", "the
// calibration history in database "lab" on cal-server:5432 (user bench3)". Never the password.
std::string describe(const Location& location);

// Where the values written into the EEPROM came from.
enum class Source {
    AutomaticRun, // an automatic calibration (its end-point results are in the record document)
    HandTrimming, // the boxes as the technician left them
    ImportedFile, // a calibration file (its name and SHA-256 below)
    Recover,      // RECOVER: the driver's backup
    Restore,      // a record of this history put back (its id below)
};

// A change as it is recorded before the EEPROM is written.
struct Change {
    Time started{};             // UTC; kept to the millisecond
    std::string program;        // "mx4815cal-cli write"
    std::string programVersion; // "1.0"
    std::string computer;
    std::string operatorName;
    int board = 0;
    std::string cardFingerprint;
    std::string driver; // the library's path and version, or "simulated card"
    std::vector<std::uint16_t> eepromBefore;
    std::optional<double> reference10V; // the references the values were formed with
    std::optional<double> reference5V;
    Source source = Source::HandTrimming;
    std::string sourceFile;   // ImportedFile: the file's name
    std::string sourceSha256; // ImportedFile: 64 lower-case hexadecimal digits
    std::string restoredFrom; // Restore: the id of the record put back (a record of this store)
    std::string recordJson;   // the whole calibration record document, or empty
};

enum class Outcome {
    Pending, // recorded, the write not (yet) confirmed: a program that ended between the two
    Written, // written and verified by reading it back
    Failed,  // the write or its read-back failed
    // A calibration recorded that wrote nothing: not asked to save, not accepted, stopped,
    // or failed before its SAVE.
    NotWritten,
};

// How a change ended.
struct Ending {
    Outcome outcome = Outcome::Pending;
    std::int16_t status = 0;                // Failed: the driver's status, 0 when none
    std::string message;                    // Failed: what went wrong
    std::vector<std::uint16_t> eepromAfter; // as read back; empty when it could not be read
    std::optional<Time> ended;              // UTC; none while pending
    // The calibration record document as the change ended; empty: the one of the change.
    std::string recordJson;
};

// One record of the history.
struct Entry {
    std::string id; // a UUID, lower-case
    Change change;
    Ending ending;
    std::string seal; // SHA-256 (lower-case hex) of contentJson(), as stored
    // Whether the stored seal is the seal of the content as read now; when not, problem says
    // what is wrong ("its content does not match its seal", "its board is not a number").
    bool intact = true;
    std::string problem;
};

// Which records a listing gives (all by default), newest first.
struct Filter {
    std::optional<int> board;
    std::string cardFingerprint; // a fingerprint or the start of one; empty: any
    std::optional<Time> since;   // started at or after
    std::optional<Outcome> outcome;
    int limit = 0; // 0: no limit
};

// A certificate's approval: who approved the record's certificate, and when (UTC).
struct Approval {
    std::string approvedBy;
    Time approved{};
};

struct Verification {
    int checked = 0;
    std::vector<Entry> broken; // records whose seal does not match their content
};

// The content that the seal covers, in one canonical form: a JSON object with its keys in
// byte order and no whitespace, UTF-8; strings escaped only where JSON must (\", \\, and
// control characters as \u00xx in lower-case hex, except \b \f \n \r \t); integers in
// decimal; a reference as the shortest decimal that reads back as the same double; an absent
// value or an empty text as null; the EEPROM images as arrays of integers; times as utcText(); the
// record document as a string, exactly as stored. Keys: board, cardFingerprint, computer, driver,
// eepromAfter, eepromBefore, ended, id, message, operator, outcome, program, programVersion,
// record, reference10V, reference5V, restoredFrom, source, sourceFile, sourceSha256,
// started, status.
std::string contentJson(const Entry& entry);
// SHA-256 of contentJson(entry), 64 lower-case hexadecimal digits.
std::string sealOf(const Entry& entry);

// "2026-12-09T10:00:00.123Z"; the form times are stored and sealed in.
std::string utcText(Time t);
std::optional<Time> parseUtcText(const std::string& text);

// The names stored and sealed: "automatic run", "hand trimming", "imported file", "RECOVER",
// "restore"; "pending", "written", "failed", "not written".
std::string sourceName(Source source);
std::optional<Source> parseSource(const std::string& name);
std::string outcomeName(Outcome outcome);
std::optional<Outcome> parseOutcome(const std::string& name);

} // namespace history
