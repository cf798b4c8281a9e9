#include "engine/pages/allocation_map.h"

#include <limits>

#include "engine/pages/opened_database.h"

namespace quenlow {

namespace A = allocation_layout;

std::vector<PageAddress> extent_pages(const ExtentRange& extent) {
    std::vector<PageAddress> pages;
    if (extent.first.page_id > extent.last.page_id) return pages;
    const std::int64_t first = extent.first.page_id;
    const std::int64_t last = std::min<std::int64_t>(extent.last.page_id, first + A::kExtentPages - 1);
    for (std::int64_t id = first; id <= last; ++id)
        pages.push_back({extent.first.file_id, static_cast<std::int32_t>(id)});
    return pages;
}

ExtentAllocationMap::ExtentAllocationMap(PageBuffer buffer, OpenedDatabase& database)
    : PrimaryRecordPage(std::move(buffer), database), bitmap_(A::kIntervalExtents, 0) {
    expand_bitmap();
}

void ExtentAllocationMap::expand_bitmap() {
    const CPrimaryRecord* record = primary_record(1);
    if (record == nullptr || !record->has_fixed_part()) return;
    const std::size_t bytes = std::min(record->fixed_part.size(), A::kBitmapBytes);
    for (std::size_t k = 0; k < bytes; ++k) {
        const auto byte = std::to_integer<std::uint8_t>(record->fixed_part[k]);
        for (std::size_t j = 0; j < 8; ++j) bitmap_[8 * k + j] = (byte >> j) & 1u;
    }
    filled_ = 8 * bytes;
}

std::vector<ExtentRange> ExtentAllocationMap::allocated_extents(std::uint64_t extent_limit) const {
    std::vector<ExtentRange> extents;
    const std::int64_t interval_start =
        static_cast<std::int64_t>(header_.this_page.page_id) / A::kIntervalPages * A::kIntervalPages;
    const std::uint16_t file_id = header_.this_page.file_id;
    for (std::size_t i = 0; i < filled_ && i < extent_limit; ++i) {
        if (bitmap_[i] == 0) continue;
        const std::int64_t first = interval_start + A::kExtentPages * static_cast<std::int64_t>(i);
        const std::int64_t last = first + A::kExtentPages - 1;
        if (first < 0 || last > std::numeric_limits<std::int32_t>::max()) continue;
        extents.push_back(
            {0, {file_id, static_cast<std::int32_t>(first)}, {file_id, static_cast<std::int32_t>(last)}});
    }
    return extents;
}

std::vector<ExtentRange> ExtentAllocationMap::allocated_extents() const {
    return allocated_extents(database_ != nullptr ? database_->primary().extent_count : 0);
}

namespace {

// An address stored on disk as page id then file id; nothing when it does not lie within bytes.
std::optional<PageAddress> disk_address(ByteSpan bytes, std::size_t offset) {
    if (offset > bytes.size() || A::kDiskAddressSize > bytes.size() - offset) return std::nullopt;
    return PageAddress{load_le<std::uint16_t>(bytes, offset + 4),
                       load_le<std::int32_t>(bytes, offset)};
}

}  // namespace

IamPage::IamPage(PageBuffer buffer, OpenedDatabase& database)
    : ExtentAllocationMap(std::move(buffer), database) {
    const CPrimaryRecord* record = primary_record(0);
    if (record == nullptr || !record->has_fixed_part()) return;
    has_header_record_ = true;
    const ByteSpan fixed = record->fixed_part;
    IamHeader& h = iam_header_;
    h.sequence_number = load_le_or<std::uint32_t>(fixed, A::kIamSequence);
    h.status = load_le_or<std::uint16_t>(fixed, A::kIamStatus);
    h.object_id = load_le_or<std::int32_t>(fixed, A::kIamObjectId);
    h.index_id = load_le_or<std::uint16_t>(fixed, A::kIamIndexId);
    h.page_count = load_le_or<std::uint8_t>(fixed, A::kIamPageCount);
    if (auto start = disk_address(fixed, A::kIamStartPage)) h.start_page = *start;
    for (std::size_t k = 0; k < A::kIamSinglePageCount; ++k) {
        if (auto slot = disk_address(fixed, A::kIamSinglePages + A::kDiskAddressSize * k))
            h.single_pages[k] = *slot;
    }
}

std::unique_ptr<IamPage> read_iam_page(OpenedDatabase& database, PageAddress address) {
    auto raw = database.read_raw_page(address);
    if (!raw) return nullptr;
    return std::make_unique<IamPage>(std::move(*raw), database);
}

namespace {

// The bytes of a PFS page: the fixed part of its record at slot 0, from the end of the 4-byte record
// header to the fixed-part end the record gives. The record is read here rather than as a row because
// its fixed part is longer than any row's. Nothing when the page is not a PFS page or the record does
// not lie within the page.
std::vector<std::uint8_t> pfs_bytes(PageBuffer& page) {
    if (page.size() < kPageSize) return {};
    const CPage_Header header{MutableByteSpan(page.data(), kPageSize)};
    if (header.page_type != kPageTypePfs) return {};
    const auto slots = read_slot_array(ByteSpan(page.data(), kPageSize), header);
    if (!slots || slots->empty()) return {};
    const std::size_t offset = slots->front();
    if (offset < page_layout::kHeaderSize || offset > kPageSize - record_layout::kFixedStart) return {};
    const std::size_t fixed_end = load_le<std::uint16_t>(page, offset + record_layout::kFixedEnd);
    if (fixed_end <= record_layout::kFixedStart || fixed_end > kPageSize - offset) return {};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(fixed_end - record_layout::kFixedStart);
    for (std::size_t at = offset + record_layout::kFixedStart; at < offset + fixed_end; ++at)
        bytes.push_back(std::to_integer<std::uint8_t>(page[at]));
    return bytes;
}

}  // namespace

bool PageFreeSpace::known_free(PageAddress page) {
    if (page.page_id < 0) return false;
    const std::int64_t start = page.page_id / A::kPfsIntervalPages * A::kPfsIntervalPages;
    auto [it, added] = intervals_.try_emplace({page.file_id, start});
    std::vector<std::uint8_t>& bytes = it->second;
    if (added) {
        const PageAddress pfs{page.file_id, start == 0 ? A::kFirstPfsPage : static_cast<std::int32_t>(start)};
        if (auto raw = database_->read_raw_page(pfs)) bytes = pfs_bytes(*raw);
    }
    const auto at = static_cast<std::size_t>(page.page_id - start);
    return at < bytes.size() && (bytes[at] & A::kPfsAllocated) == 0;
}

}  // namespace quenlow
