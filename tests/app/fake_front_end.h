#pragma once
// A front end for tests: records every call as one readable line, in order, answers questions from a
// queue and the open dialog from a prepared choice, and keeps its own copy of the tree built only from the
// mirror calls, so a test can check that the front end sees what the model holds.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/front_end.h"
#include "app/record_list.h"

namespace quenlow::test {

struct RecordedBox {
    BoxIcon icon;
    std::string caption;
    std::string text;
};

class FakeFrontEnd final : public FrontEnd {
public:
    // ---- what the test prepares ----
    std::optional<OpenChoices> dialog_result;
    std::deque<bool> answers;  // answers to yes/no questions, in order; Yes when the queue is empty
    // Runs when a question is asked, before it is answered (the user's think time).
    std::function<void()> before_answer;
    // Runs when a box is shown, before it is recorded (a window that keeps the caller waiting).
    std::function<void()> before_box;
    // Runs when the frame tells that it is going away.
    std::function<void()> on_shutting_down;

    // ---- what the test reads ----
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<RecordedBox> boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::vector<std::string> box_texts() const {
        std::vector<std::string> out;
        for (const auto& b : boxes()) out.push_back(b.text);
        return out;
    }
    int dialogs_shown() const {
        std::lock_guard lock(mutex_);
        return dialogs_;
    }
    // The manual collation id each open dialog was opened with.
    std::vector<std::int64_t> dialog_manual_ids() const {
        std::lock_guard lock(mutex_);
        return dialog_manual_ids_;
    }
    // Calls whose line starts with prefix, prefix removed.
    std::vector<std::string> calls_starting(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls())
            if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
        return out;
    }
    // The tree as the mirror calls built it, in the same outline form as format_outline().
    std::string mirrored_outline() const {
        std::lock_guard lock(mutex_);
        std::string out;
        for (TreeItemId id : top_) outline(id, 0, out);
        return out;
    }
    // The records pane as the records calls left it.
    RecordListModel record_list() const {
        std::lock_guard lock(mutex_);
        return list_;
    }
    void clear_calls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
        log_.clear();
        boxes_.clear();
    }

    // ---- EngineEvents ----
    void progress_range(std::int64_t low, std::int64_t high) override {
        record(fmt::format("range {}..{}", low, high));
    }
    void progress_position(std::int64_t position) override { record(fmt::format("position {}", position)); }
    void status_text(std::string_view text) override { record(fmt::format("status: {}", text)); }
    void log_line(std::string_view text) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("log: {}", text));
        log_.emplace_back(text);
    }

    // ---- FrontEnd ----
    void set_caption(std::string_view text) override { record(fmt::format("caption: {}", text)); }
    void show_progress(bool visible) override { record(visible ? "progress shown" : "progress hidden"); }
    void message_box(BoxIcon icon, std::string_view caption, std::string_view text) override {
        if (before_box) before_box();
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("box({}): {}", icon_name(icon), text));
        boxes_.push_back({icon, std::string(caption), std::string(text)});
    }
    bool ask_yes_no(BoxIcon icon, std::string_view caption, std::string_view text) override {
        if (before_answer) before_answer();
        std::lock_guard lock(mutex_);
        bool yes = true;
        if (!answers.empty()) {
            yes = answers.front();
            answers.pop_front();
        }
        calls_.push_back(fmt::format("ask({}): {} -> {}", icon_name(icon), text, yes ? "Yes" : "No"));
        boxes_.push_back({icon, std::string(caption), std::string(text)});
        return yes;
    }
    std::optional<OpenChoices> open_dialog(const OpenDialogRequest& request) override {
        std::lock_guard lock(mutex_);
        ++dialogs_;
        dialog_manual_ids_.push_back(request.manual_collation_id);
        calls_.push_back(dialog_result ? "dialog: OK" : "dialog: Cancel");
        return dialog_result;
    }
    void tree_select(TreeItemId item) override { record(fmt::format("tree select {}", item)); }
    void tree_redraw() override { record("tree redraw"); }
    void records_delete_all_rows() override {
        record("records: delete all rows", [](RecordListModel& l) { l.delete_all_rows(); });
    }
    void records_delete_columns(int count) override {
        record(fmt::format("records: delete {} columns", count),
               [&](RecordListModel& l) { l.delete_columns(count); });
    }
    void records_add_column(int index, std::string_view title, int width) override {
        record(fmt::format("records: column {} {} {}", index, title, width),
               [&](RecordListModel& l) { l.add_column(index, title); });
    }
    void records_add_row(int index, std::string_view first_cell) override {
        record(fmt::format("records: row {} {}", index, first_cell),
               [&](RecordListModel& l) { l.add_row(index, first_cell); });
    }
    void records_set_cell(int row, int column, std::string_view text) override {
        record(fmt::format("records: cell {},{} {}", row, column, text),
               [&](RecordListModel& l) { l.set_cell(row, column, text); });
    }
    void records_insert_rows(int first_index, const RowBlock& rows) override {
        record(fmt::format("records: block {} x{}", first_index, rows.row_count()), [&](RecordListModel& l) {
            for (std::size_t r = 0; r < rows.row_count(); ++r) {
                const auto row = rows.row(r);
                const auto nulls = rows.row_nulls(r);
                const auto cell = [&](std::size_t c) -> std::string_view {
                    const bool null = !null_cell_text.empty() && c < nulls.size() && nulls[c] != 0;
                    return null ? std::string_view(null_cell_text) : std::string_view(row[c]);
                };
                const int index = first_index + static_cast<int>(r);
                l.add_row(index, row.empty() ? std::string_view() : cell(0));
                for (std::size_t c = 1; c < row.size(); ++c) l.set_cell(index, static_cast<int>(c), cell(c));
            }
        });
    }
    // When not empty: the text the list keeps for a cell that a block of rows marks NULL.
    std::string null_cell_text;
    void records_delete_row(int row) override {
        record(fmt::format("records: delete row {}", row), [&](RecordListModel& l) { l.delete_row(row); });
    }
    void records_set_text(std::string_view text) override {
        record(fmt::format("records: text [{}]", text),
               [&](RecordListModel& l) { l.text = std::string(text); });
    }
    void records_set_page_label(std::string_view text) override {
        record(fmt::format("records: label [{}]", text),
               [&](RecordListModel& l) { l.page_label = std::string(text); });
    }
    void records_enable_previous(bool enabled) override {
        record(fmt::format("records: previous {}", enabled),
               [&](RecordListModel& l) { l.previous_enabled = enabled; });
    }
    void records_enable_next(bool enabled) override {
        record(fmt::format("records: next {}", enabled),
               [&](RecordListModel& l) { l.next_enabled = enabled; });
    }
    void records_show_table(bool table) override {
        record(fmt::format("records: table {}", table),
               [&](RecordListModel& l) { l.table_arrangement = table; });
    }
    void records_redraw() override { record("records: redraw"); }
    void log_overwrite_last(std::string_view text) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("log overwrite: {}", text));
        if (!log_.empty()) log_.back() = std::string(text);
    }
    void shutting_down() override {
        if (on_shutting_down) on_shutting_down();
    }
    void open_url(std::string_view url) override { record(fmt::format("url: {}", url)); }
    void show_about() override { record("about"); }

    // ---- TreeMirror ----
    void tree_insert_item(TreeItemId item, TreeItemId parent, std::string_view text,
                          InsertPosition position) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("tree insert {} under {}: {}", item, parent, text));
        auto& siblings = parent == kNoItem ? top_ : items_[parent].children;
        if (position == InsertPosition::kFirst)
            siblings.push_front(item);
        else
            siblings.push_back(item);
        items_[item].text = std::string(text);
    }
    void tree_delete_all() override {
        std::lock_guard lock(mutex_);
        calls_.push_back("tree delete all");
        items_.clear();
        top_.clear();
    }
    void tree_set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("tree sort {}", parent));
        auto& siblings = parent == kNoItem ? top_ : items_[parent].children;
        siblings.assign(children.begin(), children.end());
    }
    void tree_set_item_data(TreeItemId item, std::uint32_t data) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("tree data {} = {}", item, data));
        items_[item].data = data;
    }
    void tree_set_bold(TreeItemId item, bool bold) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(fmt::format("tree bold {} = {}", item, bold));
        items_[item].bold = bold;
    }

private:
    struct MirroredItem {
        std::string text;
        std::uint32_t data = 0;
        bool bold = false;
        std::deque<TreeItemId> children;
    };

    static const char* icon_name(BoxIcon icon) {
        switch (icon) {
            case BoxIcon::kInformation:
                return "information";
            case BoxIcon::kError:
                return "error";
            case BoxIcon::kQuestion:
                return "question";
        }
        return "?";
    }
    void record(std::string line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
    }
    template <typename Change>
    void record(std::string line, Change change) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
        change(list_);
    }
    void outline(TreeItemId id, int depth, std::string& out) const {
        auto it = items_.find(id);
        if (it == items_.end()) return;
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
        out += it->second.text;
        if (it->second.bold) out += " *";
        out += '\n';
        for (TreeItemId child : it->second.children) outline(child, depth + 1, out);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::string> log_;
    std::vector<RecordedBox> boxes_;
    int dialogs_ = 0;
    std::vector<std::int64_t> dialog_manual_ids_;
    RecordListModel list_;
    std::map<TreeItemId, MirroredItem> items_;
    std::deque<TreeItemId> top_;
};

}  // namespace quenlow::test
