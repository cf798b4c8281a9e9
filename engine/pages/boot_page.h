#pragma once
// The boot page: page 9 of the primary file. Its single record names the server version that last wrote
// the database, the version that created it, the database name and the collation of 8-bit text.
//
// The boot record is read at fixed page offsets; its fixed data starts at byte 100, behind the 96-byte
// page header and the 4-byte record header:
//
//   offset | size | field                      | notes
//   -------+------+----------------------------+----------------------------------------------------
//      100 |    2 | version number             | server that last wrote the file
//      102 |    2 | create version             | server that created it; lower when upgraded in place
//      132 |    4 | kept, not interpreted      |
//      136 |    4 | kept, not interpreted      |
//      148 |  208 | database name              | 104 UTF-16 units, padded (U+2020 or zero units)
//      408 |    2 | kept, not interpreted      |
//      412 |    4 | kept, not interpreted      |
//      416 |    4 | kept, not interpreted      |
//      488 |    4 | collation id               | signed; tables are keyed by it or by its low 16 bits
//      612 |    4 | page id of a kept address  |
//      616 |    2 | file id of that address    |
//
// The page is found by physical position rather than by address: pages of a damaged file may sit a few
// positions away from where their headers say they belong. The first page of the system object 7 (or 41
// when 7 has none) tells how far: page shift = its header page id - its physical position, and the boot
// page is read at physical position 9 - shift.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pages/byte_reader.h"
#include "engine/pages/collation_table.h"
#include "engine/pages/data_file.h"
#include "engine/pages/page_address.h"
#include "engine/pages/page_header.h"
#include "engine/pages/read_options.h"
#include "engine/pages/record_page.h"

namespace quenlow {

class OpenedDatabase;
struct EngineState;

namespace boot_layout {
inline constexpr std::int32_t kBootPageId = 9;
inline constexpr std::size_t kRecordData = 100;
inline constexpr std::size_t kVersion = 100;
inline constexpr std::size_t kCreateVersion = 102;
inline constexpr std::size_t kKept132 = 132;
inline constexpr std::size_t kKept136 = 136;
inline constexpr std::size_t kName = 148;
inline constexpr std::size_t kNameUnits = 104;
inline constexpr std::size_t kKept408 = 408;
inline constexpr std::size_t kKept412 = 412;
inline constexpr std::size_t kKept416 = 416;
inline constexpr std::size_t kCollation = 488;
inline constexpr std::size_t kKeptPageId = 612;
inline constexpr std::size_t kKeptFileId = 616;
// The system objects whose first page fixes the page shift, in the order they are tried.
inline constexpr std::int32_t kShiftObjectFirst = 7;
inline constexpr std::int32_t kShiftObjectSecond = 41;
}  // namespace boot_layout

// The server generation of a version number (" SQL Server 2008", ...); "Unknown SQL Version" otherwise.
std::string_view sql_version_text(std::uint16_t version);

// The database name as the scan reports it: the low byte of each UTF-16 unit up to the first zero byte,
// read as Windows-1252 text, cut before the first space unless that space comes first. Non-Latin names
// lose their characters; full_boot_name keeps them.
std::string boot_name_from_units(ByteSpan name_units);

// The name decoded as UTF-16 up to the first zero unit, with trailing padding (U+2020 and spaces) removed;
// unpaired surrogates become U+FFFD.
std::string full_boot_name(ByteSpan name_units);


// The collation key under which id is found: the id widened with its sign first, then its low 16 bits.
std::optional<std::int64_t> find_collation_key(const CollationTable& table, std::int32_t id);

class CBootPage final : public PrimaryRecordPage {
  public:
    // Takes a page buffer as read (8192 bytes and a terminator); a shorter buffer reads as zeros, leaving every field empty.
    // The boot record is read directly at its fixed offsets: no header, slot array or record list.
    explicit CBootPage(PageBuffer buffer);

    // The boot record's data from byte 100 to the end of the page.
    ByteSpan record_data() const;

    // Writes the version text and, when the collation is found in the state's table (automatic choice:
    // by the id read here; manual choice: by the chosen key), the collation fields. An automatic id that
    // is found only by its low 16 bits is kept as those 16 bits.
    void identify(EngineState& state, const ReadOptions& options);

    std::string database_name;
    std::string full_database_name;
    PageAddress kept_page{kPrimaryFileId, 0};
    std::uint16_t create_version = 0;
    std::uint16_t version = 0;
    std::uint32_t kept_136 = 0;
    std::uint32_t kept_412 = 0;
    std::uint32_t kept_416 = 0;
    std::uint32_t kept_132 = 0;
    std::uint16_t kept_408 = 0;
    std::int32_t collation_id = 0;
};

// What reading the boot page found, for displays.
struct BootPageSummary {
    bool found = false;
    std::int64_t page_shift = 0;
    std::uint64_t physical_page = 0;
    std::uint16_t version = 0;
    std::uint16_t create_version = 0;
    std::string version_text;
    std::string database_name;
    std::string full_database_name;
    std::int32_t raw_collation_id = 0;
    // As kept after the lookup: the low 16 bits when only those were found, or when nothing was found.
    std::int32_t collation_id = 0;
    bool collation_found = false;
};

// The page shift measured on the first page of system object 7 (else 41); 0 when neither has a page or
// that page's header cannot be read.
std::int64_t measure_page_shift(OpenedDatabase& db);

// Locates the boot page by physical position, sets the database name of db (cleared first) and writes the
// identification into the database's engine state. A position outside the primary file leaves the name
// empty and the state unchanged.
BootPageSummary read_boot_page(OpenedDatabase& db);

}  // namespace quenlow
