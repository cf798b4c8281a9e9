#include "app/export_files.h"

#include <fmt/format.h>

#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/export_file_writer.h"
#include "app/export_sql.h"
#include "engine/catalog/type_codes.h"

namespace quenlow {

namespace fs = std::filesystem;

namespace {

const char* other_file_suffix(RowOrigin origin) {
    switch (origin) {
        case RowOrigin::kDeleted:
            return ".deleted.csv";
        case RowOrigin::kBodyScan:
            return ".body-scan.csv";
        default:
            return ".stale-page.csv";
    }
}

constexpr std::size_t kMaxNameBytes = 200;
constexpr const char* kCsvReportName = "recovery-report.json";

// What the bytes of a field ask for: a comma, a double quote, CR or LF make the field quoted; a byte
// above 0x7F sends it through the UTF-8 check. One table look-up per byte, instead of a search for each
// of the four characters.
constexpr std::uint8_t kQuoted = 1;
constexpr std::uint8_t kNotAscii = 2;
constexpr std::array<std::uint8_t, 256> kFieldBytes = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char c : {',', '"', '\r', '\n'}) classes[c] = kQuoted;
    for (std::size_t c = 0x80; c < classes.size(); ++c) classes[c] = kNotAscii;
    return classes;
}();

// Whether any byte of w equals c (the classic test for a zero byte, applied to w ^ c...c).
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;
constexpr bool has_byte(std::uint64_t w, unsigned char c) {
    const std::uint64_t x = w ^ (kOnes * c);
    return ((x - kOnes) & ~x & kHighs) != 0;
}

unsigned field_needs(std::string_view s) {
    unsigned needs = 0;
    std::size_t i = 0;
    // Eight bytes at a time, then the rest one by one.
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        if ((w & kHighs) != 0) needs |= kNotAscii;
        if (has_byte(w, ',') || has_byte(w, '"') || has_byte(w, '\r') || has_byte(w, '\n')) needs |= kQuoted;
    }
    for (; i < s.size(); ++i) needs |= kFieldBytes[static_cast<unsigned char>(s[i])];
    return needs;
}

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The folder a path's file goes into ("." for a bare name).
fs::path folder_of(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

std::optional<std::string> folder_refusal(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return fmt::format("The folder {} does not exist.", folder.string());
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return fmt::format("The folder {} cannot be written: {}", folder.string(), std::strerror(errno));
    return std::nullopt;
}

}  // namespace

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool hex_bytes(std::string_view text, std::string& bytes) {
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') || text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 2; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

void append_csv_field(std::string& out, const Cell& cell) {
    if (cell) append_csv_text(out, *cell);
}

void append_csv_row(const DecodedRow& row, const std::vector<std::size_t>& columns, std::string& out,
                    std::span<const std::uint8_t> plain) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += ',';
        if (columns[i] >= row.size()) continue;
        const ColumnDescriptor& value = row[columns[i]];
        if (value.value_null || value.value_damaged) continue;  // a value that could not be decoded: NULL
        if (i < plain.size() && plain[i] != 0 && !value.value_text.empty())
            out += value.value_text;
        else
            append_csv_text(out, value.value_text);
    }
    out += "\r\n";
}

void append_csv_lines(std::string& out, const CellRows& rows) {
    for (std::size_t r = 0; r < rows.row_count(); ++r) {
        const auto row = rows.row(r);
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) out += ',';
            append_csv_field(out, row[i]);
        }
        out += "\r\n";
    }
}

bool csv_plain_type(std::int32_t type_code) {
    switch (type_code) {
        case kTypeBigint:
        case kTypeInt:
        case kTypeSmallint:
        case kTypeTinyint:
        case kTypeBit:
        case kTypeDecimal:
        case kTypeNumeric:
        case kTypeMoney:
        case kTypeSmallmoney:
        case kTypeFloat:
        case kTypeReal:
        case kTypeDatetime:
        case kTypeSmalldatetime:
        case kTypeDate:
        case kTypeTime:
        case kTypeDatetime2:
        case kTypeDatetimeoffset:
        case kTypeUniqueidentifier:
        case kTypeBinary:
        case kTypeVarbinary:
        case kTypeImage:
        case kTypeTimestamp:
            return true;
        default:
            return false;
    }
}

void append_csv_text(std::string& out, std::string_view s) {
    const unsigned needs = field_needs(s);
    if (!s.empty() && (needs & kQuoted) == 0) {
        if (needs == 0)
            out.append(s);
        else
            append_valid_utf8(out, s);
        return;
    }
    out += '"';
    std::size_t from = 0;
    for (std::size_t q = s.find('"'); q != std::string_view::npos; q = s.find('"', from)) {
        append_valid_utf8(out, s.substr(from, q + 1 - from));
        out += '"';
        from = q + 1;
    }
    append_valid_utf8(out, s.substr(from));
    out += '"';
}

std::string safe_file_name(const std::string& schema, const std::string& name, std::string_view suffix,
                           std::set<std::string>& taken) {
    std::string raw = schema.empty() ? name : schema + "." + name;
    std::string base;
    append_valid_utf8(base, raw);
    for (char& c : base) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
    }
    if (base.empty() || base.front() == '.') base.insert(base.begin(), '_');
    if (base.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    std::string file = base + std::string(suffix);
    for (int n = 2; taken.count(lower_ascii(file)) != 0; ++n) file = fmt::format("{}~{}{}", base, n, suffix);
    taken.insert(lower_ascii(file));
    return file;
}

std::string report_path(ExportKind kind, const std::string& path) {
    if (kind == ExportKind::kCsv) return (fs::path(path) / kCsvReportName).string();
    return path + ".report.json";
}

std::optional<std::string> export_output_refusal(ExportKind kind, const std::string& path, bool force) {
    if (path.empty()) return std::string("No output was given.");
    std::error_code ec;
    const fs::path output(path);
    if (kind == ExportKind::kCsv) {
        if (fs::exists(output, ec)) {
            if (!fs::is_directory(output, ec)) return fmt::format("{} exists and is not a folder.", path);
            if (!force && !fs::is_empty(output, ec))
                return fmt::format("The folder {} is not empty (--force writes into it).", path);
            return folder_refusal(output);
        }
        return folder_refusal(folder_of(path));
    }
    if (fs::is_directory(output, ec)) return fmt::format("{} is a folder.", path);
    if (!force && fs::exists(output, ec)) return fmt::format("{} exists (--force replaces it).", path);
    if (!force && fs::exists(report_path(kind, path), ec))
        return fmt::format("{} exists (--force replaces it).", report_path(kind, path));
    return folder_refusal(folder_of(path));
}

// ---- CSV ----

namespace {

class CsvTarget final : public ExportTarget {
public:
    explicit CsvTarget(std::string folder) : folder_(std::move(folder)) {}

    bool begin_table(const ExportTable& table) override {
        if (!ensure_folder()) return false;
        const std::vector<ExportColumn>& columns = table.columns;
        destination_ = safe_file_name(table.name.schema, table.name.name, ".csv", taken_);
        table_name_ = table.name;
        for (OtherFile& other : others_) other.name.clear();
        plain_.clear();
        for (const ExportColumn& column : columns) plain_.push_back(csv_plain_type(column.type_code) ? 1 : 0);
        if (!file_.open((fs::path(folder_) / destination_).string())) return failed(file_);
        line_.clear();
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) line_ += ',';
            append_csv_text(line_, columns[i].name);
        }
        line_ += "\r\n";
        titles_ = line_;
        return file_.write(line_) || failed(file_);
    }

    bool write_rows(const CellRows& rows) override {
        line_.clear();
        append_csv_lines(line_, rows);
        return file_.write(line_) || failed(file_);
    }

    RowEncoder row_encoder() const override {
        return [plain = plain_](const DecodedRow& row, const std::vector<std::size_t>& columns, std::string& out) {
            append_csv_row(row, columns, out, plain);
        };
    }
    bool write_encoded(std::string_view bytes, std::size_t) override {
        return file_.write(bytes) || failed(file_);
    }

    // Each origin gets a file of its own beside the table's, "<schema>.<table>.deleted.csv" or
    // "<schema>.<table>.body-scan.csv" or "<schema>.<table>.stale-page.csv", with the same titles.
    bool write_other_rows(const CellRows& rows, RowOrigin origin) override {
        OtherFile& other = others_[other_origin_index(origin)];
        if (!other.file.is_open()) {
            other.name = safe_file_name(table_name_.schema, table_name_.name,
                                        other_file_suffix(origin), taken_);
            if (!other.file.open((fs::path(folder_) / other.name).string())) return failed(other.file);
            if (!other.file.write(titles_)) return failed(other.file);
        }
        line_.clear();
        append_csv_lines(line_, rows);
        return other.file.write(line_) || failed(other.file);
    }
    std::string other_destination(RowOrigin origin) const override {
        return others_[other_origin_index(origin)].name;
    }

    bool end_table(bool) override {
        for (OtherFile& other : others_)
            if (other.file.is_open() && !other.file.commit()) return failed(other.file);
        return file_.commit() || failed(file_);
    }

    bool definition(const std::string& schema, const std::string& name, const std::string& type,
                    const std::string& text) override {
        if (!definitions_.is_open()) {
            if (!ensure_folder()) return false;
            if (!definitions_.open((fs::path(folder_) / "definitions.csv").string()))
                return failed(definitions_);
            if (!definitions_.write("schema,name,type,text\r\n")) return failed(definitions_);
        }
        line_.clear();
        append_csv_text(line_, schema);
        line_ += ',';
        append_csv_text(line_, name);
        line_ += ',';
        append_csv_text(line_, type);
        line_ += ',';
        append_csv_text(line_, text);
        line_ += "\r\n";
        return definitions_.write(line_) || failed(definitions_);
    }

    bool finish() override {
        if (!ensure_folder()) return false;
        return !definitions_.is_open() || definitions_.commit() || failed(definitions_);
    }

    bool write_report(const std::string& json) override {
        if (!ensure_folder()) return false;
        ExportFileWriter report;
        return (report.open(report_path(ExportKind::kCsv, folder_)) && report.write(json) &&
                report.commit()) ||
               failed(report);
    }

    std::string error() const override { return error_; }
    std::string table_destination() const override { return destination_; }
    std::string kind() const override { return "csv"; }
    std::string output() const override { return folder_; }

private:
    bool ensure_folder() {
        std::error_code ec;
        if (fs::is_directory(folder_, ec) || fs::create_directory(folder_, ec)) return true;
        error_ = fmt::format("{}: cannot create the folder: {}", folder_, ec.message());
        return false;
    }
    bool failed(const ExportFileWriter& file) {
        error_ = file.error();
        return false;
    }

    std::string folder_;
    std::set<std::string> taken_ = {"definitions.csv", kCsvReportName};
    std::string destination_;
    ExportFileWriter file_;
    ExportFileWriter definitions_;
    std::string line_;
    std::vector<std::uint8_t> plain_;  // per column of the table begun last: csv_plain_type
    ExportTableName table_name_;
    std::string titles_;
    struct OtherFile {
        ExportFileWriter file;
        std::string name;
    };
    std::array<OtherFile, kOtherOrigins> others_;  // by other_origin_index
    std::string error_;
};

}  // namespace

std::unique_ptr<ExportTarget> make_csv_target(const std::string& folder) {
    return std::make_unique<CsvTarget>(folder);
}

}  // namespace quenlow

namespace quenlow {

std::unique_ptr<ExportTarget> make_target(ExportKind kind, const std::string& path) {
    switch (kind) {
        case ExportKind::kSqlite:
            return make_sqlite_target(path);
        case ExportKind::kSql:
            return make_sql_target(path);
        case ExportKind::kCsv:
            break;
    }
    return make_csv_target(path);
}

std::string export_summary(const ExportReport& report, const std::string& report_file) {
    std::string out;
    for (const TableReport& t : report.tables) {
        const std::string rows = t.catalog_rows ? fmt::format("{} of {} rows", t.rows_exported, *t.catalog_rows)
                                                : fmt::format("{} rows", t.rows_exported);
        out += fmt::format("{}.{}\t{}\t{} pages read, {} skipped, {} damaged values\t{}{}\n", t.schema,
                           t.name, rows, t.pages_with_rows, t.pages_skipped, t.damaged_values, t.destination,
                           t.complete ? "" : "\tINCOMPLETE");
        for (const TableReport::OtherRows& o : t.other_rows)
            out += fmt::format("{}.{}\t{} rows, {}, kept apart\t{}\n", t.schema, t.name, o.rows,
                               row_origin_label(o.origin), o.destination);
    }
    std::size_t found = 0;
    for (const ObjectReport& o : report.objects) found += o.definition_found ? 1 : 0;
    if (!report.objects.empty()) out += fmt::format("definitions\t{} of {} found\n", found, report.objects.size());
    out += fmt::format("report\t{}\n", report_file);
    return out;
}

}  // namespace quenlow
