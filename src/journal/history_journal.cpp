#include "journal/history_journal.h"

#include "record/fingerprint.h"

#include <chrono>

namespace journal {

namespace {

history::Source sourceOf(session::ValuesSource::Kind kind) {
    using K = session::ValuesSource::Kind;
    switch (kind) {
    case K::AutomaticRun:
        return history::Source::AutomaticRun;
    case K::ImportedFile:
        return history::Source::ImportedFile;
    case K::Recover:
        return history::Source::Recover;
    case K::Restore:
        return history::Source::Restore;
    case K::HandTrimming:
        break;
    }
    return history::Source::HandTrimming;
}

std::vector<std::uint16_t> words(const card::EepImage& image) {
    std::vector<std::uint16_t> out;
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        out.push_back(static_cast<std::uint16_t>(static_cast<std::uint32_t>(image[w]) & 0xFFFFu));
    }
    return out;
}

core::Refusal asHistory(const core::Refusal& r) {
    return core::Refusal{r.text, r.kind == core::Kind::Input ? r.kind : core::Kind::History,
                         r.status};
}

} // namespace

HistoryJournal::HistoryJournal(Maker maker, Settings settings, std::string problem)
    : maker_(std::move(maker)), settings_(std::move(settings)), problem_(std::move(problem)) {}

core::Result<history::Store*> HistoryJournal::store() {
    if (!problem_.empty()) {
        return core::refuse(core::Kind::History, problem_);
    }
    if (!store_) {
        auto opened = history::Store::open(historyOf(settings_));
        if (!opened) {
            return asHistory(opened.failure());
        }
        store_.emplace(std::move(*opened));
    }
    return &*store_;
}

core::Result<std::string> HistoryJournal::begin(const session::ChangeStart& change) {
    auto s = store();
    if (!s) {
        return s.failure();
    }
    history::Change c;
    c.started = std::chrono::system_clock::now();
    c.program = maker_.program;
    c.programVersion = maker_.version;
    c.computer = computerName();
    c.operatorName = operatorOf(settings_);
    c.board = change.board;
    c.driver = maker_.driver;
    if (change.before) {
        c.cardFingerprint = record::cardFingerprint(*change.before);
        c.eepromBefore = words(*change.before);
    }
    const session::ValuesSource& v = change.source;
    c.source = sourceOf(v.kind);
    c.sourceFile = v.file;
    c.sourceSha256 = v.sha256;
    c.restoredFrom = v.restoredFrom;
    c.reference10V = v.reference10V;
    c.reference5V = v.reference5V;
    c.recordJson = v.details;
    auto id = (*s)->beginChange(c);
    if (!id) {
        return asHistory(id.failure());
    }
    return *id;
}

core::Status HistoryJournal::end(const std::string& id, const session::ChangeEnd& ending) {
    auto s = store();
    if (!s) {
        return s.failure();
    }
    history::Ending e;
    e.outcome = ending.written     ? history::Outcome::Written
                : ending.unchanged ? history::Outcome::NotWritten
                                   : history::Outcome::Failed;
    e.recordJson = ending.details;
    e.status = ending.status;
    e.message = ending.message;
    if (ending.after) {
        e.eepromAfter = words(*ending.after);
    }
    if (const core::Status done = (*s)->complete(id, e); !done) {
        return asHistory(done.failure());
    }
    return {};
}

Opened openJournal(Maker maker) {
    auto settings = loadSettings(stationPath());
    if (!settings) {
        const std::string problem = settings.refusal() + " No EEPROM change can be recorded "
                                                         "until it is mended.";
        return Opened{HistoryJournal(std::move(maker), Settings{}, problem), problem};
    }
    return Opened{HistoryJournal(std::move(maker), *settings), {}};
}

} // namespace journal
