#include "app/row_trust.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "app/record_batches.h"
#include "engine/catalog/type_codes.h"
#include "engine/pages/record_page.h"

namespace quenlow {

namespace {

constexpr std::int32_t kNotStored = -99;

// What the table's records may look like: the most columns a record may count, the fixed part lengths
// of the table's live records, and the fixed columns the schema places (leaf offset, null bit, the most
// bytes the value may take).
struct RecordShapes {
    struct FixedColumn {
        std::int64_t offset = 0;
        std::int64_t null_bit = 0;
        std::int64_t most_bytes = 0;
    };
    std::int64_t max_columns = 0;
    std::vector<FixedColumn> fixed_columns;
    bool schema_places_fixed = true;
    std::set<std::int16_t> live_fixed_lengths;

    // The widest fixed value of a type without a declared length (decimal(38) takes 17 bytes).
    static constexpr std::int64_t kWidestFixedValue = 17;

    static RecordShapes of_schema(const std::vector<ColumnDescriptor>& columns) {
        RecordShapes shapes;
        shapes.max_columns = static_cast<std::int64_t>(columns.size());
        for (const ColumnDescriptor& c : columns) {
            if (c.null_bit > 0) shapes.max_columns = std::max<std::int64_t>(shapes.max_columns, c.null_bit & 0xFFFF);
            if (c.physical_column_id == kNotStored || c.variable_length || c.sparse) continue;
            if (c.leaf_offset <= 0 || c.null_bit <= 0) {
                shapes.schema_places_fixed = false;
                continue;
            }
            const std::int64_t most =
                c.declared_length > 0 ? std::max<std::int64_t>(c.declared_length, kWidestFixedValue) : kWidestFixedValue;
            shapes.fixed_columns.push_back({c.leaf_offset, c.null_bit & 0xFFFF, most});
        }
        return shapes;
    }

    void add_live(const TableRecordEntry& e) {
        if (e.compressed) return;
        max_columns = std::max<std::int64_t>(max_columns, e.column_count);
        live_fixed_lengths.insert(e.fixed_length);
    }

    // Whether the fixed part holds the fixed columns a record of that many columns has, with no more
    // room after the last of them than its value may take.
    bool fixed_part_fits_schema(const TableRecordEntry& e) const {
        const std::int64_t end = std::int64_t{e.fixed_length} + 4;
        std::int64_t lowest = 4, highest = 4;
        for (const FixedColumn& c : fixed_columns) {
            if (c.null_bit > e.column_count) continue;
            lowest = std::max(lowest, c.offset + 1);
            highest = std::max(highest, c.offset + c.most_bytes);
        }
        return end >= lowest && end <= highest;
    }

    bool fits(const TableRecordEntry& e) const {
        if (!e.well_formed || e.column_count < 1 || e.column_count > max_columns) return false;
        if (e.compressed) return true;
        if (live_fixed_lengths.contains(e.fixed_length)) return true;
        if (!schema_places_fixed) return live_fixed_lengths.empty();
        return fixed_part_fits_schema(e);
    }
};

enum class TextKind { kNone, kEightBit, kUnicode };

TextKind text_kind(std::int32_t type_code) {
    switch (type_code) {
        case kTypeChar:
        case kTypeVarchar:
        case kTypeText:
            return TextKind::kEightBit;
        case kTypeNchar:
        case kTypeNvarchar:
        case kTypeNtext:
            return TextKind::kUnicode;
        default:
            return TextKind::kNone;
    }
}

// Control characters other than tab, line feed and carriage return are what bytes that are no text
// turn into. In Unicode text a replacement character (U+FFFD) stands for a lone surrogate; 8-bit text
// gets one for every byte its code page leaves undefined, which real text holds too.
bool text_plausible(std::string_view text, TextKind kind) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (kind == TextKind::kUnicode && c == 0xEF && text.substr(i, 3) == "\xEF\xBF\xBD") return false;
    }
    return true;
}

}  // namespace

std::string left_out_text(const LeftOutRows& left_out) {
    return fmt::format(
        "Left out {} stale copies of rows already shown and {} candidate records that do not decode cleanly.",
        left_out.stale_copies, left_out.rejected);
}

bool row_values_plausible(const DecodedRow& row) {
    for (const ColumnDescriptor& d : row) {
        // A value stored elsewhere may be gone with its pages while the row's own bytes are intact.
        if (d.value_damaged && d.damage_reason != ValueDamage::kLargeValueCut &&
            d.damage_reason != ValueDamage::kXmlRefused)
            return false;
        const TextKind kind = text_kind(d.type_code);
        if (!d.value_null && kind != TextKind::kNone && !text_plausible(d.value_text, kind)) return false;
    }
    return true;
}

std::shared_ptr<const RowTrust> RowTrust::survey(OpenedDatabase& database, SystemCatalog& catalog,
                                                 const std::vector<PageAddress>& pages, bool advanced) {
    auto trust = std::make_shared<RowTrust>();
    const ReadOptions& options = database.options();
    trust->keep_every_ = options.keep_every_candidate;
    if (advanced) {
        // The pages the table's allocation reaches: what Standard Mode would read.
        std::set<PageAddress> allocated;
        walk_table_page_lists(database, catalog, false, [&allocated](PageSource, std::vector<PageAddress> list) {
            allocated.insert(list.begin(), list.end());
            return !list.empty();
        });
        for (const PageAddress& page : pages)
            if (!allocated.contains(page)) trust->stale_pages_.insert(page);
    }
    if (trust->keep_every_) return trust;

    struct Candidate {
        PageAddress page;
        TableRecordEntry entry;
    };
    std::vector<Candidate> candidates;
    // Sorted once all are in: eight bytes a live row, a big table's keys fit where a hash set's would not.
    std::vector<std::uint64_t> live_keys;
    RecordShapes shapes = RecordShapes::of_schema(catalog.column_descriptors);
    PageBuffer spare;
    for (const PageAddress& address : pages) {
        if (database.state().stop_requested()) break;
        auto page = read_data_page(database, address, std::move(spare));
        if (!page) continue;
        if (page->header().page_type == kPageTypeData && catalog.current_pages.owns(page->header())) {
            const bool stale = trust->page_stale(address);
            for (const TableRecordEntry& e : table_record_entries(*page, options.show_deleted)) {
                if (!stale && e.origin == RowOrigin::kLive) {
                    live_keys.push_back(e.key);
                    shapes.add_live(e);
                } else {
                    candidates.push_back({address, e});
                }
            }
        }
        spare = page->take_buffer();
    }
    std::sort(live_keys.begin(), live_keys.end());
    std::unordered_set<std::uint64_t> shown;
    for (const Candidate& c : candidates) {
        Verdict verdict = Verdict::kShow;
        if (std::binary_search(live_keys.begin(), live_keys.end(), c.entry.key) ||
            !shown.insert(c.entry.key).second)
            verdict = Verdict::kStaleCopy;
        else if (!shapes.fits(c.entry))
            verdict = Verdict::kRejected;
        if (verdict != Verdict::kShow) trust->left_out_[c.page][c.entry.record] = verdict;
    }
    return trust;
}

RowTrust::Verdict RowTrust::judge(PageAddress page, const RowFacts& facts, const DecodedRow& row) const {
    if (facts.origin == RowOrigin::kLive || keep_every_) return Verdict::kShow;
    if (const auto it = left_out_.find(page); it != left_out_.end()) {
        if (const auto found = it->second.find(facts.record); found != it->second.end()) return found->second;
    }
    return row_values_plausible(row) ? Verdict::kShow : Verdict::kRejected;
}

}  // namespace quenlow
