#pragma once
// Helpers of the value formatter tests: stored forms of values, columns, and one call of the formatter
// over bytes that lie in a buffer of exactly their size (so that a read past them is caught under the
// address sanitizer).

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "engine/catalog/type_codes.h"
#include "engine/values/value_format.h"
#include "tests/support/page_builder.h"

namespace quenlow::testing {

template <typename T>
Bytes le(T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    Bytes out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes text_bytes(std::string_view text) {
    Bytes out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

// UTF-16LE bytes of code units.
inline Bytes utf16(std::initializer_list<char16_t> units) {
    Bytes out;
    for (char16_t u : units) {
        out.push_back(static_cast<std::byte>(u & 0xFF));
        out.push_back(static_cast<std::byte>(u >> 8));
    }
    return out;
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool is_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        // Continuation bytes after the lead byte, and the payload bits of the lead byte.
        const std::size_t n = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
        if (n == 0) return false;
        std::uint32_t cp = b & (0x3F >> n);
        if (text.size() - i - 1 < n) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

inline ColumnDescriptor column(std::string type_text, std::int32_t type_code, std::uint8_t precision = 0,
                               std::uint8_t scale = 0) {
    ColumnDescriptor c = make_column_descriptor("c", std::move(type_text), type_code);
    c.precision = precision;
    c.scale = scale;
    return c;
}

// A copy of the bytes in an allocation of exactly their size.
class ExactBuffer {
public:
    explicit ExactBuffer(const Bytes& bytes) : size_(bytes.size()), data_(new std::byte[bytes.size()]) {
        if (!bytes.empty()) std::memcpy(data_.get(), bytes.data(), bytes.size());
    }
    const std::byte* data() const { return size_ == 0 ? nullptr : data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::unique_ptr<std::byte[]> data_;
};

struct ValueFormatting {
    EngineState state;
    FormatContext context{state};

    // The text of `bytes` as a value of `c`, made the way the row decoder makes it: a variable value
    // reads its whole length; a fixed value may read all the bytes given (or `available` of them).
    std::string format(const ColumnDescriptor& c, const Bytes& bytes,
                       std::optional<std::int64_t> available = {}) {
        return format_marked(c, bytes, available).first;
    }
    // The same value's text and why it could not be read.
    std::pair<std::string, ValueDamage> format_marked(const ColumnDescriptor& c, const Bytes& bytes,
                                                      std::optional<std::int64_t> available = {}) {
        BitCursor cursor;
        ValueInfo info = make_value_info(c, c.type_code, cursor);
        if (info.variable) info.value_length = static_cast<std::int16_t>(bytes.size());
        info.available_bytes = available.value_or(static_cast<std::int64_t>(bytes.size()));
        ExactBuffer buffer(bytes);
        std::string out;
        const ValueDamage why = format_value_to(out, info, buffer.data(), c, context);
        return {out, why};
    }
};

}  // namespace quenlow::testing
