#pragma once
// LOB pages (page types 3, text mix, and 4, text tree) and the fragment records they hold.
//
// A value too large for its row lives in fragments on LOB pages; the row keeps a root or a text pointer
// that names (file, page, slot) of the fragments. A fragment record:
//
//   offset | size  | field
//   -------+-------+-----------------------------------------------------------------------------
//        0 |     1 | status byte A: record type in bits 1-3 (4 for fragments), null bitmap bit 4,
//          |       | variable columns bit 5, versioning bit 6
//        1 |     1 | status byte B
//        2 |     2 | end of the fixed part f (signed); the LOB bytes are the f - 4 bytes from offset 4
//
// LOB bytes, from record offset 4:
//
//   offset | size  | field
//   -------+-------+-----------------------------------------------------------------------------
//        0 |     8 | blob id
//        8 |     2 | LOB type: 0 small root, 2 internal node, 3 data, 4/5/6 large root
//       10 |   ... | the part of that type (engine/values/lob_structures.h)
//
// A record with fewer than 10 LOB bytes carries no structure; its LOB type reads as 8 (none).

#include <cstdint>
#include <memory>

#include "engine/pages/byte_reader.h"
#include "engine/pages/data_file.h"
#include "engine/pages/page_address.h"
#include "engine/pages/record.h"
#include "engine/pages/record_page.h"

namespace quenlow {

class OpenedDatabase;

namespace lob_layout {
inline constexpr std::size_t kLobStart = 4;
inline constexpr std::size_t kBlobId = 0;
inline constexpr std::size_t kLobType = 8;
// Blob id and LOB type; a fragment with fewer LOB bytes has no structure.
inline constexpr std::size_t kLobHeaderSize = 10;
inline constexpr std::uint16_t kLobTypeNone = 8;
}  // namespace lob_layout

class TextRecord final : public CRecord {
public:
    using CRecord::CRecord;

    bool versioning = false;
    bool status_b_is_one = false;
    std::uint64_t blob_id = 0;
    std::uint16_t lob_type = lob_layout::kLobTypeNone;
    // The LOB bytes (blob id first), a view into the page; empty when the record has none.
    ByteSpan lob_bytes;
    // LOB bytes after the 10-byte blob id and type; all LOB bytes when there are fewer than 10.
    std::int32_t lob_length = 0;

    bool has_lob_bytes() const { return !lob_bytes.empty(); }
};

// Parses the fragment record at the start of `bytes`, which runs to the end of the page (at most that
// many bytes are read). Always returns a record; without readable LOB bytes it has none.
std::unique_ptr<TextRecord> parse_text_record(ByteSpan bytes, const CPage& page);

class TextMixPage final : public RecordPage {
public:
    // Builds the header (torn bits repaired), the slot array and one TextRecord per slot; a slot whose
    // offset cannot start a record gives a null entry. The stop flag ends the record loop.
    TextMixPage(PageBuffer buffer, OpenedDatabase* database);

    // Record of slot i; null for a null entry or a slot past the list.
    const TextRecord* text_record(std::size_t i) const;
};

// Reads the LOB page at address. The page's own header says where it belongs: when its page id differs
// from the requested one by a shift, the page at requested - shift of the same file is read instead
// (the file's pages sit shifted against their ids). Nothing when either read is refused.
std::unique_ptr<TextMixPage> read_lob_page(OpenedDatabase& database, PageAddress address);

}  // namespace quenlow
