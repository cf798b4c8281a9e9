#pragma once
// Records in the compact (row- or page-compressed) format and the page's compression information.
//
// A compact record (offsets from the record start):
//
//   offset  | size           | field
//   --------+----------------+----------------------------------------------------------------------
//         0 |              1 | status byte A: bit 0 set = compact; bits 1-3 record type; bit 5 long
//           |                | data region present
//         1 |         1 or 2 | column count n: byte 1 when its bit 7 is clear, else
//           |                | (byte 1 & 7F) << 8 | byte 2
//      next |   ceil(n / 2)  | one 4-bit code per column, the first column in the low nibble
//      next | (n - 1) / 30   | short-data bytes of each 30-column cluster but the last (skipped)
//      next |   sum of codes | short data: the values of codes 2-9 and 12, in column order
//      next |                | long data region, when bit 5 is set:
//           |              1 |   flags, bit 0 set (two-byte offsets)
//           |              2 |   count of long values (= columns of code 10)
//           |  2 per value   |   end offset of each value from the first long data byte; bit 15 set =
//           |                |   stored elsewhere (a root or text pointer follows)
//           | (n - 1) / 30   |   long values of each cluster but the last (skipped)
//           |                |   the long values, each from the previous end (the first from 0)
//
// Column codes: 0 NULL; 1 empty (zero, empty string, bit 0; on a page with an anchor value for the column:
// that value); 2-9 a short value of code - 1 bytes; 10 the next long value; 11 bit 1; 12 a one-byte
// symbol of the page dictionary; 13-15 never written (the record is damaged).
//
// Compression information of a page-compressed page (type flag bit 7 of the header), at byte 96:
//
//   offset | size | field
//   -------+------+------------------------------------------------------------------------------
//       96 |    1 | flags: 02 anchor record present, 04 dictionary present
//       97 |    2 | change count (not read)
//       99 |    2 | end of the anchor record, from byte 96 (only with an anchor)
//     next |    2 | end of the dictionary, from byte 96 (only with a dictionary)
//     next |      | anchor record: a compact record, one value per column (NULL = no anchor)
//     next |      | dictionary (from the end of the anchor record): entry count n, n end offsets from
//          |      | the dictionary start, the entries (the first from 2 + 2n)
//
// On such a page a value of a column with an anchor value starts with a prefix length L: the value is the
// first L bytes of the anchor value followed by the rest of the stored bytes. Dictionary entries hold the
// stored form, prefix byte included, of the column that refers to them.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/record.h"

namespace quenlow {

class CPage;
class PrimaryRecordPage;

namespace compact_layout {
inline constexpr int kMaxColumns = 1024;
inline constexpr int kClusterColumns = 30;
inline constexpr std::uint8_t kLongRegionBit = 0x20;
inline constexpr std::uint8_t kTwoByteCount = 0x80;
inline constexpr std::int32_t kCodeNull = 0;
inline constexpr std::int32_t kCodeEmpty = 1;
inline constexpr std::int32_t kCodeLong = 10;
inline constexpr std::int32_t kCodeBitOne = 11;
inline constexpr std::int32_t kCodeSymbol = 12;
inline constexpr std::size_t kInfoStart = 96;
inline constexpr std::uint8_t kAnchorPresent = 0x02;
inline constexpr std::uint8_t kDictionaryPresent = 0x04;
}  // namespace compact_layout

// The anchor value of one column; `present` false when the column has none.
struct AnchorValue {
    bool present = false;
    ByteSpan bytes;
};

// What a page with page compression carries after its header (bytes 96 and on).
struct CompressionInfo {
    // Bytes 96..102 as found.
    std::array<std::byte, 7> raw{};
    bool has_anchor = false;
    bool has_dictionary = false;
    // The information could not be read (bounds, an unreadable anchor record): the page's compact records
    // cannot be rebuilt.
    bool damaged = false;
    // Bytes from byte 96 the information takes (its last end offset): the records start after them. 0
    // when the page carries none or it is damaged.
    std::size_t size = 0;
    std::unique_ptr<CPrimaryRecord> anchor;
    std::vector<AnchorValue> anchor_values;
    // Entries in order; an entry whose end offset is out of place ends the list.
    std::vector<ByteSpan> dictionary;
};

// Parses the record at `bytes` (max_length bytes at most) in the compact format into `record`; marks it
// invalid when its column count, codes or long data region do not fit.
void parse_compact_record(CPrimaryRecord& record, ByteSpan bytes, const CPage& page);

// Reads the compression information of a page whose header says it carries one.
void read_compression_info(ByteSpan page_bytes, const CPage& page, CompressionInfo& info);

// The anchor bytes in front of the value of column `column` (an index into the record's column entries).
ByteSpan compact_prefix(const CompressionInfo& info, std::size_t column, const CompactColumnEntry& entry);

// Fills the column entries of a valid compact record: NULL marks and each value's bytes with the page's
// anchor and dictionary applied. A page whose compression information is damaged leaves the record
// invalid.
void expand_compact_record(CPrimaryRecord& record, const PrimaryRecordPage& page);

}  // namespace quenlow
