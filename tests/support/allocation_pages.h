#pragma once
// The pages of a built database that belong to no table: file header (0), PFS (1), GAM (2), SGAM (3),
// differential and minimal-log maps (6, 7), the boot page (9) and the IAM page of every user table.
//
// Allocation map pages hold two records: a header record (90 bytes of fixed data) and a bitmap record
// whose 7988 bytes of fixed data are one bit per extent, least significant bit first:
//   GAM   1 = the extent is free
//   SGAM  1 = a mixed extent that still has a free page
//   IAM   1 = the extent belongs to the table
// An IAM header record keeps, by fixed data offset, the start page of its interval at 36 (page id, file
// id) and eight single-page slots at 42 + 6k for pages that sit in mixed extents.
//
// The PFS page holds one record with one byte per page: 0x40 allocated, 0x20 in a mixed extent,
// 0x08 IAM page.
//
// The boot page record, by page offset (fixed data starts at 100): version 100, create version 102,
// database name 148 (UTF-16, blank-padded to 128 units), collation id 488, first page of the first
// system table 612 (page id) / 616 (file id).

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "engine/pages/data_file.h"
#include "tests/support/database_model.h"

namespace quenlow::testing {

inline constexpr std::size_t kIamHeaderFixed = 90;
inline constexpr std::size_t kBitmapFixed = 7988;
inline constexpr std::size_t kBootFixed = 1000;
inline constexpr std::size_t kPfsFixed = 8000;

// A PFS page image at page_id of file_id whose record holds bytes: one byte per page of its interval.
PageBuffer pfs_page(std::int32_t page_id, const std::vector<std::uint8_t>& bytes, std::uint16_t file_id = 1);

// Writes the pages above into image and adds them to written (which must already hold the table pages).
void write_allocation_pages(std::vector<std::byte>& image, const DatabaseModel& model,
                            std::set<std::int32_t>& written);

}  // namespace quenlow::testing
