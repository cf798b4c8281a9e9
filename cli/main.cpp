// quenlow: recovers SQL Server databases from their data files, from the command line.

#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace {

// The choices of the open dialog, as `quenlow scan` takes them: FILE and the scan flags.
void add_scan_choices(CLI::App* cmd, quenlow::cli::ScanOptions& scan) {
    cmd->add_option("FILE", scan.file, "Primary data file (.mdf)")->required();
    cmd->add_option("--mode", scan.mode, "Recovery mode")
        ->check(CLI::IsMember({"standard", "advanced"}))
        ->capture_default_str();
    cmd->add_flag("--deleted", scan.deleted, "Show deleted records");
    cmd->add_flag("--advanced-deleted", scan.advanced_deleted, "Show advanced deleted records");
    cmd->add_flag("--keep-every-candidate", scan.keep_every_candidate,
                  "Show every row that is not a live row, also copies of live rows and records that do\n"
                  "not decode cleanly (they are left out and counted otherwise)");
    cmd->add_option("--collation", scan.collation,
                    "\"auto\" to take the database collation from the file, or a collation name listed\n"
                    "in collation.txt beside the executable to use instead; columns with a collation of\n"
                    "their own (other than the database's) keep theirs")
        ->capture_default_str();
    cmd->add_option("--ansi-codepage", scan.ansi_code_page,
                    "Windows code page of 8-bit text that has no collation at all: neither a collation\n"
                    "of its column nor a database collation (the collation decides everywhere else)")
        ->capture_default_str();
    cmd->add_option("--log-dir", scan.log_dir, "Folder for the log file (no log file without it)");
    cmd->add_flag("--sql2000", scan.sql2000,
                  "The \"Is SQL 2000\" choice; stored, and cleared by the scan, which detects the layout");
}

void add_quiet(CLI::App* cmd, bool& quiet) {
    cmd->add_flag("-q,--quiet", quiet, "Errors only on stderr: no progress log, status or progress bar");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quenlow::cli;
    CLI::App app{
        "Velmor Quenlow: reads a SQL Server database from its data files alone (the .mdf primary file\n"
        "and the .ndf secondary files beside it), page by page, without a server. The files are only\n"
        "ever read.\n\n"
        "Exit status: 0 success, 1 the database could not be opened or read, 2 usage error.",
        "quenlow"};
    app.require_subcommand(1);

    InfoOptions info;
    auto* info_cmd = app.add_subcommand(
        "info",
        "Open a primary data file, settle where its pages start and map every page to its owning object;\n"
        "print the file's geometry, a histogram of page types, the page maps and the secondary files found.");
    info_cmd->add_option("FILE", info.file, "Primary data file (.mdf)")->required();
    info_cmd->add_flag("--json", info.json, "Print the summary as JSON");
    add_quiet(info_cmd, info.quiet);

    ScanOptions scan;
    auto* scan_cmd = app.add_subcommand(
        "scan",
        "Scan a primary data file as the Open command does: open and map it, read its catalog, report the\n"
        "server version and collation, and build the object tree. The progress log goes to stderr as it\n"
        "comes (and to a UTF-16 log file with --log-dir); then the tree is printed as an indented outline,\n"
        "two blanks per level, bold items (tables with columns and data pages) ending in \" *\".\n"
        "Questions are answered Yes; Ctrl-C is the Stop command (a second Ctrl-C ends the program).\n"
        "Exit status 1 when the scan ends without a tree.");
    add_scan_choices(scan_cmd, scan);
    add_quiet(scan_cmd, scan.quiet);
    scan_cmd->add_flag("--json", scan.json,
                       "Print {file, version, collation, database_name, log_file, tree} as JSON; every tree\n"
                       "item is {text, bold, data, children}, an item of an object also has {object_id,\n"
                       "schema, name}; tree is null when none was built");
    RowsOptions rows;
    auto* rows_cmd = app.add_subcommand(
        "rows",
        "Scan FILE as `quenlow scan` does, then show TABLE (an item under \"User Tables\" or\n"
        "\"System Tables\") as a click on its tree item does, and print the rows of its record list: one\n"
        "batch of at most 1000 rows, the one the list shows after the first load and N-1 clicks on\n"
        "\"Next Records\" (placeholders for values stored outside the row included), or with --all every\n"
        "row of the table, batch after batch, values read in full. The progress log goes to stderr.\n"
        "Formats: text (aligned columns and the page label; with --all TAB-separated), csv (RFC 4180,\n"
        "UTF-8, the column titles first), jsonl (one JSON array of strings per row; the columns in the\n"
        "order of the csv titles). Exit status 1 when the scan builds no tree, no table has that name, or\n"
        "tables of several schemas have it (they are listed).");
    add_scan_choices(rows_cmd, rows.scan);
    add_quiet(rows_cmd, rows.scan.quiet);
    rows_cmd
        ->add_option("TABLE", rows.table,
                     "Table as the tree shows it, as schema.name, or by its name alone when no other\n"
                     "table has that name")
        ->required();
    auto* rows_page = rows_cmd->add_option("--page", rows.page, "Batch number, 1 for the first")
                          ->check(CLI::PositiveNumber)
                          ->capture_default_str();
    rows_cmd->add_flag("--all", rows.all, "Every row of the table")->excludes(rows_page);
    rows_cmd->add_option("--format", rows.format, "Output format")
        ->check(CLI::IsMember({"text", "csv", "jsonl"}))
        ->capture_default_str();

    ShowOptions show;
    auto* show_cmd = app.add_subcommand(
        "show",
        "Scan FILE, then print what a click on the tree item ITEM shows: the item with the items under it\n"
        "(for a table, its schema items) and, for a table, the first batch of its rows with the page\n"
        "label; for other items the text the records view shows: the definition of a view, procedure,\n"
        "function, trigger or default, the ALTER TABLE statement of a key or check constraint. Keys and\n"
        "constraints are found under their tables' schema items, which are grown when ITEM is not in the\n"
        "tree otherwise. Exit status 1 when the scan builds no tree, no item has that text, or objects of\n"
        "several schemas have that name (they are listed).");
    add_scan_choices(show_cmd, show.scan);
    add_quiet(show_cmd, show.scan.quiet);
    show_cmd
        ->add_option("ITEM", show.item,
                     "Text of the tree item; an object also by schema.name, or by its name alone when\n"
                     "no other object has it")
        ->required();
    show_cmd->add_option("--parent", show.parent, "Text of the item's parent or of any item above it, to choose among\nequal texts (\"PrimaryKey\", a table name, ...)");

    PageOptions page;
    auto* page_cmd = app.add_subcommand(
        "page",
        "Print one page of a data file field by field: every header field, the slot array and, with\n"
        "--records, each record's status bytes, fixed part, column count, null bitmap, variable-column\n"
        "offsets and bytes (compressed records: column count, column codes, short and long data).\n"
        "Records are decoded independently of the recovery engine.");
    page_cmd->add_option("FILE", page.file, "Primary data file (.mdf)")->required();
    page_cmd->add_option("PAGE", page.page_id, "Page id (1 or more)")->required();
    page_cmd
        ->add_option("--file-id", page.file_id,
                     "File id of the page; 2 and up are the .ndf files beside FILE")
        ->check(CLI::Range(1, 65535));
    page_cmd->add_flag("--records", page.records, "Decode every record the slot array names");
    page_cmd->add_flag("--json", page.json, "Print the page as JSON");
    add_quiet(page_cmd, page.quiet);

    ExportOptions exp;
    auto* export_cmd = app.add_subcommand(
        "export",
        "Scan FILE, then export the rows of every user table (or of the tables named by --table) and the\n"
        "definitions of views, procedures, functions, triggers and defaults:\n"
        "  csv     one file per table, <schema>.<table>.csv, in the folder OUTPUT (RFC 4180, UTF-8, the\n"
        "          titles first; NULL an empty field, the empty text \"\"), definitions in definitions.csv\n"
        "  sqlite  one SQLite file OUTPUT: a table per table (integers INTEGER, binary BLOB, the rest TEXT\n"
        "          with exact decimals and ISO dates) and a table definitions (schema, name, type, text)\n"
        "  sql     one T-SQL script OUTPUT to run with sqlcmd on a new database: CREATE TABLE with types,\n"
        "          identity, defaults, keys and checks, the rows as INSERT statements, then the foreign\n"
        "          keys, views, functions, procedures and triggers, batches ended by GO\n"
        "A recovery report (JSON) goes beside the export: OUTPUT/recovery-report.json, or OUTPUT.report.json\n"
        "for sqlite and sql; its summary is printed. Files are written under a temporary name and renamed when\n"
        "whole. Ctrl-C stops after the page being read: what was written stays, the report says where it\n"
        "stopped. Exit status 1 when the scan builds no tree, a table is not found, the export fails or\n"
        "is stopped; 2 when the output is refused.");
    add_scan_choices(export_cmd, exp.scan);
    add_quiet(export_cmd, exp.scan.quiet);
    export_cmd->add_option("--to", exp.to, "Target")->check(CLI::IsMember({"csv", "sqlite", "sql"}))->required();
    export_cmd->add_option("--output", exp.output, "Folder (csv) or file (sqlite, sql) to write")->required();
    export_cmd->add_option("--table", exp.tables,
                           "A table to export (as the tree shows it, as schema.name, or by its name alone);\n"
                           "may be given more than once. Without it every user table is exported");
    export_cmd->add_flag("!--no-definitions", exp.definitions, "Leave out the definitions");
    export_cmd->add_flag("--force", exp.force, "Write into a folder that is not empty, replace a file");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (*info_cmd) return run_info(info);
    if (*scan_cmd) return run_scan(scan);
    if (*page_cmd) return run_page(page);
    if (*rows_cmd) return run_rows(rows);
    if (*show_cmd) return run_show(show);
    if (*export_cmd) return run_export(exp);
    return kExitUsage;
}
