#include "tests/support/page_builder.h"

#include <algorithm>
#include <fstream>
#include <random>

#include "engine/pages/page_header.h"

namespace quenlow::testing {

namespace L = page_layout;

Bytes bytes_of(std::initializer_list<int> values) {
    Bytes out;
    out.reserve(values.size());
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
    // A fixed generator (not a distribution, whose output differs between standard libraries).
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::byte>(gen() >> 24);
    return out;
}

void write_header(MutableByteSpan page, const PageSpec& blueprint) {
    store_le<std::uint8_t>(page, L::kHeaderVersion, blueprint.header_version);
    store_le<std::uint8_t>(page, L::kType, blueprint.type);
    store_le<std::uint8_t>(page, L::kTypeFlagBits, blueprint.type_flag_bits);
    store_le<std::uint8_t>(page, L::kLevel, blueprint.level);
    store_le<std::uint16_t>(page, L::kFlagBits, blueprint.flag_bits);
    store_le<std::uint16_t>(page, L::kIndexId, blueprint.index_id);
    store_le<std::int32_t>(page, L::kPrevPageId, blueprint.prev_page.page_id);
    store_le<std::uint16_t>(page, L::kPrevFileId, blueprint.prev_page.file_id);
    store_le<std::uint16_t>(page, L::kMinLen, blueprint.min_len);
    store_le<std::int32_t>(page, L::kNextPageId, blueprint.next_page.page_id);
    store_le<std::uint16_t>(page, L::kNextFileId, blueprint.next_page.file_id);
    store_le<std::int16_t>(page, L::kSlotCount, blueprint.slot_count.value_or(0));
    store_le<std::int32_t>(page, L::kObjectId, blueprint.object_id);
    store_le<std::uint16_t>(page, L::kFreeCount,
                            blueprint.free_count.value_or(static_cast<std::uint16_t>(kPageSize - L::kHeaderSize)));
    store_le<std::uint16_t>(page, L::kFreeData, blueprint.free_data.value_or(L::kHeaderSize));
    store_le<std::int32_t>(page, L::kPageId, blueprint.page_id.value_or(0));
    store_le<std::uint16_t>(page, L::kFileId, blueprint.file_id);
    store_le<std::uint16_t>(page, L::kReservedCount, blueprint.reserved_count);
    store_le<std::int32_t>(page, L::kLsn1, blueprint.lsn_first);
    store_le<std::int32_t>(page, L::kLsn2, blueprint.lsn_second);
    store_le<std::int16_t>(page, L::kLsn3, blueprint.lsn_third);
    store_le<std::uint16_t>(page, L::kXactReserved, blueprint.xact_reserved_count);
    store_le<std::int32_t>(page, L::kXactLow, blueprint.xact_low);
    store_le<std::int16_t>(page, L::kXactHigh, blueprint.xact_high);
    store_le<std::int16_t>(page, L::kGhostCount, blueprint.ghost_count);
    store_le<std::uint32_t>(page, L::kTornBits, blueprint.torn_bits);
}

PageBuilder::PageBuilder(PageSpec blueprint) : spec_(std::move(blueprint)), body_(kPageSize), end_(L::kHeaderSize) {}

std::size_t PageBuilder::add_record(ByteSpan record) {
    const std::size_t slot_area = 2 * (slots_.size() + 1);
    if (record.size() > kPageSize - slot_area - end_) throw std::length_error("record does not fit the page");
    std::copy(record.begin(), record.end(), body_.begin() + static_cast<std::ptrdiff_t>(end_));
    std::size_t slot = add_slot(static_cast<std::uint16_t>(end_));
    end_ += record.size();
    return slot;
}

std::size_t PageBuilder::add_slot(std::uint16_t offset) {
    if (slots_.size() >= (kPageSize - L::kHeaderSize) / 2) throw std::length_error("slot array is full");
    slots_.push_back(offset);
    return slots_.size() - 1;
}

PageBuilder& PageBuilder::put(std::size_t offset, ByteSpan bytes) {
    if (offset > body_.size() || bytes.size() > body_.size() - offset) throw std::out_of_range("put");
    std::copy(bytes.begin(), bytes.end(), body_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

Bytes PageBuilder::build() const {
    Bytes page = body_;
    for (std::size_t j = 0; j < slots_.size(); ++j)
        store_le<std::uint16_t>(page, kPageSize - 2 - 2 * j, slots_[j]);
    PageSpec blueprint = spec_;
    if (!blueprint.slot_count) blueprint.slot_count = static_cast<std::int16_t>(slots_.size());
    if (!blueprint.free_data) blueprint.free_data = static_cast<std::uint16_t>(end_);
    if (!blueprint.free_count) blueprint.free_count = static_cast<std::uint16_t>(kPageSize - end_ - 2 * slots_.size());
    write_header(page, blueprint);
    return page;
}

Bytes make_page(const PageSpec& blueprint) {
    return PageBuilder(blueprint).build();
}

DataFileBuilder& DataFileBuilder::add_page(Bytes page) {
    if (page.size() != kPageSize) throw std::invalid_argument("a page is 8192 bytes");
    pages_.push_back(std::move(page));
    return *this;
}

DataFileBuilder& DataFileBuilder::add_page(PageSpec blueprint) {
    if (!blueprint.page_id) blueprint.page_id = static_cast<std::int32_t>(pages_.size());
    return add_page(make_page(blueprint));
}

DataFileBuilder& DataFileBuilder::add_zero_pages(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) pages_.emplace_back(kPageSize);
    return *this;
}

DataFileBuilder& DataFileBuilder::prefix(Bytes bytes) {
    prefix_ = std::move(bytes);
    return *this;
}

DataFileBuilder& DataFileBuilder::suffix(Bytes bytes) {
    suffix_ = std::move(bytes);
    return *this;
}

Bytes DataFileBuilder::image() const {
    Bytes out;
    out.reserve(prefix_.size() + pages_.size() * kPageSize + suffix_.size());
    out.insert(out.end(), prefix_.begin(), prefix_.end());
    for (const auto& p : pages_) out.insert(out.end(), p.begin(), p.end());
    out.insert(out.end(), suffix_.begin(), suffix_.end());
    return out;
}

void DataFileBuilder::write(const std::filesystem::path& path) const {
    write_file(path, image());
}

void write_file(const std::filesystem::path& path, ByteSpan bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    in.seekg(0, std::ios::end);
    Bytes out(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return out;
}

void flip_byte(Bytes& bytes, std::size_t offset, std::uint8_t mask) {
    bytes.at(offset) ^= static_cast<std::byte>(mask);
}

void zero_page(Bytes& image, std::size_t index, std::size_t leading_offset) {
    const std::size_t start = leading_offset + index * kPageSize;
    if (start > image.size() || kPageSize > image.size() - start) throw std::out_of_range("zero_page");
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(start), kPageSize, std::byte{0});
}

void truncate(Bytes& bytes, std::size_t size) {
    if (size < bytes.size()) bytes.resize(size);
}

void prepend_bytes(Bytes& bytes, std::size_t count, std::byte fill) {
    bytes.insert(bytes.begin(), count, fill);
}

void append_bytes(Bytes& bytes, std::size_t count, std::byte fill) {
    bytes.insert(bytes.end(), count, fill);
}

std::uint32_t set_torn(MutableByteSpan page) {
    if (page.size() < kPageSize) throw std::invalid_argument("set_torn needs a whole page");
    std::uint32_t torn = 0;
    for (std::size_t k = 0; k < kPageSize / L::kSectorSize; ++k) {
        auto& last = page[L::kSectorSize * k + L::kSectorSize - 1];
        const auto low = static_cast<std::uint32_t>(static_cast<std::uint8_t>(last) & 3u);
        torn |= low << (2 * k);
        if (k != 0) last = static_cast<std::byte>((static_cast<std::uint8_t>(last) & 0xFCu) | (~low & 3u));
    }
    store_le<std::uint32_t>(page, L::kTornBits, torn);
    const auto flags = load_le<std::uint16_t>(page, L::kFlagBits);
    store_le<std::uint16_t>(page, L::kFlagBits, static_cast<std::uint16_t>(flags | L::kTornBitsPresent));
    return torn;
}

}  // namespace quenlow::testing
