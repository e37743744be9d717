// The short commands: list, read, write and recover.
#include "caldata/eeprom_ops.h"
#include "calfile/calfile_ops.h"
#include "calfile/entries.h"
#include "calfile/profile.h"
#include "card/facts.h"
#include "cli/invocation.h"
#include "cli/record.h"
#include "core/text.h"
#include "journal/sources.h"
#include "record/fingerprint.h"
#include "session/startup.h"

#include <QJsonArray>

#include <algorithm>
#include <cstdio>

namespace cli {

namespace {

QJsonObject boardJson(const Workbench& bench) {
    return QJsonObject{{"board", bench.card.board()},
                       {"registerBase", QString::fromStdString(
                                            hex32(bench.card.state.ActiveCardInfo.dwMemBase()))}};
}

// The file of --in: it must be readable and hold every one of the thirty entries, since
// Import gives a missing entry the text "0" and SAVE would write that into the card.
core::Status checkInputFile(const Invocation& inv) {
    const std::string& name = inv.options.in;
    const calfile::FileContent content = inv.services.files.read(name);
    if (content.state != calfile::FileContent::State::Read) {
        return core::refuse("--in: " + core::quoteText(name) + ": the file " + content.problem +
                            ".");
    }
    const calfile::Profile profile(content.bytes);
    for (const calfile::Entry& e : calfile::kEntries) {
        const std::string entry = "the entry [" + std::string(e.section) + "] " +
                                  std::string(e.key) + " (" + caldata::describe(e.field) + ")";
        if (!profile.contains(e.section, e.key)) {
            return core::refuse("--in: " + core::quoteText(name) + ": " + entry +
                                " is missing. Nothing was saved.");
        }
        // Import reads a value as Windows does, cut to 254 characters and at a NUL: what it
        // would save would then stand nowhere in the file.
        if (!profile.readsWhole(e.section, e.key, calfile::kReadBufferSize)) {
            return core::refuse("--in: " + core::quoteText(name) + ": " + entry +
                                " holds a NUL character or is longer than " +
                                std::to_string(calfile::kReadBufferSize - 1) +
                                " characters, so it cannot be read whole. Nothing was saved.");
        }
    }
    return {};
}

// The entry of the calibration file that a refusal of SAVE's conversions names.
std::string entryOfRefusal(const std::string& refusal) {
    for (const calfile::Entry& e : calfile::kEntries) {
        if (refusal.rfind(caldata::describe(e.field) + ":", 0) == 0) {
            return "the entry [" + std::string(e.section) + "] " + std::string(e.key) + ", ";
        }
    }
    return "";
}

// Import into a table of its own, then SAVE's conversions: a file that SAVE would refuse
// is refused before any box that drives the card is touched.
core::Status validateImport(const Invocation& inv, const card::EepImage& base) {
    CliTable scratch;
    const auto imported = calfile::importCalibration(scratch, inv.services.files, inv.options.in);
    if (!imported) {
        return core::refuse("--in: " + imported.refusal());
    }
    if (!imported->empty()) {
        return core::refuse("--in: " + *imported + "\nNothing was saved.");
    }
    const auto image = caldata::buildSaveImage(base, scratch);
    if (!image) {
        return core::refuse("--in: " + core::quoteText(inv.options.in) + ": " +
                            entryOfRefusal(image.refusal()) + image.refusal() +
                            " Nothing was saved.");
    }
    return {};
}

// The EEPROM image that write --from-history puts back: the record's image after its change,
// its calibration words put into the words the card holds now (in the form the driver gave
// them). Only a change that was written and verified, whose seal holds, and that was made
// on this very card (the same fingerprint) may be put back.
struct Recorded {
    std::string id;
    card::EepImage image{};
};
core::Result<Recorded> recordedImage(const Invocation& inv, const card::EepImage& current) {
    const std::string& id = inv.options.fromHistory;
    if (inv.services.journal == nullptr) {
        return core::refuse("--from-history: no calibration history is kept by this program.");
    }
    auto store = inv.services.journal->store();
    if (!store) {
        return store.failure();
    }
    const auto entry = (*store)->get(id);
    if (!entry) {
        return core::refuse(core::Kind::Input, "--from-history: " + entry.refusal());
    }
    const std::string named = "--from-history: the record " + entry->id + " ";
    if (!entry->intact) {
        return core::refuse(named + "does not match its seal (" + entry->problem +
                            "): it cannot be trusted. Nothing was saved.");
    }
    if (entry->ending.outcome != history::Outcome::Written ||
        entry->ending.eepromAfter.size() != card::kEepromWords) {
        return core::refuse(named + "is not of a change that was written and verified (" +
                            history::outcomeName(entry->ending.outcome) + "). Nothing was saved.");
    }
    const std::string card = record::cardFingerprint(current);
    if (entry->change.cardFingerprint != card) {
        return core::refuse(named + "is of the card " + entry->change.cardFingerprint + ", board " +
                            std::to_string(entry->change.board) + "; board " +
                            std::to_string(*inv.options.board) + " holds the card " + card +
                            ". A calibration belongs to its own card. Nothing was saved.");
    }
    Recorded r{entry->id, current};
    card::EepImage& image = r.image;
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        if (!record::ownedWord(static_cast<int>(w))) {
            continue;
        }
        const std::uint16_t v = entry->ending.eepromAfter[w];
        const bool signExtended = (static_cast<std::uint32_t>(current[w]) >> 16) == 0xFFFFu;
        image[w] = signExtended ? static_cast<std::int16_t>(v) : static_cast<std::int32_t>(v);
    }
    return r;
}

// write --from-history: the record's calibration into the boxes, checked as SAVE checks
// them before anything is written.
core::Status restoreFromHistory(const Invocation& inv, Workbench& bench) {
    session::FormState& state = bench.card.state;
    const auto recorded = recordedImage(inv, state.dwEEPData);
    if (!recorded) {
        return recorded.failure();
    }
    CliTable scratch;
    session::FormState scratchState;
    caldata::fillTable(scratchState, recorded->image, scratch);
    if (const auto built = caldata::buildSaveImage(state.dwEEPData, scratch); !built) {
        return core::refuse("--from-history: " + built.refusal() + " Nothing was saved.");
    }
    caldata::fillTable(state, recorded->image, bench.card.table);
    state.valuesSource = {};
    state.valuesSource.kind = session::ValuesSource::Kind::Restore;
    state.valuesSource.restoredFrom = recorded->id;
    return {};
}

} // namespace

int runList(const Invocation& inv) {
    Workbench bench(inv, 1.0);
    const session::FoundCards found = session::findCards(bench.card.ctx);
    for (const card::Int16 b : found.infoFailed) {
        inv.err << "mx4815cal-cli: Get Card Information Err (board " << b << ")\n";
    }
    const int recorded = std::min<int>(found.boards, card::kMaxBoards);
    // The driver's card records hold 32 cards: boards beyond them cannot be selected.
    const std::string beyond = "Only boards 0 to " + std::to_string(card::kMaxBoards - 1) +
                               " are listed and can be worked on: the driver's card records hold " +
                               std::to_string(card::kMaxBoards) + " cards.";
    QJsonArray cards;
    if (!inv.options.json) {
        inv.out << found.boards << (found.boards == 1 ? " card" : " cards") << " found\n";
        if (found.boards > recorded) {
            inv.out << beyond << "\n";
        }
        if (recorded > 0) {
            inv.out << "board  register base\n";
        }
    }
    for (int b = 0; b < recorded; ++b) {
        const std::uint32_t base =
            bench.card.state.CardInfo[static_cast<std::size_t>(b)].dwMemBase();
        cards.append(
            QJsonObject{{"board", b}, {"registerBase", QString::fromStdString(hex32(base))}});
        if (!inv.options.json) {
            char line[64];
            std::snprintf(line, sizeof line, "%5d  %s", b, hex32(base).c_str());
            inv.out << line << "\n";
        }
    }
    if (inv.options.json) {
        QJsonObject doc{{"cardsFound", found.boards}, {"cards", cards}};
        if (found.boards > recorded) {
            doc["note"] = QString::fromStdString(beyond);
        }
        printJson(inv, doc);
    }
    return found.infoFailed.empty() ? kSuccess : kCardFailure;
}

int runRead(const Invocation& inv) {
    if (const core::Status s = checkOutputFile(inv, "--out", inv.options.out); !s) {
        return fail(inv, s.failure());
    }
    Workbench bench(inv, 1.0);
    if (const core::Status r = reloadBoard(inv, bench); !r) {
        return fail(inv, r.failure());
    }
    if (!inv.options.out.empty()) {
        const core::Status exported =
            calfile::exportCalibration(bench.card.table, inv.services.files, inv.options.out);
        if (!exported) {
            return fail(inv, core::refuse(core::Kind::File, "--out: " + exported.refusal()));
        }
    }
    if (inv.options.json) {
        QJsonObject doc = boardJson(bench);
        doc["table"] = tableJson(bench.card.table);
        printJson(inv, doc);
    } else {
        inv.out << "Board " << bench.card.board() << ", register base "
                << hex32(bench.card.state.ActiveCardInfo.dwMemBase()) << "\n";
        printTable(inv.out, bench.card.table);
    }
    return kSuccess;
}

int runWrite(const Invocation& inv) {
    const bool restore = !inv.options.fromHistory.empty();
    if (const core::Status s = restore ? core::Status{} : checkInputFile(inv); !s) {
        return fail(inv, s.failure());
    }
    if (!inv.options.save) {
        return fail(inv, core::refuse("write: --save is missing: it is the confirmation of "
                                      "writing the EEPROM. Nothing was saved."));
    }
    Workbench bench(inv, 1.0);
    if (const core::Status r = reloadBoard(inv, bench); !r) {
        return fail(inv, r.failure());
    }
    if (restore) {
        if (const core::Status s = restoreFromHistory(inv, bench); !s) {
            return fail(inv, s.failure());
        }
    } else {
        if (const core::Status s = validateImport(inv, bench.card.state.dwEEPData); !s) {
            return fail(inv, s.failure());
        }
        const auto imported =
            calfile::importCalibration(bench.card.table, inv.services.files, inv.options.in);
        if (!imported || !imported->empty()) {
            return fail(inv, core::refuse("--in: " + (imported ? *imported : imported.refusal())));
        }
        bench.card.state.valuesSource = journal::importedFileSource(
            inv.options.in, inv.services.files.read(inv.options.in).bytes);
    }
    const auto saved = caldata::Save(bench.card.ctx, bench.card.table);
    if (!saved || *saved != caldata::Saved::Written) {
        return fail(inv, saved ? core::refuse("SAVE failed: not confirmed")
                               : savedFailure(saved.failure()));
    }
    if (inv.options.json) {
        QJsonObject doc = boardJson(bench);
        doc["saved"] = true;
        doc["table"] = tableJson(bench.card.table);
        printJson(inv, doc);
    } else {
        inv.out << "Board " << bench.card.board() << ": "
                << (restore
                        ? "the calibration of record " + bench.card.state.valuesSource.restoredFrom
                        : inv.options.in)
                << " was saved into the EEPROM.\n";
        printTable(inv.out, bench.card.table);
    }
    return kSuccess;
}

int runRecover(const Invocation& inv) {
    Workbench bench(inv, 1.0);
    if (const core::Status r = findBoard(inv, bench); !r) {
        return fail(inv, r.failure());
    }
    const core::Status recovered = caldata::Recover(bench.card.ctx);
    if (!recovered) {
        return fail(inv,
                    core::reword(recovered.failure(), "RECOVER failed: " + recovered.refusal()));
    }
    if (inv.options.json) {
        printJson(inv, QJsonObject{{"board", bench.card.board()}, {"recovered", true}});
    } else {
        inv.out << "Board " << bench.card.board()
                << ": the EEPROM was restored from the driver's backup.\n";
    }
    return kSuccess;
}

} // namespace cli
