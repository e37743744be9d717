#include "trend/calibrations.h"

#include "record/seal.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace trend {

namespace {

// A result of the record, when it carries the figures the trend needs.
std::optional<Residual> residualOf(const QJsonValue& v) {
    if (!v.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = v.toObject();
    const QJsonValue counts = o.value("residualCounts");
    const QJsonValue scale = o.value("voltsPerCount");
    const QJsonValue tolerance = o.value("toleranceCounts");
    if (!counts.isDouble() || !scale.isDouble() || !tolerance.isDouble()) {
        return std::nullopt;
    }
    Residual r{counts.toDouble(), scale.toDouble(), tolerance.toDouble()};
    if (!std::isfinite(r.counts) || !(r.voltsPerCount > 0.0) || !(r.toleranceCounts >= 0.0) ||
        !std::isfinite(r.toleranceCounts)) {
        return std::nullopt;
    }
    return r;
}

std::vector<Point> pointsOf(const QJsonValue& array, bool outputs) {
    std::vector<Point> points;
    for (const QJsonValue& v : array.toArray()) {
        const QJsonObject o = v.toObject();
        Point p;
        p.name =
            outputs
                ? o.value("endPoint").toString().toStdString()
                : (o.value("range").toString() + " " + o.value("point").toString()).toStdString();
        p.asFound = residualOf(o.value("asFound"));
        p.asLeft = residualOf(o.value("asLeft"));
        if (!p.name.empty() && p.name != " ") {
            points.push_back(std::move(p));
        }
    }
    return points;
}

std::string dayOf(const history::Time& t) {
    return history::utcText(t).substr(0, 10);
}

QJsonObject documentOf(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

} // namespace

std::optional<Calibration> calibrationOf(const std::string& recordJson) {
    const QJsonObject o = documentOf(recordJson);
    if (o.value("recordVersion").toInt() != 3 || o.value("outcome").toString() != "completed") {
        return std::nullopt;
    }
    const QDateTime start = QDateTime::fromString(
        o.value("dates").toObject().value("startUtc").toString(), Qt::ISODate);
    if (!start.isValid()) {
        return std::nullopt;
    }
    Calibration c;
    c.calibrationId = o.value("id").toString().toStdString();
    c.start = TimePoint{std::chrono::seconds{start.toSecsSinceEpoch()}};
    c.saved = o.value("saved").toBool();
    c.endPoints = pointsOf(o.value("outputs"), true);
    c.inputPoints = pointsOf(o.value("inputs"), false);
    return c;
}

CardCalibrations calibrationsOf(std::vector<history::Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const history::Entry& a, const history::Entry& b) {
                         return a.change.started < b.change.started;
                     });
    CardCalibrations out;
    std::string changed; // what wrote the EEPROM since the last calibration
    for (const history::Entry& e : entries) {
        std::optional<Calibration> c;
        if (e.ending.outcome != history::Outcome::Pending) {
            c = calibrationOf(e.change.recordJson);
        }
        if (c) {
            std::string problem = e.intact ? std::string() : e.problem;
            if (const core::Status own = record::verifySeal(documentOf(e.change.recordJson));
                problem.empty() && !own) {
                problem = "its calibration record does not match the record's own seal";
            }
            if (!problem.empty()) {
                out.leftOut.push_back("record " + e.id.substr(0, 8) + ": " + problem);
                c.reset();
            }
        }
        if (c) {
            c->recordId = e.id;
            c->board = e.change.board;
            c->changedBefore = changed;
            changed.clear();
            out.calibrations.push_back(std::move(*c));
        } else if (e.ending.outcome != history::Outcome::NotWritten && !out.calibrations.empty() &&
                   changed.empty()) {
            changed = history::sourceName(e.change.source) + " (" +
                      history::outcomeName(e.ending.outcome) + ") on " + dayOf(e.change.started);
        }
    }
    return out;
}

} // namespace trend
