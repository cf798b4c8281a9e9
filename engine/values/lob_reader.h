#pragma once
// Reads values stored on LOB pages: follows an in-row root, a large root or a text pointer to its
// fragments and joins them in order.
//
//   row item ──> fragment record on a LOB page ──> small root: its data
//                                                  data fragment: its data
//                                                  internal node / large root: each link in turn
//
// What one value becomes:
//   xml (pieces wanted)  each small root's and data fragment's bytes become a piece; the text is empty
//   Unicode columns      the fragments' bytes are joined first and decoded as UTF-16LE as a whole, so
//                        no character is cut at a fragment boundary or narrowed to 8 bits
//   binary columns       upper-case hex digits of each fragment, no prefix
//   sql_variant          each fragment without its 8-byte variant header, as 8-bit text
//   other columns        each fragment as 8-bit text up to its first zero byte, in the column's code
//                        page; a small root whose bytes are half zeros is UTF-16 and narrowed first
//
// Damaged structures end quickly: a fragment (file, page, slot) is read at most once per value, links
// are followed at most kMaxLobDepth levels deep, and a value stops growing at kMaxLobValueBytes. A page
// that cannot be read, a slot out of range, a null record or one without LOB bytes contributes nothing
// and marks the value cut (so does a link met twice or too deep, and a value past its limit); the stop
// flag ends every loop with what was read so far.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/page_owner.h"
#include "engine/values/large_value_reader.h"
#include "engine/values/text_conversion.h"

namespace quenlow {

class OpenedDatabase;

// Levels of links below the row's own item: the root's fragments are level 1.
inline constexpr int kMaxLobDepth = 16;
// Bytes one value may collect from its fragments.
inline constexpr std::uint64_t kMaxLobValueBytes = std::uint64_t{2} << 30;

class LobValueReader final : public LargeValueReader {
public:
    // The request's format context, when given, supplies the code page converters and the column's
    // code page; without one the reader converts with its own converters from code page 1252.
    std::string read_large_value(const LargeValueRequest& request, XmlPieces* pieces) override;
    std::string read_through_text_pointer(const LargeValueRequest& request, XmlPieces* pieces) override;

    // Reads fragments only from the pages of these allocation units (a table's own LOB pages); a pointer
    // to a page of another unit gives nothing. Without this call any page is read.
    void keep_to(TablePages pages) { pages_ = std::move(pages); }

    bool last_value_cut() const override { return cut_; }

private:
    CodePageConverters converters_;
    bool cut_ = false;
    std::optional<TablePages> pages_;
};

// The stored bytes of a value kept elsewhere, joined in fragment order (every small root's and data
// fragment's bytes); `item` is an in-row root, a large root or a 16-byte text pointer. Empty when
// nothing can be read.
std::vector<std::byte> read_large_value_bytes(OpenedDatabase& database, ByteSpan item);

}  // namespace quenlow
