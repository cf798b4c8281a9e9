#pragma once
// "collation.txt", the collation list that ships beside the executable and fills the collation table at
// start-up.
//
// The file is 8-bit text, one collation a line:
//
//     name TAB id TAB code page
//
// - The line end (LF, or CR LF when the file was edited on Windows) is not part of the line.
// - Empty lines and lines without a TAB are skipped. When the text after the first TAB is not empty but
//   holds no second TAB, the line is skipped too. When nothing follows the first TAB, the line is kept
//   with id 0 and code page 0.
// - The third field is everything after the second TAB, further TABs included; since numbers stop at
//   the first character that is not a digit, "1252\t9" reads as 1252.
// - Id and code page are read by read_leading_int32: leading white space and a sign are allowed, reading
//   stops at the first other character, and a field with no digit up front reads 0. An id is a signed
//   32-bit number widened to the table's 64-bit key.
// - A later line with the same id replaces the earlier one.
//
// A missing or unreadable file gives an empty table; that is not an error.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pages/collation_table.h"

namespace quenlow {

inline constexpr std::string_view kCollationFileName = "collation.txt";

// Reads a decimal integer at the start of text after optional white space and one optional sign. Values
// beyond 32 bits clamp to the nearest limit.
std::int32_t read_leading_int32(std::string_view text);

CollationTable parse_collation_text(std::istream& in);
CollationTable load_collation_file(const std::string& path);

// The id of the collation of that name: an exact match first, then one that differs only in the case
// of ASCII letters. Nothing when the table lists neither.
std::optional<std::int64_t> find_collation(const CollationTable& table, const std::string& name);

// The folder of the executable (up to and including its last path separator) followed by the file name;
// a bare executable name gives the file name alone, relative to the working folder.
std::string collation_file_path(const std::string& executable_path);

// The full path of the running executable, or an empty text when the system does not tell it.
std::string running_executable_path();

}  // namespace quenlow

namespace quenlow {

// The collation table shipped beside the running program ("collation.txt"); empty when it is missing.
CollationTable load_shipped_collations();

}  // namespace quenlow
