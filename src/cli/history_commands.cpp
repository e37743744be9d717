// The calibration history: history, history show, history verify, and the certificate of a
// record.
#include "cli/invocation.h"
#include "core/text.h"
#include "journal/station_file.h"
#include "record/record_json.h"
#include "record/seal.h"
#include "report/certificate.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cstdio>

namespace cli {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The history, or why it cannot be reached.
core::Result<history::Store*> storeOf(const Invocation& inv) {
    if (inv.services.journal == nullptr) {
        return core::refuse(core::Kind::History, "No calibration history is kept by this program.");
    }
    return inv.services.journal->store();
}

QJsonObject entryJson(const history::Entry& e) {
    QJsonObject o =
        QJsonDocument::fromJson(QByteArray::fromStdString(history::contentJson(e))).object();
    o["seal"] = q(e.seal);
    o["intact"] = e.intact;
    if (!e.intact) {
        o["problem"] = q(e.problem);
    }
    // The calibration record goes out as the document it is, not as a string.
    if (const QJsonDocument record =
            QJsonDocument::fromJson(QByteArray::fromStdString(e.change.recordJson));
        record.isObject()) {
        o["record"] = record.object();
    }
    return o;
}

std::string shortTime(const history::Time& t) {
    std::string text = history::utcText(t); // 2026-12-09T10:00:00.123Z
    return text.size() >= 19 ? text.substr(0, 10) + " " + text.substr(11, 8) : text;
}

void printList(const Invocation& inv, const std::vector<history::Entry>& entries) {
    inv.out << entries.size() << (entries.size() == 1 ? " record" : " records") << "\n";
    if (entries.empty()) {
        return;
    }
    inv.out << "id        started (UTC)        board  card          source          "
               "outcome      program\n";
    for (const history::Entry& e : entries) {
        char line[256];
        std::snprintf(line, sizeof line, "%-8.8s  %-19s  %5d  %-12.12s  %-14s  %-11s  %s%s",
                      e.id.c_str(), shortTime(e.change.started).c_str(), e.change.board,
                      e.change.cardFingerprint.empty() ? "-" : e.change.cardFingerprint.c_str(),
                      history::sourceName(e.change.source).c_str(),
                      history::outcomeName(e.ending.outcome).c_str(), e.change.program.c_str(),
                      e.intact ? "" : "  (seal broken)");
        inv.out << line << "\n";
    }
}

std::string hexWords(const std::vector<std::uint16_t>& words) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        char w[8];
        std::snprintf(w, sizeof w, "%04X", words[i]);
        out += (i % 16 == 0 ? (i == 0 ? "    " : "\n    ") : " ") + std::string(w);
    }
    return out.empty() ? "    not read" : out;
}

void printEntry(const Invocation& inv, const history::Entry& e) {
    const history::Change& c = e.change;
    auto line = [&inv](const char* label, const std::string& value) {
        inv.out << label << (value.empty() ? "-" : value) << "\n";
    };
    line("Record:     ", e.id);
    line("Started:    ", history::utcText(c.started));
    line("Ended:      ", e.ending.ended ? history::utcText(*e.ending.ended) : "");
    line("Program:    ", c.program + " " + c.programVersion);
    line("Computer:   ", c.computer);
    line("Operator:   ", record::orNotRecorded(c.operatorName));
    line("Board:      ", std::to_string(c.board));
    line("Card:       ", c.cardFingerprint);
    line("Driver:     ", c.driver);
    std::string source = history::sourceName(c.source);
    if (c.source == history::Source::ImportedFile) {
        source += ": " + c.sourceFile + " (SHA-256 " + c.sourceSha256 + ")";
    } else if (c.source == history::Source::Restore) {
        source += " of record " + c.restoredFrom;
    }
    line("Source:     ", source);
    if (c.reference10V || c.reference5V) {
        char refs[96];
        std::snprintf(refs, sizeof refs, "%.7g V and %.7g V", c.reference10V.value_or(0.0),
                      c.reference5V.value_or(0.0));
        line("References: ", refs);
    }
    std::string outcome = history::outcomeName(e.ending.outcome);
    if (e.ending.outcome == history::Outcome::Failed) {
        outcome += " (status " + std::to_string(e.ending.status) + "): " + e.ending.message;
    }
    line("Outcome:    ", outcome);
    line("Seal:       ", e.seal + (e.intact ? " (intact)" : " (BROKEN: " + e.problem + ")"));
    inv.out << "EEPROM before:\n" << hexWords(c.eepromBefore) << "\n";
    inv.out << "EEPROM after:\n" << hexWords(e.ending.eepromAfter) << "\n";
    if (!c.recordJson.empty()) {
        inv.out << "Calibration record:\n" << c.recordJson << "\n";
    }
}

// history verify: each record's seal, and the seal of the calibration record it carries.
int runVerify(const Invocation& inv, history::Store& store) {
    auto v = store.verify();
    if (!v) {
        return fail(inv, v.failure());
    }
    const auto all = store.list();
    if (!all) {
        return fail(inv, all.failure());
    }
    for (const history::Entry& e : *all) {
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(e.change.recordJson));
        if (!e.intact || !doc.isObject() || !doc.object().contains("seal")) {
            continue;
        }
        if (const core::Status sealed = record::verifySeal(doc.object()); !sealed) {
            history::Entry broken = e;
            broken.intact = false;
            broken.problem = "its calibration record does not match the record's own seal (" +
                             sealed.refusal() + ")";
            v->broken.push_back(broken);
        }
    }
    if (inv.options.json) {
        QJsonArray broken;
        for (const history::Entry& e : v->broken) {
            broken.append(QJsonObject{{"id", q(e.id)}, {"problem", q(e.problem)}});
        }
        printJson(inv, QJsonObject{{"checked", v->checked}, {"broken", broken}});
    } else {
        inv.out << v->checked << (v->checked == 1 ? " record" : " records") << " checked in the "
                << history::describe(store.location()) << ": ";
        if (v->broken.empty()) {
            inv.out << "every seal matches its record.\n";
        } else {
            inv.out << v->broken.size() << " do not match their seal.\n";
            for (const history::Entry& e : v->broken) {
                inv.out << "  " << e.id << ": " << e.problem << "\n";
            }
        }
    }
    if (!v->broken.empty()) {
        inv.err << "mx4815cal-cli: " << v->broken.size()
                << " records of the history do not match their seal.\n";
        return exitCode(core::Kind::History);
    }
    return kSuccess;
}

} // namespace

int runCertificate(const Invocation& inv) {
    if (const core::Status s = checkOutputFile(inv, "--pdf", inv.options.pdf); !s) {
        return fail(inv, s.failure());
    }
    auto store = storeOf(inv);
    if (!store) {
        return fail(inv, store.failure());
    }
    const auto e = (*store)->get(inv.options.recordId);
    if (!e) {
        return fail(inv, e.failure());
    }
    if (!e->intact) {
        return fail(inv, core::refuse("The record " + e->id + " does not match its seal (" +
                                      e->problem + "): no certificate is made of it."));
    }
    const QJsonObject record =
        QJsonDocument::fromJson(QByteArray::fromStdString(e->change.recordJson)).object();
    if (const core::Status sealed = record::verifySeal(record); !sealed) {
        return fail(inv, core::refuse("The record " + e->id +
                                      " carries no sealed calibration "
                                      "record: a certificate needs the results of a calibrate."));
    }
    // The approval is kept in the history before the certificate shows it; without one, the
    // certificate shows the latest approval kept.
    if (!inv.options.approvedBy.empty()) {
        if (const core::Status approved = (*store)->approve(e->id, inv.options.approvedBy);
            !approved) {
            return fail(inv, approved.failure());
        }
    }
    const auto approvals = (*store)->approvals(e->id);
    if (!approvals) {
        return fail(inv, approvals.failure());
    }
    report::CertificateOptions options;
    options.page = inv.options.page == "letter" ? report::PageSize::Letter : report::PageSize::A4;
    if (!approvals->empty()) {
        options.approvedBy = approvals->back().approvedBy;
        options.approvedUtc = history::utcText(approvals->back().approved);
    }
    options.historyId = e->id;
    const CertificateTrend trend = certificateTrend(inv, **store, *e);
    options.drift = trend.rows;
    options.driftSpan = trend.span;
    options.nextDue = trend.nextDue;
    if (const core::Status written = report::writeCertificatePdf(record, options, inv.options.pdf);
        !written) {
        return fail(inv, core::reword(written.failure(), "--pdf: " + written.refusal()));
    }
    if (inv.options.json) {
        printJson(inv, QJsonObject{{"certificate", q(record["id"].toString().toStdString())},
                                   {"record", q(e->id)},
                                   {"pdf", q(inv.options.pdf)}});
    } else {
        inv.out << "Certificate " << record["id"].toString().toStdString() << " of record " << e->id
                << " written to " << inv.options.pdf << "\n";
    }
    return kSuccess;
}

int runHistory(const Invocation& inv) {
    auto store = storeOf(inv);
    if (!store) {
        return fail(inv, store.failure());
    }
    history::Store& s = **store;
    if (inv.options.drift) {
        return inv.options.historyAction == HistoryAction::List
                   ? runDrift(inv, s)
                   : fail(inv, core::refuse("--drift is not an option of history show or "
                                            "history verify."));
    }
    if (inv.options.historyAction == HistoryAction::Verify) {
        return runVerify(inv, s);
    }
    if (inv.options.historyAction == HistoryAction::Show) {
        const auto e = s.get(inv.options.recordId);
        if (!e) {
            return fail(inv, e.failure());
        }
        if (inv.options.json) {
            printJson(inv, entryJson(*e));
        } else {
            printEntry(inv, *e);
        }
        return kSuccess;
    }
    history::Filter filter;
    filter.board = inv.options.board;
    filter.cardFingerprint = inv.options.card;
    if (!inv.options.since.empty()) {
        const auto since = history::parseUtcText(inv.options.since + "T00:00:00.000Z");
        if (!record::parseDate(inv.options.since) || !since) {
            return fail(inv, core::refuse("--since: " + core::quoteText(inv.options.since) +
                                          " is not a date YYYY-MM-DD."));
        }
        filter.since = *since;
    }
    const auto entries = s.list(filter);
    if (!entries) {
        return fail(inv, entries.failure());
    }
    if (inv.options.json) {
        QJsonArray a;
        for (const history::Entry& e : *entries) {
            a.append(entryJson(e));
        }
        printJson(inv,
                  QJsonObject{{"history", q(history::describe(s.location()))}, {"records", a}});
    } else {
        printList(inv, *entries);
    }
    return kSuccess;
}

} // namespace cli
