// `quenlow export`: a scan, then the selected tables and definitions written into CSV files or a SQLite
// file, with the recovery report beside them and its summary printed.

#include <cstdio>
#include <iostream>
#include <utility>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/export.h"
#include "app/export_files.h"
#include "app/headless_session.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

namespace {

// The tables the options name, or every user table; nothing when a name finds no single table.
std::optional<ExportSelection> selection_of(const ExportOptions& options, HeadlessSession& session) {
    ExportSelection selection = everything(session.frame());
    if (!options.definitions) selection.objects.clear();
    if (options.tables.empty()) return selection;
    selection.tables.clear();
    for (const std::string& name : options.tables) {
        const ItemLookup table = session.find_table(name);
        if (table.item == kNoItem) {
            if (table.candidates.empty())
                fmt::print(stderr, "No table named {} under \"User Tables\" or \"System Tables\".\n", name);
            else
                print_ambiguous(table.candidates, name);
            return std::nullopt;
        }
        selection.tables.push_back(table.item);
    }
    return selection;
}

void print_summary(const ExportReport& report, const std::string& report_file) {
    fmt::print("{}", export_summary(report, report_file));
    std::fflush(stdout);
}

}  // namespace

int run_export(const ExportOptions& options) {
    const ExportKind kind = options.to == "sqlite" ? ExportKind::kSqlite
                            : options.to == "sql"  ? ExportKind::kSql
                                                   : ExportKind::kCsv;
    if (auto refusal = export_output_refusal(kind, options.output, options.force)) {
        fmt::print(stderr, "error: {}\n", *refusal);
        return kExitUsage;
    }
    InterruptAsStop interrupt;
    ApplicationState app;
    const std::optional<OpenChoices> choices = open_choices_from(options.scan, app);
    if (!choices) return kExitUsage;
    PosixFileSystem files;
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), *choices, options.scan.quiet);
    int status = kExitFailed;
    bool opened = false;
    {
        HeadlessSession session(app, front, files, engine_seams(), interrupted);
        opened = session.open();
        if (opened) {
            if (const std::optional<ExportSelection> selection = selection_of(options, session)) {
                ExportSettings settings;
                settings.decoder = table_page_decoder(ValueStyle::kExport);
                settings.definitions = options.definitions;
                settings.stop_requested = interrupted;
                const std::unique_ptr<ExportTarget> target = make_target(kind, options.output);
                // The export is the worker of the moment.
                app.running.store(1);
                const ExportReport report = export_selection(session.frame(), *selection, *target, settings);
                front.finish();
                print_summary(report, report_path(kind, options.output));
                if (!report.error.empty())
                    fmt::print(stderr, "error: {}\n", report.error);
                else if (report.stopped)
                    fmt::print(stderr, "Export stopped at {}; the report lists what was written.\n",
                               report.stopped_at);
                status = report.complete() ? kExitOk : kExitFailed;
            }
        }
    }
    front.finish();
    if (!opened) print_file_problem(options.scan.file);
    return status;
}

}  // namespace quenlow::cli
