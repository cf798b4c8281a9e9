// `quenlow rows`: a scan, then a click on a table's tree item, printed as the records view shows it
// (text) or with the values an export writes (csv, jsonl).

#include <cstdio>
#include <iostream>
#include <utility>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/headless_session.h"
#include "app/table_display.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/rows_output.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

namespace {

// The data formats print export values with their NULL marks; they always take the rows as they are
// written out (streamed), text keeps the record list's display texts.
bool data_format(const std::string& format) {
    return format == "csv" || format == "jsonl";
}

// One batch as printed for --page; the page label goes to stdout with the text table and
// to stderr with the data formats, whose rows come already written (not with --quiet).
void print_batch(const RecordListModel& list, const std::string& format, const std::string& written_rows,
                 bool quiet) {
    if (format == "csv") {
        std::cout << csv_line(list.columns) << written_rows;
    } else if (format == "jsonl") {
        std::cout << written_rows;
    } else {
        std::cout << text_table(list.columns, list.rows) << valid_utf8(list.page_label) << '\n';
        return;
    }
    if (!quiet) fmt::print(stderr, "{}\n", list.page_label);
}

CliFrontEnd::RowWriter row_writer(const std::string& format) {
    using Views = std::span<const std::string_view>;
    using Nulls = std::span<const std::uint8_t>;
    if (format == "csv")
        return [](std::string& out, Views cells, Nulls nulls) { append_csv_line(out, cells, nulls); };
    if (format == "jsonl")
        return [](std::string& out, Views cells, Nulls nulls) { append_jsonl_line(out, cells, nulls); };
    return [](std::string& out, Views cells, Nulls) { out += tsv_line(Cells(cells.begin(), cells.end())); };
}

// Writes the text and empties it, keeping its buffer.
void write_out(std::string& text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
    text.clear();
}

// Prints the rows of the table the options name from a scanned session.
int print_rows(const RowsOptions& options, HeadlessSession& session, CliFrontEnd& front) {
    const ItemLookup table = session.find_table(options.table);
    if (table.item == kNoItem) {
        front.finish();
        if (table.candidates.empty())
            fmt::print(stderr, "No table named {} under \"User Tables\" or \"System Tables\".\n",
                       options.table);
        else
            print_ambiguous(table.candidates, options.table);
        return kExitFailed;
    }

    // Every batch is printed as soon as it is in, through one text buffer; no batch is held as a list.
    if (options.all || data_format(options.format)) front.stream_rows(row_writer(options.format));
    session.click(table.item);
    RecordListModel list = front.record_list();
    if (!list.table_arrangement) {
        front.finish();
        fmt::print(stderr, "{} shows no rows: the catalog gives it no columns.\n", options.table);
        return kExitFailed;
    }
    if (!options.all) {
        // The rows written for the batch on display (data formats); earlier batches' rows are dropped.
        std::string written_rows;
        front.take_streamed_rows(written_rows);
        int page = 1;
        for (; page < options.page && list.next_enabled && !interrupted(); ++page) {
            session.next();
            list = front.record_list();
            written_rows.clear();
            front.take_streamed_rows(written_rows);
        }
        front.finish();
        if (page < options.page)
            fmt::print(stderr, "\"Next Records\" is disabled after page {}; its rows follow.\n", page);
        print_batch(list, options.format, written_rows, options.scan.quiet);
        return kExitOk;
    }

    std::string out;
    if (options.format == "csv")
        append_csv_line(out, list.columns);
    else if (options.format == "text")
        out += tsv_line(list.columns);
    front.take_streamed_rows(out);
    write_out(out);
    while (list.next_enabled && !interrupted()) {
        session.next();
        list = front.record_list();
        front.take_streamed_rows(out);
        write_out(out);
    }
    front.finish();
    return kExitOk;
}

}  // namespace

int run_rows(const RowsOptions& options) {
    InterruptAsStop interrupt;
    ApplicationState app;
    const std::optional<OpenChoices> choices = open_choices_from(options.scan, app);
    if (!choices) return kExitUsage;
    PosixFileSystem files;
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), *choices, options.scan.quiet);
    MainFrameSeams seams = engine_seams();
    TableDisplaySettings settings;
    settings.decoder =
        table_page_decoder(data_format(options.format) ? ValueStyle::kExport : ValueStyle::kDisplay);
    settings.placeholders_in_first_batch = !options.all;
    bind_table_display(seams, std::move(settings));
    int status = kExitFailed;
    bool opened = false;
    {
        HeadlessSession session(app, front, files, std::move(seams), interrupted);
        opened = session.open();
        if (opened) status = print_rows(options, session, front);
    }
    front.finish();
    if (!opened) print_file_problem(options.scan.file);
    return status;
}

}  // namespace quenlow::cli
