#include "engine/pages/page_header.h"

#include <fmt/format.h>

namespace quenlow {

namespace L = page_layout;

std::string page_type_name(std::uint32_t type) {
    switch (type) {
        case 0: return "empty";
        case kPageTypeData: return "data";
        case kPageTypeIndex: return "index";
        case kPageTypeText: return "text mix";
        case kPageTypeTextTree: return "text tree";
        case 7: return "sort";
        case kPageTypeGam: return "GAM";
        case kPageTypeSgam: return "SGAM";
        case kPageTypeIam: return "IAM";
        case kPageTypePfs: return "PFS";
        case kPageTypeBoot: return "boot";
        case kPageTypeFileHeader: return "file header";
        case kPageTypeDiffMap: return "differential map";
        case kPageTypeMlMap: return "bulk-logged map";
        default: return fmt::format("type {}", type);
    }
}

void repair_torn_bits(MutableByteSpan page) {
    if (page.size() < kPageSize) return;
    ByteSpan view(page.data(), page.size());
    auto flags = load_le<std::uint16_t>(view, L::kFlagBits);
    if ((flags & L::kTornBitsPresent) == 0) return;
    auto torn = load_le<std::uint32_t>(view, L::kTornBits);
    for (std::size_t k = 1; k < kPageSize / L::kSectorSize; ++k) {
        auto bits = static_cast<std::uint8_t>((torn >> (2 * k)) & 3u);
        auto& last = page[L::kSectorSize * k + L::kSectorSize - 1];
        last = static_cast<std::byte>((static_cast<std::uint8_t>(last) & 0xFCu) | bits);
    }
}

CPage_Header::CPage_Header(MutableByteSpan page) {
    if (page.size() < kPageSize) return;
    repair_torn_bits(page);
    const ByteSpan p = page;
    header_version = load_le<std::uint8_t>(p, L::kHeaderVersion);
    page_type = load_le<std::uint8_t>(p, L::kType);
    type_flag_bits = load_le<std::uint8_t>(p, L::kTypeFlagBits);
    level = load_le<std::uint8_t>(p, L::kLevel);
    flag_bits = load_le<std::uint16_t>(p, L::kFlagBits);
    index_id = load_le<std::uint16_t>(p, L::kIndexId);
    prev_page = {load_le<std::uint16_t>(p, L::kPrevFileId), load_le<std::int32_t>(p, L::kPrevPageId)};
    min_len = load_le<std::uint16_t>(p, L::kMinLen);
    next_page = {load_le<std::uint16_t>(p, L::kNextFileId), load_le<std::int32_t>(p, L::kNextPageId)};
    slot_count = load_le<std::int16_t>(p, L::kSlotCount);
    object_id = load_le<std::int32_t>(p, L::kObjectId);
    free_count = load_le<std::uint16_t>(p, L::kFreeCount);
    free_data = load_le<std::uint16_t>(p, L::kFreeData);
    this_page = {load_le<std::uint16_t>(p, L::kFileId), load_le<std::int32_t>(p, L::kPageId)};
    reserved_count = load_le<std::uint16_t>(p, L::kReservedCount);
    xact_reserved_count = load_le<std::uint16_t>(p, L::kXactReserved);
    ghost_record_count = load_le<std::int16_t>(p, L::kGhostCount);
    torn_bits = load_le<std::uint32_t>(p, L::kTornBits);
    lsn_text = fmt::format("( {} : {} : {} )", load_le<std::int32_t>(p, L::kLsn1),
                           load_le<std::int32_t>(p, L::kLsn2), load_le<std::int16_t>(p, L::kLsn3));
    transaction_text = fmt::format("( {} : {} )", load_le<std::int16_t>(p, L::kXactHigh),
                                   load_le<std::int32_t>(p, L::kXactLow));
}

std::optional<std::vector<std::uint16_t>> read_slot_array(ByteSpan page, const CPage_Header& header) {
    int n = header.slot_count;
    if (n <= 0 || n >= L::kMaxSlots || page.size() < kPageSize) return std::nullopt;
    std::vector<std::uint16_t> slots(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        slots[static_cast<std::size_t>(j)] = load_le<std::uint16_t>(page, kPageSize - 2 - 2 * j);
    }
    return slots;
}

}  // namespace quenlow
