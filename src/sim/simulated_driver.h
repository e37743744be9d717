#pragma once

#include "card/driver.h"
#include "card/types.h"
#include "core/result.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct StoredCard; // cards_text.h

// The driver entry points, for fault injection.
enum class EntryPoint {
    DriverInit,
    SearchCard,
    GetCardInfo,
    DriverClose,
    ReadEEP,
    WriteEEP,
    RecoverEEP,
    ConfigAO,
    WriteAOVoltageH,
    ReadPhyMemory,
    WritePhyMemory
};

// Statuses the simulated library returns besides 0.
inline constexpr card::Int16 kNoSuchBoard = 0x0102;   // board number outside 0 .. n-1
inline constexpr card::Int16 kBadArgument = 0x0103;   // channel or range code out of range
inline constexpr card::Int16 kBadAccessSize = 0x0104; // register access width other than 32
inline constexpr card::Int16 kEepromNotKept = 0x0105; // keepBoard could not keep a write

struct SimOptions {
    int cards = 1;              // cards in the machine, 0 .. kMaxCards
    std::uint32_t variant = 1;  // picks the analog model and the factory data deterministically
    bool signExtendEEP = false; // Drvx_ReadEEP sign-extends the words instead of zero-extending
    // Status reads of a register set bits 17..31 with a fixed junk pattern, as a card may; the
    // acquisition must ignore them.
    bool junkUpperStatusBits = false;
};

inline constexpr int kMaxCards = 1024;

// A Drvx_WriteEEP that returns 0 but does not leave the card holding what it was given.
enum class WriteFault {
    None,
    StoresNothing, // the EEPROM keeps its words
    StoresPartly,  // words from kPartialWriteEnd on are left erased (FFFF)
};
inline constexpr std::size_t kPartialWriteEnd = 20;

// Register window of every card: memBase(board) .. memBase(board) + 0xFFF.
inline constexpr std::uint32_t kMemBase = 0xFEB00000u;
inline constexpr std::uint32_t kWindowSize = 0x1000u;

// The driver library and any number of MX-4815 cards, simulated: records, EEPROM with a
// factory backup, an analog model of references, outputs and the A/D converter, and the
// register window of the auto-calibration path. Deterministic for a given variant.
class SimulatedDriver : public card::Driver {
public:
    explicit SimulatedDriver(SimOptions options = {});
    ~SimulatedDriver() override;
    SimulatedDriver(const SimulatedDriver&) = delete;
    SimulatedDriver& operator=(const SimulatedDriver&) = delete;

    card::Int16 Drvx_DriverInit(card::Int16& wTotalBoards) override;
    card::Int16 Drvx_SearchCard(card::Int16& wNumBoards, card::Long dwCardId) override;
    card::Int16 Drvx_GetCardInfo(card::Int16 wBoardNo, card::InfoRecord& cardInfo,
                                 card::ConfigRecord& cardConfig,
                                 card::ModelName& modelName) override;
    card::Int16 Drvx_DriverClose() override;
    card::Int16 Drvx_ReadEEP(card::Int16 wBoardNo, card::EepImage& data) override;
    card::Int16 Drvx_WriteEEP(card::Int16 wBoardNo, card::EepImage& data) override;
    card::Int16 Drvx_RecoverEEP(card::Int16 wBoardNo) override;
    card::Int16 Drvx_ConfigAO(card::Int16 wBoardNo, card::Int16 wChannel,
                              card::Int16 wRange) override;
    card::Int16 Drvx_WriteAOVoltageH(card::Int16 wBoardNo, card::Int16 wChannel,
                                     card::Long dwCode) override;
    card::Int16 Drvx_ReadPhyMemory(card::Long dwAddress, card::Int16 wSize,
                                   card::Long& dwValue) override;
    card::Int16 Drvx_WritePhyMemory(card::Long dwAddress, card::Int16 wSize,
                                    card::Long dwValue) override;

    // Why the last entry point called failed, when it was Drvx_WriteEEP or Drvx_RecoverEEP
    // refused by keepBoard: that refusal's text. Empty otherwise.
    std::string failureDetail() const override;

    // ---- for the application and the simulated cards' file -------------------------------

    // The EEPROMs and factory backups of all cards as versioned text with a checksum.
    std::string serialize() const;
    // Takes the EEPROMs and backups from serialize()'s text. Cards beyond those in the text
    // stay as they are; cards in the text beyond the cards here are kept aside, untouched,
    // and serialize() writes them again after the cards here, so that a start with fewer
    // cards loses none. Damaged text or text of another variant: refused with the reason, and
    // every card factory-fresh (nothing kept aside).
    core::Status restore(std::string_view data);
    // Takes one board's EEPROM and backup from serialize()'s text (as another program may
    // have left it) when the text holds that board; nothing else changes. Damaged text or
    // text of another variant: refused with the reason, and nothing changes.
    core::Status restoreBoard(std::string_view data, int board);
    // The text of stored (serialize()'s text, as another program may have left it) with the
    // EEPROM and backup of board replaced by this card's (of every card here, when no board is
    // named); cards that stored lacks up to that board are taken from here too, every other
    // card is kept as stored holds it. Damaged text or text of another variant: refused with
    // the reason.
    core::Result<std::string> serializeOver(std::string_view stored,
                                            std::optional<int> board = std::nullopt) const;
    // All cards' EEPROMs and backups as they left the factory, without a SAVE's date.
    void resetToFactory();

    // The day the cards live at. Their outputs drift on from the day of their first SAVE made
    // with a date, a few millivolts a year (AnalogModel::driftPerYear), so that a calibration
    // finds them moved by the time since its last SAVE; each successful Drvx_WriteEEP keeps
    // the day with the board's EEPROM. None (the default): nothing drifts further and a SAVE
    // keeps no date. The day of a card whose drift began later is taken as that day.
    void setToday(std::optional<std::chrono::sys_days> today);
    std::optional<std::chrono::sys_days> today() const { return today_; }

    // Keeps a board's EEPROM and backup where they outlive the program (the simulated cards'
    // file) after Drvx_WriteEEP or Drvx_RecoverEEP changed them, as a card's EEPROM keeps what
    // is written to it. A refusal puts the board's EEPROM and backup back as they were before
    // the call, which then returns kEepromNotKept; failureDetail() gives the refusal's text.
    std::function<core::Status(int board)> keepBoard;
    // Brings a board's EEPROM and backup up to date from where they are kept before
    // Drvx_ReadEEP reads them: another program may have written them since.
    std::function<void(int board)> refreshBoard;

    // ---- for tests and the benchmarks ----------------------------------------------------
    // A board, channel, range or gain code out of range throws std::out_of_range.

    std::uint32_t memBase(int board) const; // kMemBase + kWindowSize * board
    std::uint32_t serialNumber(int board) const;

    // The analog model (board 0 .. n-1, channel 0/1, range code 0..3, gain code 0..7).
    double reference10V(int board) const;               // true voltage at the 10 V test point
    double reference5V(int board) const;                // true voltage at the 5 V test point
    double outputVoltage(int board, int channel) const; // true output now
    double outputVoltageAt(int board, int channel, int rangeCode, std::uint16_t code) const;
    // The output as it was when the card left the factory: the cards have aged since, so
    // their stored calibration fits this, not the output of now.
    double factoryOutputVoltageAt(int board, int channel, int rangeCode, std::uint16_t code) const;
    int outputRange(int board, int channel) const;
    std::uint16_t outputCode(int board, int channel) const;
    // The A/D converter's noiseless transfer: the code it centres on for an input voltage,
    // before rounding and clamping to the signed 16-bit range.
    double inputCodeFor(int board, int gainCode, double volts) const;

    std::array<std::uint16_t, card::kEepromWords> eeprom(int board) const;
    void setEeprom(int board, const std::array<std::uint16_t, card::kEepromWords>& words);
    std::array<std::uint16_t, card::kEepromWords> factoryBackup(int board) const;
    long eepromWrites(int board) const; // successful Drvx_WriteEEP calls
    // The day of the board's last SAVE and the day its drift began, when kept.
    std::optional<std::chrono::sys_days> savedOn(int board) const;
    std::optional<std::chrono::sys_days> driftFrom(int board) const;
    // The rate at which an output end point's voltage moves once its drift began, volts a
    // year (upper: the end at +5 V / +10 V, else the one at 0 V / -5 V / -10 V).
    double outputDriftPerYear(int board, int channel, int rangeCode, bool upper) const;

    // Fault injection. A non-zero status makes the entry point return it and do nothing else.
    void setStatus(EntryPoint ep, card::Int16 status);
    void setWriteFault(WriteFault fault);
    void clearFaults(); // all statuses back to 0, writes and busy bit normal again
    void setBusyForever(bool on);

    // Deviations from the register protocol of the auto-calibration path, one readable line
    // each, in order (at most kMaxViolations kept; violationCount() counts them all).
    static constexpr std::size_t kMaxViolations = 200;
    const std::vector<std::string>& protocolViolations() const;
    long violationCount() const;
    void clearViolations();

    long conversions() const; // conversions started, all cards

private:
    struct Card; // card_state.h

    int cardCount() const;
    Card* cardAt(card::Int16 board);
    // The start of every entry point: forgets the last failure's detail and gives the status
    // injected for the entry point (0: none).
    card::Int16 start(EntryPoint ep);
    // The start of an entry point that addresses a board: its card, or nothing with the
    // status to return (an injected one, or no such board).
    Card* enter(EntryPoint ep, card::Int16 board, card::Int16& status);
    const Card& card(int board) const;
    Card& card(int board);
    // After a change of c's EEPROM: true when keepBoard kept it (or there is none); else c's
    // EEPROM, backup and dates are put back as before held them, and false.
    bool kept(Card& c, const StoredCard& before);
    // A card's EEPROM, backup and dates as the text keeps them, and taken from it (its
    // analog side then drifted to today from the day its drift began).
    static StoredCard stored(const Card& c);
    void take(Card& c, const StoredCard& s);
    void drift(Card& c) const;

    // The register window (register_window.cpp).
    void violation(std::string text);
    card::Long readRegister(Card& c, std::uint32_t offset);
    void writeRegister(Card& c, std::uint32_t offset, std::uint32_t value);
    void setupWrite(Card& c, std::uint32_t offset, std::uint32_t value);
    void startConversion(Card& c, std::uint32_t value);

    SimOptions options_;
    std::vector<Card> cards_;
    // Cards of the restored text beyond cards_, as they were stored.
    std::vector<StoredCard> beyond_;
    std::optional<std::chrono::sys_days> today_;
    std::array<card::Int16, 11> statuses_{};
    bool busyForever_ = false;
    WriteFault writeFault_ = WriteFault::None;
    std::string failureDetail_;
    std::vector<std::string> violations_;
    long violationCount_ = 0;
    long conversions_ = 0;
};

} // namespace sim
