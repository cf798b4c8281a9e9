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

TreeItemId find_child(const ObjectTree& tree, TreeItemId parent, const std::string& text) {
    for (TreeItemId child : tree.children(parent))
        if (tree.item_text(child) == text) return child;
    return kNoItem;
}

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

void print_rows(const RecordListModel& list, const std::string& format) {
    for (const auto& row : list.rows)
        std::cout << (format == "csv" ? csv_line(row) : format == "jsonl" ? jsonl_line(row) : tsv_line(row));
}

}  // namespace

int run_rows(const RowsOptions& options) {
    const std::unique_ptr<Session> opened = Session::open(options.scan, !options.all);
    if (!opened) return kExitUsage;
    Session& session = *opened;
    if (!session.scan()) return kExitFailed;

    const ObjectTree& tree = session.frame().tree();
    const TreeCategories& categories = session.frame().categories();
    TreeItemId table = find_child(tree, categories.user_tables, options.table);
    if (table == kNoItem) table = find_child(tree, categories.system_tables, options.table);
    if (table == kNoItem) {
        session.finish();
        fmt::print(stderr, "No table named {} under \"User Tables\" or \"System Tables\".\n", options.table);
        return kExitFailed;
    }

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

    // Every batch, printed as soon as it is in; only one batch is held at a time.
    if (options.format == "csv")
        std::cout << csv_line(list.columns);
    else if (options.format == "text")
        std::cout << tsv_line(list.columns);
    print_rows(list, options.format);
    while (list.next_enabled && !interrupted()) {
        list = session.next();
        print_rows(list, options.format);
        std::cout.flush();
    }
    session.finish();
    return kExitOk;
}

}  // namespace quenlow::cli
