#pragma once

#include "core/result.h"

#include <QJsonObject>
#include <QJsonValue>

#include <string>

// The seal of a record: SHA-256 over the record's canonical form, kept in the record as
// "seal": {"algorithm": "SHA-256", "canonicalization": "RFC 8785", "digest": "<64 hex>"}.
// The canonical form is the record's JSON without its "seal" member, written as the JSON
// Canonicalization Scheme (RFC 8785) writes it: members sorted by their names' UTF-16 code
// units, no whitespace, numbers and strings as record/canonical.h writes them, in UTF-8.
// Whoever stores the record (a file, SQLite, PostgreSQL's jsonb, which reorders members and
// rewrites numbers) keeps the same seal as long as the content is the same.
namespace record {

inline constexpr const char* kSealMember = "seal";

// The canonical form of a JSON value (UTF-8).
std::string canonicalJson(const QJsonValue& value);

// The digest of a record (lower-case hex): SHA-256 of the canonical form of the record
// without its "seal" member.
std::string sealDigest(const QJsonObject& record);

// The record with its seal, computed now.
QJsonObject sealed(QJsonObject record);

// Whether the record's seal matches its content. A refusal (Kind::File) otherwise: no seal,
// a seal of another form, or a digest that is not the content's, naming both digests.
core::Status verifySeal(const QJsonObject& record);

} // namespace record
