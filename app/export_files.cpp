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

namespace quenlow {

namespace fs = std::filesystem;

namespace {

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

unsigned field_needs(std::string_view s) {
    unsigned needs = 0;
    for (const char c : s) needs |= kFieldBytes[static_cast<unsigned char>(c)];
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
    if (!cell) return;
    const std::string_view s = *cell;
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
        if (!file_.open((fs::path(folder_) / destination_).string())) return failed(file_);
        line_.clear();
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) line_ += ',';
            append_csv_field(line_, columns[i].name);
        }
        line_ += "\r\n";
        return file_.write(line_) || failed(file_);
    }

    bool write_rows(const CellRows& rows) override {
        line_.clear();
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
            const auto row = rows.row(r);
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i > 0) line_ += ',';
                append_csv_field(line_, row[i]);
            }
            line_ += "\r\n";
        }
        return file_.write(line_) || failed(file_);
    }

    bool end_table(bool) override { return file_.commit() || failed(file_); }

    bool definition(const std::string& schema, const std::string& name, const std::string& type,
                    const std::string& text) override {
        if (!definitions_.is_open()) {
            if (!ensure_folder()) return false;
            if (!definitions_.open((fs::path(folder_) / "definitions.csv").string()))
                return failed(definitions_);
            if (!definitions_.write("schema,name,type,text\r\n")) return failed(definitions_);
        }
        line_.clear();
        append_csv_field(line_, schema);
        line_ += ',';
        append_csv_field(line_, name);
        line_ += ',';
        append_csv_field(line_, type);
        line_ += ',';
        append_csv_field(line_, text);
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
    }
    std::size_t found = 0;
    for (const ObjectReport& o : report.objects) found += o.definition_found ? 1 : 0;
    if (!report.objects.empty()) out += fmt::format("definitions\t{} of {} found\n", found, report.objects.size());
    out += fmt::format("report\t{}\n", report_file);
    return out;
}

}  // namespace quenlow
