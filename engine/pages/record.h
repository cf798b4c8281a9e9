#pragma once
// Records as they sit on a page, and the record objects the row decoder reads.
//
// A record in the ordinary (not compressed) format:
//
//   offset       | size           | field
//   -------------+----------------+-------------------------------------------------------------------
//              0 |              1 | status byte A: bit 0 compact (compressed) format; bits 1-3 record
//                |                | type; bit 4 null bitmap present; bit 5 variable columns present;
//                |                | bit 6 versioning tag present
//              1 |              1 | status byte B
//              2 |              2 | end of the fixed part = offset of the column count (signed)
//              4 |     offset - 4 | fixed-length column data
//         offset |              2 | column count
//     offset + 2 | ceil(count/8)  | null bitmap, bit i (lowest bit first) set = column i is NULL
//           next |              2 | variable column count
//           next |  2 per column  | end offset of each variable value, from the record start;
//                |                | bit 15 set = complex value (stored elsewhere or a sparse vector)
//           next |                | variable data: each value runs from the previous end (the first
//                |                | from the end of the offset array) to its own end offset
//
// Record types (bits 1-3): 0 primary, 1 forwarded (a row moved to another page), 2 forwarding stub,
// 3 index record, 4 large-value fragment, 5 to 7 ghosts (6 is a deleted data row).
//
// Forwarding stub: byte 0 status, bytes 1-4 page id, bytes 5-6 file id, bytes 7-8 slot (signed) of the
// page that now holds the row.
//
// Forwarded record: an ordinary row whose last variable value (complex) points back at its stub:
//
//   offset | size | field
//   -------+------+--------------------------------
//        0 |    2 | kind, 0x0400
//        2 |    4 | page id of the stub
//        6 |    2 | file id
//        8 |    2 | slot
//
// Sparse column vector (a complex value whose first byte is 5):
//
//   offset  | size | field
//   --------+------+---------------------------------------------------------
//         0 |    2 | header
//         2 |    2 | entry count n (signed)
//         4 |   2n | column id of each entry
//    4 + 2n |   2n | end offset of each entry, from the start of the vector
//    4 + 4n |      | entry data, entry i from the previous end (the first from 4 + 4n) to its end
//
// Record objects keep views into the bytes they were parsed from. Those bytes belong to the page the
// record came from, so a record must not outlive its page; bytes that do not come from the page (a row
// reached through a forwarding stub lives on another page, which is released after the read) are owned
// by the record itself.

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <vector>

#include "engine/pages/byte_reader.h"

namespace quenlow {

class CPage;

namespace record_layout {
inline constexpr std::size_t kStatusA = 0;
inline constexpr std::size_t kStatusB = 1;
inline constexpr std::size_t kFixedEnd = 2;
inline constexpr std::size_t kFixedStart = 4;

inline constexpr std::uint8_t kCompactFormatBit = 0x01;
inline constexpr std::uint8_t kNullBitmapBit = 0x10;
inline constexpr std::uint8_t kVariableColumnsBit = 0x20;
inline constexpr std::uint8_t kVersioningBit = 0x40;
inline constexpr std::uint16_t kComplexBit = 0x8000;

inline constexpr std::size_t kStubPageId = 1;
inline constexpr std::size_t kStubFileId = 5;
inline constexpr std::size_t kStubSlot = 7;
inline constexpr std::size_t kStubSize = 9;

inline constexpr std::uint16_t kBackPointerKind = 0x0400;
inline constexpr std::size_t kBackPointerSize = 10;
inline constexpr std::size_t kBackPointerPageId = 2;
inline constexpr std::size_t kBackPointerFileId = 6;
inline constexpr std::size_t kBackPointerSlot = 8;

inline constexpr int kMaxColumns = 1023;
// A fixed part ending here or later does not fit a data row.
inline constexpr int kMaxFixedEnd = 8064;
// The longest row the body scan assumes when it parses at an arbitrary position.
inline constexpr int kMaxRowLength = 8060;
inline constexpr int kMaxValueLength = 8192;

// A stub whose target is again a stub is followed at most this many times; real files never chain
// stubs, so a longer chain is damage (or a loop) and leaves the stub unresolved.
inline constexpr int kMaxForwardingHops = 4;
// The fixed-part length that marks a forwarding stub that could not be followed.
inline constexpr std::int16_t kUnresolvedStub = -5;

inline constexpr std::uint8_t kSparseVectorMark = 5;
// A complex value of this length is a text pointer, never a sparse vector.
inline constexpr std::size_t kTextPointerSize = 16;
inline constexpr int kMaxSparseValue = 8060;
}  // namespace record_layout

enum RecordType : std::int32_t {
    kRecordPrimary = 0,
    kRecordForwarded = 1,
    kRecordForwardingStub = 2,
    kRecordIndex = 3,
    kRecordLargeFragment = 4,
    kRecordGhostIndex = 5,
    kRecordDeletedData = 6,
    kRecordGhostVersion = 7,
};

// One variable-length value of a record, or one entry of a sparse column vector.
struct ValueItem {
    // Position among the record's variable values; the column id for sparse entries; -1 when not set.
    std::int32_t column_index = -1;
    // The value's bytes; empty when the value was refused or is empty.
    ByteSpan data;
    std::int32_t length = 0;
    // The end offset had bit 15 set: the value is stored elsewhere or is a sparse vector.
    bool complex = false;
    // The end offset lies outside the record or before the value's start: the record names a value whose
    // bytes cannot be taken (an empty value is not refused).
    bool refused = false;

    bool has_data() const { return !data.empty(); }
};

struct SparseVector {
    // The entry count the vector declares; `values` holds the entries that could be read.
    std::int16_t declared_count = 0;
    std::vector<ValueItem> values;
};

// One column of a compact record after expansion: NULL mark, and the value's bytes in their compact form
// with the page's dictionary applied: the first prefix_size bytes of the column's anchor value (see
// compact_prefix) followed by value(). The row decoder rebuilds them by type. Kept to 16 bytes: a page
// holds one for every column of every record, and the decoder walks them all.
struct CompactColumnEntry {
    // Empty, with no prefix, for an empty value (zero, an empty string, bit 0).
    ByteSpan value() const { return {value_data, value_size}; }
    // The view lies in one page, so its size fits 16 bits.
    void set_value(ByteSpan bytes) {
        value_data = bytes.data();
        value_size = static_cast<std::uint16_t>(bytes.size());
    }

    const std::byte* value_data = nullptr;
    std::uint16_t value_size = 0;
    std::uint16_t prefix_size = 0;
    // A long value stored elsewhere: the index of its (complex) value item; -1 otherwise.
    std::int16_t long_value = -1;
    // The column's code from the record's description array (0 NULL, 1 empty, 2-9 bytes in the short
    // data plus one, 10 long, 11 a bit of value 1, 12 a dictionary symbol); set by the record parse.
    std::uint8_t code = 0;
    bool null_mark : 1 = false;
    // A bit column whose value is 1 (it has no bytes).
    bool bit_one : 1 = false;
    // The value cannot be rebuilt: a dictionary symbol past the dictionary, a prefix longer than the
    // anchor value.
    bool damaged : 1 = false;
};
static_assert(sizeof(CompactColumnEntry) <= 16);

// The parts of a record the row decoder reads. Empty views mean "not present".
class CRecord {
  public:
    // `memory` keeps the record's lists: the page's own storage for the records of its slots, so that a
    // page's records cost a few allocations, not a few each.
    CRecord(const CPage* page, std::uint16_t max_length,
            std::pmr::memory_resource* memory = std::pmr::get_default_resource())
        : values(memory), page(page), max_length(max_length), column_entries(memory) {}
    virtual ~CRecord() = default;

    std::int32_t type = 0;
    bool has_null_bitmap = false;
    bool compressed = false;
    bool invalid = false;
    bool has_variable_columns = false;
    bool ghost = false;
    ByteSpan fixed_part;
    // Length of the short-data region of a compact record.
    std::uint16_t short_data_length = 0;
    std::uint16_t column_count = 0;
    ByteSpan null_bitmap;
    // Count of variable values; for compact records the count of long values.
    std::uint16_t variable_column_count = 0;
    std::pmr::vector<ValueItem> values;
    // The record from its first byte to the end of its last variable value.
    ByteSpan whole;
    std::optional<SparseVector> sparse;
    const CPage* page = nullptr;
    // Parse position reached, in bytes from the record start.
    std::int32_t length = 0;
    // The most bytes the record may span.
    std::uint16_t max_length = 0;
    // One entry per column of a compact record: its code from the record parse, the rest filled by the
    // expansion.
    std::pmr::vector<CompactColumnEntry> column_entries;

    bool has_fixed_part() const { return !fixed_part.empty(); }
    bool is_null(std::size_t column) const {
        if (column / 8 >= null_bitmap.size()) return false;
        return ((std::to_integer<unsigned>(null_bitmap[column / 8]) >> (column % 8)) & 1u) != 0;
    }

    // Keeps bytes alive as long as the record (and its copies) and returns a view of them.
    ByteSpan adopt(std::vector<std::byte> bytes);

  private:
    std::vector<std::shared_ptr<const std::vector<std::byte>>> owned_;
};

class CPrimaryRecord : public CRecord {
  public:
    using CRecord::CRecord;

    // Fixed-part length as the record states it (end of fixed part - 4); kUnresolvedStub for a stub
    // that could not be followed.
    std::int16_t fixed_length = 0;
    bool versioning = false;
    bool status_b_is_one = false;
    // A forwarded record whose stub still names it: the row is read through the stub, so it is not a
    // row of its own at this place.
    bool reached_through_stub = false;
};

// Parses the record whose bytes start at record.front(); `record` runs to the end of the page. The
// record never reaches beyond max_length bytes nor beyond `record`. forwarding_hops counts the stubs
// already followed to get here. Always returns a record; its invalid flag tells whether it may be used.
std::unique_ptr<CPrimaryRecord> build_primary_record(ByteSpan record, const CPage& page,
                                                     std::uint16_t max_length, int forwarding_hops = 0);
// The same into a record made for the page with its max_length, fresh from its constructor.
void build_primary_record(CPrimaryRecord& out, ByteSpan record, const CPage& page, int forwarding_hops = 0);

// Deletes a record it owns. A record kept in its page's own storage (most records of a data page, made
// without an allocation each) is not owned and is left to the page.
struct RecordDeleter {
    bool owned = true;

    RecordDeleter() = default;
    explicit RecordDeleter(bool owns) : owned(owns) {}
    template <typename T>
    RecordDeleter(std::default_delete<T>) {}  // from a std::unique_ptr<T> that owned its record
    void operator()(CRecord* record) const {
        if (owned) delete record;
    }
};

// Where the back pointer of a forwarded record says its stub is: page and slot; nothing when the record
// carries no back pointer.
struct StubPlace {
    std::uint16_t file_id = 0;
    std::int32_t page_id = 0;
    std::int16_t slot = 0;
};
std::optional<StubPlace> back_pointer(const CRecord& forwarded);

// Whether the record bytes at the start of `record` are a forwarding stub naming file_id:page_id, slot.
bool stub_names(ByteSpan record, std::uint16_t file_id, std::int32_t page_id, std::int32_t slot);

struct ScanRecord {
    std::unique_ptr<CPrimaryRecord> record;
    // Bytes from the record start to the end of its last value; -1 when no record could be read.
    std::int32_t length = -1;
};

// The lighter parse of the deleted-record scan: no fixed part is kept, stubs are not followed, the record
// spans at most kMaxRowLength bytes. A compact record is parsed whole (its length is what the scan needs).
ScanRecord parse_record_for_scan(ByteSpan record, const CPage& page);

// Splits a sparse column vector into one item per entry; nothing when its entry count does not fit.
std::optional<SparseVector> split_sparse_vector(ByteSpan vector, const CPage& page);

}  // namespace quenlow
