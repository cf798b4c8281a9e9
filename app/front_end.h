#pragma once
// Everything the application logic needs from a window layer. The main frame calls these operations;
// a front end carries them out and answers.
//
// Calls arrive on whichever thread runs the logic: the thread of a command, or the worker thread of a
// scan, a display or a batch. A front end with a user-interface thread of its own carries each call out
// there and returns only when it is done (blocking), so the calls of one thread take effect in order and
// an answer (a yes/no question, the open dialog) is back before the caller goes on. The command line runs
// every call directly on the calling thread.
//
// The engine reports (EngineEvents) mean here:
//   progress_range / progress_position   the progress bar of the status bar
//   status_text                          the engine's status sentence, shown in the records pane's text box
//   fatal_error                          an error box with the text (the default shows it through
//                                        message_box with the error icon)
//   log_line                             append one line to the log pane (the log file is the main
//                                        frame's business)
//
// Tree changes arrive through TreeMirror, with the item ids of the model (see object_tree.h).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/object_tree.h"
#include "app/open_choices.h"
#include "engine/pages/engine_events.h"

namespace quenlow {

// The caption of every message box, and the application title.
inline constexpr const char* kApplicationTitle = "Velmor Quenlow v17.0";

// Rows of the record list as one block: every row has `width` cells, stored row after row. `nulls` has
// one entry per cell, 1 where the decoder found the value NULL (a list shows the cell's text either way;
// exported rows keep NULL apart from an empty string by it), or is empty when no one marked them.
// The title of the leading column of a row listing that tells live rows from the others ("live",
// "deleted", "body scan", "stale page").
inline constexpr const char* kStateColumnTitle = "State";

struct RowBlock {
    std::size_t width = 0;
    std::vector<std::string> cells;
    std::vector<std::uint8_t> nulls;

    std::size_t row_count() const { return width == 0 ? 0 : cells.size() / width; }
    std::span<const std::string> row(std::size_t r) const { return {cells.data() + r * width, width}; }
    std::span<const std::uint8_t> row_nulls(std::size_t r) const {
        if (nulls.size() != cells.size()) return {};
        return {nulls.data() + r * width, width};
    }
    void clear() {
        cells.clear();
        nulls.clear();
    }
};

// The targets of Save: CSV files (one per table) in a folder, one SQLite file, or one T-SQL script.
enum class ExportKind { kCsv, kSqlite, kSql };

// What the save dialog asks: the target kind, its path, and whether an existing output may be replaced.
struct SaveChoice {
    ExportKind kind = ExportKind::kCsv;
    std::string path;
    bool replace = false;
};

enum class BoxIcon { kInformation, kError, kQuestion };

class FrontEnd : public EngineEvents, public TreeMirror {
public:
    // Caption bar: the one-line status sentence above the views.
    virtual void set_caption(std::string_view text) = 0;
    virtual void show_progress(bool visible) = 0;

    // Modal boxes. Every box of the application carries kApplicationTitle as caption.
    virtual void message_box(BoxIcon icon, std::string_view caption, std::string_view text) = 0;
    // True for Yes.
    virtual bool ask_yes_no(BoxIcon icon, std::string_view caption, std::string_view text) = 0;

    // The open dialog; nothing when it is cancelled. A dialog keeps itself open while
    // open_choices_refusal() refuses its choice (showing the refusal), so what it returns is accepted.
    virtual std::optional<OpenChoices> open_dialog(const OpenDialogRequest& request) = 0;

    // The save dialog; nothing when it is cancelled (the default: a front end without one).
    virtual std::optional<SaveChoice> save_dialog() { return std::nullopt; }

    // Selects (as the caret), highlights and marks an item as selected.
    virtual void tree_select(TreeItemId item) = 0;
    // Repaints the tree at once.
    virtual void tree_redraw() = 0;

    // Records pane.
    virtual void records_delete_all_rows() = 0;
    // Deletes column 0, count times.
    virtual void records_delete_columns(int count) = 0;
    // Inserts a left-aligned column.
    virtual void records_add_column(int index, std::string_view title, int width) = 0;
    // Inserts a row with the text of its first cell; the other cells are set one by one.
    virtual void records_add_row(int index, std::string_view first_cell) = 0;
    virtual void records_set_cell(int row, int column, std::string_view text) = 0;
    // Inserts a row with all its cells (cells[0] the first): one call for records_add_row and a
    // records_set_cell per further cell, in that order. A front end may do it in one step.
    virtual void records_insert_row(int index, std::span<const std::string_view> cells) {
        records_add_row(index, cells.empty() ? std::string_view() : cells.front());
        for (std::size_t c = 1; c < cells.size(); ++c) records_set_cell(index, static_cast<int>(c), cells[c]);
    }
    // Inserts the rows of a block at first_index, first_index + 1, ...: the one call of a batch, so a front
    // end with a thread of its own makes one hop per batch. The default inserts them one by one.
    virtual void records_insert_rows(int first_index, const RowBlock& rows) {
        std::vector<std::string_view> cells;
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
            const auto row = rows.row(r);
            cells.assign(row.begin(), row.end());
            records_insert_row(first_index + static_cast<int>(r), cells);
        }
    }
    // Deletes one row; the rows after it move up.
    virtual void records_delete_row(int row) = 0;
    virtual void records_set_text(std::string_view text) = 0;  // the text box; replaces its whole text
    virtual void records_set_page_label(std::string_view text) = 0;
    virtual void records_enable_previous(bool enabled) = 0;
    virtual void records_enable_next(bool enabled) = 0;
    // Table arrangement (list, page label, paging buttons) or text arrangement (text box).
    virtual void records_show_table(bool table) = 0;
    virtual void records_redraw() = 0;

    // Replaces the text of the last line of the log pane; the log file is not touched. A row counter
    // that ticks per row is shown this way instead of one new line per row.
    virtual void log_overwrite_last(std::string_view text) = 0;

    // Opens a web page of the product in the platform's browser.
    virtual void open_url(std::string_view url) = 0;
    virtual void show_about() = 0;

    // The frame is going away and waits for its worker: from now on no call may wait for the window's
    // thread (questions answer No, the dialog is cancelled, the rest is dropped).
    virtual void shutting_down() {}

    void fatal_error(std::string_view text) override {
        message_box(BoxIcon::kError, kApplicationTitle, text);
    }
};

}  // namespace quenlow
