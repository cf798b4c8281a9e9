#pragma once
// The window's front end for the main frame. A call made on the window's thread is carried out at once
// (after the worker calls queued before it); a call made by a worker is queued and carried out on the
// window's thread, and a worker waits only for calls that answer. Texts are turned into Qt strings on the
// calling thread, so the window's thread only places them. Progress positions are coalesced: only the
// newest reaches the progress bar.

#include <QPointer>
#include <functional>

#include "app/front_end.h"
#include "app/ui_call_queue.h"

namespace quenlow::gui {

class MainWindow;

class QtFrontEnd final : public FrontEnd {
public:
    explicit QtFrontEnd(MainWindow& window);

    // Runs the queued calls; the window's thread.
    void deliver();
    std::uint64_t hops() const { return queue_.wakes(); }

    void progress_range(std::int64_t low, std::int64_t high) override;
    void progress_position(std::int64_t position) override;
    void status_text(std::string_view text) override;
    void log_line(std::string_view text) override;

    void set_caption(std::string_view text) override;
    void show_progress(bool visible) override;
    void message_box(BoxIcon icon, std::string_view caption, std::string_view text) override;
    bool ask_yes_no(BoxIcon icon, std::string_view caption, std::string_view text) override;
    std::optional<OpenChoices> open_dialog(const OpenDialogRequest& request) override;
    std::optional<SaveChoice> save_dialog() override;

    void tree_insert_item(TreeItemId item, TreeItemId parent, std::string_view text,
                          InsertPosition position) override;
    void tree_delete_all() override;
    void tree_set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children) override;
    void tree_set_item_data(TreeItemId, std::uint32_t) override {}
    void tree_set_bold(TreeItemId item, bool bold) override;
    void tree_select(TreeItemId item) override;
    void tree_redraw() override;

    void records_delete_all_rows() override;
    void records_delete_columns(int count) override;
    void records_add_column(int index, std::string_view title, int width) override;
    void records_add_row(int index, std::string_view first_cell) override;
    void records_set_cell(int row, int column, std::string_view text) override;
    void records_insert_row(int index, std::span<const std::string_view> cells) override;
    void records_insert_rows(int first_index, const RowBlock& rows) override;
    void records_delete_row(int row) override;
    void records_set_text(std::string_view text) override;
    void records_set_page_label(std::string_view text) override;
    void records_enable_previous(bool enabled) override;
    void records_enable_next(bool enabled) override;
    void records_show_table(bool table) override;
    void records_redraw() override {}
    void log_overwrite_last(std::string_view text) override;

    void open_url(std::string_view url) override;
    void show_about() override;
    void shutting_down() override;

private:
    bool on_window_thread() const;
    // Carries a call out on the window's thread, in order; a worker does not wait for it.
    void run(std::function<void()> call);
    // The same, and the worker waits; false when the window went away first.
    bool run_and_wait(const std::function<void()>& call);

    MainWindow& window_;
    UiCallQueue queue_;
};

}  // namespace quenlow::gui
