#include "tests/support/lob_builder.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/record_builder.h"

namespace quenlow::testing {

namespace {

constexpr std::size_t kHeader = 96;
constexpr std::size_t kLobHeader = 10;

void append_u16(Bytes& out, std::uint16_t v) {
    out.push_back(std::byte{static_cast<std::uint8_t>(v & 0xFF)});
    out.push_back(std::byte{static_cast<std::uint8_t>(v >> 8)});
}
void append_u32(Bytes& out, std::uint32_t v) {
    append_u16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    append_u16(out, static_cast<std::uint16_t>(v >> 16));
}
void append_u64(Bytes& out, std::uint64_t v) {
    append_u32(out, static_cast<std::uint32_t>(v));
    append_u32(out, static_cast<std::uint32_t>(v >> 32));
}

// Maximum, current and level, then the links; `size_width` is 8 (internal) or 4 (large root).
Bytes link_body(const std::vector<LobLinkSpec>& links, std::uint16_t level,
                std::optional<std::int16_t> declared, std::size_t gap, std::size_t size_width) {
    Bytes body;
    const auto count = static_cast<std::int16_t>(links.size());
    const std::int16_t current = declared.value_or(count);
    append_u16(body, static_cast<std::uint16_t>(std::max(current, count)));
    append_u16(body, static_cast<std::uint16_t>(current));
    append_u16(body, level);
    body.insert(body.end(), gap, std::byte{0});
    for (const LobLinkSpec& link : links) {
        if (size_width == 8)
            append_u64(body, static_cast<std::uint64_t>(link.size));
        else
            append_u32(body, static_cast<std::uint32_t>(link.size));
        append_u32(body, static_cast<std::uint32_t>(link.page.page_id));
        append_u16(body, link.page.file_id);
        append_u16(body, link.slot);
    }
    return body;
}

}  // namespace

Bytes lob_fragment(std::uint64_t blob_id, std::uint16_t lob_type, const Bytes& body) {
    Bytes out;
    out.push_back(std::byte{kLobFragmentStatus});
    out.push_back(std::byte{0});
    append_u16(out, static_cast<std::uint16_t>(4 + kLobHeader + body.size()));
    append_u64(out, blob_id);
    append_u16(out, lob_type);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes small_root_fragment(std::uint64_t blob_id, const Bytes& data, std::optional<std::uint16_t> declared) {
    Bytes body;
    append_u16(body, declared.value_or(static_cast<std::uint16_t>(data.size())));
    append_u32(body, 0);
    body.insert(body.end(), data.begin(), data.end());
    return lob_fragment(blob_id, 0, body);
}

Bytes data_fragment(std::uint64_t blob_id, const Bytes& data) {
    return lob_fragment(blob_id, 3, data);
}

Bytes internal_fragment(std::uint64_t blob_id, const std::vector<LobLinkSpec>& links, std::uint16_t level,
                        std::optional<std::int16_t> declared) {
    return lob_fragment(blob_id, 2, link_body(links, level, declared, 0, 8));
}

Bytes large_root_fragment(std::uint64_t blob_id, const std::vector<LobLinkSpec>& links, std::uint16_t type,
                          std::optional<std::int16_t> declared) {
    return lob_fragment(blob_id, type, link_body(links, 0, declared, 4, 4));
}

Bytes text_pointer(PageAddress page, std::uint16_t slot) {
    Bytes out(8, std::byte{0});
    append_u32(out, static_cast<std::uint32_t>(page.page_id));
    append_u16(out, page.file_id);
    append_u16(out, slot);
    return out;
}

Bytes root_item(std::uint8_t kind, const std::vector<LobLinkSpec>& links) {
    Bytes out(12, std::byte{0});
    out[0] = std::byte{kind};
    out[1] = std::byte{0};  // level
    for (const LobLinkSpec& link : links) {
        append_u32(out, static_cast<std::uint32_t>(link.size));
        append_u32(out, static_cast<std::uint32_t>(link.page.page_id));
        append_u16(out, link.page.file_id);
        append_u16(out, link.slot);
    }
    return out;
}

LobStore::LobStore(std::int32_t first_page, Layout layout, std::int32_t object_id, std::uint16_t file_id)
    : first_page_(first_page), layout_(layout), object_id_(object_id), file_id_(file_id) {}

LobLinkSpec LobStore::add_fragment(const Bytes& record) {
    const std::size_t room = kPageSize - kHeader;
    if (record.size() + 2 > room) throw std::invalid_argument("fragment record does not fit a page");
    if (pages_.empty() || pages_.back().used + record.size() + 2 * (pages_.back().records.size() + 1) > room)
        pages_.emplace_back();
    Page& page = pages_.back();
    page.records.push_back(record);
    page.used += record.size();
    const auto page_id = first_page_ + static_cast<std::int32_t>(pages_.size() - 1);
    return {{file_id_, page_id}, static_cast<std::uint16_t>(page.records.size() - 1), 0};
}

std::vector<LobLinkSpec> LobStore::add_data(const Bytes& value, std::size_t fragment_size) {
    std::vector<LobLinkSpec> links;
    const std::uint64_t blob = next_blob_id_++;
    for (std::size_t at = 0; at < value.size(); at += fragment_size) {
        const std::size_t n = std::min(fragment_size, value.size() - at);
        LobLinkSpec link =
            add_fragment(data_fragment(blob, Bytes(value.begin() + static_cast<std::ptrdiff_t>(at),
                                                   value.begin() + static_cast<std::ptrdiff_t>(at + n))));
        link.size = static_cast<std::int64_t>(at + n);
        links.push_back(link);
    }
    return links;
}

Bytes LobStore::text_pointer_value(const Bytes& value) {
    if (value.size() <= kSmallRootLimit) {
        const LobLinkSpec at = add_fragment(small_root_fragment(next_blob_id_++, value));
        return text_pointer(at.page, at.slot);
    }
    const std::vector<LobLinkSpec> links = add_data(value);
    const std::uint16_t type = layout_ == Layout::k2000 ? 4 : 5;
    const LobLinkSpec root = add_fragment(large_root_fragment(next_blob_id_++, links, type));
    return text_pointer(root.page, root.slot);
}

Bytes LobStore::in_row_root_value(const Bytes& value, std::size_t fragment_size) {
    return root_item(2, add_data(value, fragment_size));
}

std::vector<std::pair<std::int32_t, PageBuffer>> LobStore::pages() const {
    std::vector<std::pair<std::int32_t, PageBuffer>> out;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const auto page_id = first_page_ + static_cast<std::int32_t>(i);
        PageAssembler page(3, page_id, file_id_);
        page.object_id(object_id_);
        for (const Bytes& record : pages_[i].records) page.add_record(record);
        PageBuffer image = page.finish();
        store_le<std::uint16_t>(MutableByteSpan(image.data(), image.size()), 6, index_id_);
        out.emplace_back(page_id, std::move(image));
    }
    return out;
}

}  // namespace quenlow::testing
