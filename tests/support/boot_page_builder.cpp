#include "tests/support/boot_page_builder.h"

#include <algorithm>
#include <cstring>

#include "engine/pages/boot_page.h"
#include "engine/pages/page_header.h"

namespace quenlow::testing::boot {

namespace L = page_layout;
namespace B = boot_layout;

void write_page_header(std::span<std::byte> page, std::uint8_t type, std::int32_t object_id,
                       std::int32_t page_id, std::uint16_t file_id) {
    put_le<std::uint8_t>(page, L::kHeaderVersion, 1);
    put_le<std::uint8_t>(page, L::kType, type);
    put_le<std::int32_t>(page, L::kObjectId, object_id);
    put_le<std::int32_t>(page, L::kPageId, page_id);
    put_le<std::uint16_t>(page, L::kFileId, file_id);
}

std::vector<std::byte> build_boot_page(const BootRecord& record, std::int32_t page_id) {
    std::vector<std::byte> page(kPageSize, std::byte{0});
    write_page_header(page, kPageTypeBoot, 99, page_id);
    put_le<std::int16_t>(page, L::kSlotCount, 1);
    put_le<std::uint16_t>(page, kPageSize - 2, static_cast<std::uint16_t>(L::kHeaderSize));
    put_le<std::uint8_t>(page, L::kHeaderSize, 0x30);
    put_le<std::uint16_t>(page, B::kVersion, record.version);
    put_le<std::uint16_t>(page, B::kCreateVersion, record.create_version);
    for (std::size_t i = 0; i < B::kNameUnits; ++i) {
        char16_t unit = i < record.name.size() ? record.name[i] : (record.dagger_padding ? u'\u2020' : u'\0');
        put_le<std::uint16_t>(page, B::kName + 2 * i, static_cast<std::uint16_t>(unit));
    }
    put_le<std::int32_t>(page, B::kCollation, record.collation_id);
    put_le<std::int32_t>(page, B::kKeptPageId, record.kept_page.page_id);
    put_le<std::uint16_t>(page, B::kKeptFileId, record.kept_page.file_id);
    return page;
}

ImageBuilder::ImageBuilder(std::size_t page_count) : bytes_(page_count * kPageSize, std::byte{0}) {
    for (std::size_t p = 0; p < page_count; ++p)
        put_le<std::int32_t>(page(p), L::kPageId, static_cast<std::int32_t>(p));
}

std::span<std::byte> ImageBuilder::page(std::size_t index) {
    return std::span<std::byte>(bytes_).subspan(index * kPageSize, kPageSize);
}

void ImageBuilder::set_header(std::size_t index, std::uint8_t type, std::int32_t object_id,
                              std::int32_t page_id, std::uint16_t file_id) {
    write_page_header(page(index), type, object_id, page_id, file_id);
}

void ImageBuilder::put_page(std::size_t index, const std::vector<std::byte>& bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), kPageSize), page(index).begin());
}

void ImageDatabase::open(std::vector<std::byte> image, const std::string& path, const ReadOptions& options) {
    files.add_file(path, std::move(image));
    db = OpenedDatabase::open(path, options, {state, events, files});
}

}  // namespace quenlow::testing::boot
