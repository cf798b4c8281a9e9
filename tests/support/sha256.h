#pragma once
// SHA-256 of a byte range or a whole file, as lower-case hex. The corpus manifest records one digest per
// uncompressed data file; the tests use it to prove a decompressed copy intact and unchanged by a read.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace quenlow::testing {

class Sha256 {
  public:
    Sha256();
    void update(std::span<const std::byte> bytes);
    // The digest of everything fed so far, as 64 lower-case hex digits. Ends the hash.
    std::string hex_digest();

  private:
    void compress(const std::uint8_t* block);

    std::uint32_t state_[8];
    std::uint8_t block_[64];
    std::size_t block_fill_ = 0;
    std::uint64_t total_bytes_ = 0;
};

std::string sha256_hex(std::span<const std::byte> bytes);
// Nothing when the file cannot be read.
std::optional<std::string> sha256_file(const std::filesystem::path& path);

}  // namespace quenlow::testing
