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

// Loads a T from p without checks; callers have validated the range.
template <typename T>
inline T load_le(const std::byte* p) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

// Loads a T at offset of bytes; yields `fallback` when the value does not lie wholly inside bytes.
template <typename T>
inline T load_le_or(ByteSpan bytes, std::size_t offset, T fallback = T{}) {
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) return fallback;
    return load_le<T>(bytes.data() + offset);
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
        T value = load_le<T>(bytes_.data() + pos_);
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
