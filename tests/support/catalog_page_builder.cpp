#include "tests/support/catalog_page_builder.h"

#include <stdexcept>

namespace quenlow::testing {

namespace {

constexpr std::size_t kPage = 8192;
constexpr std::size_t kHeader = 96;

template <typename T>
void store(Bytes& out, std::size_t offset, T value) {
    std::memcpy(out.data() + offset, &value, sizeof(T));
}

template <typename T>
void append(Bytes& out, T value) {
    const std::size_t at = out.size();
    out.resize(at + sizeof(T));
    store(out, at, value);
}

}  // namespace

FixedBytes& FixedBytes::put_bytes(std::size_t offset, const Bytes& bytes) {
    if (offset + bytes.size() > bytes_.size()) bytes_.resize(offset + bytes.size(), std::byte{0});
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

FixedBytes& FixedBytes::put_code(std::size_t offset, std::string_view code) {
    for (std::size_t i = 0; i < code.size(); ++i)
        put<std::uint8_t>(offset + i, static_cast<std::uint8_t>(code[i]));
    return *this;
}

Bytes utf16le(std::u16string_view units) {
    Bytes out;
    for (char16_t u : units) append<std::uint16_t>(out, u);
    return out;
}

Bytes utf16le(std::string_view text) {
    std::u16string units;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            n = 2;
        }
        for (std::size_t k = 1; k < n && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (cp >> 10));
            units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    return utf16le(std::u16string_view(units));
}

Bytes encode_catalog_record(const CatalogRecordSpec& blueprint) {
    const bool has_variable = !blueprint.variable.empty();
    const std::uint16_t columns =
        blueprint.column_count != 0 ? blueprint.column_count : static_cast<std::uint16_t>(blueprint.variable.size() + 1);
    Bytes out;
    append<std::uint8_t>(
        out, static_cast<std::uint8_t>((blueprint.record_type & 7) << 1 | 0x10 | (has_variable ? 0x20 : 0)));
    append<std::uint8_t>(out, 0);
    append<std::uint16_t>(out, static_cast<std::uint16_t>(4 + blueprint.fixed.size()));
    out.insert(out.end(), blueprint.fixed.begin(), blueprint.fixed.end());
    append<std::uint16_t>(out, columns);
    out.resize(out.size() + (columns + 7) / 8, std::byte{0});
    if (!has_variable) return out;
    append<std::uint16_t>(out, static_cast<std::uint16_t>(blueprint.variable.size()));
    std::size_t end = out.size() + 2 * blueprint.variable.size();
    for (const Bytes& value : blueprint.variable) {
        end += value.size();
        append<std::uint16_t>(out, static_cast<std::uint16_t>(end));
    }
    for (const Bytes& value : blueprint.variable) out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes build_catalog_page(const CatalogPageSpec& blueprint, std::int32_t page_id) {
    Bytes page(kPage, std::byte{0});
    store<std::uint8_t>(page, 0, 1);
    store<std::uint8_t>(page, 1, blueprint.page_type);
    store<std::uint16_t>(page, 22, static_cast<std::uint16_t>(blueprint.records.size()));
    store<std::int32_t>(page, 24, blueprint.object_id);
    store<std::int32_t>(page, 32, blueprint.page_id.value_or(page_id));
    store<std::uint16_t>(page, 36, blueprint.file_id);
    std::size_t at = kHeader;
    for (std::size_t i = 0; i < blueprint.records.size(); ++i) {
        const Bytes& record = blueprint.records[i];
        if (at + record.size() > kPage - 2 * (blueprint.records.size())) throw std::length_error("page overflow");
        std::copy(record.begin(), record.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
        store<std::uint16_t>(page, kPage - 2 - 2 * i, static_cast<std::uint16_t>(at));
        at += record.size();
    }
    store<std::uint16_t>(page, 30, static_cast<std::uint16_t>(at));
    store<std::uint16_t>(page, 28, static_cast<std::uint16_t>(kPage - at - 2 * blueprint.records.size()));
    return page;
}

std::size_t CatalogImage::add(const CatalogPageSpec& blueprint) {
    const std::size_t position = pages_.size();
    pages_.push_back(build_catalog_page(blueprint, static_cast<std::int32_t>(position)));
    return position;
}

std::size_t CatalogImage::add_raw(Bytes page) {
    page.resize(kPage, std::byte{0});
    pages_.push_back(std::move(page));
    return pages_.size() - 1;
}

Bytes CatalogImage::bytes() const {
    Bytes out;
    out.reserve(pages_.size() * kPage);
    for (const Bytes& page : pages_) out.insert(out.end(), page.begin(), page.end());
    return out;
}

}  // namespace quenlow::testing
