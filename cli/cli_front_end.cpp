#include "cli/cli_front_end.h"

#include <fmt/format.h>

#include <cstdio>

namespace quenlow::cli {

CliFrontEnd::CliFrontEnd(bool interactive, OpenChoices choices)
    : interactive_(interactive), terminal_(interactive), choices_(std::move(choices)) {}

void CliFrontEnd::finish() {
    std::lock_guard lock(mutex_);
    terminal_.finish();
}

void CliFrontEnd::print_line(std::string_view text) {
    // On a terminal the line goes above the progress bar, which is drawn again below it.
    if (interactive_) {
        terminal_.log_line(text);
    } else {
        fmt::print(stderr, "{}\n", text);
        std::fflush(stderr);
    }
}

void CliFrontEnd::progress_range(std::int64_t low, std::int64_t high) {
    std::lock_guard lock(mutex_);
    if (progress_visible_) terminal_.progress_range(low, high);
}

void CliFrontEnd::progress_position(std::int64_t position) {
    std::lock_guard lock(mutex_);
    if (progress_visible_) terminal_.progress_position(position);
}

void CliFrontEnd::status_text(std::string_view text) {
    std::lock_guard lock(mutex_);
    terminal_.status_text(text);
}

void CliFrontEnd::log_line(std::string_view text) {
    std::lock_guard lock(mutex_);
    print_line(text);
}

void CliFrontEnd::show_progress(bool visible) {
    std::lock_guard lock(mutex_);
    progress_visible_ = visible;
    if (!visible) terminal_.finish();
}

void CliFrontEnd::message_box(BoxIcon icon, std::string_view, std::string_view text) {
    std::lock_guard lock(mutex_);
    print_line(icon == BoxIcon::kError ? fmt::format("error: {}", text) : std::string(text));
}

bool CliFrontEnd::ask_yes_no(BoxIcon, std::string_view, std::string_view text) {
    std::lock_guard lock(mutex_);
    print_line(fmt::format("{} Yes", text));
    return true;
}

std::optional<OpenChoices> CliFrontEnd::open_dialog(const OpenDialogRequest&) {
    std::lock_guard lock(mutex_);
    if (auto refusal = open_choices_refusal(choices_)) {
        print_line(*refusal);
        return std::nullopt;
    }
    return choices_;
}

void CliFrontEnd::records_delete_all_rows() {
    std::lock_guard lock(mutex_);
    list_.delete_all_rows();
}

void CliFrontEnd::records_delete_columns(int count) {
    std::lock_guard lock(mutex_);
    list_.delete_columns(count);
}

void CliFrontEnd::records_add_column(int index, std::string_view title, int) {
    std::lock_guard lock(mutex_);
    list_.add_column(index, title);
}

void CliFrontEnd::records_add_row(int index, std::string_view first_cell) {
    std::lock_guard lock(mutex_);
    list_.add_row(index, first_cell);
}

void CliFrontEnd::records_set_cell(int row, int column, std::string_view text) {
    std::lock_guard lock(mutex_);
    list_.set_cell(row, column, text);
}

void CliFrontEnd::records_delete_row(int row) {
    std::lock_guard lock(mutex_);
    list_.delete_row(row);
}

void CliFrontEnd::records_set_text(std::string_view text) {
    std::lock_guard lock(mutex_);
    list_.text = std::string(text);
}

void CliFrontEnd::records_set_page_label(std::string_view text) {
    std::lock_guard lock(mutex_);
    list_.page_label = std::string(text);
}

void CliFrontEnd::records_enable_previous(bool enabled) {
    std::lock_guard lock(mutex_);
    list_.previous_enabled = enabled;
}

void CliFrontEnd::records_enable_next(bool enabled) {
    std::lock_guard lock(mutex_);
    list_.next_enabled = enabled;
}

void CliFrontEnd::records_show_table(bool table) {
    std::lock_guard lock(mutex_);
    list_.table_arrangement = table;
}

RecordListModel CliFrontEnd::record_list() const {
    std::lock_guard lock(mutex_);
    return list_;
}

}  // namespace quenlow::cli
