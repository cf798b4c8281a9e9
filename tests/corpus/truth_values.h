#pragma once
// The values of a truth script (truth/*.rows.json of the corpus) turned into the text the record list
// shows for them, so that a script's rows and a table's rows compare as text:
//
//   integers, tinyint..bigint   the number without sign or leading zeros it may be written with
//   bit                         True / False
//   money, smallmoney           four decimals (14 -> 14.0000, $2.99 -> 2.9900)
//   decimal(p,s), numeric       s decimals, rounded half away from zero
//   float, real                 the literal read as the stored type, then printed as the column prints it
//   datetime, smalldatetime     YYYY-MM-DD HH:MM:SS, without milliseconds (truncated, as stored ticks
//                               are); literals m/d/y (two-digit years: below 50 are 20xx), yyyymmdd and
//                               y-m-d, with an optional time; a CAST of 8 hex bytes (days, then 1/300
//                               second ticks, big-endian)
//   date                        YYYY-MM-DD
//   char(n), nchar(n)           padded with blanks to n characters
//   binary, varbinary           0x and upper-case hex; binary(n) padded with zero bytes to n
//   uniqueidentifier            upper-case, without braces
//   NULL                        "NULL"
//
// A function call (NEWID(), GETDATE()) has no fixed value: nothing to compare.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "engine/catalog/catalog_model.h"

namespace quenlow::testing {

// Columns whose values are stored outside the row (text, ntext, image, xml and the (max) types). Their
// values are not compared while the rows command cannot read them yet.
bool stored_outside_row(const ColumnDescriptor& column);

// The display text of a truth value in this column; nothing when the value has no fixed text or its type
// has no rule above.
std::optional<std::string> truth_display_text(const nlohmann::json& value, const ColumnDescriptor& column);

// The text an export writes for a truth value: as above, except datetime with its milliseconds (the
// literal's rounded to 1/300 s ticks and shown as .000, .003 or .007) and float and real in their
// shortest round-trip text. Nothing for NULL, and where the display text has nothing.
std::optional<std::string> truth_export_text(const nlohmann::json& value, const ColumnDescriptor& column);

}  // namespace quenlow::testing
