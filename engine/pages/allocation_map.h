#pragma once
// Allocation bitmaps, IAM pages, and the walks that list a table's pages.
//
// A file is divided into extents of 8 pages. An allocation bitmap page covers one interval of 63,904
// extents (511,232 pages) starting at a multiple of 511,232 in its file; the interval of a page is the
// one holding the page itself. Its bitmap is the fixed part of the page's second record (slot 1): bit j
// (lowest bit first) of byte k stands for extent 8k + j of the interval.
//
// An IAM page (index allocation map, type 10) lists the pages of one table's allocation unit. Its first
// record (slot 0) is a header; by offset within that record's fixed part:
//
//   offset | size | field
//   -------+------+---------------------------------------------------------------
//        0 |    4 | sequence number of the page in its chain
//       14 |    2 | status
//       28 |    4 | object id
//       32 |    2 | index id
//       34 |    1 | count of single-page slots in use
//       36 |    6 | first page of the interval (page id, then file id)
//       42 |   48 | eight single-page slots, 6 bytes each (page id, then file id): pages allocated
//          |      | one at a time before the table had extents of its own
//
// Only the single-page slots are used; the rest is kept for inspection. IAM pages of one allocation
// unit are chained by the next-page pointer of their headers.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "engine/pages/page_address.h"
#include "engine/pages/page_owner.h"
#include "engine/pages/record_page.h"

namespace quenlow {

class OpenedDatabase;

namespace allocation_layout {
inline constexpr std::int64_t kExtentPages = 8;
inline constexpr std::size_t kIntervalExtents = 63904;
inline constexpr std::int64_t kIntervalPages = 511232;
inline constexpr std::size_t kBitmapBytes = kIntervalExtents / 8;

inline constexpr std::size_t kIamSequence = 0;
inline constexpr std::size_t kIamStatus = 14;
inline constexpr std::size_t kIamObjectId = 28;
inline constexpr std::size_t kIamIndexId = 32;
inline constexpr std::size_t kIamPageCount = 34;
inline constexpr std::size_t kIamStartPage = 36;
inline constexpr std::size_t kIamSinglePages = 42;
inline constexpr std::size_t kIamSinglePageCount = 8;
inline constexpr std::size_t kDiskAddressSize = 6;

inline constexpr std::int64_t kPfsIntervalPages = 8088;
inline constexpr std::int32_t kFirstPfsPage = 1;
inline constexpr std::uint8_t kPfsAllocated = 0x40;
}  // namespace allocation_layout

// One allocated extent: its first and last page.
struct ExtentRange {
    std::uint32_t reserved = 0;
    PageAddress first;
    PageAddress last;

    friend bool operator==(const ExtentRange&, const ExtentRange&) = default;
};

// The pages of an extent, first to last.
std::vector<PageAddress> extent_pages(const ExtentRange& extent);

class ExtentAllocationMap : public PrimaryRecordPage {
  public:
    // Builds the record page, then expands the bitmap.
    ExtentAllocationMap(PageBuffer buffer, OpenedDatabase& database);

    // One entry per extent of the interval, 0 or 1; entries past filled_entries() are 0.
    std::span<const std::uint8_t> bitmap() const { return bitmap_; }
    std::size_t filled_entries() const { return filled_; }

    // The extents whose bit is set, in bitmap order, among the first extent_limit entries.
    std::vector<ExtentRange> allocated_extents(std::uint64_t extent_limit) const;
    // As above, limited to the extent count of the database's primary file.
    std::vector<ExtentRange> allocated_extents() const;

  private:
    void expand_bitmap();

    std::vector<std::uint8_t> bitmap_;
    std::size_t filled_ = 0;
};

struct IamHeader {
    std::uint32_t sequence_number = 0;
    std::uint16_t status = 0;
    std::int32_t object_id = 0;
    std::uint16_t index_id = 0;
    std::uint8_t page_count = 0;
    PageAddress start_page{kPrimaryFileId, 0};
    // Addresses not read stay file 1, page 0.
    std::array<PageAddress, allocation_layout::kIamSinglePageCount> single_pages{};
};

class IamPage final : public ExtentAllocationMap {
  public:
    // Builds the allocation map, then reads the header record when the page has one.
    IamPage(PageBuffer buffer, OpenedDatabase& database);

    const IamHeader& iam_header() const { return iam_header_; }
    bool has_header_record() const { return has_header_record_; }

  private:
    IamHeader iam_header_;
    bool has_header_record_ = false;
};

// Reads and builds the IAM page at address; nothing when the address is refused.
std::unique_ptr<IamPage> read_iam_page(OpenedDatabase& database, PageAddress address);

// A page free space (PFS) page (type 11) keeps one byte per page: 0x40 while the page is allocated,
// 0x80 when it holds ghost records, 0x20 for a page of a mixed extent, 0x08 for an IAM page, the low
// bits its fill level. Every file has one at page 1 and then one at each multiple of 8088; each covers
// the 8088 pages of its interval (pages 0 to 8087 for page 1, else from its own page id on). The bytes
// are the fixed part of the page's record at slot 0, the first for the interval's first page.
//
// A page whose extent is allocated to a table can be free again and still hold its old records.
class PageFreeSpace {
  public:
    explicit PageFreeSpace(OpenedDatabase& database) : database_(&database) {}

    // True only when the PFS page of the page's interval reads, is of the PFS type, holds a byte for
    // the page, and that byte lacks the allocated bit: a damaged allocation page frees nothing. Each
    // PFS page is read once.
    bool known_free(PageAddress page);

  private:
    OpenedDatabase* database_;
    // Per file id and interval start: the bytes of the interval's PFS page; empty when it gave none.
    std::map<std::pair<std::uint16_t, std::int64_t>, std::vector<std::uint8_t>> intervals_;
};

// The walks take the table whose pages they list (owner; null: any page). A page of the walk whose
// header names another allocation unit is not the table's: the walk ends there.

// Lists the pages an IAM chain allocates: per IAM page its single-page slots, then its allocated
// extents page by page, leaving out the pages the PFS says are free. Later layouts follow the next-page
// pointers from start; the SQL Server 2000 layout visits the object's IAM pages as the page map lists
// them (legacy_iam_pages) and ignores the pointers. An IAM page met twice, an unreadable one, one of
// another owner, or the stop flag ends the walk.
//
// In the 2000 layout an unreadable IAM page or one of another owner is passed over (the next one of the
// list follows); later layouts cannot go on past it. `end`, when given, hears which IAM pages the walk
// read and where it could not go on (page id 0 when it ended where a chain ends).
struct IamWalkEnd {
    std::vector<PageAddress> visited;
    PageAddress broken_at{0, 0};
};
std::vector<PageAddress> walk_iam_chain(OpenedDatabase& database, PageAddress start,
                                        std::span<const PageMapEntry> legacy_iam_pages = {},
                                        const TablePages* owner = nullptr, IamWalkEnd* end = nullptr);

// Lists a chain of data pages from start by their next-page pointers, each page once; a page id met
// twice, an unreadable page, a page of another owner, or the stop flag ends the walk.
std::vector<PageAddress> walk_data_page_chain(OpenedDatabase& database, PageAddress start,
                                              const TablePages* owner = nullptr);

// Lists start, then the next page of every data page of the chain; a page id met twice, an unreadable
// header, a page of another owner (not listed), or the stop flag ends the walk. The stop flag is cleared
// afterwards: a stop only shortens the list.
std::vector<PageAddress> walk_header_chain(OpenedDatabase& database, PageAddress start,
                                           const TablePages* owner = nullptr);

}  // namespace quenlow
