#pragma once
// The export targets that write files: CSV (one file per table in a folder) and SQLite (one database
// file), with what they share: safe file names, the check of the output before a scan starts, and files
// written under a temporary name and given their own name only when they are complete.
//
// CSV, one file per table, "<schema>.<table>.csv":
//   RFC 4180, UTF-8 (a byte sequence that is not UTF-8 becomes U+FFFD), lines ended by CR LF, the column
//   titles first. A field is quoted when it holds a comma, a double quote, CR or LF, or is an empty
//   text; a double quote inside is doubled. NULL is an empty field without quotes, so NULL and the empty
//   text stay apart.
//
// SQLite, one file: a table per exported table, named as the table (schema "dbo") or "schema.table";
// columns by kind: integers (tinyint ... bigint, bit as 0 and 1) INTEGER, binary values BLOB, everything
// else TEXT (decimal and money as their exact digits, dates as ISO text), NULL as NULL. Each table is
// filled in one transaction through one prepared statement. Definitions go to the table "definitions"
// (schema, name, type, text); a table of the database with a name that is taken gets a suffix "_2",
// "_3", ...
//
// The recovery report goes beside the export: "recovery-report.json" in the CSV folder, "<file>.report.json"
// beside the SQLite file.

#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/export.h"
#include "app/utf8_text.h"

namespace quenlow {

// Why the output cannot be written, before anything is read: an output that exists (a CSV folder that
// is not empty, a SQLite file) without force, a folder that is missing or not writable.
std::optional<std::string> export_output_refusal(ExportKind kind, const std::string& path, bool force);

// The report's path for an export to path.
std::string report_path(ExportKind kind, const std::string& path);

// A file name made from a table's schema and name: characters that have a meaning in paths, control
// characters and a leading dot become "_"; long names are cut (at a character boundary). `taken` holds
// the names given so far, lower case; a name already taken gets "~2", "~3", ... before its suffix.
std::string safe_file_name(const std::string& schema, const std::string& name, std::string_view suffix,
                           std::set<std::string>& taken);

// "0x" and pairs of hex digits (a binary value's export text) to bytes; false for any other text.
bool hex_bytes(std::string_view text, std::string& bytes);

// Appends one CSV field: a text, or a cell (nothing for NULL).
void append_csv_text(std::string& out, std::string_view text);
void append_csv_field(std::string& out, const Cell& cell);
// Appends one CSV line: the fields of `columns` of a decoded row (NULL an empty field), CR LF. A field
// whose `plain` entry is set is written as it is when not empty: its type's export text never holds a
// comma, a quote, a line break or a byte above 0x7F (csv_plain_type).
void append_csv_row(const DecodedRow& row, const std::vector<std::size_t>& columns, std::string& out,
                    std::span<const std::uint8_t> plain = {});
// Appends one CSV line per row of cells.
void append_csv_lines(std::string& out, const CellRows& rows);
// Types whose export text is digits, signs, points, blanks, colons, dashes, "E", "0x" and hex digits.
bool csv_plain_type(std::int32_t type_code);

std::unique_ptr<ExportTarget> make_csv_target(const std::string& folder);
std::unique_ptr<ExportTarget> make_sqlite_target(const std::string& path);
std::unique_ptr<ExportTarget> make_target(ExportKind kind, const std::string& path);

// One line per table (rows, pages, where they went, INCOMPLETE) and one per origin of the rows kept apart
// from its live rows, the definitions found, the report file.
std::string export_summary(const ExportReport& report, const std::string& report_file);

}  // namespace quenlow
