#pragma once
// Loads of short values: a value that holds fewer bytes than its type reads as if the missing high bytes
// were zero, and extra bytes are ignored.

#include <algorithm>
#include <cstring>
#include <span>
#include <type_traits>

namespace quenlow {

template <typename T>
T load_padded(std::span<const std::byte> bytes) {
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char buffer[sizeof(T)] = {};
    std::memcpy(buffer, bytes.data(), std::min(bytes.size(), sizeof(T)));
    T value;
    std::memcpy(&value, buffer, sizeof(T));
    return value;
}

}  // namespace quenlow
