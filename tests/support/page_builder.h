#pragma once
// Builders for 8192-byte pages and whole data file images, and the helpers that damage them.
//
// A page is built from a PageSpec (every header field the engine reads) plus records: records are laid
// one after another from byte 96 on, and the slot array is kept in step, slot j at byte 8190 - 2j.
// Header fields are written last, so raw bytes put into the header area are overwritten by the blueprint.
//
// A file image is pages in order, optionally with bytes in front of page 0 (a carved or shifted file)
// and behind the last page.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/page_address.h"

namespace quenlow::testing {

using Bytes = std::vector<std::byte>;

// Stores value little-endian at offset; throws when it does not fit (a bug in the test, not damage).
template <typename T>
void store_le(MutableByteSpan bytes, std::size_t offset, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) throw std::out_of_range("store_le");
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// Bytes from small integers: bytes_of({0x10, 0x00, 0xFF}).
Bytes bytes_of(std::initializer_list<int> values);
// n bytes of a fixed pseudo-random sequence (the same for the same seed on every platform).
Bytes random_bytes(std::size_t n, std::uint32_t seed);

struct PageSpec {
    std::uint8_t header_version = 1;
    std::uint8_t type = 1;
    std::uint8_t type_flag_bits = 0;
    std::uint8_t level = 0;
    std::uint16_t flag_bits = 0;
    std::uint16_t index_id = 0;
    PageAddress prev_page{0, 0};
    std::uint16_t min_len = 0;
    PageAddress next_page{0, 0};
    // Unset: the number of slots added to the builder.
    std::optional<std::int16_t> slot_count{};
    std::int32_t object_id = 0;
    // Unset: the gap between the end of the records and the start of the slot array.
    std::optional<std::uint16_t> free_count{};
    // Unset: the offset just after the last record.
    std::optional<std::uint16_t> free_data{};
    // Unset: 0 for a lone page, the page's position when added to a DataFileBuilder.
    std::optional<std::int32_t> page_id{};
    std::uint16_t file_id = 1;
    std::uint16_t reserved_count = 0;
    std::int32_t lsn_first = 0;
    std::int32_t lsn_second = 0;
    std::int16_t lsn_third = 0;
    std::uint16_t xact_reserved_count = 0;
    std::int32_t xact_low = 0;
    std::int16_t xact_high = 0;
    std::int16_t ghost_count = 0;
    std::uint32_t torn_bits = 0;
};

// Writes the header fields of blueprint into the first 96 bytes of page (slot count 0 when unset, free data
// 96, free count the whole body).
void write_header(MutableByteSpan page, const PageSpec& blueprint);

class PageBuilder {
  public:
    explicit PageBuilder(PageSpec blueprint = {});

    PageSpec& blueprint() { return spec_; }
    // Appends a record after the previous one and a slot that points at it; returns the slot index.
    std::size_t add_record(ByteSpan record);
    std::size_t add_record(std::initializer_list<int> record) { return add_record(bytes_of(record)); }
    // Appends a slot holding any offset, for slot arrays that point nowhere sensible.
    std::size_t add_slot(std::uint16_t offset);
    // Copies raw bytes into the page body at offset (header bytes are overwritten by build()).
    PageBuilder& put(std::size_t offset, ByteSpan bytes);
    std::size_t record_end() const { return end_; }

    Bytes build() const;

  private:
    PageSpec spec_;
    Bytes body_;
    std::vector<std::uint16_t> slots_;
    std::size_t end_;
};

// A page with only a header.
Bytes make_page(const PageSpec& blueprint);

class DataFileBuilder {
  public:
    // Adds a page of exactly 8192 bytes.
    DataFileBuilder& add_page(Bytes page);
    // Adds a header-only page; an unset page id becomes the page's position.
    DataFileBuilder& add_page(PageSpec blueprint);
    DataFileBuilder& add_zero_pages(std::size_t count);
    DataFileBuilder& prefix(Bytes bytes);
    DataFileBuilder& suffix(Bytes bytes);

    std::size_t page_count() const { return pages_.size(); }
    Bytes& page(std::size_t index) { return pages_.at(index); }

    Bytes image() const;
    // Writes the image to path, creating missing parent folders.
    void write(const std::filesystem::path& path) const;

  private:
    std::vector<Bytes> pages_;
    Bytes prefix_;
    Bytes suffix_;
};

void write_file(const std::filesystem::path& path, ByteSpan bytes);
Bytes read_file(const std::filesystem::path& path);

// Damage.
void flip_byte(Bytes& bytes, std::size_t offset, std::uint8_t mask = 0xFF);
// Zeroes page index of an image whose page 0 starts at leading_offset.
void zero_page(Bytes& image, std::size_t index, std::size_t leading_offset = 0);
void truncate(Bytes& bytes, std::size_t size);
void prepend_bytes(Bytes& bytes, std::size_t count, std::byte fill = std::byte{0xA5});
void append_bytes(Bytes& bytes, std::size_t count, std::byte fill = std::byte{0xA5});
// Applies torn-page protection the way a writer does: the two low bits of the last byte of each
// 512-byte sector move into the torn-bits word (sector k into bits 2k..2k+1), those bits on the page are
// replaced by a stamp (here their complement, so every protected byte changes), and flag 0x0100 is set.
// Sector 0 only contributes its bits; its byte is left as it is. Returns the torn-bits word.
std::uint32_t set_torn(MutableByteSpan page);

}  // namespace quenlow::testing
