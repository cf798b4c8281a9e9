#include "tests/support/database_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>

#include "tests/support/allocation_pages.h"
#include "tests/support/compact_encoder.h"
#include "tests/support/database_model.h"
#include "tests/support/lob_builder.h"
#include "tests/support/page_writer.h"
#include "tests/support/system_tables.h"

namespace quenlow::testing {

namespace {

namespace so = system_object;

// User object ids start here and step by a prime, so that no two differ only in bits 24 and 25.
constexpr std::int32_t kFirstUserObjectId = 1977058079;
constexpr std::int32_t kUserObjectIdStep = 1009;
// 2005 layout: user allocation units carry index id 256 in bits 48..63 of their id and an object number
// above 100, which keeps their pages out of the system page map.
constexpr std::int64_t kUserUnitBits = std::int64_t{256} << 48;
constexpr std::int32_t kFirstUserObjectNumber = 201;
constexpr std::int32_t kFirstUserLobNumber = 601;
constexpr std::int32_t kFirstUserRowsetNumber = 1001;
constexpr std::uint16_t kUserUnitIndexId = 256;
// SQL Server 2000 marks text/image pages (and a carried-over table's LOB unit) with index id 255.
constexpr std::uint16_t kLegacyLobIndexId = 255;

std::int64_t older_form_unit_id(std::int32_t index_id, std::int32_t object_id) {
    return (std::int64_t{index_id} << 48) | (std::int64_t{static_cast<std::uint32_t>(object_id)} << 16);
}

bool has_lob_columns(const TableSpec& t) {
    return std::any_of(t.columns.begin(), t.columns.end(),
                       [](const ColumnSpec& c) { return c.on_lob_pages(); });
}

class ObjectIds {
  public:
    explicit ObjectIds(const DatabaseSpec& blueprint) {
        for (const auto& t : blueprint.tables) reserve(t.object_id);
        for (const auto& m : blueprint.modules) reserve(m.object_id);
        for (const auto& d : blueprint.defaults) reserve(d.object_id);
        for (const auto& f : blueprint.foreign_keys) reserve(f.object_id);
    }
    std::int32_t take(std::int32_t wanted) {
        if (wanted != 0) return wanted;
        while (explicit_.count(next_)) next_ += kUserObjectIdStep;
        std::int32_t id = next_;
        next_ += kUserObjectIdStep;
        return id;
    }

  private:
    void reserve(std::int32_t id) {
        if (id != 0 && !explicit_.insert(id).second)
            throw std::invalid_argument("object id " + std::to_string(id) + " given twice");
    }
    std::set<std::int32_t> explicit_;
    std::int32_t next_ = kFirstUserObjectId;
};

std::size_t column_of(const TableSpec& t, const std::string& column) {
    int i = t.column_index(column);
    if (i < 0) throw std::invalid_argument("table " + t.name + " has no column " + column);
    return static_cast<std::size_t>(i);
}

StoredTable& user_table(DatabaseModel& m, const std::string& name) {
    for (StoredTable& t : m.tables)
        if (!t.system && t.blueprint.name == name) return t;
    throw std::invalid_argument("no table " + name);
}

// Schemas other than dbo get ids from 5 up, in the order the tables name them.
std::int32_t schema_id_of(DatabaseModel& m, const std::string& schema) {
    if (schema.empty() || schema == "dbo") return 1;
    for (const auto& [id, name] : m.schemas)
        if (name == schema) return id;
    const auto id = static_cast<std::int32_t>(5 + m.schemas.size());
    m.schemas[id] = schema;
    return id;
}

void add_system_tables(DatabaseModel& m) {
    std::vector<TableSpec> specs = system_table_specs(m.blueprint->layout);
    const bool other_schemas =
        std::any_of(m.blueprint->tables.begin(), m.blueprint->tables.end(),
                    [](const TableSpec& t) { return !t.schema.empty() && t.schema != "dbo"; });
    if (other_schemas && m.blueprint->layout == Layout::k2005) specs.push_back(class_objects_table_spec());
    for (TableSpec& s : specs) {
        StoredTable t;
        t.system = true;
        t.blueprint = std::move(s);
        const std::int32_t id = t.blueprint.object_id;
        t.rowset_id = std::int64_t{id} << 16;
        t.allocation_unit_id = std::int64_t{id} << 16;
        t.page_object_id = id;
        t.page_index_id = m.blueprint->layout == Layout::k2000 ? 1 : 0;
        t.iam_index_id = t.page_index_id;
        t.index_id = 1;
        m.objects.push_back(
            {t.blueprint.name, "S ", id, 0, static_cast<std::int32_t>(t.blueprint.columns.size()), true, {}, {}});
        m.tables.push_back(std::move(t));
    }
}

void add_user_tables(DatabaseModel& m, ObjectIds& ids) {
    std::set<std::string> names;
    std::int32_t number = 0;
    for (const TableSpec& blueprint : m.blueprint->tables) {
        if (!names.insert(blueprint.schema + "." + blueprint.name).second)
            throw std::invalid_argument("table " + blueprint.name + " given twice");
        StoredTable t;
        t.blueprint = blueprint;
        t.blueprint.object_id = ids.take(blueprint.object_id);
        for (const auto& k : blueprint.key_columns) t.key_columns.push_back(column_of(blueprint, k));
        t.index_id = t.key_columns.empty() ? 0 : 1;
        const bool lob = has_lob_columns(blueprint);
        if (m.blueprint->layout == Layout::k2005 && blueprint.carried_over) {
            t.allocation_unit_id = older_form_unit_id(t.index_id, t.object_id());
            t.rowset_id = t.allocation_unit_id;
            t.page_object_id = t.object_id();
            t.page_index_id = 0;
            t.iam_index_id = static_cast<std::uint16_t>(t.index_id);
            if (lob) t.lob_unit_id = older_form_unit_id(kLegacyLobIndexId, t.object_id());
            t.lob_page_object_id = t.object_id();
            t.lob_page_index_id = kLegacyLobIndexId;
        } else if (m.blueprint->layout == Layout::k2005) {
            const std::int32_t object_number = kFirstUserObjectNumber + number;
            t.allocation_unit_id = blueprint.allocation_unit_id != 0
                                       ? blueprint.allocation_unit_id
                                       : kUserUnitBits | (std::int64_t{object_number} << 16);
            t.rowset_id = kUserUnitBits | (std::int64_t{kFirstUserRowsetNumber + number} << 16);
            const auto unit = static_cast<std::uint64_t>(t.allocation_unit_id);
            t.page_object_id = static_cast<std::int32_t>(static_cast<std::uint32_t>(unit >> 16));
            t.page_index_id = static_cast<std::uint16_t>(unit >> 48);
            t.iam_index_id = t.page_index_id;
            if (lob) t.lob_unit_id = kUserUnitBits | (std::int64_t{kFirstUserLobNumber + number} << 16);
            t.lob_page_object_id = kFirstUserLobNumber + number;
            t.lob_page_index_id = kUserUnitIndexId;
        } else {
            t.page_object_id = t.blueprint.object_id;
            t.page_index_id = static_cast<std::uint16_t>(t.index_id);
            t.iam_index_id = t.page_index_id;
            t.lob_page_object_id = t.object_id();
            t.lob_page_index_id = kLegacyLobIndexId;
        }
        ++number;
        m.objects.push_back({t.blueprint.name, "U ", t.object_id(), 0,
                             static_cast<std::int32_t>(blueprint.columns.size()), false, {}, {},
                             schema_id_of(m, blueprint.schema)});
        if (t.index_id == 1) {
            t.key_name = blueprint.key_name.empty() ? "PK_" + blueprint.name : blueprint.key_name;
            t.key_object_id = ids.take(0);
            m.objects.push_back({t.key_name, "PK", t.key_object_id, t.object_id(), 1, false, {}, {}});
        }
        m.tables.push_back(std::move(t));
    }
}

void add_dependent_objects(DatabaseModel& m, ObjectIds& ids) {
    for (const DefaultSpec& d : m.blueprint->defaults) {
        StoredTable& t = user_table(m, d.table);
        const auto column_id = static_cast<std::int32_t>(column_of(t.blueprint, d.column) + 1);
        const std::int32_t id = ids.take(d.object_id);
        m.objects.push_back({d.name, "D ", id, t.object_id(), column_id, false, d.definition, {}});
        m.column_defaults[{t.object_id(), column_id}] = id;
    }
    for (const ForeignKeySpec& f : m.blueprint->foreign_keys) {
        StoredTable& t = user_table(m, f.table);
        StoredTable& r = user_table(m, f.referenced_table);
        ForeignKeyColumns fk{ids.take(f.object_id), t.object_id(), r.object_id(), {}};
        for (std::size_t k = 0; k < f.columns.size(); ++k)
            fk.column_pairs.emplace_back(
                static_cast<std::int32_t>(column_of(t.blueprint, f.columns[k]) + 1),
                static_cast<std::int32_t>(column_of(r.blueprint, f.referenced_columns[k]) + 1));
        m.objects.push_back({f.name, "F ", fk.object_id, t.object_id(), 0, false, {}, {}});
        m.foreign_keys.push_back(std::move(fk));
    }
    for (const ModuleSpec& mod : m.blueprint->modules) {
        std::int32_t parent = mod.parent_table.empty() ? 0 : user_table(m, mod.parent_table).object_id();
        m.objects.push_back(
            {mod.name, mod.type, ids.take(mod.object_id), parent, 0, false, mod.definition, mod.storage});
    }
}

DatabaseModel make_model(const DatabaseSpec& blueprint) {
    DatabaseModel m;
    m.blueprint = &blueprint;
    ObjectIds ids(blueprint);
    add_system_tables(m);
    add_user_tables(m, ids);
    add_dependent_objects(m, ids);
    for (StoredTable& t : m.tables) t.layout = make_record_layout(t.blueprint.columns);
    return m;
}

// Compact records: row-compressed records packed as they come; with page compression each page is
// filled within a bound that holds whatever prefixes and symbols do to its rows, then rewritten against
// its own anchor record and dictionary.
std::vector<PageRecords> pack_compact_rows(const StoredTable& t, const LobPlacer& placer) {
    const auto& columns = t.blueprint.columns;
    std::vector<std::vector<std::vector<CompactColumn>>> groups;
    std::vector<PageRecords> pages;
    const std::size_t n = t.layout.columns.size();
    const std::size_t slack = 3 * n + 3;
    std::size_t budget = 0;
    for (const auto& row : t.blueprint.rows) {
        std::vector<CompactColumn> compact = compact_columns(t.layout, columns, row, placer);
        std::vector<std::byte> record = build_compact_record({0, compact, std::nullopt});
        if (record.size() > kMaxRecordLength) throw std::invalid_argument("compact record longer than 8060");
        if (t.blueprint.compression == Compression::Row) {
            if (pages.empty() || !pages.back().fits(record.size())) pages.emplace_back();
            pages.back().add(std::move(record));
            continue;
        }
        const std::size_t bound = record.size() + slack;
        // The anchor record costs at most one more row (the first), the information header a few bytes.
        if (groups.empty() || budget + bound + 2 * (groups.back().size() + 1) > kPageBody) {
            groups.emplace_back();
            budget = bound + 16;
        }
        budget += bound;
        groups.back().push_back(std::move(compact));
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        PageRecords& page = pages.emplace_back();
        if (g + 1 == groups.size() && groups.size() > 1) {
            for (const auto& row : groups[g]) page.add(build_compact_record({0, row, std::nullopt}));
            continue;
        }
        CompressedPage compressed = compress_page(groups[g], columns, t.layout);
        page.info = std::move(compressed.info);
        for (auto& record : compressed.records) page.add(std::move(record));
    }
    return pages;
}

// Encodes a table's rows and packs them, in order, onto as many pages as they need. Values that live on
// LOB pages go into `lobs`.
std::vector<PageRecords> pack_rows(const StoredTable& t, LobStore* lobs = nullptr) {
    std::vector<PageRecords> pages;
    LobPlacer placer;
    if (lobs != nullptr)
        placer = [lobs](const ColumnSpec& column, const std::vector<std::byte>& value) {
            const bool text_pointer = column.type == SqlType::Text || column.type == SqlType::NText ||
                                      column.type == SqlType::Image;
            return text_pointer ? lobs->text_pointer_value(value) : lobs->in_row_root_value(value);
        };
    if (t.blueprint.compression != Compression::None) return pack_compact_rows(t, placer);
    for (const auto& row : t.blueprint.rows) {
        std::vector<std::byte> record = encode_record(t.layout, t.blueprint.columns, row, placer);
        if (pages.empty() || !pages.back().fits(record.size())) pages.emplace_back();
        pages.back().add(std::move(record));
    }
    return pages;
}

class PageAllocator {
  public:
    PageAllocator() {
        for (std::int32_t p : {0, 1, 2, 3, 4, 5, 6, 7, 9}) take(p);
    }
    void take(std::int32_t page) {
        if (static_cast<std::size_t>(page) >= taken_.size())
            taken_.resize(static_cast<std::size_t>(page) + 1, false);
        taken_[static_cast<std::size_t>(page)] = true;
    }
    bool taken(std::int32_t page) const {
        return static_cast<std::size_t>(page) < taken_.size() && taken_[static_cast<std::size_t>(page)];
    }
    std::int32_t next_free() {
        std::int32_t p = 8;
        while (taken(p)) ++p;
        take(p);
        return p;
    }
    // The first extent with no page taken; takes all eight.
    std::int32_t next_free_extent() {
        for (std::int32_t e = 8;; e += 8) {
            bool free = true;
            for (std::int32_t k = 0; k < 8 && free; ++k) free = !taken(e + k);
            if (!free) continue;
            for (std::int32_t k = 0; k < 8; ++k) take(e + k);
            return e;
        }
    }
    std::int32_t end() const { return static_cast<std::int32_t>(taken_.size()); }

  private:
    std::vector<bool> taken_;
};

// System tables: one page after the other from page 8 on. User tables: an IAM page, the first eight
// data pages wherever a page is free (mixed extents), the rest in whole extents of their own.
void place(DatabaseModel& m, const std::vector<std::vector<PageRecords>>& packed) {
    PageAllocator pages;
    for (std::size_t i = 0; i < m.tables.size(); ++i) {
        StoredTable& t = m.tables[i];
        const std::size_t n = packed[i].size();
        t.pages.clear();
        t.uniform_extents.clear();
        t.iam_page = 0;
        t.single_pages = 0;
        if (t.system) {
            for (std::size_t k = 0; k < n; ++k) t.pages.push_back(pages.next_free());
            continue;
        }
        if (n == 0) continue;
        t.iam_page = pages.next_free();
        t.single_pages = std::min<std::size_t>(n, 8);
        for (std::size_t k = 0; k < t.single_pages; ++k) t.pages.push_back(pages.next_free());
        for (std::size_t k = t.single_pages; k < n; k += 8) {
            std::int32_t e = pages.next_free_extent();
            t.uniform_extents.push_back(e);
            for (std::size_t j = 0; j < 8 && k + j < n; ++j)
                t.pages.push_back(e + static_cast<std::int32_t>(j));
        }
    }
}

void write_table_pages(std::vector<std::byte>& image, const StoredTable& t,
                       const std::vector<PageRecords>& packed, std::set<std::int32_t>& written) {
    for (std::size_t k = 0; k < t.pages.size(); ++k) {
        PageHeaderFields h;
        h.type = 1;
        h.index_id = t.page_index_id;
        h.object_id = t.page_object_id;
        h.page_id = t.pages[k];
        h.min_len = static_cast<std::uint16_t>(4 + t.layout.fixed_length);
        if (!packed[k].info.empty()) h.type_flag_bits = 0x80;
        if (k > 0) h.prev = {1, t.pages[k - 1]};
        if (k + 1 < t.pages.size()) h.next = {1, t.pages[k + 1]};
        write_page(
            std::span<std::byte>(image.data() + static_cast<std::size_t>(h.page_id) * kPageSize, kPageSize),
            h, packed[k].records(), packed[k].info);
        written.insert(h.page_id);
    }
}

BuiltDatabase report(const DatabaseModel& m, std::vector<std::byte> image, std::int32_t page_count) {
    BuiltDatabase out;
    out.image = std::move(image);
    out.page_count = page_count;
    for (const StoredTable& t : m.tables)
        out.tables.push_back({t.blueprint.name, t.system, t.object_id(), t.rowset_id, t.allocation_unit_id,
                              t.page_object_id, t.index_id, t.pages, t.iam_page, t.blueprint.rows.size()});
    for (const CatalogObject& o : m.objects)
        out.objects.push_back({o.name, o.type, o.object_id, o.parent_object_id});
    return out;
}

}  // namespace

const BuiltTable* BuiltDatabase::table(const std::string& name) const {
    for (const BuiltTable& t : tables)
        if (t.name == name) return &t;
    return nullptr;
}

std::int32_t BuiltDatabase::object_id(const std::string& name) const {
    for (const BuiltObject& o : objects)
        if (o.name == name) return o.object_id;
    return 0;
}

BuiltDatabase build_database_image(const DatabaseSpec& blueprint) {
    DatabaseModel m = make_model(blueprint);

    // Pass 1 sizes the catalog without page numbers; page pointers have a fixed size, so pass 2, with
    // the pages known, packs every table onto the same number of pages.
    write_catalog_rows(m);
    std::vector<std::vector<PageRecords>> packed;
    LobStore sizing(0, blueprint.layout);
    for (const StoredTable& t : m.tables) packed.push_back(pack_rows(t, &sizing));
    place(m, packed);
    write_catalog_rows(m);
    for (std::size_t i = 0; i < m.tables.size(); ++i) {
        if (!m.tables[i].system) continue;
        packed[i] = pack_rows(m.tables[i]);
        if (packed[i].size() != m.tables[i].pages.size())
            throw std::logic_error("catalog pages changed between passes");
    }

    std::int32_t end = 16;
    for (const StoredTable& t : m.tables) {
        for (std::int32_t p : t.pages) end = std::max(end, p + 1);
        for (std::int32_t e : t.uniform_extents) end = std::max(end, e + 8);
        end = std::max(end, t.iam_page + 1);
    }
    // LOB pages follow everything else, table after table, each table's pages marked as its LOB unit's;
    // the items rows keep for them have the same size wherever the pages go, so the user tables are
    // packed again onto the same pages with the real page ids.
    std::vector<LobStore> lob_stores;
    for (std::size_t i = 0; i < m.tables.size(); ++i) {
        const StoredTable& t = m.tables[i];
        if (t.system) continue;
        LobStore& lobs = lob_stores.emplace_back(end, blueprint.layout, t.lob_page_object_id);
        lobs.set_index_id(t.lob_page_index_id);
        packed[i] = pack_rows(t, &lobs);
        if (packed[i].size() != t.pages.size())
            throw std::logic_error("table pages changed with the LOB page ids");
        end += lobs.page_count();
    }
    const std::int32_t page_count = (end + 7) / 8 * 8;
    std::vector<std::byte> image(static_cast<std::size_t>(page_count) * kPageSize);

    std::set<std::int32_t> written;
    for (std::size_t i = 0; i < m.tables.size(); ++i)
        write_table_pages(image, m.tables[i], packed[i], written);
    for (const LobStore& lobs : lob_stores) {
        for (const auto& [page_id, page] : lobs.pages()) {
            std::memcpy(image.data() + static_cast<std::size_t>(page_id) * kPageSize, page.data(), kPageSize);
            written.insert(page_id);
        }
    }
    write_allocation_pages(image, m, written);
    if (blueprint.torn_page_protection)
        for (std::int32_t p : written)
            apply_torn_bits(
                std::span<std::byte>(image.data() + static_cast<std::size_t>(p) * kPageSize, kPageSize));
    return report(m, std::move(image), page_count);
}

std::vector<std::byte> build_database(const DatabaseSpec& blueprint) {
    return build_database_image(blueprint).image;
}

bool write_database(const DatabaseSpec& blueprint, const std::string& path) {
    std::vector<std::byte> image = build_database(blueprint);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

}  // namespace quenlow::testing
