#pragma once
// The command line's front end for the main frame. Every call runs directly on the calling thread; a
// mutex keeps the lines of the worker and of the main thread whole.
//
//   log lines        stderr, unless quiet
//   status texts     stderr, on a terminal only (with the progress bar)
//   message boxes    stderr: information as the text, errors as "error: " + text
//   yes/no questions stderr, the text and " Yes": the command line always answers Yes
//   open dialog      answers with the choices made on the command line, refused (the refusal printed,
//                    nothing returned) by the dialog's own rules
//   records pane     kept in a RecordListModel, for the commands to print; or, with stream_rows(), the
//                    rows written out as text as they come, for printing every batch of a table
//   overwritten log  nothing: the per-row counter would be one line per row
//   tree, caption, web pages, about: nothing; the tree is printed from the model at the end

#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/front_end.h"
#include "app/record_list.h"
#include "cli/terminal_events.h"

namespace quenlow::cli {

class CliFrontEnd final : public FrontEnd {
public:
    // quiet: stderr keeps errors only (no log lines, status texts, progress or information).
    CliFrontEnd(bool interactive, OpenChoices choices, bool quiet = false);

    // Clears the progress bar line before normal output.
    void finish();

    void progress_range(std::int64_t low, std::int64_t high) override;
    void progress_position(std::int64_t position) override;
    void status_text(std::string_view text) override;
    void log_line(std::string_view text) override;

    void set_caption(std::string_view) override {}
    void show_progress(bool visible) override;
    void message_box(BoxIcon icon, std::string_view caption, std::string_view text) override;
    bool ask_yes_no(BoxIcon icon, std::string_view caption, std::string_view text) override;
    std::optional<OpenChoices> open_dialog(const OpenDialogRequest& request) override;

    void tree_insert_item(TreeItemId, TreeItemId, std::string_view, InsertPosition) override {}
    void tree_delete_all() override {}
    void tree_set_children_order(TreeItemId, const std::vector<TreeItemId>&) override {}
    void tree_set_item_data(TreeItemId, std::uint32_t) override {}
    void tree_set_bold(TreeItemId, bool) override {}
    void tree_select(TreeItemId) override {}
    void tree_redraw() override {}

    void records_delete_all_rows() override;
    void records_delete_columns(int count) override;
    void records_add_column(int index, std::string_view title, int width) override;
    void records_add_row(int index, std::string_view first_cell) override;
    void records_set_cell(int row, int column, std::string_view text) override;
    void records_insert_row(int index, std::span<const std::string_view> cells) override;
    // Streamed rows carry the block's NULL marks to the writer.
    void records_insert_rows(int first_index, const RowBlock& rows) override;
    void records_delete_row(int row) override;
    void records_set_text(std::string_view text) override;
    void records_set_page_label(std::string_view text) override;
    void records_enable_previous(bool enabled) override;
    void records_enable_next(bool enabled) override;
    void records_show_table(bool table) override;
    void records_redraw() override {}
    void log_overwrite_last(std::string_view) override {}

    // A copy of the records pane as it stands.
    RecordListModel record_list() const;

    // Appends one row, one cell per list column, to the text as printed. `nulls` holds one entry per cell
    // (1: the value is NULL), all 0 for rows that came without NULL marks.
    using RowWriter = std::function<void(std::string& out, std::span<const std::string_view> cells,
                                         std::span<const std::uint8_t> nulls)>;
    // From now on the list keeps no rows: each row is written to the streamed text, a row inserted whole
    // at once, a row added and then filled cell by cell once it is complete (the next row begins, the
    // list is emptied, or the text is taken). Deleting the row inserted last takes it out of the text
    // again. Rows are appended one after the other here, as the batch loader inserts them; a cell set or
    // a row deleted is always the one inserted last.
    void stream_rows(RowWriter writer);
    // Appends the rows written since the last call to `out` and empties the streamed text.
    void take_streamed_rows(std::string& out);

    void open_url(std::string_view) override {}
    void show_about() override {}

private:
    void print_line(std::string_view text);

    mutable std::mutex mutex_;
    bool interactive_;
    bool quiet_ = false;
    TerminalEvents terminal_;
    bool progress_visible_ = false;
    OpenChoices choices_;
    // Writes the row being filled cell by cell, if any, to streamed_.
    void complete_streamed_row();
    void write_streamed_row(int index, std::span<const std::string_view> cells,
                            std::span<const std::uint8_t> nulls = {});

    RecordListModel list_;
    RowWriter row_writer_;
    std::string streamed_;
    // A row added and being filled cell by cell; -1: none.
    std::vector<std::string> filling_row_;
    int filling_index_ = -1;
    // The row written last and where its text starts, while it may still be deleted; -1: none.
    int written_index_ = -1;
    std::size_t written_start_ = 0;
    std::vector<std::string_view> cell_views_;
    std::vector<std::uint8_t> cell_nulls_;
};

}  // namespace quenlow::cli
