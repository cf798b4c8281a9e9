#include "app/page_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "engine/pages/opened_database.h"
#include "engine/pages/page_header.h"
#include "engine/pages/record.h"

namespace quenlow {

namespace L = page_layout;

namespace {

constexpr const char* kOutOfPage = "(out of page)";
// Bytes shown when a record's length cannot be settled.
constexpr std::size_t kUnknownLengthWindow = 64;
constexpr std::size_t kVersioningTagSize = 14;
constexpr std::size_t kStubSize = record_layout::kStubSize;
constexpr unsigned kMaxPlausibleColumns = 1024;
// Flag bit 0x0200: the word at offset 60 holds a page checksum instead of torn bits.
constexpr std::uint16_t kChecksumPresent = 0x0200;
// Compact records: column codes of a long value, of bit 1 and of a dictionary symbol; the status bit of the
// long data region; columns per cluster.
constexpr unsigned kCompactLong = 10;
constexpr unsigned kCompactBitOne = 11;
constexpr unsigned kCompactSymbol = 12;
constexpr std::uint8_t kCompactLongRegion = 0x20;
constexpr std::size_t kCompactCluster = 30;

// ---- header ---------------------------------------------------------------------------------------------

enum class Shape { kUnsigned, kSigned, kHex };

struct HeaderFieldSpec {
    std::size_t offset;
    std::size_t size;
    const char* name;
    Shape shape;
};

constexpr HeaderFieldSpec kHeaderFields[] = {
    {L::kHeaderVersion, 1, "header version", Shape::kUnsigned},
    {L::kType, 1, "page type", Shape::kUnsigned},
    {L::kTypeFlagBits, 1, "type flag bits", Shape::kHex},
    {L::kLevel, 1, "level", Shape::kUnsigned},
    {L::kFlagBits, 2, "flag bits", Shape::kHex},
    {L::kIndexId, 2, "index id", Shape::kUnsigned},
    {L::kPrevPageId, 4, "previous page id", Shape::kSigned},
    {L::kPrevFileId, 2, "previous page file id", Shape::kUnsigned},
    {L::kMinLen, 2, "minimum record length", Shape::kUnsigned},
    {L::kNextPageId, 4, "next page id", Shape::kSigned},
    {L::kNextFileId, 2, "next page file id", Shape::kUnsigned},
    {L::kSlotCount, 2, "slot count", Shape::kSigned},
    {L::kObjectId, 4, "object id", Shape::kSigned},
    {L::kFreeCount, 2, "free count", Shape::kUnsigned},
    {L::kFreeData, 2, "free data offset", Shape::kUnsigned},
    {L::kPageId, 4, "page id", Shape::kSigned},
    {L::kFileId, 2, "file id", Shape::kUnsigned},
    {L::kReservedCount, 2, "reserved count", Shape::kUnsigned},
    {L::kLsn1, 4, "LSN, first part", Shape::kSigned},
    {L::kLsn2, 4, "LSN, second part", Shape::kSigned},
    {L::kLsn3, 2, "LSN, third part", Shape::kSigned},
    {L::kXactReserved, 2, "transaction reserved count", Shape::kUnsigned},
    {L::kXactLow, 4, "transaction id, low part", Shape::kSigned},
    {L::kXactHigh, 2, "transaction id, high part", Shape::kSigned},
    {L::kGhostCount, 2, "ghost record count", Shape::kSigned},
    {L::kTornBits, 4, "torn bits", Shape::kHex},
};

std::int64_t load_signed(ByteSpan p, std::size_t size) {
    switch (size) {
        case 1:
            return load_le<std::int8_t>(p, 0);
        case 2:
            return load_le<std::int16_t>(p, 0);
        default:
            return load_le<std::int32_t>(p, 0);
    }
}

std::uint64_t load_unsigned(ByteSpan p, std::size_t size) {
    switch (size) {
        case 1:
            return load_le<std::uint8_t>(p, 0);
        case 2:
            return load_le<std::uint16_t>(p, 0);
        default:
            return load_le<std::uint32_t>(p, 0);
    }
}

std::string header_value(ByteSpan page, const HeaderFieldSpec& f, PageAddress address) {
    const ByteSpan p = f.offset <= page.size() ? page.subspan(f.offset) : ByteSpan{};
    std::string text;
    switch (f.shape) {
        case Shape::kSigned:
            text = fmt::format("{}", load_signed(p, f.size));
            break;
        case Shape::kUnsigned:
            text = fmt::format("{}", load_unsigned(p, f.size));
            break;
        case Shape::kHex:
            text = fmt::format("0x{:0{}X}", load_unsigned(p, f.size), 2 * f.size);
            break;
    }
    const std::uint64_t raw = load_unsigned(p, f.size);
    if (f.offset == L::kType) text += " (" + page_type_name(static_cast<std::uint32_t>(raw)) + ")";
    if (f.offset == L::kTypeFlagBits && (raw & 0x80) != 0) text += " (compression information)";
    if (f.offset == L::kFlagBits && (raw & L::kTornBitsPresent) != 0) text += " (torn bits present)";
    if (f.offset == L::kFlagBits && (raw & kChecksumPresent) != 0) text += " (page checksum)";
    if (f.offset == L::kTornBits) {
        const auto flags = load_le<std::uint16_t>(page, L::kFlagBits);
        if ((flags & L::kTornBitsPresent) == 0 && (flags & kChecksumPresent) != 0)
            text += " (holds the checksum)";
    }
    if (f.offset == L::kPageId) {
        const std::int64_t claimed = load_signed(p, f.size);
        if (claimed == address.page_id)
            text += " (matches the address)";
        else
            text += fmt::format(" (read at {}: page shift {})", address.page_id, claimed - address.page_id);
    }
    return text;
}

std::string address_text(std::uint16_t file_id, std::int32_t page_id) {
    return fmt::format("{}:{}", file_id, page_id);
}

std::vector<InspectedField> inspect_header(ByteSpan page, PageAddress address) {
    std::vector<InspectedField> out;
    for (const auto& f : kHeaderFields) out.push_back({f.offset, f.name, header_value(page, f, address)});
    const ByteSpan p = page;
    out.push_back(
        {std::nullopt, "this page",
         address_text(load_le<std::uint16_t>(p, L::kFileId), load_le<std::int32_t>(p, L::kPageId))});
    out.push_back({std::nullopt, "previous page",
                   address_text(load_le<std::uint16_t>(p, L::kPrevFileId),
                                load_le<std::int32_t>(p, L::kPrevPageId))});
    out.push_back({std::nullopt, "next page",
                   address_text(load_le<std::uint16_t>(p, L::kNextFileId),
                                load_le<std::int32_t>(p, L::kNextPageId))});
    out.push_back({std::nullopt, "LSN",
                   fmt::format("( {} : {} : {} )", load_le<std::int32_t>(p, L::kLsn1),
                               load_le<std::int32_t>(p, L::kLsn2), load_le<std::int16_t>(p, L::kLsn3))});
    out.push_back({std::nullopt, "transaction id",
                   fmt::format("( {} : {} )", load_le<std::int16_t>(p, L::kXactHigh),
                               load_le<std::int32_t>(p, L::kXactLow))});
    return out;
}

// ---- slot array -----------------------------------------------------------------------------------------

std::string slot_note(std::uint16_t offset, int slot_count, std::uint16_t free_data) {
    if (offset == 0) return "(empty)";
    if (offset < L::kHeaderSize) return "(inside the header)";
    if (offset >= kPageSize) return kOutOfPage;
    if (offset >= kPageSize - 2 * static_cast<std::size_t>(slot_count)) return "(inside the slot array)";
    if (free_data >= L::kHeaderSize && offset >= free_data) return "(at or past the free data offset)";
    return {};
}

// ---- records --------------------------------------------------------------------------------------------

std::string record_type_name(unsigned type) {
    switch (type) {
        case 0:
            return "primary record";
        case 1:
            return "forwarded record";
        case 2:
            return "forwarding stub";
        case 3:
            return "index record";
        case 4:
            return "large value fragment";
        case 5:
            return "ghost index record";
        case 6:
            return "ghost data record";
        case 7:
            return "ghost version record";
        default:
            return "type " + std::to_string(type);
    }
}

std::string status_a_text(std::uint8_t a) {
    std::string text =
        fmt::format("0x{:02X}: {} (type {})", a, record_type_name((a >> 1) & 7u), (a >> 1) & 7u);
    const bool compact = (a & 0x01) != 0;
    if (compact) text += ", compressed format";
    if (a & 0x10) text += compact ? ", bit 4 set" : ", null bitmap";
    if (a & 0x20) text += compact ? ", long data region" : ", variable columns";
    if (a & 0x40) text += ", versioning tag";
    if (a & 0x80) text += ", bit 7 set";
    return text;
}

std::string null_columns_text(ByteSpan bitmap, unsigned column_count) {
    std::string list;
    unsigned nulls = 0;
    for (unsigned c = 0; c < column_count && c / 8 < bitmap.size(); ++c) {
        if ((static_cast<unsigned>(bitmap[c / 8]) >> (c % 8)) & 1u) {
            list += (nulls++ == 0 ? "" : ", ") + std::to_string(c + 1);
        }
    }
    return nulls == 0 ? "none" : list;
}

std::string bytes_hex(ByteSpan bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out += fmt::format("{}{:02X}", i == 0 ? "" : " ", static_cast<unsigned>(bytes[i]));
    return out;
}

// Decodes one record into fields; returns the record's length when it could be settled.
class RecordDecoder {
  public:
    RecordDecoder(ByteSpan page, std::uint16_t offset, InspectedRecord& out)
        : page_(page), rec_(page.subspan(offset)), out_(out) {}

    std::optional<std::size_t> run();

  private:
    bool fits(std::size_t at, std::size_t n) const { return at <= rec_.size() && n <= rec_.size() - at; }
    void add(std::optional<std::size_t> at, std::string name, std::string value) {
        out_.fields.push_back({at, std::move(name), std::move(value)});
    }
    std::optional<std::size_t> stub();
    std::optional<std::size_t> compact();
    std::optional<std::size_t> long_region(std::size_t pos, std::size_t long_columns, std::size_t clusters);
    std::optional<std::size_t> columns(std::uint8_t a, std::size_t end);
    std::optional<std::size_t> variable_columns(std::size_t pos, std::optional<unsigned> column_count);

    ByteSpan page_;
    ByteSpan rec_;
    InspectedRecord& out_;
};

std::optional<std::size_t> RecordDecoder::run() {
    const auto a = load_le<std::uint8_t>(rec_, 0);
    add(0, "status byte A", status_a_text(a));
    const unsigned type = (a >> 1) & 7u;
    if (a & 0x01) return compact();
    if (type == 2) return stub();
    if (!fits(1, 1)) {
        add(1, "status byte B", kOutOfPage);
        return std::nullopt;
    }
    add(1, "status byte B", fmt::format("0x{:02X}", load_le<std::uint8_t>(rec_, 1)));

    std::size_t end = 0;
    if (type == 3) {
        // Index records carry no end offset: their fixed part runs to the page's minimum record length.
        end = load_le<std::uint16_t>(page_, L::kMinLen);
        add(std::nullopt, "fixed-part end", fmt::format("{} (the header's minimum record length)", end));
        if (end < 1) return std::nullopt;
        add(1, "fixed-part length", fmt::format("{} bytes", end - 1));
    } else {
        if (!fits(2, 2)) {
            add(2, "fixed-part end", kOutOfPage);
            return std::nullopt;
        }
        const auto raw = load_le<std::uint16_t>(rec_, 2);
        end = raw;
        add(2, "fixed-part end", fmt::format("0x{:04X} -> {}", raw, raw));
        if (raw < 4) {
            add(4, "fixed-part length", fmt::format("none (end offset {} is below 4)", raw));
            return std::nullopt;
        }
        add(4, "fixed-part length", fmt::format("{} bytes", raw - 4));
    }
    return columns(a, end);
}

std::optional<std::size_t> RecordDecoder::stub() {
    if (!fits(0, kStubSize)) {
        add(1, "forwarded to", kOutOfPage);
        return std::nullopt;
    }
    const ByteSpan p = rec_;
    add(1, "forwarded to",
        fmt::format("page {} slot {}",
                    address_text(load_le<std::uint16_t>(p, record_layout::kStubFileId),
                                 load_le<std::int32_t>(p, record_layout::kStubPageId)),
                    load_le<std::int16_t>(p, record_layout::kStubSlot)));
    return kStubSize;
}

// ---- compact records -------------------------------------------------------------------------------------

// Bytes a column code takes in the short data; none for the codes no record carries (13-15).
std::optional<std::size_t> compact_short_bytes(unsigned code) {
    if (code >= 2 && code <= 9) return code - 1;
    if (code == kCompactSymbol) return 1;
    if (code > kCompactSymbol) return std::nullopt;
    return 0;
}

std::string compact_code_counts(const std::vector<unsigned>& codes) {
    std::array<unsigned, 16> n{};
    for (unsigned c : codes) ++n[c & 0x0F];
    unsigned short_values = 0;
    for (unsigned c = 2; c <= 9; ++c) short_values += n[c];
    return fmt::format("{} NULL, {} empty, {} short, {} long, {} bit 1, {} symbol", n[0], n[1], short_values,
                       n[kCompactLong], n[kCompactBitOne], n[kCompactSymbol]);
}

std::optional<std::size_t> RecordDecoder::compact() {
    add(std::nullopt, "format", "compressed (compact) record");
    if (!fits(1, 1)) {
        add(1, "column count", kOutOfPage);
        return std::nullopt;
    }
    std::size_t pos = 1;
    std::size_t n = load_le<std::uint8_t>(rec_, 1);
    std::string count_note;
    if ((n & 0x80) != 0) {
        if (!fits(2, 1)) {
            add(1, "column count", kOutOfPage);
            return std::nullopt;
        }
        n = ((n & 0x7F) << 8) | load_le<std::uint8_t>(rec_, 2);
        count_note = fmt::format(" (two bytes: 0x{:02X} 0x{:02X})", load_le<std::uint8_t>(rec_, 1),
                                 load_le<std::uint8_t>(rec_, 2));
        ++pos;
    }
    if (n == 0 || n > kMaxPlausibleColumns) {
        add(1, "column count", fmt::format("{}{} (implausible: not decoded further)", n, count_note));
        return std::nullopt;
    }
    add(1, "column count", std::to_string(n) + count_note);
    ++pos;

    // Column codes, four bits each, the first column in the low nibble.
    const std::size_t code_bytes = (n + 1) / 2;
    if (!fits(pos, code_bytes)) {
        add(pos, "column codes", kOutOfPage);
        return std::nullopt;
    }
    std::vector<unsigned> codes(n);
    std::string listed;
    for (std::size_t i = 0; i < n; ++i) {
        codes[i] = (load_le<std::uint8_t>(rec_, pos + i / 2) >> (i % 2 == 0 ? 0 : 4)) & 0x0Fu;
        listed += fmt::format("{}{:X}", i == 0 ? "" : i % 10 == 0 ? "  " : " ", codes[i]);
    }
    add(pos, "column codes", listed);
    add(std::nullopt, "column codes, counted", compact_code_counts(codes));
    pos += code_bytes;
    std::size_t short_length = 0;
    std::size_t long_columns = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto bytes = compact_short_bytes(codes[i]);
        if (!bytes) {
            add(std::nullopt, "short data",
                fmt::format("none (column {} has code {}, which no record carries)", i + 1, codes[i]));
            return std::nullopt;
        }
        short_length += *bytes;
        if (codes[i] == kCompactLong) ++long_columns;
    }

    // One byte per 30-column cluster but the last: the short data bytes of that cluster.
    const std::size_t clusters = (n - 1) / kCompactCluster;
    if (clusters > 0) {
        if (!fits(pos, clusters)) {
            add(pos, "cluster short-data bytes", kOutOfPage);
            return std::nullopt;
        }
        std::string expected;
        bool agrees = true;
        for (std::size_t k = 0; k < clusters; ++k) {
            std::size_t bytes = 0;
            for (std::size_t i = k * kCompactCluster; i < (k + 1) * kCompactCluster; ++i)
                bytes += compact_short_bytes(codes[i]).value_or(0);
            agrees = agrees && bytes == load_le<std::uint8_t>(rec_, pos + k);
            expected += fmt::format("{}{}", k == 0 ? "" : " ", bytes);
        }
        add(pos, "cluster short-data bytes",
            bytes_hex(rec_.subspan(pos, clusters)) + (agrees ? "" : " (the codes give " + expected + ")"));
        pos += clusters;
    }

    if (!fits(pos, short_length)) {
        add(pos, "short data", fmt::format("{} bytes {}", short_length, kOutOfPage));
        return std::nullopt;
    }
    add(pos, "short data",
        short_length == 0
            ? std::string("none")
            : fmt::format("bytes {}..{} ({} bytes)", pos, pos + short_length - 1, short_length));
    pos += short_length;

    if ((load_le<std::uint8_t>(rec_, 0) & kCompactLongRegion) == 0) {
        add(std::nullopt, "long data region",
            long_columns == 0 ? std::string("none")
                              : fmt::format("none (but {} columns have code 10)", long_columns));
        return pos;
    }
    return long_region(pos, long_columns, clusters);
}

// The long data region: flags, value count, one end offset per value (from the first value byte; bit 15
// marks a value stored elsewhere), a value count per cluster but the last, the values.
std::optional<std::size_t> RecordDecoder::long_region(std::size_t pos, std::size_t long_columns,
                                                      std::size_t clusters) {
    if (!fits(pos, 3)) {
        add(pos, "long data flags", kOutOfPage);
        return std::nullopt;
    }
    const auto flags = load_le<std::uint8_t>(rec_, pos);
    std::string flag_text = fmt::format("0x{:02X}", flags);
    if (flags & 0x02) flag_text += ", some values stored elsewhere";
    if ((flags & 0x01) == 0) {
        add(pos, "long data flags", flag_text + " (bit 0 clear: not decoded further)");
        return std::nullopt;
    }
    add(pos, "long data flags", flag_text);
    const std::size_t count = load_le<std::uint16_t>(rec_, pos + 1);
    add(pos + 1, "long value count",
        std::to_string(count) +
            (count == long_columns ? "" : fmt::format(" (the codes give {})", long_columns)));
    const std::size_t ends = pos + 3;
    if (!fits(ends, 2 * count + clusters)) {
        add(ends, "long value end offsets", kOutOfPage);
        return std::nullopt;
    }
    const std::size_t data = ends + 2 * count + clusters;
    if (clusters > 0)
        add(ends + 2 * count, "cluster long-value counts",
            bytes_hex(rec_.subspan(ends + 2 * count, clusters)));
    std::size_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = ends + 2 * i;
        const auto raw = load_le<std::uint16_t>(rec_, at);
        const std::size_t end = raw & 0x7FFFu;
        std::string text =
            fmt::format("0x{:04X}{} -> {}", raw, (raw & 0x8000) != 0 ? " (elsewhere)" : "", end);
        if (end > rec_.size() - data) {
            text += std::string(" ") + kOutOfPage;
        } else if (end < previous) {
            text += fmt::format(" (ends before its start {})", previous);
        } else {
            text += end == previous ? std::string(": empty")
                                    : fmt::format(": bytes {}..{} ({} bytes)", data + previous,
                                                  data + end - 1, end - previous);
            previous = end;
        }
        add(at, fmt::format("long value {} end", i + 1), text);
    }
    add(std::nullopt, "long data",
        previous == 0 ? std::string("none")
                      : fmt::format("bytes {}..{} ({} bytes)", data, data + previous - 1, previous));
    return data + previous;
}

std::optional<std::size_t> RecordDecoder::columns(std::uint8_t a, std::size_t end) {
    const bool has_bitmap = (a & 0x10) != 0;
    const bool has_variable = (a & 0x20) != 0;
    // Index records without a null bitmap end with their fixed part (and variable part, if any).
    const bool index_record = ((a >> 1) & 7u) == 3;
    std::size_t pos = end;
    std::optional<unsigned> column_count;
    if (!index_record || has_bitmap) {
        if (!fits(pos, 2)) {
            add(pos, "column count", kOutOfPage);
            return std::nullopt;
        }
        const unsigned count = load_le<std::uint16_t>(rec_, pos);
        if (count > kMaxPlausibleColumns) {
            add(pos, "column count", fmt::format("{} (implausible: not decoded further)", count));
            return std::nullopt;
        }
        add(pos, "column count", std::to_string(count));
        column_count = count;
        pos += 2;
    }
    if (has_bitmap && column_count) {
        const unsigned count = *column_count;
        const std::size_t n = (count + 7) / 8;
        if (!fits(pos, n)) {
            add(pos, "null bitmap", kOutOfPage);
            return std::nullopt;
        }
        const ByteSpan bitmap = rec_.subspan(pos, n);
        add(pos, "null bitmap",
            bytes_hex(bitmap) + " (null columns: " + null_columns_text(bitmap, count) + ")");
        pos += n;
    }
    if (!has_variable) {
        add(std::nullopt, "variable columns", "none");
        return pos;
    }
    return variable_columns(pos, column_count);
}

std::optional<std::size_t> RecordDecoder::variable_columns(std::size_t pos,
                                                           std::optional<unsigned> column_count) {
    if (!fits(pos, 2)) {
        add(pos, "variable-column count", kOutOfPage);
        return std::nullopt;
    }
    const unsigned n = load_le<std::uint16_t>(rec_, pos);
    std::string note = column_count && n > *column_count ? " (more than the column count)" : "";
    add(pos, "variable-column count", std::to_string(n) + note);
    pos += 2;
    if (!fits(pos, 2 * static_cast<std::size_t>(n))) {
        add(pos, "variable-column end offsets", kOutOfPage);
        return std::nullopt;
    }
    std::size_t start = pos + 2 * static_cast<std::size_t>(n);
    std::size_t length = start;
    for (unsigned i = 0; i < n; ++i) {
        const std::size_t at = pos + 2 * static_cast<std::size_t>(i);
        const auto raw = load_le<std::uint16_t>(rec_, at);
        const bool complex = (raw & 0x8000) != 0;
        const std::size_t value_end = raw & 0x7FFFu;
        std::string text = fmt::format("0x{:04X}{} -> {}", raw, complex ? " (complex)" : "", value_end);
        if (value_end > rec_.size()) {
            text += std::string(" ") + kOutOfPage;
        } else if (value_end < start) {
            text += fmt::format(" (ends before its start {})", start);
        } else {
            if (value_end == start)
                text += ": empty";
            else
                text += fmt::format(": bytes {}..{} ({} bytes)", start, value_end - 1, value_end - start);
            start = value_end;
            length = value_end;
        }
        add(at, fmt::format("variable column {} end", i + 1), text);
    }
    return length;
}

}  // namespace

InspectedRecord inspect_record(ByteSpan page, int slot, std::uint16_t offset) {
    InspectedRecord out;
    out.slot = slot;
    out.offset = offset;
    if (page.size() < kPageSize) return out;
    page = page.first(kPageSize);
    if (offset == 0) {
        out.fields.push_back({std::nullopt, "record", "none (empty slot)"});
        return out;
    }
    if (offset < L::kHeaderSize) {
        out.fields.push_back({std::nullopt, "record", "none (offset inside the page header)"});
        return out;
    }
    if (offset >= kPageSize) {
        out.fields.push_back({std::nullopt, "record", std::string("none ") + kOutOfPage});
        return out;
    }
    RecordDecoder decoder(page, offset, out);
    std::optional<std::size_t> length = decoder.run();
    const std::size_t room = kPageSize - offset;
    if (length) {
        std::size_t shown = std::min(*length, room);
        out.fields.push_back({std::nullopt, "record length", fmt::format("{} bytes", *length)});
        const bool versioned = (static_cast<unsigned>(page[offset]) & 0x40) != 0 &&
                               (static_cast<unsigned>(page[offset]) & 1) == 0;
        if (versioned) {
            if (*length <= room && kVersioningTagSize <= room - *length) {
                out.fields.push_back({*length, "versioning tag",
                                      bytes_hex(page.subspan(offset + *length, kVersioningTagSize))});
                shown = *length + kVersioningTagSize;
            } else {
                out.fields.push_back({*length, "versioning tag", kOutOfPage});
            }
        }
        out.bytes.assign(page.begin() + offset, page.begin() + offset + static_cast<std::ptrdiff_t>(shown));
    } else {
        const std::size_t shown = std::min(kUnknownLengthWindow, room);
        out.bytes.assign(page.begin() + offset, page.begin() + offset + static_cast<std::ptrdiff_t>(shown));
        out.bytes_note = fmt::format("length unknown: the first {} bytes", shown);
    }
    return out;
}

PageInspection inspect_page(MutableByteSpan page, PageAddress address, bool with_records) {
    PageInspection out;
    out.address = address;
    out.with_records = with_records;
    if (page.size() < kPageSize) {
        out.slot_note = "the page buffer is shorter than a page";
        return out;
    }
    CPage_Header header(page);  // repairs torn bits in place
    const ByteSpan bytes(page.data(), kPageSize);
    out.header = inspect_header(bytes, address);
    const int n = header.slot_count;
    if (n <= 0 || n >= L::kMaxSlots) {
        out.slot_note = fmt::format("no slot array (slot count {})", n);
        return out;
    }
    for (int j = 0; j < n; ++j) {
        const auto offset =
            load_le<std::uint16_t>(bytes, kPageSize - 2 - 2 * static_cast<std::size_t>(j));
        out.slots.push_back({j, offset, slot_note(offset, n, header.free_data)});
        if (with_records) out.records.push_back(inspect_record(bytes, j, offset));
    }
    return out;
}

std::string hex_dump(ByteSpan bytes, std::size_t first_offset, const std::string& indent) {
    std::string out;
    for (std::size_t line = 0; line < bytes.size(); line += 16) {
        std::string hex, ascii;
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8) hex += ' ';
            if (line + i < bytes.size()) {
                const auto b = static_cast<unsigned>(bytes[line + i]);
                hex += fmt::format(" {:02X}", b);
                ascii += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            } else {
                hex += "   ";
            }
        }
        out += fmt::format("{}{:>5} {}  |{}|\n", indent, first_offset + line, hex, ascii);
    }
    return out;
}

namespace {

std::string offset_column(const std::optional<std::size_t>& offset, const char* prefix) {
    return offset ? fmt::format("{}{}", prefix, *offset) : std::string();
}

}  // namespace

std::string render_page_inspection(const PageInspection& inspection) {
    std::string out =
        fmt::format("Page {}\n\n", address_text(inspection.address.file_id, inspection.address.page_id));
    out += "Header\n";
    out += fmt::format("  {:>6}  {:<28} {}\n", "offset", "field", "value");
    for (const auto& f : inspection.header)
        out += fmt::format("  {:>6}  {:<28} {}\n", offset_column(f.offset, ""), f.name, f.value);
    out += '\n';
    if (!inspection.slot_note.empty()) {
        out += "Slot array: " + inspection.slot_note + "\n";
    } else {
        out += fmt::format("Slot array: {} slot{}\n", inspection.slots.size(),
                           inspection.slots.size() == 1 ? "" : "s");
        out += fmt::format("  {:>5}  {:>6}\n", "slot", "offset");
        for (const auto& s : inspection.slots)
            out += fmt::format("  {:>5}  {:>6}{}{}\n", s.slot, s.offset, s.note.empty() ? "" : "  ", s.note);
    }
    for (const auto& r : inspection.records) {
        out += fmt::format("\nRecord in slot {} at offset {}\n", r.slot, r.offset);
        for (const auto& f : r.fields)
            out += fmt::format("  {:>6}  {:<28} {}\n", offset_column(f.offset, "+"), f.name, f.value);
        if (!r.bytes.empty()) {
            out += fmt::format("  bytes ({}{}):\n", r.bytes.size(),
                               r.bytes_note.empty() ? "" : "; " + r.bytes_note);
            out += hex_dump(r.bytes, 0);
        }
    }
    return out;
}

PageInspectionResult inspect_database_page(const PageInspectionRequest& request, ApplicationState& app,
                                           EngineEvents& events, FileSystem& files) {
    PageInspectionResult result;
    auto db = OpenedDatabase::open(request.path, ReadOptions{}, {app.engine, events, files});
    if (!db->is_open()) {
        result.status = PageInspectionResult::Status::kOpenFailed;
        return result;
    }
    if (request.file_id != kPrimaryFileId) {
        std::vector<DatabaseFileRow> file_list;
        db->find_secondary_files(file_list);
        if (request.file_id == 0 || !db->secondary_files().count(request.file_id)) {
            result.status = PageInspectionResult::Status::kNoSuchFile;
            result.error = fmt::format("No data file with file id {} was found beside {}.", request.file_id,
                                       request.path);
            return result;
        }
    }
    const PageAddress address{request.file_id, request.page_id};
    auto buffer = db->read_raw_page(address);
    if (!buffer) {
        result.status = PageInspectionResult::Status::kPageRefused;
        result.error = fmt::format(
            "Page {} cannot be read: page 0, a negative page id and page ids at or past "
            "the end of the file are refused.",
            address_text(address.file_id, address.page_id));
        return result;
    }
    result.status = PageInspectionResult::Status::kOk;
    result.page = inspect_page(MutableByteSpan(buffer->data(), kPageSize), address, request.with_records);
    return result;
}

}  // namespace quenlow
