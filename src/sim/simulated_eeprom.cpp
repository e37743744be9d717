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
        take(c, StoredCard{factory, factory, std::nullopt, std::nullopt});
    }
}

StoredCard SimulatedDriver::stored(const Card& c) {
    return StoredCard{c.eeprom, c.backup, c.savedOn, c.driftFrom};
}

void SimulatedDriver::take(Card& c, const StoredCard& s) {
    c.eeprom = s.eeprom;
    c.backup = s.backup;
    c.savedOn = s.savedOn;
    c.driftFrom = s.driftFrom;
    drift(c);
}

// ---- the simulated cards' text ------------------------------------------------------------

std::string SimulatedDriver::serialize() const {
    std::vector<StoredCard> stored;
    stored.reserve(cards_.size());
    for (const Card& c : cards_) {
        stored.push_back(SimulatedDriver::stored(c));
    }
    stored.insert(stored.end(), beyond_.begin(), beyond_.end());
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
        take(cards_[i], stored[i]);
    }
    beyond_.assign(stored.begin() + static_cast<std::ptrdiff_t>(n), stored.end());
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
        take(c, stored[static_cast<std::size_t>(board)]);
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
        stored[i] = SimulatedDriver::stored(cards_[i]);
    }
    return cardsText(options_.variant, stored);
}

// ---- the entry points ---------------------------------------------------------------------

std::string SimulatedDriver::failureDetail() const {
    return failureDetail_;
}

bool SimulatedDriver::kept(Card& c, const StoredCard& before) {
    if (!keepBoard) {
        return true;
    }
    const core::Status s = keepBoard(c.board);
    if (s) {
        return true;
    }
    take(c, before);
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
    const StoredCard before = stored(*c);
    for (std::size_t i = 0; i < kEepromWords; ++i) {
        const bool lost = writeFault_ == WriteFault::StoresPartly && i >= kPartialWriteEnd;
        c->eeprom[i] = lost ? std::uint16_t{0xFFFF}
                            : static_cast<std::uint16_t>(static_cast<std::uint32_t>(data[i]));
    }
    if (today_) {
        c->savedOn = today_;
        if (!c->driftFrom) {
            c->driftFrom = today_;
        }
        drift(*c);
    }
    if (!kept(*c, before)) {
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
    const StoredCard before = stored(*c);
    c->eeprom = c->backup;
    return kept(*c, before) ? 0 : kEepromNotKept;
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

std::optional<std::chrono::sys_days> SimulatedDriver::savedOn(int board) const {
    return card(board).savedOn;
}

std::optional<std::chrono::sys_days> SimulatedDriver::driftFrom(int board) const {
    return card(board).driftFrom;
}

} // namespace sim
