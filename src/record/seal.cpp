#include "record/seal.h"

#include "record/canonical.h"
#include "record/sha256.h"

#include <QJsonArray>

#include <algorithm>

namespace record {

namespace {

bool utf16Less(const QString& a, const QString& b) {
    return std::lexicographical_compare(a.utf16(), a.utf16() + a.size(), b.utf16(),
                                        b.utf16() + b.size());
}

void write(const QJsonValue& v, std::string& out);

void writeObject(const QJsonObject& o, std::string& out) {
    QStringList keys = o.keys();
    std::sort(keys.begin(), keys.end(), utf16Less);
    out += '{';
    for (qsizetype i = 0; i < keys.size(); ++i) {
        out += i == 0 ? "" : ",";
        out += canonicalString(keys[i].toUtf8().toStdString());
        out += ':';
        write(o.value(keys[i]), out);
    }
    out += '}';
}

void write(const QJsonValue& v, std::string& out) {
    switch (v.type()) {
    case QJsonValue::Bool:
        out += v.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double:
        out += canonicalNumber(v.toDouble());
        break;
    case QJsonValue::String:
        out += canonicalString(v.toString().toUtf8().toStdString());
        break;
    case QJsonValue::Array: {
        const QJsonArray a = v.toArray();
        out += '[';
        for (qsizetype i = 0; i < a.size(); ++i) {
            out += i == 0 ? "" : ",";
            write(a.at(i), out);
        }
        out += ']';
        break;
    }
    case QJsonValue::Object:
        writeObject(v.toObject(), out);
        break;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out += "null";
        break;
    }
}

constexpr const char* kAlgorithm = "SHA-256";
constexpr const char* kCanonicalization = "RFC 8785";

} // namespace

std::string canonicalJson(const QJsonValue& value) {
    std::string out;
    write(value, out);
    return out;
}

std::string sealDigest(const QJsonObject& record) {
    QJsonObject content = record;
    content.remove(kSealMember);
    return sha256Hex(canonicalJson(content));
}

QJsonObject sealed(QJsonObject record) {
    const std::string digest = sealDigest(record);
    record[kSealMember] = QJsonObject{{"algorithm", kAlgorithm},
                                      {"canonicalization", kCanonicalization},
                                      {"digest", QString::fromStdString(digest)}};
    return record;
}

core::Status verifySeal(const QJsonObject& record) {
    const QJsonObject seal = record.value(kSealMember).toObject();
    if (seal.isEmpty()) {
        return core::refuse(core::Kind::File, "the record has no seal");
    }
    if (seal.value("algorithm").toString() != kAlgorithm ||
        seal.value("canonicalization").toString() != kCanonicalization) {
        return core::refuse(core::Kind::File, "the record's seal is not SHA-256 over RFC 8785");
    }
    const std::string kept = seal.value("digest").toString().toStdString();
    const std::string computed = sealDigest(record);
    if (kept != computed) {
        return core::refuse(core::Kind::File, "the record's content does not match its seal "
                                              "(sealed " +
                                                  kept + ", content " + computed + ")");
    }
    return {};
}

} // namespace record
