#pragma once
// Hand-made pages of system tables for catalog tests: records of given fixed bytes and variable
// columns, put into data pages with a slot array, and the pages into a data file image.
//
//   CatalogImage image;
//   image.add(34, {encode_catalog_record({fixed_row, {utf16le("Orders")}})});
//   files.add_file("/db/x.mdf", image.bytes());
//
// Page 0 of an image is left zero (it cannot be read through an address); every page added gets the
// next position and, unless told otherwise, that position as its header page id.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quenlow::testing {

using Bytes = std::vector<std::byte>;

// Little-endian values written at offsets of a zero-filled buffer.
class FixedBytes {
  public:
    explicit FixedBytes(std::size_t size) : bytes_(size, std::byte{0}) {}

    template <typename T>
    FixedBytes& put(std::size_t offset, T value) {
        if (offset + sizeof(T) > bytes_.size()) bytes_.resize(offset + sizeof(T), std::byte{0});
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
        return *this;
    }
    FixedBytes& put_bytes(std::size_t offset, const Bytes& bytes);
    // Two ASCII characters, as the type code of an object row.
    FixedBytes& put_code(std::size_t offset, std::string_view code);
    const Bytes& bytes() const { return bytes_; }
    operator Bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// UTF-16LE units of a UTF-8 text (no terminator).
Bytes utf16le(std::string_view text);
Bytes utf16le(std::u16string_view units);

struct CatalogRecordSpec {
    Bytes fixed;                  // fixed-length data; empty: no fixed part
    std::vector<Bytes> variable;  // variable-length values in column order
    int record_type = 0;          // bits 1-3 of status byte A
    // Column count written after the fixed part; 0 means one more than the variable values.
    std::uint16_t column_count = 0;
};

// A record in the ordinary format: status bytes, fixed part, column count, null bitmap (all columns
// present), then the variable values when there are any.
Bytes encode_catalog_record(const CatalogRecordSpec& blueprint);

struct CatalogPageSpec {
    CatalogPageSpec(std::int32_t object_id, std::vector<Bytes> records)
        : object_id(object_id), records(std::move(records)) {}
    CatalogPageSpec& with_page_type(std::uint8_t type) {
        page_type = type;
        return *this;
    }
    CatalogPageSpec& with_file_id(std::uint16_t id) {
        file_id = id;
        return *this;
    }
    CatalogPageSpec& with_page_id(std::int32_t id) {
        page_id = id;
        return *this;
    }

    std::int32_t object_id = 0;
    std::vector<Bytes> records;
    std::uint8_t page_type = 1;
    std::uint16_t file_id = 1;
    std::optional<std::int32_t> page_id;  // default: the page's position
};

// One 8192-byte page: header, records from byte 96 on, slot array at the end.
Bytes build_catalog_page(const CatalogPageSpec& blueprint, std::int32_t page_id);

class CatalogImage {
  public:
    CatalogImage() : pages_(1, Bytes(8192, std::byte{0})) {}

    // Appends a page; returns its position.
    std::size_t add(const CatalogPageSpec& blueprint);
    std::size_t add(std::int32_t object_id, std::vector<Bytes> records) {
        return add(CatalogPageSpec(object_id, std::move(records)));
    }
    // Appends 8192 bytes as they are.
    std::size_t add_raw(Bytes page);
    Bytes& page(std::size_t position) { return pages_.at(position); }
    std::size_t page_count() const { return pages_.size(); }
    Bytes bytes() const;

  private:
    std::vector<Bytes> pages_;
};

}  // namespace quenlow::testing
