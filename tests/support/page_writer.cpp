#include "tests/support/page_writer.h"

#include <cstring>
#include <stdexcept>

#include "engine/pages/page_header.h"

namespace quenlow::testing {

namespace L = page_layout;

namespace {

template <typename T>
void store(std::span<std::byte> page, std::size_t at, T value) {
    std::memcpy(page.data() + at, &value, sizeof(T));
}

template <typename T>
T fetch(std::span<const std::byte> page, std::size_t at) {
    T value;
    std::memcpy(&value, page.data() + at, sizeof(T));
    return value;
}

}  // namespace

void write_page(std::span<std::byte> page, const PageHeaderFields& h,
                const std::vector<std::vector<std::byte>>& records, std::span<const std::byte> info) {
    if (page.size() < kPageSize) throw std::length_error("a page has 8192 bytes");
    std::size_t used = info.size();
    for (const auto& r : records) used += r.size();
    if (records.size() >= 4000 || used + 2 * records.size() > kPageBody)
        throw std::length_error("records do not fit on one page");

    store<std::uint8_t>(page, L::kHeaderVersion, 1);
    store<std::uint8_t>(page, L::kType, h.type);
    store<std::uint8_t>(page, L::kLevel, h.level);
    store<std::uint8_t>(page, L::kTypeFlagBits, h.type_flag_bits);
    store<std::uint16_t>(page, L::kFlagBits, h.flag_bits);
    store<std::uint16_t>(page, L::kIndexId, h.index_id);
    store<std::int32_t>(page, L::kPrevPageId, h.prev.page_id);
    store<std::uint16_t>(page, L::kPrevFileId, h.prev.page_id == 0 ? 0 : h.prev.file_id);
    store<std::uint16_t>(page, L::kMinLen, h.min_len);
    store<std::int32_t>(page, L::kNextPageId, h.next.page_id);
    store<std::uint16_t>(page, L::kNextFileId, h.next.page_id == 0 ? 0 : h.next.file_id);
    store<std::uint16_t>(page, L::kSlotCount, static_cast<std::uint16_t>(records.size()));
    store<std::int32_t>(page, L::kObjectId, h.object_id);
    store<std::uint16_t>(page, L::kFreeCount,
                         static_cast<std::uint16_t>(kPageBody - used - 2 * records.size()));
    store<std::uint16_t>(page, L::kFreeData, static_cast<std::uint16_t>(kPageHeaderSize + used));
    store<std::int32_t>(page, L::kPageId, h.page_id);
    store<std::uint16_t>(page, L::kFileId, h.file_id);
    // A plausible log sequence number: the page id makes every page's different.
    store<std::uint32_t>(page, L::kLsn1, 20);
    store<std::uint32_t>(page, L::kLsn2, 100 + static_cast<std::uint32_t>(h.page_id));
    store<std::uint16_t>(page, L::kLsn3, 1);

    std::size_t offset = kPageHeaderSize;
    if (!info.empty()) std::memcpy(page.data() + offset, info.data(), info.size());
    offset += info.size();
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::memcpy(page.data() + offset, records[i].data(), records[i].size());
        store<std::uint16_t>(page, kPageSize - 2 - 2 * i, static_cast<std::uint16_t>(offset));
        offset += records[i].size();
    }
}

void apply_torn_bits(std::span<std::byte> page, std::uint8_t pattern) {
    std::uint32_t word = pattern & 3u;
    for (std::size_t k = 1; k < 16; ++k) {
        std::size_t at = L::kSectorSize * k + L::kSectorSize - 1;
        auto byte = static_cast<std::uint8_t>(page[at]);
        word |= static_cast<std::uint32_t>(byte & 3u) << (2 * k);
        page[at] = std::byte{static_cast<std::uint8_t>((byte & 0xFC) | (pattern & 3u))};
    }
    store<std::uint32_t>(page, L::kTornBits, word);
    store<std::uint16_t>(
        page, L::kFlagBits,
        static_cast<std::uint16_t>(fetch<std::uint16_t>(page, L::kFlagBits) | L::kTornBitsPresent));
}

}  // namespace quenlow::testing
