#include "engine/values/lob_structures.h"

#include <algorithm>

#include "engine/pages/text_mix_page.h"
#include "engine/values/value_format.h"

namespace quenlow {

namespace S = lob_structure_layout;

std::string LobStructureBase::text(CodePageConverters&, std::int32_t) const {
    return {};
}

std::string LobStructureBase::hex(std::size_t) const {
    return {};
}

std::string LobSData::text(CodePageConverters& converters, std::int32_t code_page) const {
    std::string out;
    converters.append_utf8(out, until_zero_byte(data), code_page);
    return out;
}

std::string LobSData::hex(std::size_t count) const {
    return format_hex(data.first(std::min(count, data.size())), false);
}

namespace {

// Reads the declared links of a node that lie wholly inside g, `size` bytes each from `first`; the
// link's size field is `size_width` bytes, then page id, file id and slot.
void read_links(LinkNode& node, ByteSpan g, std::size_t first, std::size_t size, std::size_t size_width) {
    node.max_links = load_le<std::uint16_t>(g, S::kMaxLinks);
    node.current_links = load_le<std::int16_t>(g, S::kCurrentLinks);
    node.level = load_le<std::uint16_t>(g, S::kLevel);
    for (std::int32_t i = 0; i < node.current_links; ++i) {
        const std::size_t at = first + static_cast<std::size_t>(i) * size;
        if (at > g.size() || size > g.size() - at) break;
        LobLink link;
        link.size =
            size_width == 8 ? load_le<std::int64_t>(g, at) : load_le<std::int32_t>(g, at);
        link.page.page_id = load_le<std::int32_t>(g, at + size_width);
        link.page.file_id = load_le<std::uint16_t>(g, at + size_width + 4);
        link.slot = load_le<std::uint16_t>(g, at + size_width + 6);
        node.links.push_back(link);
    }
}

}  // namespace

std::unique_ptr<LobStructureBase> parse_lob_structure(ByteSpan g) {
    if (g.size() < lob_layout::kLobHeaderSize) return nullptr;
    const auto blob_id = load_le<std::uint64_t>(g, lob_layout::kBlobId);
    const auto type = load_le<std::uint16_t>(g, lob_layout::kLobType);
    std::unique_ptr<LobStructureBase> out;
    switch (type) {
        case kLobSmallRoot: {
            auto root = std::make_unique<SmallRoot>();
            root->declared_length = load_le_or<std::uint16_t>(g, S::kSmallRootLength);
            const std::size_t n = root->declared_length;
            if (n >= 1 && n <= S::kMaxFragmentData && g.size() >= S::kSmallRootData &&
                n <= g.size() - S::kSmallRootData)
                root->data = g.subspan(S::kSmallRootData, n);
            out = std::move(root);
            break;
        }
        case kLobInternal: {
            auto node = std::make_unique<Internal>();
            if (g.size() >= S::kInternalLinks)
                read_links(*node, g, S::kInternalLinks, S::kInternalLinkSize, 8);
            out = std::move(node);
            break;
        }
        case kLobData: {
            auto data = std::make_unique<LobSData>();
            data->data = g.subspan(S::kDataStart);
            out = std::move(data);
            break;
        }
        case kLobLargeRootShiloh:
        case kLobLargeRoot:
        case kLobSuperLargeRoot: {
            auto root = std::make_unique<LargeRootYukon>();
            // The links start 20 bytes in; a root whose bytes after the type end there has none.
            if (g.size() - lob_layout::kLobHeaderSize > 16)
                read_links(*root, g, S::kLargeRootLinks, S::kLargeRootLinkSize, 4);
            out = std::move(root);
            break;
        }
        default:
            return nullptr;
    }
    out->blob_id = blob_id;
    out->type = type;
    return out;
}

}  // namespace quenlow
