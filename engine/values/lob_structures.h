#pragma once
// The structures a LOB fragment holds, read from its LOB bytes (offsets from the blob id, see
// engine/pages/text_mix_page.h):
//
//   LOB type | class           | layout after blob id (0-7) and type (8-9)
//   ---------+-----------------+-------------------------------------------------------------------
//          0 | SmallRoot       | length n (16) at 10; 4 bytes; the data: n bytes from 16
//          2 | Internal        | maximum links (16) at 10; current links c (signed 16) at 12; level
//            |                 | (16) at 14; c links of 16 bytes from 16: size (64), page id (32),
//            |                 | file id (16), slot (16)
//          3 | LobSData        | the data: every byte from 10 on
//    4, 5, 6 | LargeRootYukon  | maximum links at 10, current links c at 12, level at 14, 4 bytes;
//            |                 | c links of 12 bytes from 20: size (32), page id (32), file id (16),
//            |                 | slot (16)
//
// Types 1 and 7, 8 (a fragment without structure) and anything above 8 are not read. Links are kept
// only as far as they lie wholly inside the LOB bytes, whatever count the structure declares.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/page_address.h"
#include "engine/values/text_conversion.h"

namespace quenlow {

enum LobType : std::uint16_t {
    kLobSmallRoot = 0,
    kLobInternal = 2,
    kLobData = 3,
    kLobLargeRootShiloh = 4,
    kLobLargeRoot = 5,
    kLobSuperLargeRoot = 6,
    kLobNone = 8,
};

namespace lob_structure_layout {
inline constexpr std::size_t kSmallRootLength = 10;
inline constexpr std::size_t kSmallRootData = 16;
inline constexpr std::size_t kMaxLinks = 10;
inline constexpr std::size_t kCurrentLinks = 12;
inline constexpr std::size_t kLevel = 14;
inline constexpr std::size_t kInternalLinks = 16;
inline constexpr std::size_t kInternalLinkSize = 16;
inline constexpr std::size_t kDataStart = 10;
inline constexpr std::size_t kLargeRootLinks = 20;
inline constexpr std::size_t kLargeRootLinkSize = 12;
// A small root or data fragment holds at most this many bytes.
inline constexpr std::size_t kMaxFragmentData = 8192;
}  // namespace lob_structure_layout

// Where a root or an internal node sends the reader next.
struct LobLink {
    std::int64_t size = 0;  // kept, not used to read
    PageAddress page;
    std::uint16_t slot = 0;
};

class LobStructureBase {
public:
    virtual ~LobStructureBase() = default;

    // The fragment's own data as 8-bit text in code_page (up to the first zero byte) and as hex
    // digits of its first `count` bytes; only data fragments have data of their own.
    virtual std::string text(CodePageConverters& converters, std::int32_t code_page) const;
    virtual std::string hex(std::size_t count) const;

    std::uint64_t blob_id = 0;
    std::uint16_t type = kLobNone;
};

class SmallRoot final : public LobStructureBase {
public:
    std::uint16_t declared_length = 0;
    // The declared bytes; empty when the length is 0, above 8192 or runs past the LOB bytes.
    ByteSpan data;
};

// A node of links: an internal node (16-byte links) or a large root (12-byte links).
class LinkNode : public LobStructureBase {
public:
    std::uint16_t max_links = 0;
    std::int16_t current_links = 0;
    std::uint16_t level = 0;
    // The declared links that lie inside the LOB bytes, in order.
    std::vector<LobLink> links;
};

class Internal final : public LinkNode {};
class LargeRootYukon final : public LinkNode {};

class LobSData final : public LobStructureBase {
public:
    std::string text(CodePageConverters& converters, std::int32_t code_page) const override;
    std::string hex(std::size_t count) const override;

    // Bytes 10 to the end of the LOB bytes.
    ByteSpan data;
};

// The structure of a fragment's LOB bytes (blob id first); null for a type that is not read or LOB
// bytes shorter than 10. A large root of 16 bytes or fewer after its type has no links.
std::unique_ptr<LobStructureBase> parse_lob_structure(ByteSpan lob_bytes);

}  // namespace quenlow
