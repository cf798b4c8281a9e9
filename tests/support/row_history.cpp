#include "tests/support/row_history.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <stdexcept>

#include "engine/pages/page_header.h"
#include "tests/support/page_writer.h"
#include "tests/support/record_encoder.h"

namespace quenlow::testing {

namespace L = page_layout;

namespace {

using Record = std::vector<std::byte>;

constexpr std::uint8_t kGhostType = 0x0C;  // record type 6 in bits 1-3 of status byte A

std::string order_code(int id) {
    std::string code = "C" + std::to_string(id) + "-";
    code.resize(120, static_cast<char>('a' + id % 26));
    return code;
}

std::string order_name(int id) {
    std::string digits = std::to_string(id);
    return "order " + std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits;
}

std::vector<Value> order_values(int id, int qty, std::optional<std::string> name) {
    return {Value::integer(id), Value::text(order_code(id)), Value::integer(qty),
            name ? Value::text(*name) : Value::null()};
}

// Edits the image of one built database and keeps the truth about every row of its user tables.
class HistoryEditor {
public:
    HistoryEditor(BuiltDatabase& db, const DatabaseSpec& blueprint) : db_(db), blueprint_(blueprint) {
        for (const TableSpec& table : blueprint.tables) {
            const BuiltTable* built = db.table(table.name);
            if (built == nullptr) throw std::invalid_argument("no table " + table.name);
            std::size_t row = 0;
            for (std::int32_t page : built->data_pages)
                for (std::uint16_t offset : slots(page))
                    rows_.push_back({table.name, row_cells(table, table.rows.at(row++)), true,
                                     RecordPlace::kSlot, true, true, page, offset});
        }
    }

    std::span<std::byte> page(std::int32_t id) {
        return std::span<std::byte>(db_.image).subspan(static_cast<std::size_t>(id) * kPageSize, kPageSize);
    }
    template <typename T>
    T get(std::int32_t id, std::size_t at) {
        T value;
        std::memcpy(&value, page(id).data() + at, sizeof(T));
        return value;
    }
    template <typename T>
    void put(std::int32_t id, std::size_t at, T value) {
        std::memcpy(page(id).data() + at, &value, sizeof(T));
    }

    std::vector<std::uint16_t> slots(std::int32_t id) {
        std::vector<std::uint16_t> out(
            static_cast<std::size_t>(std::max<std::int16_t>(0, get<std::int16_t>(id, L::kSlotCount))));
        for (std::size_t j = 0; j < out.size(); ++j) out[j] = get<std::uint16_t>(id, kPageSize - 2 - 2 * j);
        return out;
    }
    // Writes the slot array and its count; entries of a longer former array are zeroed.
    void write_slots(std::int32_t id, const std::vector<std::uint16_t>& entries) {
        const std::size_t before = slots(id).size();
        for (std::size_t j = 0; j < std::max(before, entries.size()); ++j)
            put<std::uint16_t>(id, kPageSize - 2 - 2 * j, j < entries.size() ? entries[j] : 0);
        put<std::int16_t>(id, L::kSlotCount, static_cast<std::int16_t>(entries.size()));
    }

    std::int32_t data_page(const std::string& table, std::size_t k) { return built(table).data_pages.at(k); }
    const BuiltTable& built(const std::string& table) {
        const BuiltTable* t = db_.table(table);
        if (t == nullptr) throw std::invalid_argument("no table " + table);
        return *t;
    }
    const TableSpec& table_blueprint(const std::string& table) {
        const TableSpec* t = blueprint_.find_table(table);
        if (t == nullptr) throw std::invalid_argument("no table " + table);
        return *t;
    }
    // The row a slot names: live, or a ghost.
    HistoryRow& row_at(std::int32_t id, std::uint16_t offset) {
        for (HistoryRow& r : rows_)
            if ((r.live || r.place == RecordPlace::kGhost) && r.page == id && r.offset == offset) return r;
        throw std::logic_error("no row in a slot at that place");
    }

    Record encode(const std::string& table, const std::vector<Value>& values) {
        const TableSpec& t = table_blueprint(table);
        return encode_record(make_record_layout(t.columns), t.columns, values, nullptr);
    }

    // Marks the rows of these slots as deleted ghosts and counts them in the page header.
    void ghost(std::int32_t id, const std::vector<std::size_t>& which) {
        const std::vector<std::uint16_t> s = slots(id);
        for (std::size_t j : which) {
            page(id)[s.at(j)] |= std::byte{kGhostType};
            HistoryRow& r = row_at(id, s[j]);
            r.live = false;
            r.place = RecordPlace::kGhost;
        }
        put<std::int16_t>(
            id, L::kGhostCount,
            static_cast<std::int16_t>(get<std::int16_t>(id, L::kGhostCount) + std::ssize(which)));
    }

    // Takes the slots away from their rows: removed (later slots shift down) or zeroed in place. Ghosts
    // leave the page's ghost count; their records keep type 6.
    void unslot(std::int32_t id, const std::vector<std::size_t>& which, bool shift) {
        std::vector<std::uint16_t> s = slots(id);
        for (std::size_t j : which) {
            HistoryRow& r = row_at(id, s.at(j));
            if (r.place == RecordPlace::kGhost)
                put<std::int16_t>(id, L::kGhostCount,
                                  static_cast<std::int16_t>(get<std::int16_t>(id, L::kGhostCount) - 1));
            r.live = false;
            r.place = RecordPlace::kUnslotted;
        }
        if (shift) {
            std::vector<std::uint16_t> kept;
            for (std::size_t j = 0; j < s.size(); ++j)
                if (std::find(which.begin(), which.end(), j) == which.end()) kept.push_back(s[j]);
            s = std::move(kept);
        } else {
            for (std::size_t j : which) s[j] = 0;
        }
        write_slots(id, s);
    }

    // Writes bytes at the page's free data offset and moves it on; with a slot the bytes are a record
    // named by a new last slot. Returns where they went.
    std::uint16_t append(std::int32_t id, const Record& bytes, bool with_slot) {
        const std::uint16_t at = get<std::uint16_t>(id, L::kFreeData);
        const std::size_t slot_bytes = 2 * (slots(id).size() + (with_slot ? 1 : 0));
        if (at + bytes.size() + slot_bytes > kPageSize) throw std::length_error("no room on the page");
        std::memcpy(page(id).data() + at, bytes.data(), bytes.size());
        put<std::uint16_t>(id, L::kFreeData, static_cast<std::uint16_t>(at + bytes.size()));
        put<std::uint16_t>(id, L::kFreeCount,
                           static_cast<std::uint16_t>(get<std::uint16_t>(id, L::kFreeCount) - bytes.size() -
                                                      (with_slot ? 2 : 0)));
        if (with_slot) {
            std::vector<std::uint16_t> s = slots(id);
            s.push_back(at);
            write_slots(id, s);
        }
        return at;
    }

    void add_row(const std::string& table, const std::vector<Value>& values, bool live, RecordPlace place,
                 std::int32_t id, std::uint16_t offset, bool allocated = true, bool expected = true) {
        rows_.push_back(
            {table, row_cells(table_blueprint(table), values), live, place, allocated, expected, id, offset});
    }

    // Takes a data page out of its table's page chain and IAM page; its rows are no longer live.
    void deallocate(const std::string& table, std::size_t k) {
        const BuiltTable& t = built(table);
        const std::int32_t id = t.data_pages.at(k);
        if (k > 0) {
            put<std::int32_t>(t.data_pages[k - 1], L::kNextPageId, 0);
            put<std::uint16_t>(t.data_pages[k - 1], L::kNextFileId, 0);
        }
        if (k + 1 < t.data_pages.size()) {
            put<std::int32_t>(t.data_pages[k + 1], L::kPrevPageId, 0);
            put<std::uint16_t>(t.data_pages[k + 1], L::kPrevFileId, 0);
        }
        // The IAM header record's fixed data starts at byte 100; single-page slot j at 42 + 6j.
        for (std::size_t j = 0; j < 8 && t.iam_page != 0; ++j)
            if (get<std::int32_t>(t.iam_page, 142 + 6 * j) == id) {
                put<std::int32_t>(t.iam_page, 142 + 6 * j, 0);
                put<std::uint16_t>(t.iam_page, 146 + 6 * j, 0);
            }
        for (HistoryRow& r : rows_)
            if (r.page == id) {
                r.allocated = false;
                r.live = false;
            }
    }

    // Grows the file by one extent of zero pages; returns the first of them.
    std::int32_t add_extent() {
        const std::int32_t first = db_.page_count;
        db_.page_count += 8;
        db_.image.resize(static_cast<std::size_t>(db_.page_count) * kPageSize);
        return first;
    }

    RowHistory finish(std::string name, std::vector<std::string> tables = {"Orders"}) {
        return {std::move(name), std::move(tables), std::move(rows_)};
    }

private:
    BuiltDatabase& db_;
    const DatabaseSpec& blueprint_;
    std::vector<HistoryRow> rows_;
};

}  // namespace

DatabaseSpec history_database() {
    DatabaseSpec db;
    auto& orders = db.add_table("Orders");
    orders.add_column("Id", SqlType::Int);
    orders.add_column("Code", SqlType::Char, 120);
    orders.add_column("Qty", SqlType::Int);
    orders.add_column("Name", SqlType::NVarChar, 60, true);
    orders.primary_key({"Id"});
    for (int id = 1; id <= 120; ++id) orders.add_row(order_values(id, 3 * id, order_name(id)));
    auto& notes = db.add_table("Notes");
    notes.add_column("Id", SqlType::Int);
    notes.add_column("Body", SqlType::VarChar, 200);
    for (int id = 1; id <= 6; ++id)
        notes.add_row({Value::integer(id), Value::text("note " + std::to_string(id))});
    return db;
}

std::vector<CellText> row_cells(const TableSpec& table, const std::vector<Value>& values) {
    std::vector<CellText> cells;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Value& v = i < values.size() ? values[i] : Value::null();
        if (v.is_null())
            cells.emplace_back();
        else if (v.kind() == Value::Kind::Integer)
            cells.emplace_back(std::to_string(v.as_integer()));
        else if (v.kind() == Value::Kind::Text)
            cells.emplace_back(v.as_text());
        else
            throw std::invalid_argument("row_cells takes integers and text only");
    }
    return cells;
}

RowHistory ghost_deletes(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    e.ghost(e.data_page("Orders", 0), {3, 9, 14, 20, 27, 33, 41, 49});
    e.ghost(e.data_page("Orders", 2), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    return e.finish("ghosts");
}

RowHistory cleaned_ghosts(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    // Clustered-index style: the ghosts' slot entries are removed.
    const std::int32_t first = e.data_page("Orders", 0);
    e.ghost(first, {2, 7, 8, 30, 49});
    e.unslot(first, {2, 7, 8, 30, 49}, /*shift*/ true);
    // Heap style: deleted rows' slot entries are zeroed, the records keep their type.
    e.unslot(e.data_page("Orders", 1), {0, 11, 25, 26}, /*shift*/ false);
    return e.finish("cleaned ghosts");
}

RowHistory updated_rows(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t first = e.data_page("Orders", 0), second = e.data_page("Orders", 1),
                       last = e.data_page("Orders", 2);
    // Row 6 in place: a new quantity over the old one, the same length.
    {
        const std::uint16_t at = e.slots(first).at(5);
        const Record updated = e.encode("Orders", order_values(6, 6000, order_name(6)));
        std::memcpy(e.page(first).data() + at, updated.data(), updated.size());
        e.row_at(first, at).cells = row_cells(e.table_blueprint("Orders"), order_values(6, 6000, order_name(6)));
    }
    // Row 105 grew: written again at the free data offset, its slot moved there.
    {
        std::vector<std::uint16_t> s = e.slots(last);
        const std::uint16_t old = s.at(4);
        HistoryRow& before = e.row_at(last, old);
        before.live = false;
        before.place = RecordPlace::kUnslotted;
        const auto values = order_values(105, 315, "order 0105 renamed to something longer");
        const std::uint16_t at = e.append(last, e.encode("Orders", values), false);
        s = e.slots(last);
        s[4] = at;
        e.write_slots(last, s);
        e.add_row("Orders", values, true, RecordPlace::kSlot, last, at);
    }
    // Row 61 moved to the last page with a new quantity and name; its slot on the second page removed.
    {
        e.unslot(second, {10}, /*shift*/ true);
        const auto values = order_values(61, 1, "order 0061 moved");
        const std::uint16_t at = e.append(last, e.encode("Orders", values), true);
        e.add_row("Orders", values, true, RecordPlace::kSlot, last, at);
    }
    return e.finish("updated rows");
}

RowHistory stale_copy_page(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t source = e.data_page("Orders", 1);
    const std::int32_t copy = e.add_extent();
    std::memcpy(e.page(copy).data(), e.page(source).data(), kPageSize);
    e.put<std::int32_t>(copy, L::kPageId, copy);
    return e.finish("stale copy of a live page");
}

RowHistory deallocated_page(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    e.deallocate("Orders", 2);
    return e.finish("de-allocated page");
}

RowHistory reused_page(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t id = e.data_page("Notes", 0);
    // Behind the free data offset, where Notes has not written yet: the tail of an Orders record that a
    // record of Notes overwrote, then whole records of Orders.
    std::size_t at = e.get<std::uint16_t>(id, L::kFreeData);
    const Record overwritten = e.encode("Orders", order_values(900, 2700, order_name(900)));
    std::memcpy(e.page(id).data() + at, overwritten.data() + 100, overwritten.size() - 100);
    at += overwritten.size() - 100;
    for (int order = 901; order <= 905; ++order) {
        const auto values = order_values(order, 3 * order, order_name(order));
        const Record r = e.encode("Orders", values);
        std::memcpy(e.page(id).data() + at, r.data(), r.size());
        e.add_row("Orders", values, false, RecordPlace::kUnslotted, id, static_cast<std::uint16_t>(at),
                  /*allocated*/ false, /*expected*/ false);
        at += r.size();
    }
    return e.finish("page reused by another table", {"Orders", "Notes"});
}

RowHistory garbage_between_records(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t id = e.data_page("Orders", 2);
    std::mt19937 random(20261210);
    // Random bytes, none of them 0x84, so that no run reads as the start of a data row by chance.
    auto noise = [&](std::size_t n) {
        Record bytes(n);
        for (std::byte& b : bytes) {
            std::uint8_t v = static_cast<std::uint8_t>(random());
            b = std::byte{v == 0x84 ? std::uint8_t{0x85} : v};
        }
        return bytes;
    };
    e.append(id, noise(64), false);
    Record fake = {std::byte{0x30}, std::byte{0}, std::byte{0x84}, std::byte{0}};
    const Record tail = noise(150);
    fake.insert(fake.end(), tail.begin(), tail.end());
    e.append(id, fake, false);
    e.append(id, noise(40), false);
    const auto values = order_values(950, 2850, order_name(950));
    const std::uint16_t at = e.append(id, e.encode("Orders", values), false);
    e.add_row("Orders", values, false, RecordPlace::kUnslotted, id, at);
    e.append(id, noise(30), false);
    return e.finish("garbage between records");
}

RowHistory ghost_past_page_end(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t id = e.data_page("Orders", 2);
    Record r = e.encode("Orders", order_values(990, 2970, order_name(990)));
    r[0] |= std::byte{kGhostType};
    // The end offset of Name, the last two bytes before its value, points 512 bytes into the record.
    const std::size_t name_end = r.size() - 20 - 2;
    r[name_end] = std::byte{0x00};
    r[name_end + 1] = std::byte{0x02};
    std::vector<std::uint16_t> s = e.slots(id);
    const auto at = static_cast<std::uint16_t>(kPageSize - 2 * (s.size() + 1) - 150);
    std::memcpy(e.page(id).data() + at, r.data(), 150);
    s.push_back(at);
    e.write_slots(id, s);
    e.put<std::int16_t>(id, L::kGhostCount,
                        static_cast<std::int16_t>(e.get<std::int16_t>(id, L::kGhostCount) + 1));
    return e.finish("ghost running past the page end");
}

RowHistory candidate_overlapping_live(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t id = e.data_page("Orders", 2);
    const Record deleted = e.encode("Orders", order_values(980, 2940, order_name(980)));
    const std::uint16_t at = e.append(id, deleted, false);
    // The newer row starts inside the Name value of the deleted one: the deleted record's header and
    // offsets are whole, its last 14 bytes are the newer record's first.
    e.put<std::uint16_t>(id, L::kFreeData, static_cast<std::uint16_t>(at + deleted.size() - 14));
    const auto values = order_values(121, 363, order_name(121));
    const std::uint16_t live = e.append(id, e.encode("Orders", values), true);
    e.add_row("Orders", values, true, RecordPlace::kSlot, id, live);
    return e.finish("candidate overlapping a live record");
}

RowHistory older_schema_page(BuiltDatabase& db, const DatabaseSpec& blueprint) {
    HistoryEditor e(db, blueprint);
    const std::int32_t source = e.data_page("Orders", 0);
    const std::int32_t id = e.add_extent();
    std::vector<ColumnSpec> columns = e.table_blueprint("Orders").columns;
    columns.pop_back();  // no Name yet
    const RecordLayout layout = make_record_layout(columns);
    std::vector<Record> records;
    PageHeaderFields h;
    h.object_id = e.get<std::int32_t>(source, L::kObjectId);
    h.index_id = e.get<std::uint16_t>(source, L::kIndexId);
    h.page_id = id;
    // The page once stood between the first two pages of the table. (A stale page without a previous
    // page would pass for the first page of the table's chain.)
    h.prev = {1, source};
    h.next = {1, e.data_page("Orders", 1)};
    std::vector<std::vector<Value>> rows;
    for (int order = 801; order <= 810; ++order) {
        auto values = order_values(order, 3 * order, std::nullopt);
        values.pop_back();
        records.push_back(encode_record(layout, columns, values, nullptr));
        rows.push_back(values);
    }
    write_page(e.page(id), h, records);
    const std::vector<std::uint16_t> s = e.slots(id);
    for (std::size_t j = 0; j < rows.size(); ++j)
        e.add_row("Orders", rows[j], false, RecordPlace::kSlot, id, s[j], /*allocated*/ false,
                  /*expected*/ false);
    return e.finish("page of an older schema");
}

}  // namespace quenlow::testing
