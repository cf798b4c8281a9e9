#pragma once
// The commands of the `quenlow` front end. Each parses nothing itself: it takes its options, makes one
// application call and prints the result. Return value: the process exit status.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenlow::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct InfoOptions {
    std::string file;
    bool json = false;
    bool quiet = false;
};
int run_info(const InfoOptions& options);

struct ScanOptions {
    std::string file;
    std::string mode = "standard";  // "standard" or "advanced"
    bool deleted = false;
    bool advanced_deleted = false;
    bool keep_every_candidate = false;
    std::string collation = "auto";  // "auto" or a collation name from collation.txt
    std::int32_t ansi_code_page = 1252;  // 8-bit text without any collation
    std::optional<std::string> log_dir;
    bool sql2000 = false;
    bool json = false;
    bool quiet = false;  // stderr keeps errors only
};
// Runs a whole scan as the Open command does and prints the object tree; 1 when no tree was built.
int run_scan(const ScanOptions& options);

struct RowsOptions {
    ScanOptions scan;  // file and scan choices; json unused
    std::string table;
    int page = 1;                 // the batch after page - 1 clicks on "Next Records"
    bool all = false;             // every batch, values stored elsewhere read in full
    std::string format = "text";  // "text", "csv" or "jsonl"
};
// Scans, shows the table as a click on its tree item does and prints one batch of its rows, or all of
// them; 1 when the scan builds no tree or no table has that name.
int run_rows(const RowsOptions& options);

struct ShowOptions {
    ScanOptions scan;
    std::string item;
    std::optional<std::string> parent;  // the text of the item's parent or of an item above it
};
// Scans and prints what a click on the tree item shows; 1 when the scan builds no tree or no item has
// that text.
int run_show(const ShowOptions& options);

struct ExportOptions {
    ScanOptions scan;  // json unused
    std::string to;    // "csv" or "sqlite"
    std::string output;
    std::vector<std::string> tables;  // none: every user table
    bool definitions = true;
    bool force = false;
};
// Scans and exports the tables (and the definitions) into CSV files or a SQLite file, with a recovery
// report beside them; prints the report's summary. 1 when the scan builds no tree, a table is not found,
// the export fails or is stopped; 2 when the output is refused.
int run_export(const ExportOptions& options);

struct PageOptions {
    std::string file;
    std::int32_t page_id = 0;
    std::uint16_t file_id = 1;
    bool records = false;
    bool json = false;
    bool quiet = false;
};
int run_page(const PageOptions& options);

}  // namespace quenlow::cli
