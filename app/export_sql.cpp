// The T-SQL script target (see export_sql.h).

#include "app/export_sql.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <utility>

#include "app/export_file_writer.h"
#include "app/export_files.h"
#include "engine/catalog/type_codes.h"

namespace quenlow {

namespace {

constexpr std::size_t kRowsPerInsert = 100;
constexpr std::size_t kRowsPerBatch = 1000;

bool is_hex_literal(std::string_view s) {
    if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    return std::all_of(s.begin() + 2, s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

// A number as T-SQL reads it: an optional sign, digits with at most one point, an optional exponent.
bool is_number_literal(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            digits = true;
        else if (s[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
        if (i == s.size()) return false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    }
    return i == s.size();
}

bool is_ascii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// "identity(seed,increment)" as "IDENTITY(seed,increment)"; IDENTITY(1,1) when the numbers are not
// plain numbers.
std::string identity_clause(std::string_view text) {
    const std::size_t open = text.find('(');
    const std::size_t comma = text.find(',', open);
    const std::size_t close = text.find(')', comma);
    if (open == std::string_view::npos || comma == std::string_view::npos || close == std::string_view::npos)
        return "IDENTITY(1,1)";
    const std::string_view seed = text.substr(open + 1, comma - open - 1);
    const std::string_view step = text.substr(comma + 1, close - comma - 1);
    if (!is_number_literal(seed) || !is_number_literal(step)) return "IDENTITY(1,1)";
    return fmt::format("IDENTITY({},{})", seed, step);
}

// An expression as stored ("((0))", "([price]>(0))"), in parentheses.
std::string parenthesized(const std::string& expression) {
    if (!expression.empty() && expression.front() == '(' && expression.back() == ')') return expression;
    return "(" + expression + ")";
}

std::string column_list(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + sql_identifier(names[i]);
    return out;
}

// Starts with CREATE, after blanks and comments: a module definition that runs as a batch.
bool is_create_statement(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (text.substr(i, 2) == "--") {
            i = text.find('\n', i);
            if (i == std::string_view::npos) return false;
        } else if (text.substr(i, 2) == "/*") {
            i = text.find("*/", i);
            if (i == std::string_view::npos) return false;
            i += 2;
        } else {
            break;
        }
    }
    std::string word(text.substr(i, 6));
    for (char& ch : word)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return word == "CREATE";
}

const char* object_kind(const std::string& type) {
    if (type == "V ") return "View";
    if (type == "P ") return "Procedure";
    if (type == "FN" || type == "IF" || type == "TF") return "Function";
    if (type == "TR") return "Trigger";
    if (type == "D ") return "Default";
    return "Object";
}

class SqlScriptTarget final : public ExportTarget {
public:
    explicit SqlScriptTarget(std::string path) : path_(std::move(path)) {}

    bool begin_table(const ExportTable& table) override {
        if (!ensure_open()) return false;
        qualified_ = sql_identifier(table.name.schema.empty() ? "dbo" : table.name.schema) + "." +
                     sql_identifier(table.name.name);
        destination_ = qualified_;
        columns_ = table.columns;
        identity_ = std::any_of(columns_.begin(), columns_.end(),
                                [](const ExportColumn& c) { return !c.identity_text.empty(); });
        text_.clear();
        create_schema(table.name.schema);
        text_ += sql_create_table(table);
        text_ += "GO\n";
        std::vector<std::string> inserted;
        for (const ExportColumn& c : columns_)
            if (c.type_code != kTypeTimestamp) inserted.push_back(c.name);
        insert_head_ = fmt::format("INSERT INTO {} ({}) VALUES\n", qualified_, column_list(inserted));
        comment_head_ = fmt::format("INSERT INTO {} ({}) VALUES ", qualified_, column_list(inserted));
        rows_in_statement_ = rows_in_batch_ = 0;
        identity_on_ = false;
        for (const ExportForeignKey& key : table.foreign_keys) foreign_keys_ += sql_add_foreign_key(table.name, key);
        return flush();
    }

    bool write_rows(const CellRows& rows) override {
        text_.clear();
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
            if (identity_ && !identity_on_) {
                text_ += fmt::format("SET IDENTITY_INSERT {} ON;\n", qualified_);
                identity_on_ = true;
            }
            text_ += rows_in_statement_ == 0 ? insert_head_ : std::string(",\n");
            append_values(text_, rows.row(r));
            ++rows_in_batch_;
            if (++rows_in_statement_ == kRowsPerInsert) end_statement();
        }
        return flush();
    }

    // Rows that are not live rows are kept in a temporary file per origin while the table's rows pass,
    // one commented INSERT a line, and follow the table's rows in a commented section of their own, so
    // that running the script never inserts them.
    bool write_other_rows(const CellRows& rows, RowOrigin origin) override {
        OtherRows& other = others_[other_origin_index(origin)];
        if (!other.file) {
            other.file.reset(std::tmpfile());
            if (!other.file) {
                error_ = fmt::format("{}: the {} rows cannot be kept aside: {}", path_, row_origin_label(origin),
                                     std::strerror(errno));
                return false;
            }
        }
        std::string lines;
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
            lines += "-- " + comment_head_;
            append_values(lines, rows.row(r));
            lines += ";\n";
        }
        other.rows += rows.row_count();
        if (std::fwrite(lines.data(), 1, lines.size(), other.file.get()) == lines.size()) return true;
        error_ = fmt::format("{}: the {} rows cannot be kept aside: {}", path_, row_origin_label(origin),
                             std::strerror(errno));
        return false;
    }
    std::string other_destination(RowOrigin origin) const override {
        const OtherRows& other = others_[other_origin_index(origin)];
        if (other.rows == 0) return {};
        return fmt::format("{}, commented section after the rows of {}", path_, qualified_);
    }

    bool end_table(bool complete) override {
        text_.clear();
        end_statement();
        if (rows_in_batch_ > 0) text_ += "GO\n";
        if (identity_on_) text_ += fmt::format("SET IDENTITY_INSERT {} OFF;\nGO\n", qualified_);
        if (!complete) text_ += "-- The export stopped here: the rows of this table above are not all of them.\n";
        text_ += '\n';
        if (!flush()) return false;
        for (std::size_t k = 0; k < others_.size(); ++k)
            if (!copy_other_rows(others_[k], other_origin_at(k))) return false;
        return true;
    }

    bool definition(const std::string& schema, const std::string& name, const std::string& type,
                    const std::string& text) override {
        if (!ensure_open()) return false;
        text_.clear();
        add_foreign_keys();
        const std::string qualified = sql_identifier(schema.empty() ? "dbo" : schema) + "." + sql_identifier(name);
        text_ += fmt::format("-- {} {}\n", object_kind(type), qualified);
        if (!is_create_statement(text)) {
            // A default constraint's expression, or a text that is not a whole statement.
            std::string line;
            append_valid_utf8(line, text);
            for (std::size_t p = line.find('\n'); p != std::string::npos; p = line.find('\n', p + 4))
                line.replace(p, 1, "\n-- ");
            text_ += "-- " + line + "\n\n";
            return flush();
        }
        append_valid_utf8(text_, text);
        if (!text_.empty() && text_.back() != '\n') text_ += '\n';
        text_ += "GO\n\n";
        return flush();
    }

    bool finish() override {
        if (!ensure_open()) return false;
        text_.clear();
        add_foreign_keys();
        text_ += "-- End of the script.\n";
        return (flush() && file_.commit()) || failed();
    }

    bool write_report(const std::string& json) override {
        ExportFileWriter report;
        if (report.open(report_path(ExportKind::kSql, path_)) && report.write(json) && report.commit())
            return true;
        error_ = report.error();
        return false;
    }

    std::string error() const override { return error_; }
    std::string table_destination() const override { return destination_; }
    std::string kind() const override { return "sql"; }
    std::string output() const override { return path_; }

private:
    bool ensure_open() {
        if (file_.is_open()) return true;
        if (!error_.empty() || opened_) return false;
        opened_ = true;
        if (!file_.open(path_)) return failed();
        // UTF-8 with a byte order mark, which sqlcmd and the editors take as UTF-8.
        return file_.write(
                   "\xEF\xBB\xBF"
                   "-- A database recovered from its data files by Velmor Quenlow.\n"
                   "-- Run it on a new, empty database: sqlcmd -S <server> -d <database> -f 65001 -i <this file>\n"
                   "-- Tables with their rows first, then the foreign keys, then the views, functions,\n"
                   "-- procedures and triggers.\n"
                   "SET NOCOUNT ON;\nSET ANSI_NULLS ON;\nSET QUOTED_IDENTIFIER ON;\nGO\n\n") ||
               failed();
    }

    void create_schema(const std::string& schema) {
        if (schema.empty() || schema == "dbo" || !schemas_.insert(schema).second) return;
        std::string quoted = "CREATE SCHEMA " + sql_identifier(schema);
        std::string literal;
        append_sql_literal(literal, kTypeNvarchar, quoted);
        std::string name;
        append_sql_literal(name, kTypeNvarchar, schema);
        text_ += fmt::format("IF SCHEMA_ID({}) IS NULL EXEC({});\nGO\n", name, literal);
    }

    // "(v1, v2, ...)": the literals of a row's cells, rowversion columns left out.
    void append_values(std::string& out, std::span<const Cell> row) const {
        out += '(';
        bool first = true;
        for (std::size_t i = 0; i < row.size() && i < columns_.size(); ++i) {
            if (columns_[i].type_code == kTypeTimestamp) continue;
            if (!first) out += ", ";
            first = false;
            append_sql_literal(out, columns_[i].type_code, row[i]);
        }
        out += ')';
    }

    struct CloseFile {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    struct OtherRows {
        std::unique_ptr<std::FILE, CloseFile> file;
        std::size_t rows = 0;
    };

    // The section of one origin's rows, after the table's rows; the temporary file is closed.
    bool copy_other_rows(OtherRows& other, RowOrigin origin) {
        if (!other.file) return true;
        const std::unique_ptr<std::FILE, CloseFile> file = std::move(other.file);
        const std::size_t rows = std::exchange(other.rows, 0);
        text_ = origin == RowOrigin::kDeleted
                    ? fmt::format("-- Deleted rows of {}, {} of them: ghost records the server had not cleaned away "
                                  "yet, not live rows of the table.\n",
                                  qualified_, rows)
                : origin == RowOrigin::kBodyScan
                    ? fmt::format("-- Rows of {} found by the body scan, {} of them: records between the page's "
                                  "records that no slot names, not live rows of the table.\n",
                                  qualified_, rows)
                    : fmt::format("-- Rows of {} on stale pages, {} of them: pages that name the table but that no "
                                  "allocation structure of it reaches, not live rows of the table.\n",
                                  qualified_, rows);
        text_ += "-- Remove the comment mark of a line to insert its row";
        text_ += identity_ ? fmt::format(" (between SET IDENTITY_INSERT {} ON and OFF).\n", qualified_) : ".\n";
        if (!flush()) return false;
        std::rewind(file.get());
        std::array<char, 1 << 16> buffer;
        while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get()))
            if (!file_.write(std::string_view(buffer.data(), n))) return failed();
        if (std::ferror(file.get()) != 0) {
            error_ = fmt::format("{}: the {} rows kept aside cannot be read back", path_, row_origin_label(origin));
            return false;
        }
        text_ = "\n";
        return flush();
    }

    void end_statement() {
        if (rows_in_statement_ == 0) return;
        text_ += ";\n";
        rows_in_statement_ = 0;
        if (rows_in_batch_ >= kRowsPerBatch) {
            text_ += "GO\n";
            rows_in_batch_ = 0;
        }
    }

    void add_foreign_keys() {
        if (foreign_keys_.empty()) return;
        text_ += "-- Foreign keys, added WITH NOCHECK: a recovered table may lack rows that others refer to.\n"
                 "-- ALTER TABLE <table> WITH CHECK CHECK CONSTRAINT ALL tells which hold.\n";
        text_ += foreign_keys_;
        text_ += '\n';
        foreign_keys_.clear();
    }

    bool flush() { return file_.write(text_) || failed(); }

    bool failed() {
        if (error_.empty()) error_ = file_.error();
        return false;
    }

    std::string path_;
    ExportFileWriter file_;
    bool opened_ = false;
    std::set<std::string> schemas_;
    std::vector<ExportColumn> columns_;
    std::string qualified_;
    std::string destination_;
    std::string insert_head_;
    std::string comment_head_;  // the same on one line, for the commented rows
    std::array<OtherRows, kOtherOrigins> others_;  // by other_origin_index
    std::string foreign_keys_;
    std::string text_;
    std::size_t rows_in_statement_ = 0;
    std::size_t rows_in_batch_ = 0;
    bool identity_ = false;
    bool identity_on_ = false;
    std::string error_;
};

}  // namespace

std::string sql_identifier(std::string_view name) {
    std::string out = "[";
    std::string valid;
    append_valid_utf8(valid, name);
    for (char c : valid) {
        out += c;
        if (c == ']') out += ']';
    }
    out += ']';
    return out;
}

std::string sql_type_name(const ExportColumn& column) {
    const int bytes = declared_length_of(column.type_text);
    auto sized = [&](const char* name, bool wide) {
        const int limit = wide ? 4000 : 8000;
        const int length = wide ? bytes / 2 : bytes;
        if (bytes < 0 || length > limit) return fmt::format("{}(max)", name);
        return fmt::format("{}({})", name, std::max(1, length));
    };
    const int precision = column.precision == 0 ? 18 : std::min<int>(column.precision, 38);
    const int scale = std::min<int>(column.scale, precision);
    const int fraction = std::min<int>(column.scale, 7);
    switch (column.type_code) {
        case kTypeBigint: return "bigint";
        case kTypeBinary: return sized("binary", false);
        case kTypeBit: return "bit";
        case kTypeChar: return sized("char", false);
        case kTypeDatetime: return "datetime";
        case kTypeDate: return "date";
        case kTypeTime: return fmt::format("time({})", fraction);
        case kTypeDatetime2: return fmt::format("datetime2({})", fraction);
        case kTypeDatetimeoffset: return fmt::format("datetimeoffset({})", fraction);
        case kTypeInt: return "int";
        case kTypeNchar: return sized("nchar", true);
        case kTypeNvarchar: return sized("nvarchar", true);
        case kTypeSmallint: return "smallint";
        case kTypeTinyint: return "tinyint";
        case kTypeUniqueidentifier: return "uniqueidentifier";
        case kTypeVarbinary: return sized("varbinary", false);
        case kTypeVarchar: return sized("varchar", false);
        case kTypeNtext: return "ntext";
        case kTypeSqlVariant: return "sql_variant";
        case kTypeMoney: return "money";
        case kTypeFloat: return "float";
        case kTypeNumeric: return fmt::format("numeric({},{})", precision, scale);
        case kTypeDecimal: return fmt::format("decimal({},{})", precision, scale);
        case kTypeImage: return "image";
        case kTypeText: return "text";
        case kTypeSmalldatetime: return "smalldatetime";
        case kTypeReal: return "real";
        case kTypeSmallmoney: return "smallmoney";
        case kTypeTimestamp: return "rowversion";
        case kTypeXml: return "xml";
        default: return "varbinary(max)";  // CLR types and codes without a type of their own
    }
}

void append_sql_literal(std::string& out, std::int32_t type_code, const Cell& cell) {
    if (!cell) {
        out += "NULL";
        return;
    }
    const std::string& text = *cell;
    switch (type_code) {
        case kTypeBit:
            if (text == "True" || text == "False") {
                out += text == "True" ? '1' : '0';
                return;
            }
            break;
        case kTypeBigint:
        case kTypeInt:
        case kTypeSmallint:
        case kTypeTinyint:
        case kTypeDecimal:
        case kTypeNumeric:
        case kTypeMoney:
        case kTypeSmallmoney:
        case kTypeFloat:
        case kTypeReal:
            if (is_number_literal(text)) {
                out += text;
                return;
            }
            break;
        case kTypeBinary:
        case kTypeVarbinary:
        case kTypeImage:
        case kTypeTimestamp:
        case kTypeClr:
            if (is_hex_literal(text)) {
                out += text;
                return;
            }
            break;
        case kTypeDatetime:
        case kTypeSmalldatetime:
        case kTypeDate:
        case kTypeDatetime2:
            // Style 121 (yyyy-mm-dd hh:mi:ss.fff) reads the same whatever the session's date format.
            if (is_ascii(text) && text.find('\'') == std::string::npos) {
                out += fmt::format("CONVERT({}, '{}', 121)",
                                   type_code == kTypeDatetime        ? "datetime"
                                   : type_code == kTypeSmalldatetime ? "smalldatetime"
                                   : type_code == kTypeDate          ? "date"
                                                                     : "datetime2(7)",
                                   text);
                return;
            }
            break;
        case kTypeTime:
        case kTypeDatetimeoffset:
            // ISO texts of these types read the same whatever the session's date format.
            if (is_ascii(text) && text.find('\'') == std::string::npos) {
                out += fmt::format("CONVERT({}, '{}')",
                                   type_code == kTypeTime ? "time(7)" : "datetimeoffset(7)", text);
                return;
            }
            break;
        default:
            break;
    }
    // A string: N'...' unless every character is ASCII and the column holds 8-bit text. Control
    // characters go in as CHAR(n) / NCHAR(n), so that no line of the script is a lone GO and the file
    // stays text; the first piece is then of a (max) type, as the joined pieces would be cut at 8000
    // bytes otherwise.
    std::string valid;
    append_valid_utf8(valid, text);
    const bool eight_bit = type_code == kTypeChar || type_code == kTypeVarchar || type_code == kTypeText;
    const bool wide = !eight_bit || !is_ascii(valid);
    const bool controls = std::any_of(valid.begin(), valid.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    const char* quote = wide ? "N'" : "'";
    if (controls) out += wide ? "CONVERT(nvarchar(max), N'')+" : "CONVERT(varchar(max), '')+";
    out += quote;
    for (char c : valid) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            out += fmt::format("'+{}({})+{}", wide ? "NCHAR" : "CHAR", static_cast<int>(u), quote);
        } else {
            out += c;
            if (c == '\'') out += '\'';
        }
    }
    out += '\'';
}

std::string sql_create_table(const ExportTable& table) {
    const std::string qualified = sql_identifier(table.name.schema.empty() ? "dbo" : table.name.schema) + "." +
                                  sql_identifier(table.name.name);
    std::vector<std::string> lines;
    auto add_computed = [&](std::size_t before) {
        for (const ExportComputedColumn& c : table.computed)
            if (c.before == before)
                lines.push_back(fmt::format("{} AS {}", sql_identifier(c.name), parenthesized(c.expression)));
    };
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        add_computed(i);
        const ExportColumn& c = table.columns[i];
        std::string line = sql_identifier(c.name) + " " + sql_type_name(c);
        if (c.sparse) line += " SPARSE";
        if (!c.identity_text.empty()) line += " " + identity_clause(c.identity_text);
        if (c.row_guid) line += " ROWGUIDCOL";
        line += c.nullable ? " NULL" : " NOT NULL";
        if (!c.default_text.empty()) {
            std::string expression;
            append_valid_utf8(expression, c.default_text);
            if (!c.default_name.empty()) line += " CONSTRAINT " + sql_identifier(c.default_name);
            line += " DEFAULT " + parenthesized(expression);
        }
        lines.push_back(std::move(line));
    }
    add_computed(table.columns.size());
    auto key_line = [&](const ExportKey& key, const char* kind) {
        std::string line = key.name.empty() ? std::string() : "CONSTRAINT " + sql_identifier(key.name) + " ";
        return line + fmt::format("{} {} ({})", kind, key.clustered ? "CLUSTERED" : "NONCLUSTERED",
                                  column_list(key.columns));
    };
    if (table.primary_key) lines.push_back(key_line(*table.primary_key, "PRIMARY KEY"));
    for (const ExportKey& key : table.unique_keys) lines.push_back(key_line(key, "UNIQUE"));
    for (const ExportCheck& check : table.checks) {
        std::string expression;
        append_valid_utf8(expression, check.expression);
        lines.push_back(fmt::format("CONSTRAINT {} CHECK {}", sql_identifier(check.name), parenthesized(expression)));
    }
    std::string out = "CREATE TABLE " + qualified + " (\n";
    for (std::size_t i = 0; i < lines.size(); ++i) out += "    " + lines[i] + (i + 1 < lines.size() ? ",\n" : "\n");
    out += ");\n";
    return out;
}

std::string sql_add_foreign_key(const ExportTableName& table, const ExportForeignKey& key) {
    const std::string qualified =
        sql_identifier(table.schema.empty() ? "dbo" : table.schema) + "." + sql_identifier(table.name);
    const std::string referenced =
        sql_identifier(key.referenced_schema.empty() ? "dbo" : key.referenced_schema) + "." +
        sql_identifier(key.referenced_table);
    const std::string name = key.name.empty() ? std::string() : "CONSTRAINT " + sql_identifier(key.name) + " ";
    return fmt::format("ALTER TABLE {} WITH NOCHECK ADD {}FOREIGN KEY ({}) REFERENCES {} ({});\nGO\n", qualified,
                       name, column_list(key.columns), referenced, column_list(key.referenced_columns));
}

std::unique_ptr<ExportTarget> make_sql_target(const std::string& path) {
    return std::make_unique<SqlScriptTarget>(path);
}

}  // namespace quenlow
