// history --drift: a card's drift between its calibrations, the end points it would take out
// of tolerance, and the next due date by the staircase; and the interval's station setting.
#include "cli/invocation.h"
#include "core/text.h"
#include "report/certificate.h"
#include "trend/calibrations.h"
#include "trend/drift.h"

#include <QJsonArray>

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

namespace cli {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string day(trend::TimePoint t) {
    return history::utcText(t).substr(0, 10);
}

std::string minute(trend::TimePoint t) {
    const std::string text = history::utcText(t);
    return text.substr(0, 10) + " " + text.substr(11, 5);
}

std::string millivolts(const std::optional<double>& volts, const char* format = "%+.3f") {
    if (!volts) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, *volts * 1000.0);
    return text;
}

QJsonValue mV(const std::optional<double>& volts) {
    return volts && std::isfinite(*volts) ? QJsonValue(*volts * 1000.0) : QJsonValue();
}

// The card that --card (a fingerprint or the start of one) or --board (the card of the
// board's latest completed calibration) names.
core::Result<std::string> cardOf(const Invocation& inv, history::Store& store) {
    const Options& o = inv.options;
    if (!o.since.empty()) {
        return core::refuse("--since is not an option of history --drift: the drift and the "
                            "interval take every calibration of the card.");
    }
    if (o.card.empty() == !o.board.has_value()) {
        return core::refuse(o.card.empty() ? "history --drift: --card or --board is missing."
                                           : "history --drift: --card and --board: give one.");
    }
    history::Filter f;
    f.board = o.board;
    f.cardFingerprint = o.card;
    const auto entries = store.list(f);
    if (!entries) {
        return entries.failure();
    }
    std::set<std::string> cards;
    for (const history::Entry& e : *entries) {
        if (!e.change.cardFingerprint.empty() && trend::calibrationOf(e.change.recordJson)) {
            if (o.board) {
                return e.change.cardFingerprint; // newest first
            }
            cards.insert(e.change.cardFingerprint);
        }
    }
    const std::string named = o.board ? "board " + std::to_string(*o.board) : "card " + o.card;
    if (cards.size() > 1) {
        return core::refuse("--card: " + core::quoteText(o.card) + " is the start of " +
                            std::to_string(cards.size()) +
                            " cards' fingerprints; give more of it.");
    }
    if (cards.empty()) {
        return core::refuse("The " + history::describe(store.location()) +
                            " holds no completed calibration of " + named + ".");
    }
    return *cards.begin();
}

struct Trend {
    std::string card;
    trend::CardCalibrations read;
    trend::IntervalPolicy policy;
    trend::Schedule schedule;
    trend::Drift drift;
};

QJsonArray calibrationsJson(const Trend& t) {
    QJsonArray a;
    for (std::size_t i = 0; i < t.read.calibrations.size(); ++i) {
        const trend::Calibration& c = t.read.calibrations[i];
        const trend::Step& s = t.schedule.steps[i];
        QJsonObject o{{"number", static_cast<int>(i + 1)},
                      {"record", q(c.recordId)},
                      {"calibrationId", q(c.calibrationId)},
                      {"startUtc", q(history::utcText(c.start))},
                      {"board", c.board},
                      {"saved", c.saved},
                      {"asFound", q(trend::findingText(s.judged.finding, t.policy.withinFraction))},
                      {"worstPoint", q(s.judged.worstPoint)},
                      {"worstRatio", std::isfinite(s.judged.worstRatio)
                                         ? QJsonValue(s.judged.worstRatio)
                                         : QJsonValue()},
                      {"intervalDays", s.days}};
        if (!c.changedBefore.empty()) {
            o["changedBefore"] = q(c.changedBefore);
        }
        a.append(o);
    }
    return a;
}

QJsonObject trendJson(history::Store& store, const Trend& t) {
    QJsonArray endPoints;
    for (const trend::EndPointDrift& d : t.drift.endPoints) {
        QJsonArray spans;
        for (const trend::Span& s : d.spans) {
            spans.append(QJsonObject{{"from", s.from + 1},
                                     {"to", s.to + 1},
                                     {"days", s.days},
                                     {"mVPerYear", s.voltsPerYear * 1000.0}});
        }
        endPoints.append(QJsonObject{{"endPoint", q(d.name)},
                                     {"spans", spans},
                                     {"mVPerYear", mV(d.voltsPerYear)},
                                     {"asLeftMV", mV(d.leftVolts)},
                                     {"atDueMV", mV(d.atDueVolts)},
                                     {"toleranceMV", d.toleranceVolts * 1000.0},
                                     {"atRisk", d.atRisk}});
    }
    QJsonArray atRisk;
    for (const std::string& name : t.drift.atRisk) {
        atRisk.append(q(name));
    }
    QJsonArray leftOut;
    for (const std::string& why : t.read.leftOut) {
        leftOut.append(q(why));
    }
    return QJsonObject{{"history", q(history::describe(store.location()))},
                       {"card", q(t.card)},
                       {"calibrations", calibrationsJson(t)},
                       {"endPoints", endPoints},
                       {"atRisk", atRisk},
                       {"interval", QJsonObject{{"policy", journal::intervalJson(t.policy)},
                                                {"days", t.schedule.days},
                                                {"nextDue", q(day(t.schedule.due))}}},
                       {"leftOut", leftOut}};
}

void printCalibrations(std::ostream& out, const Trend& t) {
    out << "  #  started (UTC)     board  record    saved  as found                       "
           "interval after\n";
    for (std::size_t i = 0; i < t.read.calibrations.size(); ++i) {
        const trend::Calibration& c = t.read.calibrations[i];
        const trend::Step& s = t.schedule.steps[i];
        char line[256];
        std::snprintf(line, sizeof line, "%3zu  %-16s  %5d  %-8.8s  %-5s  %-29s  %d days", i + 1,
                      minute(c.start).c_str(), c.board, c.recordId.c_str(), c.saved ? "yes" : "no",
                      trend::findingText(s.judged.finding, t.policy.withinFraction).c_str(),
                      s.days);
        out << line << "\n";
    }
    for (std::size_t i = 1; i < t.read.calibrations.size(); ++i) {
        if (!t.read.calibrations[i].changedBefore.empty()) {
            out << "No drift from " << i << " to " << i + 1 << ": "
                << t.read.calibrations[i].changedBefore << " wrote the EEPROM between them.\n";
        }
    }
    for (const std::string& why : t.read.leftOut) {
        out << "Left out: " << why << ".\n";
    }
}

void printDrift(std::ostream& out, const Trend& t) {
    out << "Drift in mV a year: each calibration's as found against what the one before left\n"
           "on the card, over the days between them; extrapolated from the last one to the\n"
           "next due date.\n";
    out << "end point                        mV/year  left mV  at due mV  tolerance mV  "
           "         spans\n";
    for (const trend::EndPointDrift& d : t.drift.endPoints) {
        std::string spans;
        for (const trend::Span& s : d.spans) {
            char text[48];
            std::snprintf(text, sizeof text, "%s%d->%d %+.3f", spans.empty() ? "" : "  ",
                          s.from + 1, s.to + 1, s.voltsPerYear * 1000.0);
            spans += text;
        }
        char line[320];
        std::snprintf(line, sizeof line, "%-30s %9s %8s %10s %13s  %-7s  %s", d.name.c_str(),
                      millivolts(d.voltsPerYear).c_str(), millivolts(d.leftVolts).c_str(),
                      millivolts(d.atDueVolts).c_str(),
                      millivolts(d.toleranceVolts, "%.3f").c_str(), d.atRisk ? "at risk" : "",
                      spans.empty() ? "-" : spans.c_str());
        std::string text = line;
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << "\n";
    }
}

std::vector<report::DriftRow> rowsOf(const trend::Drift& d) {
    std::vector<report::DriftRow> rows;
    const auto mv = [](const std::optional<double>& v) {
        return v ? std::optional<double>(*v * 1000.0) : std::nullopt;
    };
    for (const trend::EndPointDrift& e : d.endPoints) {
        rows.push_back(
            {e.name, mv(e.voltsPerYear), mv(e.atDueVolts), e.toleranceVolts * 1000.0, e.atRisk});
    }
    return rows;
}

void printTrend(const Invocation& inv, history::Store& store, const Trend& t) {
    std::ostream& out = inv.out;
    const std::size_t n = t.read.calibrations.size();
    out << "Card " << t.card << ": " << n << (n == 1 ? " calibration" : " calibrations")
        << " in the " << history::describe(store.location()) << ".\n";
    printCalibrations(out, t);
    printDrift(out, t);
    const std::string due = day(t.schedule.due);
    if (t.drift.atRisk.empty()) {
        out << "No end point at risk of leaving its tolerance by " << due
            << (n < 2 ? " (no drift before a second calibration)" : "") << ".\n";
    } else {
        out << "At risk of leaving their tolerance by " << due << ":";
        for (std::size_t i = 0; i < t.drift.atRisk.size(); ++i) {
            out << (i == 0 ? " " : ", ") << t.drift.atRisk[i];
        }
        out << ".\n";
    }
    out << "Next due: " << due << ", " << t.schedule.days << " days after the calibration of "
        << day(t.read.calibrations.back().start) << " (" << intervalText(t.policy) << ").\n";
}

} // namespace

int runDrift(const Invocation& inv, history::Store& store) {
    const auto card = cardOf(inv, store);
    if (!card) {
        return fail(inv, card.failure());
    }
    history::Filter f;
    f.cardFingerprint = *card;
    auto entries = store.list(f);
    if (!entries) {
        return fail(inv, entries.failure());
    }
    Trend t;
    t.card = *card;
    t.read = trend::calibrationsOf(std::move(*entries));
    t.policy = journal::intervalOf(inv.services.journal->settings());
    const auto schedule = trend::schedule(t.read.calibrations, t.policy);
    if (!schedule) {
        return fail(inv, core::refuse("The " + history::describe(store.location()) +
                                      " holds no calibration of card " + *card +
                                      " whose record is intact."));
    }
    t.schedule = *schedule;
    t.drift = trend::drift(t.read.calibrations, t.schedule.due);
    if (!inv.options.plot.empty()) {
        if (const core::Status s = checkOutputFile(inv, "--plot", inv.options.plot); !s) {
            return fail(inv, s.failure());
        }
        if (const core::Status drawn = report::writeDriftPng(rowsOf(t.drift), inv.options.plot);
            !drawn) {
            return fail(inv, core::reword(drawn.failure(), "--plot: " + drawn.refusal()));
        }
    }
    if (inv.options.json) {
        printJson(inv, trendJson(store, t));
    } else {
        printTrend(inv, store, t);
    }
    return kSuccess;
}

CertificateTrend certificateTrend(const Invocation& inv, history::Store& store,
                                  const history::Entry& record) {
    CertificateTrend out;
    if (inv.services.journal == nullptr || record.change.cardFingerprint.empty()) {
        return out;
    }
    history::Filter f;
    f.cardFingerprint = record.change.cardFingerprint;
    auto entries = store.list(f);
    if (!entries) {
        return out;
    }
    trend::CardCalibrations read = trend::calibrationsOf(std::move(*entries));
    // The card as it stood at this calibration: the ones after it do not count.
    auto& all = read.calibrations;
    const auto self = std::find_if(all.begin(), all.end(), [&](const trend::Calibration& c) {
        return c.recordId == record.id;
    });
    if (self == all.end()) {
        return out;
    }
    all.erase(self + 1, all.end());
    const journal::Settings& settings = inv.services.journal->settings();
    const auto schedule = trend::schedule(all, journal::intervalOf(settings));
    if (!schedule) {
        return out;
    }
    if (settings.intervalOnCertificate) {
        out.nextDue = day(schedule->due) + ", " + std::to_string(schedule->days) +
                      " days after this calibration (" +
                      intervalText(journal::intervalOf(settings)) + ")";
    }
    if (all.size() >= 2) {
        out.rows = rowsOf(trend::drift(all, schedule->due));
        out.span = std::to_string(all.size()) + " calibrations of this card, " +
                   day(all.front().start) + " to " + day(all.back().start) +
                   "; residuals by the next due date, " + day(schedule->due);
    }
    return out;
}

std::string intervalText(const trend::IntervalPolicy& p) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "staircase of ILAC-G24: %d days to start, x %g when every as-found point is "
                  "within %g %% of its tolerance, x %g when one is out of it, %d to %d days",
                  p.startDays, p.extendFactor, p.withinFraction * 100.0, p.shortenFactor, p.minDays,
                  p.maxDays);
    return text;
}

core::Status applyInterval(journal::Settings& settings, const std::string& value) {
    if (value.empty()) {
        settings.interval.reset();
        return {};
    }
    std::vector<double> figures;
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        double v = 0;
        const auto [end, ec] = std::from_chars(value.data() + start, value.data() + comma, v);
        if (comma == start || ec != std::errc{} || end != value.data() + comma) {
            figures.clear();
            break;
        }
        figures.push_back(v);
        start = comma + 1;
    }
    trend::IntervalPolicy p;
    const auto whole = [](double d) { return d == std::floor(d) && std::fabs(d) < 1e6; };
    const bool form = (figures.size() == 3 || figures.size() == 5) && whole(figures[0]) &&
                      (figures.size() == 3 || (whole(figures[3]) && whole(figures[4])));
    if (form) {
        p.startDays = static_cast<int>(figures[0]);
        p.extendFactor = figures[1];
        p.shortenFactor = figures[2];
        if (figures.size() == 5) {
            p.minDays = static_cast<int>(figures[3]);
            p.maxDays = static_cast<int>(figures[4]);
        }
    }
    const core::Status usable = form ? trend::checkPolicy(p) : core::Status{};
    if (!form || !usable) {
        return core::refuse("--interval: " + core::quoteText(value) +
                            " is not an interval START_DAYS,EXTEND,SHORTEN[,MIN_DAYS,MAX_DAYS]" +
                            (form ? " (" + usable.refusal() + ")" : std::string()) +
                            ". The station was not changed.");
    }
    settings.interval = p;
    return {};
}

} // namespace cli
