#include "engine/pages/boot_page.h"

#include "engine/pages/text_codec.h"

#include <array>

#include "engine/pages/engine_state.h"
#include "engine/pages/opened_database.h"

namespace quenlow {

namespace B = boot_layout;

namespace {

struct VersionName {
    std::uint16_t version;
    std::string_view text;
};

constexpr std::array<VersionName, 16> kVersions = {{
    {408, " SQL Server 6.5"},
    {515, " SQL Server 7.0"},
    {539, " SQL Server 2000"},
    {611, " SQL Server 2005"},
    {612, " SQL Server 2005 SP2+ with VarDecimal enabled"},
    {655, " SQL Server 2008"},
    {660, " SQL Server 2008 R2"},
    {661, " SQL Server 2008 R2"},
    {684, " SQL Server 2012 CTP1"},
    {706, " SQL Server 2012"},
    {782, " SQL Server 2014"},
    {852, " SQL Server 2016"},
    {868, " SQL Server 2017"},
    {869, " SQL Server 2017"},
    {904, " SQL Server 2019"},
    {957, " SQL Server 2022"},
}};

void apply_collation(EngineState& state, std::int64_t key) {
    const CollationEntry& entry = state.collations.at(key);
    state.collation_found = true;
    state.detected_collation_id = key;
    state.code_page = entry.code_page;
    state.collation_name = entry.name;
}

}  // namespace

std::string_view sql_version_text(std::uint16_t version) {
    for (const auto& v : kVersions)
        if (v.version == version) return v.text;
    return "Unknown SQL Version";
}

std::string boot_name_from_units(ByteSpan name_units) {
    std::string low_bytes;
    for (std::size_t i = 0; i < name_units.size(); i += 2) {
        auto b = static_cast<char>(name_units[i]);
        if (b == '\0') break;
        low_bytes += b;
    }
    std::string text = cp1252_to_utf8(low_bytes);
    auto space = text.find(' ');
    if (space != std::string::npos && space > 0) text.resize(space);
    return text;
}

std::string full_boot_name(ByteSpan name_units) {
    std::string name = utf16le_to_utf8(name_units);
    // The field is padded with U+2020 or blanks.
    static constexpr std::string_view kDagger = "\u2020";
    for (;;) {
        if (!name.empty() && name.back() == ' ') {
            name.pop_back();
        } else if (name.size() >= kDagger.size() && name.ends_with(kDagger)) {
            name.resize(name.size() - kDagger.size());
        } else {
            return name;
        }
    }
}

std::optional<std::int64_t> find_collation_key(const CollationTable& table, std::int32_t id) {
    const auto wide = static_cast<std::int64_t>(id);
    if (table.count(wide)) return wide;
    const auto low = static_cast<std::int64_t>(static_cast<std::uint16_t>(id));
    if (table.count(low)) return low;
    return std::nullopt;
}

namespace {
// A buffer shorter than a page carries no boot record: it is read as a page of zeros.
PageBuffer whole_page_or_zeros(PageBuffer buffer) {
    if (buffer.size() < kPageSize) buffer.clear();
    return buffer;
}
}  // namespace

CBootPage::CBootPage(PageBuffer buffer) : PrimaryRecordPage(whole_page_or_zeros(std::move(buffer))) {
    const ByteSpan page(buffer_.data(), kPageSize);
    version = load_le_or<std::uint16_t>(page, B::kVersion);
    create_version = load_le_or<std::uint16_t>(page, B::kCreateVersion);
    kept_132 = load_le_or<std::uint32_t>(page, B::kKept132);
    kept_136 = load_le_or<std::uint32_t>(page, B::kKept136);
    const ByteSpan name = page.subspan(B::kName, 2 * B::kNameUnits);
    database_name = boot_name_from_units(name);
    full_database_name = full_boot_name(name);
    kept_408 = load_le_or<std::uint16_t>(page, B::kKept408);
    kept_412 = load_le_or<std::uint32_t>(page, B::kKept412);
    kept_416 = load_le_or<std::uint32_t>(page, B::kKept416);
    collation_id = load_le_or<std::int32_t>(page, B::kCollation);
    kept_page = {load_le_or<std::uint16_t>(page, B::kKeptFileId),
                 load_le_or<std::int32_t>(page, B::kKeptPageId)};
}

ByteSpan CBootPage::record_data() const {
    if (buffer_.size() < kPageSize) return {};
    return ByteSpan(buffer_.data(), kPageSize).subspan(B::kRecordData);
}

void CBootPage::identify(EngineState& state, const ReadOptions& options) {
    state.version_text = std::string(sql_version_text(version));
    state.stored_collation_id = collation_id;
    if (!options.automatic_collation) {
        if (state.collations.count(options.manual_collation_id))
            apply_collation(state, options.manual_collation_id);
        return;
    }
    auto key = find_collation_key(state.collations, collation_id);
    if (!key || *key != static_cast<std::int64_t>(collation_id))
        collation_id = static_cast<std::int32_t>(static_cast<std::uint16_t>(collation_id));
    if (key) apply_collation(state, *key);
}

std::int64_t measure_page_shift(OpenedDatabase& db) {
    auto entries = db.system_pages().lookup(B::kShiftObjectFirst);
    if (entries.empty()) entries = db.system_pages().lookup(B::kShiftObjectSecond);
    if (entries.empty()) return 0;
    const PageMapEntry first = entries.front();
    auto header = db.read_page_header(first.address());
    if (!header) return 0;
    return static_cast<std::int64_t>(header->this_page.page_id) - static_cast<std::int64_t>(first.page_index);
}

BootPageSummary read_boot_page(OpenedDatabase& db) {
    BootPageSummary summary;
    db.set_database_name(std::string());
    summary.page_shift = measure_page_shift(db);
    const std::int64_t b = B::kBootPageId - summary.page_shift;
    if (b <= 0 || static_cast<std::uint64_t>(b) >= db.primary().page_count) return summary;
    auto buffer = db.read_primary_physical(static_cast<std::uint64_t>(b));
    if (!buffer) return summary;

    CBootPage boot(std::move(*buffer));
    summary.raw_collation_id = boot.collation_id;
    boot.identify(db.state(), db.options());
    db.set_database_name(boot.database_name);

    summary.found = true;
    summary.physical_page = static_cast<std::uint64_t>(b);
    summary.version = boot.version;
    summary.create_version = boot.create_version;
    summary.version_text = db.state().version_text;
    summary.database_name = boot.database_name;
    summary.full_database_name = boot.full_database_name;
    summary.collation_id = boot.collation_id;
    summary.collation_found =
        db.options().automatic_collation
            ? find_collation_key(db.state().collations, summary.raw_collation_id).has_value()
            : db.state().collations.count(db.options().manual_collation_id) > 0;
    return summary;
}

}  // namespace quenlow
