#pragma once
// Page addresses and page map entries.
//
// In memory a page is addressed by (file id, page id): file id 1 is the primary data file, 2 and up are
// secondary files. On disk (page headers, records, IAM slots) the order is the other way round: a 4-byte
// page id followed by a 2-byte file id.

#include <compare>
#include <cstdint>

namespace quenlow {

inline constexpr std::size_t kPageSize = 8192;
inline constexpr std::uint16_t kPrimaryFileId = 1;

struct PageAddress {
    std::uint16_t file_id = kPrimaryFileId;
    std::int32_t page_id = 0;

    friend auto operator<=>(const PageAddress&, const PageAddress&) = default;
};

// One page of interest found by the mapping pass: where it physically is, what type it claims and the
// index id its header names (with the object id it is listed under, the header's allocation unit).
// The page index is the physical position counted from the file's leading offset; reading the entry back
// uses it as the page id, so entries address pages by where they are, not by what their header says.
struct PageMapEntry {
    std::uint16_t file_id = 0;
    std::uint32_t page_index = 0;
    std::uint32_t page_type = 0;
    std::uint16_t index_id = 0;

    PageAddress address() const { return {file_id, static_cast<std::int32_t>(page_index)}; }
    friend bool operator==(const PageMapEntry&, const PageMapEntry&) = default;
};

}  // namespace quenlow
