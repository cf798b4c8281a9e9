#pragma once
// Builders for values stored on LOB pages: fragment records (small root, internal node, data, large
// root), the items a row keeps for them (text pointer, in-row root, large root item), and a store that
// lays fragments out on LOB pages (page type 3) and hands back those items.
//
//   LobStore store(/*first page*/ 20, Layout::k2005);
//   Bytes pointer = store.text_pointer_value(random_bytes(20000, 7));   // image, text, ntext
//   Bytes root = store.in_row_root_value(utf16_bytes("..."));         // varchar(max), ...
//   for (auto& [id, page] : store.pages()) ...
//
// Fragment record: status A 0x08 (record type 4), status B 0, end of fixed part = 4 + LOB bytes; LOB
// bytes = blob id (8), LOB type (2), then the type's part (engine/values/lob_structures.h).

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/pages/data_file.h"
#include "engine/pages/page_address.h"
#include "tests/support/database_recipe.h"
#include "tests/support/page_builder.h"

namespace quenlow::testing {

// Where a link or a root pointer leads. `size` is what the link records: the data fragment's
// cumulative end offset for roots.
struct LobLinkSpec {
    PageAddress page;
    std::uint16_t slot = 0;
    std::int64_t size = 0;
};

inline constexpr std::uint8_t kLobFragmentStatus = 0x08;
// The most data bytes the store puts into one data fragment.
inline constexpr std::size_t kLobDataFragmentSize = 8040;
// Values up to this size go into a small root under a text pointer.
inline constexpr std::size_t kSmallRootLimit = 64;

Bytes lob_fragment(std::uint64_t blob_id, std::uint16_t lob_type, const Bytes& body);
// Length n at 10, 4 zero bytes, the data; `declared` replaces the length written.
Bytes small_root_fragment(std::uint64_t blob_id, const Bytes& data,
                          std::optional<std::uint16_t> declared = {});
Bytes data_fragment(std::uint64_t blob_id, const Bytes& data);
// `declared` replaces the current link count written (the maximum is the larger of both).
Bytes internal_fragment(std::uint64_t blob_id, const std::vector<LobLinkSpec>& links, std::uint16_t level = 0,
                        std::optional<std::int16_t> declared = {});
// Type 5 (2005 and later) or 4 (SQL Server 2000).
Bytes large_root_fragment(std::uint64_t blob_id, const std::vector<LobLinkSpec>& links,
                          std::uint16_t type = 5, std::optional<std::int16_t> declared = {});

// 16 bytes: timestamp (zero), page id at 8, file id at 12, slot at 14.
Bytes text_pointer(PageAddress page, std::uint16_t slot);
// 12-byte header (byte 0 the kind: 2 in-row root, 4 large root), then one 12-byte pointer per link.
Bytes root_item(std::uint8_t kind, const std::vector<LobLinkSpec>& links);

class LobStore {
public:
    LobStore(std::int32_t first_page, Layout layout, std::int32_t object_id = 300, std::uint16_t file_id = 1);

    // Places a fragment record on the current page (a new page when it does not fit).
    LobLinkSpec add_fragment(const Bytes& record);
    // Stores bytes as data fragments of at most fragment_size bytes; links carry cumulative sizes.
    std::vector<LobLinkSpec> add_data(const Bytes& value, std::size_t fragment_size = kLobDataFragmentSize);

    // The item of a text, ntext or image value: a small root for short values, else a large root (type
    // 4 in the 2000 layout, 5 after) over data fragments.
    Bytes text_pointer_value(const Bytes& value);
    // The in-row root of a (max) value over data fragments.
    Bytes in_row_root_value(const Bytes& value, std::size_t fragment_size = kLobDataFragmentSize);

    // The LOB pages in order: (page id, image). Empty when nothing was stored.
    std::vector<std::pair<std::int32_t, PageBuffer>> pages() const;
    std::int32_t first_page() const { return first_page_; }
    // The index id in the headers of the pages (with the object id: the LOB unit they belong to).
    void set_index_id(std::uint16_t index_id) { index_id_ = index_id; }
    std::int32_t page_count() const { return static_cast<std::int32_t>(pages_.size()); }

private:
    struct Page {
        std::vector<Bytes> records;
        std::size_t used = 0;
    };
    std::int32_t first_page_;
    Layout layout_;
    std::int32_t object_id_;
    std::uint16_t index_id_ = 0;
    std::uint16_t file_id_;
    std::uint64_t next_blob_id_ = 1000;
    std::vector<Page> pages_;
};

}  // namespace quenlow::testing
