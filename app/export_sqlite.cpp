// The SQLite target (see export_files.h).

#include <sqlite3.h>

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <set>

#include "app/export_file_writer.h"
#include "app/export_files.h"
#include "engine/catalog/type_codes.h"

namespace quenlow {

namespace {

// The page cache of the connection, in KiB.
constexpr int kCacheKib = 16384;
// Rows one INSERT statement takes at most.
constexpr std::size_t kRowsPerInsert = 64;

enum class CellKind { kInteger, kBit, kBlob, kText };

CellKind cell_kind(std::int32_t type_code) {
    switch (type_code) {
        case kTypeBigint:
        case kTypeInt:
        case kTypeSmallint:
        case kTypeTinyint:
            return CellKind::kInteger;
        case kTypeBit:
            return CellKind::kBit;
        case kTypeBinary:
        case kTypeVarbinary:
        case kTypeImage:
        case kTypeTimestamp:
        case kTypeClr:
            return CellKind::kBlob;
        default:
            return CellKind::kText;
    }
}

const char* declared_type(CellKind kind) {
    switch (kind) {
        case CellKind::kInteger:
        case CellKind::kBit:
            return "INTEGER";
        case CellKind::kBlob:
            return "BLOB";
        case CellKind::kText:
            break;
    }
    return "TEXT";
}

std::string quoted_identifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A name not taken yet (SQLite compares names without regard to ASCII case): the name, or the name with
// "_2", "_3", ...
std::string unique_name(const std::string& name, std::set<std::string>& taken) {
    std::string out = name;
    for (int n = 2; taken.count(lower_ascii(out)) != 0; ++n) out = fmt::format("{}_{}", name, n);
    taken.insert(lower_ascii(out));
    return out;
}

class SqliteTarget final : public ExportTarget {
public:
    explicit SqliteTarget(std::string path) : path_(std::move(path)), part_(path_ + ".part") {}
    ~SqliteTarget() override {
        close();
        if (!committed_) std::remove(part_.c_str());
    }

    bool begin_table(const ExportTable& table) override {
        if (!ensure_open()) return false;
        const std::vector<ExportColumn>& columns = table.columns;
        const ExportTableName& table_name = table.name;
        std::string name;
        append_valid_utf8(name, table_name.schema == "dbo" || table_name.schema.empty()
                                    ? table_name.name
                                    : table_name.schema + "." + table_name.name);
        // Names starting with "sqlite_" belong to SQLite.
        if (name.empty() || lower_ascii(name).rfind("sqlite_", 0) == 0) name.insert(name.begin(), '_');
        destination_ = unique_name(name, taken_);
        kinds_.clear();
        std::set<std::string> names;
        std::string create = "CREATE TABLE " + quoted_identifier(destination_) + " (";
        std::string insert = "INSERT INTO " + quoted_identifier(destination_) + " VALUES (";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            kinds_.push_back(cell_kind(columns[i].type_code));
            std::string valid;
            append_valid_utf8(valid,
                              columns[i].name.empty() ? fmt::format("column{}", i + 1) : columns[i].name);
            if (i > 0) create += ", ", insert += ", ";
            create += quoted_identifier(unique_name(valid, names)) + " " + declared_type(kinds_.back());
            insert += "?";
        }
        create += ")";
        insert += ")";
        column_list_ = create.substr(create.find('('));
        insert_values_ = insert.substr(insert.find(" VALUES"));
        for (OtherTable& other : others_) other.name.clear();
        if (!exec(create) || !exec("BEGIN")) return false;
        return prepare(insert, insert_) && prepare_multi_row_insert(columns.size());
    }

    // Rows go in kRowsPerInsert at a time through one statement with that many rows of values (a step
    // costs about as much as the row it inserts), the rest one at a time. Texts and blobs are bound
    // without a copy (SQLITE_STATIC): the cells, and the buffers of texts that had to be repaired, stay as
    // they are until the step is done.
    bool write_rows(const CellRows& rows) override {
        const std::size_t width = kinds_.size();
        if (rows.width != width) {
            error_ = fmt::format("{}: {} cells in a row of a table of {} columns", part_, rows.width, width);
            return false;
        }
        if (cell_bytes_.size() < width * std::max<std::size_t>(1, multi_rows_))
            cell_bytes_.resize(width * std::max<std::size_t>(1, multi_rows_));
        std::size_t r = 0;
        for (; multi_insert_ != nullptr && rows.row_count() - r >= multi_rows_; r += multi_rows_) {
            for (std::size_t k = 0; k < multi_rows_; ++k) {
                const auto row = rows.row(r + k);
                for (std::size_t i = 0; i < width; ++i) {
                    const std::size_t at = k * width + i;
                    if (!bind(multi_insert_, static_cast<int>(at) + 1, kinds_[i], row[i], cell_bytes_[at]))
                        return false;
                }
            }
            if (!step(multi_insert_)) return false;
        }
        for (; r < rows.row_count(); ++r) {
            const auto row = rows.row(r);
            for (std::size_t i = 0; i < width; ++i)
                if (!bind(insert_, static_cast<int>(i) + 1, kinds_[i], row[i], cell_bytes_[i])) return false;
            if (!step(insert_)) return false;
        }
        return true;
    }

    // Each origin gets a table of its own with the table's columns, "<table> (deleted rows)" or
    // "<table> (body scan rows)" or "<table> (stale page rows)", filled in the table's transaction.
    bool write_other_rows(const CellRows& rows, RowOrigin origin) override {
        OtherTable& other = others_[other_origin_index(origin)];
        const std::size_t width = kinds_.size();
        if (rows.width != width) {
            error_ = fmt::format("{}: {} cells in a row of a table of {} columns", part_, rows.width, width);
            return false;
        }
        if (other.insert == nullptr) {
            other.name = unique_name(fmt::format("{} ({} rows)", destination_,
                                                 origin == RowOrigin::kDeleted    ? "deleted"
                                                 : origin == RowOrigin::kBodyScan ? "body scan"
                                                                                  : "stale page"),
                                     taken_);
            const std::string table = quoted_identifier(other.name);
            if (!exec("CREATE TABLE " + table + " " + column_list_) ||
                !prepare("INSERT INTO " + table + insert_values_, other.insert))
                return false;
        }
        if (cell_bytes_.size() < width) cell_bytes_.resize(width);
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
            const auto row = rows.row(r);
            for (std::size_t i = 0; i < width; ++i)
                if (!bind(other.insert, static_cast<int>(i) + 1, kinds_[i], row[i], cell_bytes_[i])) return false;
            if (!step(other.insert)) return false;
        }
        return true;
    }
    std::string other_destination(RowOrigin origin) const override {
        return others_[other_origin_index(origin)].name;
    }

    bool end_table(bool) override {
        finalize_statements();
        return exec("COMMIT");
    }

    bool definition(const std::string& schema, const std::string& name, const std::string& type,
                    const std::string& text) override {
        if (!ensure_open()) return false;
        if (definition_ == nullptr &&
            !prepare("INSERT INTO definitions (schema, name, type, text) VALUES (?, ?, ?, ?)", definition_))
            return false;
        const std::string* values[] = {&schema, &name, &type, &text};
        for (int i = 0; i < 4; ++i)
            if (!bind_text(definition_, i + 1, *values[i])) return false;
        return step(definition_);
    }

    bool finish() override {
        if (!ensure_open()) return false;
        const bool closed = close();
        if (!closed) return false;
        std::error_code ec;
        std::filesystem::rename(part_, path_, ec);
        if (ec) {
            error_ = fmt::format("{}: cannot be renamed from {}: {}", path_, part_, ec.message());
            return false;
        }
        committed_ = true;
        return true;
    }

    bool write_report(const std::string& json) override {
        ExportFileWriter report;
        if (report.open(report_path(ExportKind::kSqlite, path_)) && report.write(json) && report.commit())
            return true;
        error_ = report.error();
        return false;
    }

    std::string error() const override { return error_; }
    std::string table_destination() const override { return destination_; }
    std::string kind() const override { return "sqlite"; }
    std::string output() const override { return path_; }

private:
    bool ensure_open() {
        if (db_ != nullptr) return true;
        if (!error_.empty()) return false;
        std::remove(part_.c_str());
        // The target is used from one thread only, so the connection needs no mutexes of its own.
        if (sqlite3_open_v2(part_.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            error_ =
                fmt::format("{}: cannot be created: {}", part_, db_ ? sqlite3_errmsg(db_) : "out of memory");
            sqlite3_close(db_);
            db_ = nullptr;
            return false;
        }
        // A new file that gets its own name only when it is whole needs no journal. Large pages make
        // fewer tree pages to fill and link, and a page cache of kCacheKib keeps the tree's upper pages
        // in memory while a large table is filled.
        return exec("PRAGMA page_size=65536") && exec("PRAGMA journal_mode=OFF") &&
               exec("PRAGMA synchronous=OFF") && exec(fmt::format("PRAGMA cache_size=-{}", kCacheKib)) &&
               exec("CREATE TABLE definitions (schema TEXT, name TEXT, type TEXT, text TEXT)");
    }

    void finalize_statements() {
        sqlite3_finalize(insert_);
        sqlite3_finalize(multi_insert_);
        insert_ = multi_insert_ = nullptr;
        for (OtherTable& other : others_) {
            sqlite3_finalize(other.insert);
            other.insert = nullptr;
        }
    }

    bool close() {
        finalize_statements();
        sqlite3_finalize(definition_);
        definition_ = nullptr;
        if (db_ == nullptr) return true;
        const int rc = sqlite3_close(db_);
        if (rc != SQLITE_OK) {
            error_ = fmt::format("{}: cannot be closed: {}", part_, sqlite3_errstr(rc));
            return false;
        }
        db_ = nullptr;
        return true;
    }

    bool failed() {
        error_ = fmt::format("{}: {}", part_, sqlite3_errmsg(db_));
        return false;
    }

    bool exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK || failed();
    }

    bool prepare(const std::string& sql, sqlite3_stmt*& statement) {
        return sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) ==
                   SQLITE_OK ||
               failed();
    }

    // The statement that inserts kRowsPerInsert rows of `width` values (fewer rows when SQLite allows
    // fewer values in one statement; none for a single row).
    bool prepare_multi_row_insert(std::size_t width) {
        const auto most_values =
            static_cast<std::size_t>(sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
        multi_rows_ = std::min(kRowsPerInsert, width == 0 ? 0 : most_values / width);
        if (multi_rows_ < 2) {
            multi_rows_ = 0;
            return true;
        }
        std::string tuple = "(";
        for (std::size_t i = 0; i < width; ++i) tuple += i == 0 ? "?" : ", ?";
        tuple += ")";
        std::string insert = "INSERT INTO " + quoted_identifier(destination_) + " VALUES ";
        for (std::size_t k = 0; k < multi_rows_; ++k) insert += (k == 0 ? "" : ", ") + tuple;
        return prepare(insert, multi_insert_);
    }

    bool step(sqlite3_stmt* statement) {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        return rc == SQLITE_DONE || failed();
    }

    bool bind_text(sqlite3_stmt* statement, int index, std::string_view text) {
        valid_.clear();
        append_valid_utf8(valid_, text);
        return sqlite3_bind_text(statement, index, valid_.data(), static_cast<int>(valid_.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK ||
               failed();
    }

    // Binds a text that outlives the step: as it is when it is ASCII, else repaired into `buffer`.
    bool bind_lasting_text(sqlite3_stmt* statement, int index, const std::string& text, std::string& buffer) {
        const std::string* bound = &text;
        if (!is_ascii(text)) {
            buffer.clear();
            append_valid_utf8(buffer, text);
            bound = &buffer;
        }
        return sqlite3_bind_text(statement, index, bound->data(), static_cast<int>(bound->size()),
                                 SQLITE_STATIC) == SQLITE_OK ||
               failed();
    }

    static bool is_ascii(std::string_view text) {
        unsigned char high = 0;
        for (const char c : text) high |= static_cast<unsigned char>(c);
        return high < 0x80;
    }

    // buffer: the cell's own bytes, kept until the step is done.
    bool bind(sqlite3_stmt* statement, int index, CellKind kind, const Cell& cell, std::string& buffer) {
        if (!cell) return sqlite3_bind_null(statement, index) == SQLITE_OK || failed();
        const std::string& text = *cell;
        switch (kind) {
            case CellKind::kInteger: {
                std::int64_t value = 0;
                const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
                if (ec == std::errc() && end == text.data() + text.size() && !text.empty())
                    return sqlite3_bind_int64(statement, index, value) == SQLITE_OK || failed();
                break;
            }
            case CellKind::kBit:
                if (text == "True" || text == "False")
                    return sqlite3_bind_int(statement, index, text == "True" ? 1 : 0) == SQLITE_OK ||
                           failed();
                break;
            case CellKind::kBlob:
                if (hex_bytes(text, buffer))
                    return sqlite3_bind_blob(statement, index, buffer.data(), static_cast<int>(buffer.size()),
                                             SQLITE_STATIC) == SQLITE_OK ||
                           failed();
                break;
            case CellKind::kText:
                break;
        }
        return bind_lasting_text(statement, index, text, buffer);
    }

    std::string path_;
    std::string part_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* multi_insert_ = nullptr;
    std::size_t multi_rows_ = 0;
    sqlite3_stmt* definition_ = nullptr;
    std::set<std::string> taken_ = {"definitions"};
    std::vector<CellKind> kinds_;
    std::string destination_;
    std::string column_list_;    // "(...)" of the table's CREATE TABLE
    std::string insert_values_;  // " VALUES (?, ...)" of its INSERT
    struct OtherTable {
        std::string name;
        sqlite3_stmt* insert = nullptr;
    };
    std::array<OtherTable, kOtherOrigins> others_;  // by other_origin_index
    std::string valid_;
    std::vector<std::string> cell_bytes_;
    std::string error_;
    bool committed_ = false;
};

}  // namespace

std::unique_ptr<ExportTarget> make_sqlite_target(const std::string& path) {
    return std::make_unique<SqliteTarget>(path);
}

}  // namespace quenlow
