#include "engine/values/lob_reader.h"

#include <memory>
#include <unordered_set>
#include <utility>

#include "engine/pages/opened_database.h"
#include "engine/pages/record.h"
#include "engine/pages/text_mix_page.h"
#include "engine/values/lob_structures.h"
#include "engine/values/value_format.h"

namespace quenlow {

namespace {

namespace S = lob_structure_layout;

// Root items: a 12-byte header, then 12-byte pointers: size (signed 32), page id (32), file id (16),
// slot (16).
constexpr std::size_t kRootHeader = 12;
constexpr std::size_t kRootPointerSize = 12;
constexpr std::size_t kRootPointerLength = 0;
constexpr std::size_t kRootPointerPageId = 4;
constexpr std::size_t kRootPointerFileId = 8;
constexpr std::size_t kRootPointerSlot = 10;
// A root pointer's file id above this is damage and is read as the primary file.
constexpr std::uint16_t kMaxRootFileId = 1000;
// Text pointer: timestamp (8), page id (32) at 8, file id (16) at 12, slot (16) at 14.
constexpr std::size_t kPointerPageId = 8;
constexpr std::size_t kPointerFileId = 12;
constexpr std::size_t kPointerSlot = 14;
constexpr std::size_t kVariantHeader = 8;
// sql_variant base types whose bytes are shown as hex: varbinary and binary.
constexpr std::uint8_t kVariantVarbinary = 165;
constexpr std::uint8_t kVariantBinary = 173;

// Where the fragments of one value go.
enum class Sink {
    kText,    // each fragment's text appended
    kBytes,   // the raw bytes joined (Unicode text, or the caller wants the bytes)
    kPieces,  // each fragment's bytes become a piece (xml)
};

// The read of one value: the fragments met so far, the last LOB page read (fragments of one value
// often share a page) and the limits that end a damaged structure.
class ValueRead {
public:
    ValueRead(OpenedDatabase& database, LargeValueFlags flags, Sink sink, XmlPieces* pieces,
              CodePageConverters& converters, std::int32_t code_page, std::int32_t fallback_code_page)
        : database_(database),
          flags_(flags),
          sink_(sink),
          pieces_(pieces),
          converters_(converters),
          code_page_(code_page),
          fallback_code_page_(fallback_code_page) {}

    bool stopped() const { return full_ || database_.state().stop_requested(); }
    // Some fragment of the value could not be read: a pointer that leads nowhere, a link met twice or
    // too deep, a fragment that is no LOB structure, or a value past its size limit. A read ended by the
    // stop flag is not cut.
    bool cut() const { return cut_ || full_; }

    // Fragments on pages of other allocation units than these give nothing (null: any page).
    void keep_to(const TablePages* pages) { pages_ = pages; }

    // Reads the fragment at (address, slot) and what it links to. True when the fragment record
    // exists and has LOB bytes.
    bool fragment(PageAddress address, std::uint16_t slot, bool variant, int depth) {
        if (stopped()) return false;
        if (depth > kMaxLobDepth) return broken();
        const std::uint64_t key = (std::uint64_t{address.file_id} << 48) |
                                  (std::uint64_t{static_cast<std::uint32_t>(address.page_id)} << 16) | slot;
        if (!visited_.insert(key).second) return broken();
        const std::shared_ptr<const TextMixPage> page = lob_page(address);
        if (!page || (pages_ != nullptr && !pages_->owns(page->header()))) return broken();
        const TextRecord* record = page->text_record(slot);
        if (record == nullptr || !record->has_lob_bytes()) return broken();
        structure(*record, variant, depth);
        return true;
    }

    std::string text() {
        if (sink_ != Sink::kBytes) return std::move(text_);
        std::string out;
        append_utf16_text(out, bytes_);
        return out;
    }
    std::vector<std::byte> bytes() { return std::move(bytes_); }

private:
    std::shared_ptr<const TextMixPage> lob_page(PageAddress address) {
        if (page_ && page_address_ == address) return page_;
        page_ = read_lob_page(database_, address);
        page_address_ = address;
        return page_;
    }

    bool broken() {
        if (!database_.state().stop_requested()) cut_ = true;
        return false;
    }

    // Counts n more bytes against the value's limit; false (and the read ends) when they do not fit.
    bool take(std::size_t n) {
        if (n > kMaxLobValueBytes - total_) {
            full_ = true;
            return false;
        }
        total_ += n;
        return true;
    }

    void structure(const TextRecord& record, bool variant, int depth) {
        if (record.lob_type == lob_layout::kLobTypeNone) return static_cast<void>(broken());
        const std::unique_ptr<LobStructureBase> s = parse_lob_structure(record.lob_bytes);
        if (!s) return static_cast<void>(broken());
        switch (s->type) {
            case kLobSmallRoot: {
                const auto& root = static_cast<const SmallRoot&>(*s);
                // A length the fragment does not hold leaves no data.
                if (root.data.empty() && root.declared_length != 0) broken();
                small_root(root.data, variant);
                break;
            }
            case kLobData:
                data(static_cast<const LobSData&>(*s), variant);
                break;
            case kLobInternal:
            case kLobLargeRootShiloh:
            case kLobLargeRoot:
            case kLobSuperLargeRoot:
                // The links are copies: the page they came from may be replaced while they are read.
                for (const LobLink& link : static_cast<const LinkNode&>(*s).links) {
                    if (stopped()) break;
                    fragment(link.page, link.slot, false, depth + 1);
                }
                break;
            default:
                broken();
                break;
        }
    }

    // Bytes that go to a piece or to the joined bytes; true when taken there.
    bool collect(ByteSpan data) {
        if (sink_ == Sink::kText) return false;
        if (!take(data.size())) return true;
        if (sink_ == Sink::kPieces) {
            if (data.size() < S::kMaxFragmentData && pieces_ != nullptr)
                pieces_->emplace_back(data.begin(), data.end());
        } else {
            bytes_.insert(bytes_.end(), data.begin(), data.end());
        }
        return true;
    }

    void append_8bit(ByteSpan bytes) {
        converters_.append_utf8(text_, until_zero_byte(bytes), code_page_, fallback_code_page_);
    }

    void small_root(ByteSpan data, bool variant) {
        if (data.empty() || collect(data) || !take(data.size())) return;
        if (flags_.binary) {
            append_hex(text_, data, false);
            return;
        }
        std::vector<std::byte> copy(data.begin(), data.end());
        std::size_t n = copy.size();
        std::size_t zeros = 0;
        for (std::byte b : copy) zeros += b == std::byte{0} ? 1 : 0;
        // Exactly half zeros: UTF-16 text, narrowed to its low bytes.
        if (n / 2 > 0 && zeros == n / 2) {
            for (std::size_t i = 0; i < n / 2; ++i) copy[i] = copy[2 * i];
            n /= 2;
        }
        const ByteSpan value(copy.data(), n);
        if (variant) {
            if (n <= kVariantHeader) return;
            const auto base_type = std::to_integer<std::uint8_t>(value[0]);
            if (base_type == kVariantVarbinary || base_type == kVariantBinary)
                append_hex(text_, value.subspan(kVariantHeader), false);
            else
                append_8bit(value.subspan(kVariantHeader));
            return;
        }
        append_8bit(value);
    }

    void data(const LobSData& fragment, bool variant) {
        const ByteSpan data = fragment.data;
        if (data.size() > S::kMaxFragmentData) return static_cast<void>(broken());
        if (data.empty()) return;
        if (collect(data) || !take(data.size())) return;
        if (variant) {
            if (data.size() > kVariantHeader) append_8bit(data.subspan(kVariantHeader));
        } else if (flags_.binary) {
            text_ += fragment.hex(data.size());
        } else {
            text_ += fragment.text(converters_, code_page_);
        }
    }

    OpenedDatabase& database_;
    const LargeValueFlags flags_;
    const Sink sink_;
    XmlPieces* pieces_;
    CodePageConverters& converters_;
    const std::int32_t code_page_;
    const std::int32_t fallback_code_page_;

    std::string text_;
    std::vector<std::byte> bytes_;
    std::unordered_set<std::uint64_t> visited_;
    std::uint64_t total_ = 0;
    bool full_ = false;
    bool cut_ = false;
    const TablePages* pages_ = nullptr;
    std::shared_ptr<const TextMixPage> page_;
    PageAddress page_address_;
};

// Reads every pointer of an in-row root or large root item at level 1.
void read_root(ValueRead& read, ByteSpan item, bool variant) {
    for (std::size_t d = kRootHeader; d < item.size() && item.size() - d >= kRootPointerSize;
         d += kRootPointerSize) {
        if (read.stopped()) break;
        const ByteSpan p = item.subspan(d, kRootPointerSize);
        if (load_le<std::int32_t>(p, kRootPointerLength) <= 0) continue;
        PageAddress address;
        address.page_id = load_le<std::int32_t>(p, kRootPointerPageId);
        address.file_id = load_le<std::uint16_t>(p, kRootPointerFileId);
        if (address.file_id > kMaxRootFileId) address.file_id = kPrimaryFileId;
        read.fragment(address, load_le<std::uint16_t>(p, kRootPointerSlot), variant, 1);
    }
}

// Reads the fragment a text pointer names; true when its record has LOB bytes.
bool read_pointer(ValueRead& read, ByteSpan item, bool variant) {
    if (item.size() < record_layout::kTextPointerSize) return false;
    PageAddress address;
    address.page_id = load_le<std::int32_t>(item, kPointerPageId);
    address.file_id = load_le<std::uint16_t>(item, kPointerFileId);
    return read.fragment(address, load_le<std::uint16_t>(item, kPointerSlot), variant, 1);
}

Sink sink_for(const LargeValueFlags& flags, const XmlPieces* pieces) {
    if (pieces != nullptr) return Sink::kPieces;
    return flags.unicode ? Sink::kBytes : Sink::kText;
}

}  // namespace

namespace {

// The read of one value with the request's conversion settings: the decoder's converters and the
// column's code page when the request brings a format context.
ValueRead value_read(const LargeValueRequest& request, XmlPieces* pieces, CodePageConverters& own) {
    const FormatContext* format = request.format;
    if (format == nullptr)
        return ValueRead(*request.database, request.flags, sink_for(request.flags, pieces), pieces, own,
                         kBuiltinCodePage, kBuiltinCodePage);
    const std::int32_t code_page =
        request.column != nullptr ? column_code_page(*request.column, *format) : database_code_page(*format);
    return ValueRead(*request.database, request.flags, sink_for(request.flags, pieces), pieces,
                     format->converters, code_page, format->ansi_code_page);
}

}  // namespace

std::string LobValueReader::read_large_value(const LargeValueRequest& request, XmlPieces* pieces) {
    cut_ = false;
    if (request.database == nullptr) return {};
    ValueRead read = value_read(request, pieces, converters_);
    read.keep_to(pages_ ? &*pages_ : nullptr);
    read_root(read, request.item, request.flags.variant);
    cut_ = read.cut();
    return read.text();
}

std::string LobValueReader::read_through_text_pointer(const LargeValueRequest& request, XmlPieces* pieces) {
    cut_ = false;
    if (request.database == nullptr) return {};
    ValueRead read = value_read(request, pieces, converters_);
    read.keep_to(pages_ ? &*pages_ : nullptr);
    const bool had_bytes = read_pointer(read, request.item, request.flags.variant);
    std::string text = read.text();
    cut_ = read.cut() || (!had_bytes && !read.stopped());
    // A fragment that exists but holds nothing readable shows one blank.
    if (had_bytes && text.empty()) text.push_back(' ');
    return text;
}

std::vector<std::byte> read_large_value_bytes(OpenedDatabase& database, ByteSpan item) {
    CodePageConverters unused;
    LargeValueFlags flags;
    ValueRead read(database, flags, Sink::kBytes, nullptr, unused, kBuiltinCodePage, kBuiltinCodePage);
    const bool pointer =
        item.size() == record_layout::kTextPointerSize && !item.empty() && item[0] == std::byte{0};
    if (pointer)
        read_pointer(read, item, false);
    else
        read_root(read, item, false);
    return read.bytes();
}

}  // namespace quenlow
