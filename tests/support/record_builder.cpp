#include "tests/support/record_builder.h"

#include <cstring>
#include <stdexcept>

#include "engine/pages/page_header.h"

namespace quenlow::testing {

namespace L = page_layout;

Bytes repeat_byte(std::uint8_t value, std::size_t count) {
    return Bytes(count, std::byte{value});
}

namespace {
template <typename T>
void put(Bytes& bytes, std::size_t offset, T value) {
    if (offset + sizeof(T) > bytes.size()) throw std::out_of_range("builder write past the end");
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}
}  // namespace

void put_u8(Bytes& bytes, std::size_t offset, std::uint8_t value) {
    put(bytes, offset, value);
}
void put_u16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    put(bytes, offset, value);
}
void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    put(bytes, offset, value);
}
void put_bytes(Bytes& bytes, std::size_t offset, const Bytes& value) {
    if (offset + value.size() > bytes.size()) throw std::out_of_range("builder write past the end");
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes build_record(const RecordSpec& blueprint) {
    Bytes out(4);
    put_u8(out, 0, blueprint.status_a);
    put_u8(out, 1, blueprint.status_b);
    const auto fixed_end = blueprint.fixed_end.value_or(static_cast<std::int16_t>(4 + blueprint.fixed.size()));
    put_u16(out, 2, static_cast<std::uint16_t>(fixed_end));
    out.insert(out.end(), blueprint.fixed.begin(), blueprint.fixed.end());
    out.resize(out.size() + 2);
    put_u16(out, out.size() - 2, blueprint.column_count);
    if (blueprint.status_a & 0x10) {
        Bytes bitmap = blueprint.null_bitmap;
        if (bitmap.empty()) bitmap.assign((blueprint.column_count + 7) / 8, std::byte{0});
        out.insert(out.end(), bitmap.begin(), bitmap.end());
    }
    if (blueprint.status_a & 0x20) {
        const std::size_t count_at = out.size();
        out.resize(out.size() + 2 + 2 * blueprint.variable.size());
        put_u16(out, count_at,
                blueprint.variable_count.value_or(static_cast<std::uint16_t>(blueprint.variable.size())));
        std::size_t end = out.size();
        for (std::size_t i = 0; i < blueprint.variable.size(); ++i) {
            end += blueprint.variable[i].data.size();
            auto written = static_cast<std::uint16_t>(static_cast<int>(end) + blueprint.end_offset_shift);
            if (blueprint.variable[i].complex) written |= 0x8000;
            put_u16(out, count_at + 2 + 2 * i, written);
        }
        for (const auto& v : blueprint.variable) out.insert(out.end(), v.data.begin(), v.data.end());
    }
    return out;
}

Bytes forwarding_stub(PageAddress target, std::int16_t slot) {
    Bytes out(9);
    put_u8(out, 0, record_status(2, false, false));
    put_u32(out, 1, static_cast<std::uint32_t>(target.page_id));
    put_u16(out, 5, target.file_id);
    put_u16(out, 7, static_cast<std::uint16_t>(slot));
    return out;
}

Bytes sparse_vector(const std::vector<std::pair<std::uint16_t, Bytes>>& entries) {
    const std::size_t n = entries.size();
    Bytes out(4 + 4 * n);
    put_u16(out, 0, 5);
    put_u16(out, 2, static_cast<std::uint16_t>(n));
    std::size_t end = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        put_u16(out, 4 + 2 * i, entries[i].first);
        end += entries[i].second.size();
        put_u16(out, 4 + 2 * n + 2 * i, static_cast<std::uint16_t>(end));
    }
    for (const auto& e : entries) out.insert(out.end(), e.second.begin(), e.second.end());
    return out;
}

PageAssembler::PageAssembler(std::uint8_t type, std::int32_t page_id, std::uint16_t file_id)
    : bytes_(kPageBufferSize, std::byte{0}) {
    put_u8(bytes_, L::kHeaderVersion, 1);
    put_u8(bytes_, L::kType, type);
    put_u32(bytes_, L::kPageId, static_cast<std::uint32_t>(page_id));
    put_u16(bytes_, L::kFileId, file_id);
    put_u32(bytes_, L::kObjectId, 200);
}

PageAssembler& PageAssembler::object_id(std::int32_t id) {
    put_u32(bytes_, L::kObjectId, static_cast<std::uint32_t>(id));
    return *this;
}
PageAssembler& PageAssembler::next_page(PageAddress a) {
    put_u32(bytes_, L::kNextPageId, static_cast<std::uint32_t>(a.page_id));
    put_u16(bytes_, L::kNextFileId, a.file_id);
    return *this;
}
PageAssembler& PageAssembler::prev_page(PageAddress a) {
    put_u32(bytes_, L::kPrevPageId, static_cast<std::uint32_t>(a.page_id));
    put_u16(bytes_, L::kPrevFileId, a.file_id);
    return *this;
}
PageAssembler& PageAssembler::ghost_count(std::int16_t count) {
    put_u16(bytes_, L::kGhostCount, static_cast<std::uint16_t>(count));
    return *this;
}
PageAssembler& PageAssembler::level(std::uint8_t level) {
    put_u8(bytes_, L::kLevel, level);
    return *this;
}
PageAssembler& PageAssembler::free_count(std::uint16_t count) {
    put_u16(bytes_, L::kFreeCount, count);
    return *this;
}
PageAssembler& PageAssembler::slot_count(std::int16_t count) {
    slot_count_ = count;
    return *this;
}

PageAssembler& PageAssembler::compression_info(const Bytes& info) {
    put_u8(bytes_, L::kTypeFlagBits, 0x80);
    add_unslotted(info);
    return *this;
}

std::uint16_t PageAssembler::add_record(const Bytes& record) {
    std::uint16_t at = add_unslotted(record);
    add_slot(at);
    return at;
}

std::uint16_t PageAssembler::add_unslotted(const Bytes& record) {
    const auto at = static_cast<std::uint16_t>(free_);
    put_bytes(bytes_, free_, record);
    free_ += record.size();
    return at;
}

void PageAssembler::add_slot(std::uint16_t offset) {
    slots_.push_back(offset);
}

void PageAssembler::put(std::size_t offset, const Bytes& bytes) {
    put_bytes(bytes_, offset, bytes);
}

PageBuffer PageAssembler::finish() const {
    PageBuffer out = bytes_;
    const std::size_t room = (kPageSize - free_) / 2;
    for (std::size_t j = 0; j < slots_.size() && j < room; ++j)
        put_u16(out, kPageSize - 2 - 2 * j, slots_[j]);
    put_u16(out, L::kSlotCount,
            static_cast<std::uint16_t>(slot_count_.value_or(static_cast<std::int16_t>(slots_.size()))));
    put_u16(out, L::kFreeData, static_cast<std::uint16_t>(free_));
    out[kPageSize] = std::byte{0};
    return out;
}

TestDatabase::TestDatabase(std::vector<PageBuffer> pages, const ReadOptions& options) {
    Bytes file;
    file.reserve(pages.size() * kPageSize);
    for (const PageBuffer& page : pages) {
        Bytes image(page.begin(),
                    page.begin() + static_cast<std::ptrdiff_t>(std::min(page.size(), kPageSize)));
        image.resize(kPageSize);
        file.insert(file.end(), image.begin(), image.end());
    }
    files_.add_file("/db/test.mdf", std::move(file));
    reopen(options);
}

OpenedDatabase& TestDatabase::reopen(const ReadOptions& options) {
    auto db = OpenedDatabase::open("/db/test.mdf", options, {state_, events_, files_});
    if (!db || !db->is_open()) throw std::runtime_error("test database did not open");
    opened_.push_back(std::move(db));
    return *opened_.back();
}

std::vector<PageBuffer> page_images(std::size_t count,
                                    std::vector<std::pair<std::size_t, PageBuffer>> pages) {
    std::vector<PageBuffer> out(count, PageBuffer(kPageBufferSize, std::byte{0}));
    for (auto& [index, page] : pages) {
        if (index >= count) throw std::out_of_range("page index past the page count");
        out[index] = std::move(page);
    }
    return out;
}

}  // namespace quenlow::testing
