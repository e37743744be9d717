#pragma once

// A check of a JSON value against a JSON Schema, for the tests of the records' schemas.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>
#include <string>

namespace testing_support {

// A check of a JSON value against the part of JSON Schema that the record's schema uses:
// type, required, properties, items, minItems, maxItems, enum, minimum, maximum, pattern,
// anyOf and local $ref. Gives the first problem with its path, empty when the value fits.
class SchemaCheck {
public:
    explicit SchemaCheck(QJsonObject root) : root_(std::move(root)) {}

    std::string check(const QJsonValue& v, QJsonObject s, const std::string& path) const {
        if (s.contains("$ref")) {
            s = root_["$defs"].toObject()[s["$ref"].toString().section('/', -1)].toObject();
        }
        if (s.contains("anyOf")) {
            std::string first;
            for (const QJsonValue branch : s["anyOf"].toArray()) {
                const std::string p = check(v, branch.toObject(), path);
                if (p.empty()) {
                    return "";
                }
                first = first.empty() ? p : first;
            }
            return first;
        }
        if (s.contains("type") && !hasType(v, s["type"].toString())) {
            return path + ": not of type " + s["type"].toString().toStdString();
        }
        if (s.contains("enum") && !s["enum"].toArray().contains(v)) {
            return path + ": not one of the enum";
        }
        if (s.contains("minimum") && v.toDouble() < s["minimum"].toDouble()) {
            return path + ": below the minimum";
        }
        if (s.contains("maximum") && v.toDouble() > s["maximum"].toDouble()) {
            return path + ": above the maximum";
        }
        if (s.contains("pattern") &&
            !QRegularExpression(s["pattern"].toString()).match(v.toString()).hasMatch()) {
            return path + ": does not match the pattern";
        }
        if (v.isArray()) {
            return checkArray(v.toArray(), s, path);
        }
        return v.isObject() ? checkObject(v.toObject(), s, path) : "";
    }

private:
    static bool hasType(const QJsonValue& v, const QString& type) {
        if (type == "integer") {
            return v.isDouble() && std::floor(v.toDouble()) == v.toDouble();
        }
        return (type == "null" && v.isNull()) || (type == "object" && v.isObject()) ||
               (type == "array" && v.isArray()) || (type == "string" && v.isString()) ||
               (type == "number" && v.isDouble()) || (type == "boolean" && v.isBool());
    }
    std::string checkArray(const QJsonArray& a, const QJsonObject& s,
                           const std::string& path) const {
        if ((s.contains("minItems") && a.size() < s["minItems"].toInt()) ||
            (s.contains("maxItems") && a.size() > s["maxItems"].toInt())) {
            return path + ": wrong number of items";
        }
        for (qsizetype i = 0; i < a.size() && s.contains("items"); ++i) {
            if (auto p = check(a[i], s["items"].toObject(), path + "/" + std::to_string(i));
                !p.empty()) {
                return p;
            }
        }
        return "";
    }
    std::string checkObject(const QJsonObject& o, const QJsonObject& s,
                            const std::string& path) const {
        for (const QJsonValue key : s["required"].toArray()) {
            if (!o.contains(key.toString())) {
                return path + ": " + key.toString().toStdString() + " is missing";
            }
        }
        const QJsonObject properties = s["properties"].toObject();
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            if (o.contains(it.key())) {
                if (auto p = check(o[it.key()], it.value().toObject(),
                                   path + "/" + it.key().toStdString());
                    !p.empty()) {
                    return p;
                }
            }
        }
        return "";
    }
    QJsonObject root_;
};

} // namespace testing_support
