#pragma once
// Writes whole 8192-byte pages for the test database builder: the 96-byte header, records packed from
// byte 96 on, and the slot array growing backwards from the end of the page.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/pages/page_address.h"

namespace quenlow::testing {

inline constexpr std::size_t kPageHeaderSize = 96;
// Bytes available to records and slots on one page.
inline constexpr std::size_t kPageBody = 8192 - kPageHeaderSize;

struct PageHeaderFields {
    std::uint8_t type = 1;
    std::uint8_t level = 0;
    std::uint16_t flag_bits = 0;
    std::uint16_t index_id = 0;
    PageAddress prev{0, 0};
    PageAddress next{0, 0};
    std::uint16_t min_len = 0;
    std::int32_t object_id = 0;
    std::int32_t page_id = 0;
    std::uint16_t file_id = 1;
    // Bit 7 (80): the page carries compression information, written at byte 96 before the records.
    std::uint8_t type_flag_bits = 0;
};

// Records waiting for a page; tells whether one more fits.
class PageRecords {
  public:
    bool fits(std::size_t record_size) const {
        return records_.size() < 3999 && used_ + record_size + 2 * (records_.size() + 1) <= kPageBody;
    }
    // Compression information of a page-compressed page: placed at byte 96, before the records.
    std::vector<std::byte> info;
    void add(std::vector<std::byte> record) {
        used_ += record.size();
        records_.push_back(std::move(record));
    }
    bool empty() const { return records_.empty(); }
    std::size_t size() const { return records_.size(); }
    const std::vector<std::vector<std::byte>>& records() const { return records_; }

  private:
    std::vector<std::vector<std::byte>> records_;
    std::size_t used_ = 0;
};

// Writes the header and the records into page (8192 bytes, expected zero): slot count, free count and
// free data offset follow from the records. Throws std::length_error when they do not fit.
void write_page(std::span<std::byte> page, const PageHeaderFields& header,
                const std::vector<std::vector<std::byte>>& records, std::span<const std::byte> info = {});

// Torn-page protection as a writer applies it: the two low bits of the last byte of each sector 1..15
// move into the torn-bits word (bits 2k..2k+1) and the sector gets the write pattern instead; the
// header flag 0x0100 is set. Reading puts the saved bits back.
void apply_torn_bits(std::span<std::byte> page, std::uint8_t pattern = 1);

}  // namespace quenlow::testing
