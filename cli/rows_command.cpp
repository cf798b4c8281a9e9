// `quenlow rows`: a scan, then a click on a table's tree item, printed as the records view shows it.

#include <cstdio>
#include <iostream>
#include <memory>
#include <utility>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "app/table_display.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/rows_output.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

namespace {

// One scan with the table display bound as the command wants it. Ctrl-C is the Stop command while the
// session lives.
class Session {
public:
    // Nothing (the reason printed) when the options name an unknown collation.
    static std::unique_ptr<Session> open(const ScanOptions& options, bool placeholders_in_first_batch) {
        std::unique_ptr<Session> session(new Session);
        const std::optional<OpenChoices> choices = open_choices_from(options, session->app_);
        if (!choices) return nullptr;
        session->front_ = std::make_unique<CliFrontEnd>(TerminalEvents::stderr_is_terminal(), *choices);
        MainFrameSeams seams = engine_seams();
        TableDisplaySettings settings;
        settings.decoder = table_page_decoder();
        settings.placeholders_in_first_batch = placeholders_in_first_batch;
        bind_table_display(seams, std::move(settings));
        session->frame_ =
            std::make_unique<MainFrame>(session->app_, *session->front_, session->files_, std::move(seams));
        return session;
    }
    ~Session() {
        frame_.reset();
        if (front_) front_->finish();
    }

    MainFrame& frame() { return *frame_; }

    // Runs the scan; false when it built no tree.
    bool scan() {
        frame_->on_open();
        wait_for_worker(*frame_);
        return !frame_->tree().empty();
    }
    RecordListModel click(TreeItemId item) {
        frame_->on_show_object(item);
        wait_for_worker(*frame_);
        return front_->record_list();
    }
    RecordListModel next() {
        frame_->on_next_records();
        wait_for_worker(*frame_);
        return front_->record_list();
    }
    // From now on rows are written out as text as they are inserted (see CliFrontEnd::stream_rows).
    void stream_rows(CliFrontEnd::RowWriter writer) { front_->stream_rows(std::move(writer)); }
    void take_streamed_rows(std::string& out) { front_->take_streamed_rows(out); }
    // Clears the progress bar line before output.
    void finish() { front_->finish(); }

private:
    Session() = default;

    InterruptAsStop interrupt_;
    ApplicationState app_;
    PosixFileSystem files_;
    std::unique_ptr<CliFrontEnd> front_;
    std::unique_ptr<MainFrame> frame_;
};

// One batch as printed for --page; the page label goes to stdout with the text table and
// to stderr with the data formats.
void print_batch(const RecordListModel& list, const std::string& format) {
    if (format == "csv") {
        std::cout << csv_line(list.columns);
        for (const auto& row : list.rows) std::cout << csv_line(row);
    } else if (format == "jsonl") {
        for (const auto& row : list.rows) std::cout << jsonl_line(row);
    } else {
        std::cout << text_table(list.columns, list.rows) << valid_utf8(list.page_label) << '\n';
        return;
    }
    fmt::print(stderr, "{}\n", list.page_label);
}

CliFrontEnd::RowWriter row_writer(const std::string& format) {
    using Views = std::span<const std::string_view>;
    if (format == "csv") return [](std::string& out, Views cells) { append_csv_line(out, cells); };
    if (format == "jsonl")
        return [](std::string& out, Views cells) { out += jsonl_line(Cells(cells.begin(), cells.end())); };
    return [](std::string& out, Views cells) { out += tsv_line(Cells(cells.begin(), cells.end())); };
}

// Writes the text and empties it, keeping its buffer.
void write_out(std::string& text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
    text.clear();
}

}  // namespace

int run_rows(const RowsOptions& options) {
    const std::unique_ptr<Session> opened = Session::open(options.scan, !options.all);
    if (!opened) return kExitUsage;
    Session& session = *opened;
    if (!session.scan()) return kExitFailed;

    const ObjectTree& tree = session.frame().tree();
    const TreeCategories& categories = session.frame().categories();
    // User tables first: a system table of the same name is reached by its schema ("sys.name").
    std::vector<TreeItemId> tables = find_object_items(tree, {categories.user_tables}, options.table);
    if (tables.empty()) tables = find_object_items(tree, {categories.system_tables}, options.table);
    if (tables.size() != 1) {
        session.finish();
        if (tables.empty())
            fmt::print(stderr, "No table named {} under \"User Tables\" or \"System Tables\".\n",
                       options.table);
        else
            print_ambiguous(tree, tables, options.table);
        return kExitFailed;
    }
    const TreeItemId table = tables.front();

    // Every batch is printed as soon as it is in, through one text buffer; no batch is held as a list.
    if (options.all) session.stream_rows(row_writer(options.format));
    RecordListModel list = session.click(table);
    if (!list.table_arrangement) {
        session.finish();
        fmt::print(stderr, "{} shows no rows: the catalog gives it no columns.\n", options.table);
        return kExitFailed;
    }
    if (!options.all) {
        int page = 1;
        for (; page < options.page && list.next_enabled && !interrupted(); ++page) list = session.next();
        session.finish();
        if (page < options.page)
            fmt::print(stderr, "\"Next Records\" is disabled after page {}; its rows follow.\n", page);
        print_batch(list, options.format);
        return kExitOk;
    }

    std::string out;
    if (options.format == "csv")
        append_csv_line(out, list.columns);
    else if (options.format == "text")
        out += tsv_line(list.columns);
    session.take_streamed_rows(out);
    write_out(out);
    while (list.next_enabled && !interrupted()) {
        list = session.next();
        session.take_streamed_rows(out);
        write_out(out);
    }
    session.finish();
    return kExitOk;
}

}  // namespace quenlow::cli
