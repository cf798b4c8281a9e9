#pragma once
// Little-endian loads over page bytes. Every on-disk integer is little-endian; values are loaded with
// memcpy so that no page byte is ever reinterpreted through a cast to a packed struct.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

namespace quenlow {

using ByteSpan = std::span<const std::byte>;
using MutableByteSpan = std::span<std::byte>;

static_assert(std::endian::native == std::endian::little, "the loaders assume a little-endian host");

namespace byte_reader_detail {
// The one unchecked copy; every caller below has proved that [p, p + sizeof(T)) lies inside its region.
template <typename T>
inline T copy_le(const std::byte* p) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}
}  // namespace byte_reader_detail

// True when `size` bytes starting at offset lie wholly inside bytes.
inline bool holds_range(ByteSpan bytes, std::size_t offset, std::size_t size) {
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

// Loads a T at offset of bytes; yields `fallback` when the value does not lie wholly inside bytes.
template <typename T>
inline T load_le_or(ByteSpan bytes, std::size_t offset, T fallback = T{}) {
    if (!holds_range(bytes, offset, sizeof(T))) return fallback;
    return byte_reader_detail::copy_le<T>(bytes.data() + offset);
}

// Loads a T at offset of region; yields 0 when the value does not lie wholly inside region.
template <typename T>
inline T load_le(ByteSpan region, std::size_t offset) {
    return load_le_or<T>(region, offset, T{});
}

// A cursor that refuses to read past the end of its region.
class ByteReader {
public:
    explicit ByteReader(ByteSpan bytes) : bytes_(bytes) {}

    std::size_t position() const { return pos_; }
    std::size_t size() const { return bytes_.size(); }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool seek(std::size_t pos) {
        if (pos > bytes_.size()) return false;
        pos_ = pos;
        return true;
    }

    template <typename T>
    std::optional<T> read() {
        if (sizeof(T) > remaining()) return std::nullopt;
        T value = byte_reader_detail::copy_le<T>(bytes_.data() + pos_);
        pos_ += sizeof(T);
        return value;
    }

    std::optional<ByteSpan> take(std::size_t n) {
        if (n > remaining()) return std::nullopt;
        ByteSpan out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

private:
    ByteSpan bytes_;
    std::size_t pos_ = 0;
};

}  // namespace quenlow
