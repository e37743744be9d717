#include "cli/record.h"

#include "autocal/wait.h"
#include "caldata/conversions.h"
#include "card/facts.h"
#include "manual/output_trim.h"
#include "record/fingerprint.h"

#include <QJsonArray>

#include <cmath>
#include <cstdio>

namespace cli {

namespace {

const card::OutputBoxFacts& boxFacts(int i) {
    return card::kOutputBoxes[static_cast<std::size_t>(i / 2)];
}

QJsonArray words(const card::EepImage& image) {
    QJsonArray a;
    for (const std::int32_t w : image) {
        if (a.size() == static_cast<qsizetype>(card::kEepromWords)) {
            break; // slot 128 is no EEPROM word
        }
        a.append(static_cast<int>(w & 0xFFFF));
    }
    return a;
}

// A point not measured (the calibration stopped or failed before it) is null; residuals
// and the verdict need the run's targets.
QJsonValue pointJson(const Record& r, int i, const PointReading& p) {
    if (!p.measured) {
        return QJsonValue::Null;
    }
    QJsonObject o;
    o["code"] = QString::fromStdString(caldata::hexText16(p.code));
    o["reading"] = p.reading;
    if (r.targetsKnown) {
        const int residual = p.reading - targetOf(r, i);
        o["residualCounts"] = residual;
        o["residualMillivolts"] = std::round(residual * millivoltsPerCount(i) * 10000.0) / 10000.0;
        o["pass"] = passes(r, i, p);
    }
    return o;
}

QJsonArray outputsJson(const Record& r) {
    QJsonArray outputs;
    for (int i = 0; i < kEndPoints; ++i) {
        const card::OutputBoxFacts& box = boxFacts(i);
        const bool upper = i % 2 == 0;
        const card::OutputRangeFacts& range = box.rangeFacts();
        QJsonObject o;
        o["endPoint"] = QString::fromStdString(caldata::describe(endPointField(i)));
        o["channel"] = box.channel;
        o["range"] = QString::fromUtf8(range.caption.data(), range.caption.size());
        o["point"] = upper ? "upper" : "lower";
        o["nominalVolts"] = upper ? range.high : range.low;
        o["targetCode"] = r.targetsKnown ? QJsonValue(targetOf(r, i)) : QJsonValue::Null;
        o["millivoltsPerCount"] = millivoltsPerCount(i);
        o["asFound"] = pointJson(r, i, r.asFound[static_cast<std::size_t>(i)]);
        o["asLeft"] = pointJson(r, i, r.asLeft[static_cast<std::size_t>(i)]);
        outputs.append(o);
    }
    return outputs;
}

QJsonArray inputsJson(const Record& r) {
    QJsonArray inputs;
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(j)];
        for (const bool upper : {true, false}) {
            const auto k = static_cast<std::size_t>(2 * j + (upper ? 0 : 1));
            const std::string_view label = upper ? range.upperLabel : card::kInputLowerLabel;
            QJsonObject o;
            o["range"] = QString::fromUtf8(range.caption.data(), range.caption.size());
            o["point"] = upper ? "upper" : "zero";
            o["label"] = QString::fromUtf8(label.data(), label.size());
            o["asFound"] = QString::fromStdString(r.inputsFound[k]);
            o["asLeft"] = r.inputsLeft[k].empty()
                              ? QJsonValue::Null
                              : QJsonValue(QString::fromStdString(r.inputsLeft[k]));
            inputs.append(o);
        }
    }
    return inputs;
}

} // namespace

caldata::Field endPointField(int i) {
    return i % 2 == 0 ? caldata::aoMax(i / 2) : caldata::aoMin(i / 2);
}

core::Status measureEndPoints(session::Context& ctx, card::Acquisition& acquisition,
                              caldata::CalibrationTable& table,
                              const std::function<void(caldata::Field)>& onPoint,
                              const std::function<bool()>& stopRequested, PointReadings& readings) {
    const card::Int16 board = static_cast<card::Int16>(std::stoi(ctx.activeBoardText()));
    for (int i = 0; i < kEndPoints; ++i) {
        const caldata::Field box = endPointField(i);
        if (onPoint) {
            onPoint(box);
        }
        const auto code = caldata::parseCode(table.text(box));
        if (!code) {
            return core::refuse(caldata::describe(box) + ": " + code.refusal());
        }
        manual::outputChanged(ctx, table, box);
        autocal::WaitSeconds(ctx.clock, ctx.pump, autocal::kSettleSeconds, stopRequested);
        if (stopRequested && stopRequested()) {
            return core::refuse(core::Kind::Stopped, "stopped at " + caldata::describe(box));
        }
        const card::OutputBoxFacts& facts = boxFacts(i);
        PointReading& p = readings[static_cast<std::size_t>(i)];
        p.code = *code;
        const card::Int16 status = acquisition.MX4815_Get_AutoCal_Data(
            board, card::code(card::outputSource(facts.channel)),
            card::code(facts.rangeFacts().readBack), p.reading);
        ctx.state.wErrCode = status;
        if (status != 0) {
            return core::refuse(core::Kind::Card,
                                caldata::describe(box) +
                                    ": the read-back failed: " + card::readingMessage(status),
                                status);
        }
        p.measured = true;
    }
    return {};
}

card::Int16 targetOf(const Record& r, int i) {
    return autocal::targetOf(r.targets, boxFacts(i).rangeFacts(), i % 2 == 0);
}

bool passes(const Record& r, int i, const PointReading& p) {
    return p.measured && r.targetsKnown && std::abs(p.reading - targetOf(r, i)) <= r.tolerance;
}

int outOfTolerance(const Record& r, const PointReadings& readings) {
    int n = 0;
    for (int i = 0; i < kEndPoints; ++i) {
        const PointReading& p = readings[static_cast<std::size_t>(i)];
        n += p.measured && r.targetsKnown && !passes(r, i, p) ? 1 : 0;
    }
    return n;
}

bool allPass(const Record& r, const PointReadings& readings) {
    for (int i = 0; i < kEndPoints; ++i) {
        if (!passes(r, i, readings[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    return true;
}

double millivoltsPerCount(int i) {
    const card::Int16 gain = card::code(boxFacts(i).rangeFacts().readBack);
    return card::fullScaleOfGain(gain).value_or(0.0) * 1000.0 / 32768.0;
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

QJsonObject recordJson(const Record& r) {
    QJsonObject o;
    o["recordVersion"] = 2;
    o["outcome"] = QString::fromStdString(r.outcome);
    if (!r.message.empty()) {
        o["message"] = QString::fromStdString(r.message);
    }
    o["calibrated"] =
        QJsonObject{{"endPoints", r.tally.endPoints}, {"inputPoints", r.tally.inputPoints}};
    o["dateTimeUtc"] = QString::fromStdString(r.dateTimeUtc);
    o["programVersion"] = QString::fromStdString(r.programVersion);
    o["board"] = r.board;
    o["registerBase"] = QString::fromStdString(hex32(r.registerBase));
    o["cardFingerprint"] = QString::fromStdString(record::cardFingerprint(r.before));
    // The voltages as the table shows them, not the nearest single-precision numbers.
    o["references"] = QJsonObject{{"ref10V", std::stod(caldata::formatReference(r.ref10))},
                                  {"ref5V", std::stod(caldata::formatReference(r.ref5))}};
    o["toleranceCounts"] = r.tolerance;
    o["saved"] = r.saved;
    o["eepromBefore"] = words(r.before);
    o["eepromAfter"] = r.afterKnown ? QJsonValue(words(r.after)) : QJsonValue::Null;
    o["outputs"] = outputsJson(r);
    o["inputs"] = inputsJson(r);
    o["asFoundOutOfTolerance"] = outOfTolerance(r, r.asFound);
    o["asLeftOutOfTolerance"] = outOfTolerance(r, r.asLeft);
    o["asLeftPass"] = allPass(r, r.asLeft);
    return o;
}

} // namespace cli
