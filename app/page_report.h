#pragma once
// The page inspector: one page of a data file laid out field by field, for the moments when a real file
// disagrees with the engine. Records are decoded here on their own, without the engine's record parser, so
// that a fault in that parser does not hide behind itself. Every offset is checked before it is read;
// a page of garbage gives lines such as "(out of page)" rather than a crash.
//
// A record in the fixed/variable format, as decoded here (offsets from the record's first byte):
//
//   +0  status byte A     bit 0 compressed format, bits 1-3 record type, bit 4 null bitmap,
//                         bit 5 variable columns, bit 6 versioning tag
//   +1  status byte B
//   +2  fixed-part end    offset of the column count (index records: the header's minimum length)
//   +4  fixed-length data
//   end column count, null bitmap (ceil(count / 8) bytes), variable-column count, one 2-byte end offset per
//       variable column (bit 15: complex column), then the variable data; a 14-byte versioning tag follows
//       when bit 6 is set.
// A forwarding stub (type 2) holds page id (+1, 4 bytes), file id (+5, 2 bytes) and slot (+7, 2 bytes).
//
// A record in the compact (row- or page-compressed) format, status bit 0 set:
//
//   +0  status byte A     bits 1-3 record type, bit 5 long data region
//   +1  column count      one byte; when its bit 7 is set, two: (byte 1 & 7F) << 8 | byte 2
//       column codes      4 bits per column, the first in the low nibble: 0 NULL, 1 empty, 2-9 a short
//                         value of code - 1 bytes, 10 long value, 11 bit 1, 12 dictionary symbol (1 byte)
//       cluster bytes     one per 30 columns but the last: the short data bytes of that cluster
//       short data        the short values and symbols in column order
//       long data region  flags (bit 0 set), value count, one 2-byte end offset per value counted from
//                         the first value byte (bit 15: stored elsewhere), one value count per cluster but
//                         the last, the values

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/application_state.h"
#include "engine/pages/byte_reader.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/page_address.h"

namespace quenlow {

struct InspectedField {
    // Byte offset of the field: within the page for header fields, within the record for record fields;
    // none for derived lines.
    std::optional<std::size_t> offset;
    std::string name;
    std::string value;
};

struct InspectedSlot {
    int slot = 0;
    std::uint16_t offset = 0;
    // Why the offset cannot hold a record ("empty", "inside the header", ...); empty when plausible.
    std::string note;
};

struct InspectedRecord {
    int slot = 0;
    std::uint16_t offset = 0;
    std::vector<InspectedField> fields;
    // The record's bytes as far as they could be delimited inside the page.
    std::vector<std::byte> bytes;
    // Set when the record's length could not be settled and bytes shows only a window of the page.
    std::string bytes_note;
};

struct PageInspection {
    PageAddress address;
    std::vector<InspectedField> header;
    // Why there is no slot array, or empty.
    std::string slot_note;
    std::vector<InspectedSlot> slots;
    bool with_records = false;
    std::vector<InspectedRecord> records;
};

// Inspects a page of 8192 bytes or more, read at address. Torn bits are repaired in place first, as every
// engine read does. A shorter buffer gives a header note and nothing else.
PageInspection inspect_page(MutableByteSpan page, PageAddress address, bool with_records);

// Decodes the record that slot names at offset of the page; header is consulted only for index records.
InspectedRecord inspect_record(ByteSpan page, int slot, std::uint16_t offset);

// Human-readable report of an inspection.
std::string render_page_inspection(const PageInspection& inspection);

// 16 bytes a line: decimal offset from first_offset, hex bytes in two groups of 8, printable ASCII.
std::string hex_dump(ByteSpan bytes, std::size_t first_offset = 0, const std::string& indent = "    ");

struct PageInspectionRequest {
    std::string path;
    std::uint16_t file_id = kPrimaryFileId;
    std::int32_t page_id = 0;
    bool with_records = false;
};

struct PageInspectionResult {
    enum class Status { kOk, kOpenFailed, kNoSuchFile, kPageRefused };
    Status status = Status::kOpenFailed;
    std::string error;
    std::optional<PageInspection> page;
};

// Opens the database at request.path (secondary files searched for when file id > 1), reads the page by
// address as the engine does and inspects it.
PageInspectionResult inspect_database_page(const PageInspectionRequest& request, ApplicationState& app,
                                           EngineEvents& events, FileSystem& files);

}  // namespace quenlow
