#pragma once

#include "history/connection.h"
#include "history/history.h"

#include <QSqlQuery>
#include <QString>

// A record as a row of eeprom_changes, and back.
namespace history::detail {

// The columns, in the order entryFrom reads them: "id, started_utc, ..., seal".
const QString& columns();

// The values of every column, bound by name (":id", ":started_utc", ...).
Binds bindsOf(const Entry& entry);

// The record of the query's current row, with intact and problem set: a value that cannot be
// read, or content that does not match the stored seal.
Entry entryFrom(const QSqlQuery& row);

// "0000 FFBF ..." (upper-case, four digits a word) and back; nothing for a text that is not
// such words.
QString wordsText(const std::vector<std::uint16_t>& words);
std::optional<std::vector<std::uint16_t>> parseWords(const QString& text);

} // namespace history::detail
