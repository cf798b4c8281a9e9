#pragma once
// The 96-byte page header and the slot array.
//
//   +--------------------+---------------------------------------+--------------+
//   | header (96 bytes)  | records, growing towards the end ...  | slot array   |
//   +--------------------+---------------------------------------+--------------+
//   0                    96                            8192 - 2 * slot count  8192
//
// Header fields read, little-endian:
//
//   offset | size | field                      | notes
//   -------+------+----------------------------+---------------------------------------------------
//        0 |    1 | header version             |
//        1 |    1 | page type                  | 1 data, 2 index, 10 IAM; above 17 holds no records
//        2 |    1 | type flag bits             | 0x80: the page carries compression information
//        3 |    1 | level                      | index pages above level 0 give no records
//        4 |    2 | flag bits                  | 0x0100: torn bits present
//        6 |    2 | index id                   |
//        8 |    4 | previous page id           |
//       12 |    2 | previous page file id      |
//       14 |    2 | minimum record length      |
//       16 |    4 | next page id               |
//       20 |    2 | next page file id          |
//       22 |    2 | slot count                 |
//       24 |    4 | object id                  | 2005+: allocation unit object number; 2000: object id
//       28 |    2 | free count                 |
//       30 |    2 | free data offset           |
//       32 |    4 | page id                    | where the page belongs; compared with its position
//       36 |    2 | file id                    |
//       38 |    2 | reserved count             |
//       40 |    4 | LSN, first part            |
//       44 |    4 | LSN, second part           |
//       48 |    2 | LSN, third part (signed)   |
//       50 |    2 | transaction reserved count |
//       52 |    4 | transaction id, low part   |
//       56 |    2 | transaction id, high (sgn) |
//       58 |    2 | ghost record count         |
//       60 |    4 | torn bits                  | two bits per 512-byte sector
//
// Torn-page protection: when a page is written, the two low bits of the last byte of each 512-byte
// sector are swapped into the torn-bits word, so a half-written page shows mismatched bits. Reading puts
// them back: sector k (1..15) gets bits 2k..2k+1 of the word into the low bits of byte 512k + 511.
// Sector 0 holds the header itself and is left alone.
//
// Slot j (from 0) is the 16-bit record offset stored at byte 8190 - 2j.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/page_address.h"

namespace quenlow {

namespace page_layout {
inline constexpr std::size_t kHeaderSize = 96;
inline constexpr std::size_t kHeaderVersion = 0;
inline constexpr std::size_t kType = 1;
inline constexpr std::size_t kTypeFlagBits = 2;
inline constexpr std::size_t kLevel = 3;
inline constexpr std::size_t kFlagBits = 4;
inline constexpr std::size_t kIndexId = 6;
inline constexpr std::size_t kPrevPageId = 8;
inline constexpr std::size_t kPrevFileId = 12;
inline constexpr std::size_t kMinLen = 14;
inline constexpr std::size_t kNextPageId = 16;
inline constexpr std::size_t kNextFileId = 20;
inline constexpr std::size_t kSlotCount = 22;
inline constexpr std::size_t kObjectId = 24;
inline constexpr std::size_t kFreeCount = 28;
inline constexpr std::size_t kFreeData = 30;
inline constexpr std::size_t kPageId = 32;
inline constexpr std::size_t kFileId = 36;
inline constexpr std::size_t kReservedCount = 38;
inline constexpr std::size_t kLsn1 = 40;
inline constexpr std::size_t kLsn2 = 44;
inline constexpr std::size_t kLsn3 = 48;
inline constexpr std::size_t kXactReserved = 50;
inline constexpr std::size_t kXactLow = 52;
inline constexpr std::size_t kXactHigh = 56;
inline constexpr std::size_t kGhostCount = 58;
inline constexpr std::size_t kTornBits = 60;

inline constexpr std::uint16_t kTornBitsPresent = 0x0100;
inline constexpr std::size_t kSectorSize = 512;
inline constexpr int kMaxSlots = 4000;
}  // namespace page_layout

enum PageType : std::uint32_t {
    kPageTypeData = 1,
    kPageTypeIndex = 2,
    kPageTypeText = 3,
    kPageTypeTextTree = 4,
    kPageTypeGam = 8,
    kPageTypeSgam = 9,
    kPageTypeIam = 10,
    kPageTypePfs = 11,
    kPageTypeBoot = 13,
    kPageTypeFileHeader = 15,
    kPageTypeDiffMap = 16,
    kPageTypeMlMap = 17,
};

// Name of a page type for displays ("data", "IAM", ...); "type N" for others.
std::string page_type_name(std::uint32_t type);

class CPage_Header {
public:
    CPage_Header() = default;
    // Decodes the header of a page buffer of at least 8192 bytes, repairing torn bits in place first
    // when the page says it carries them. A shorter buffer yields the empty header.
    explicit CPage_Header(MutableByteSpan page);

    std::uint16_t free_count = 0;
    std::uint16_t free_data = 0;
    std::uint16_t flag_bits = 0;
    std::string lsn_text;
    std::int32_t object_id = 0;
    std::uint32_t page_type = 0;
    std::uint16_t min_len = 0;
    std::uint16_t index_id = 0;
    std::uint8_t type_flag_bits = 0;
    std::int16_t slot_count = 0;
    std::string transaction_text;
    std::uint16_t xact_reserved_count = 0;
    std::uint16_t reserved_count = 0;
    std::uint8_t level = 0;
    std::uint8_t header_version = 0;
    std::int16_t ghost_record_count = 0;
    PageAddress next_page{kPrimaryFileId, 0};
    PageAddress prev_page{kPrimaryFileId, 0};
    PageAddress this_page{kPrimaryFileId, 0};
    std::uint32_t torn_bits = 0;

    bool has_torn_bits() const { return (flag_bits & page_layout::kTornBitsPresent) != 0; }
    bool has_compression_info() const { return (type_flag_bits & 0x80) != 0; }
};

// Puts the torn bits back into the last byte of sectors 1..15. Does nothing unless the flag is set.
void repair_torn_bits(MutableByteSpan page);

// The record offsets of the slot array, or nothing when the slot count is not in 1..3999.
std::optional<std::vector<std::uint16_t>> read_slot_array(ByteSpan page, const CPage_Header& header);

}  // namespace quenlow
