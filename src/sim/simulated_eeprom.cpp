// The cards' EEPROMs with their factory backups: the three EEPROM entry points, the text in
// which the EEPROMs outlive the program, and the accessors of the tests.
#include "sim/card_state.h"
#include "sim/cards_text.h"
#include "sim/simulated_driver.h"

#include <algorithm>
#include <utility>

namespace sim {

using card::EepImage;
using card::Int16;
using card::kEepromWords;
using card::Long;

void SimulatedDriver::resetToFactory() {
    for (Card& c : cards_) {
        const EepromWords factory = factoryImage(c.factory, c.serial, options_.variant, c.board);
        c.eeprom = factory;
        c.backup = factory;
    }
}

// ---- the simulated cards' text ------------------------------------------------------------

std::string SimulatedDriver::serialize() const {
    std::vector<StoredCard> stored;
    stored.reserve(cards_.size());
    for (const Card& c : cards_) {
        stored.push_back({c.eeprom, c.backup});
    }
    for (const auto& kept : beyond_) {
        stored.push_back({kept[0], kept[1]});
    }
    return cardsText(options_.variant, stored);
}

core::Status SimulatedDriver::restore(std::string_view data) {
    std::vector<StoredCard> stored;
    std::string why;
    if (!readCardsText(data, options_.variant, stored, why)) {
        resetToFactory();
        beyond_.clear();
        return core::refuse(std::move(why));
    }
    const std::size_t n = std::min(stored.size(), cards_.size());
    for (std::size_t i = 0; i < n; ++i) {
        cards_[i].eeprom = stored[i].eeprom;
        cards_[i].backup = stored[i].backup;
    }
    beyond_.clear();
    for (std::size_t i = n; i < stored.size(); ++i) {
        beyond_.push_back({stored[i].eeprom, stored[i].backup});
    }
    return {};
}

core::Status SimulatedDriver::restoreBoard(std::string_view data, int board) {
    Card& c = card(board);
    std::vector<StoredCard> stored;
    std::string why;
    if (!readCardsText(data, options_.variant, stored, why)) {
        return core::refuse(std::move(why));
    }
    if (static_cast<std::size_t>(board) < stored.size()) {
        c.eeprom = stored[static_cast<std::size_t>(board)].eeprom;
        c.backup = stored[static_cast<std::size_t>(board)].backup;
    }
    return {};
}

core::Result<std::string> SimulatedDriver::serializeOver(std::string_view data,
                                                         std::optional<int> board) const {
    const int first = board.value_or(0);
    const int last = board.value_or(cardCount() - 1);
    if (board) {
        card(*board); // throws for a board that is not here
    }
    std::vector<StoredCard> stored;
    std::string why;
    if (!readCardsText(data, options_.variant, stored, why)) {
        return core::refuse(std::move(why));
    }
    const std::size_t had = stored.size();
    const auto end = static_cast<std::size_t>(last + 1); // 0 when there are no cards
    stored.resize(std::max(had, end));
    for (std::size_t i = std::min(had, static_cast<std::size_t>(first)); i < end; ++i) {
        stored[i] = {cards_[i].eeprom, cards_[i].backup};
    }
    return cardsText(options_.variant, stored);
}

// ---- the entry points ---------------------------------------------------------------------

std::string SimulatedDriver::failureDetail() const {
    return failureDetail_;
}

bool SimulatedDriver::kept(Card& c, const EepromWords& eeprom, const EepromWords& backup) {
    if (!keepBoard) {
        return true;
    }
    const core::Status s = keepBoard(c.board);
    if (s) {
        return true;
    }
    c.eeprom = eeprom;
    c.backup = backup;
    failureDetail_ = s.refusal();
    return false;
}

Int16 SimulatedDriver::Drvx_ReadEEP(Int16 wBoardNo, EepImage& data) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::ReadEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    if (refreshBoard) {
        refreshBoard(c->board);
    }
    for (std::size_t i = 0; i < kEepromWords; ++i) {
        const std::uint16_t w = c->eeprom[i];
        data[i] = options_.signExtendEEP ? static_cast<Long>(static_cast<std::int16_t>(w))
                                         : static_cast<Long>(w);
    }
    return 0;
}

Int16 SimulatedDriver::Drvx_WriteEEP(Int16 wBoardNo, EepImage& data) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::WriteEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    if (writeFault_ == WriteFault::StoresNothing) {
        return 0;
    }
    const EepromWords eeprom = c->eeprom;
    const EepromWords backup = c->backup;
    for (std::size_t i = 0; i < kEepromWords; ++i) {
        const bool lost = writeFault_ == WriteFault::StoresPartly && i >= kPartialWriteEnd;
        c->eeprom[i] = lost ? std::uint16_t{0xFFFF}
                            : static_cast<std::uint16_t>(static_cast<std::uint32_t>(data[i]));
    }
    if (!kept(*c, eeprom, backup)) {
        return kEepromNotKept;
    }
    ++c->writes;
    return 0;
}

Int16 SimulatedDriver::Drvx_RecoverEEP(Int16 wBoardNo) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::RecoverEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    const EepromWords eeprom = c->eeprom;
    const EepromWords backup = c->backup;
    c->eeprom = c->backup;
    return kept(*c, eeprom, backup) ? 0 : kEepromNotKept;
}

// ---- for tests ------------------------------------------------------------------------------

std::array<std::uint16_t, kEepromWords> SimulatedDriver::eeprom(int board) const {
    return card(board).eeprom;
}

void SimulatedDriver::setEeprom(int board, const std::array<std::uint16_t, kEepromWords>& words) {
    card(board).eeprom = words;
}

std::array<std::uint16_t, kEepromWords> SimulatedDriver::factoryBackup(int board) const {
    return card(board).backup;
}

long SimulatedDriver::eepromWrites(int board) const {
    return card(board).writes;
}

} // namespace sim
