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
    complete_streamed_row();
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
    if (!row_writer_) return list_.add_row(index, first_cell);
    complete_streamed_row();
    // The cells keep their buffers from row to row.
    streamed_row_.resize(list_.columns.size());
    for (std::string& cell : streamed_row_) cell.clear();
    if (!streamed_row_.empty()) streamed_row_.front().assign(first_cell);
    streamed_row_index_ = index;
}

void CliFrontEnd::records_set_cell(int row, int column, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) return list_.set_cell(row, column, text);
    if (row != streamed_row_index_ || column < 0 || static_cast<std::size_t>(column) >= streamed_row_.size())
        return;
    streamed_row_[static_cast<std::size_t>(column)].assign(text);
}

void CliFrontEnd::records_insert_row(int index, std::span<const std::string_view> cells) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) {
        list_.add_row(index, cells.empty() ? std::string_view() : cells.front());
        for (std::size_t c = 1; c < cells.size(); ++c) list_.set_cell(index, static_cast<int>(c), cells[c]);
        return;
    }
    complete_streamed_row();
    streamed_row_.resize(list_.columns.size());
    for (std::size_t c = 0; c < streamed_row_.size(); ++c)
        streamed_row_[c].assign(c < cells.size() ? cells[c] : std::string_view());
    streamed_row_index_ = index;
}

void CliFrontEnd::records_delete_row(int row) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) return list_.delete_row(row);
    if (row == streamed_row_index_) streamed_row_index_ = -1;
}

void CliFrontEnd::stream_rows(RowWriter writer) {
    std::lock_guard lock(mutex_);
    complete_streamed_row();
    row_writer_ = std::move(writer);
}

void CliFrontEnd::take_streamed_rows(std::string& out) {
    std::lock_guard lock(mutex_);
    complete_streamed_row();
    if (out.empty())
        out.swap(streamed_);  // out's buffer is reused for the next rows
    else
        out += streamed_;
    streamed_.clear();
}

void CliFrontEnd::complete_streamed_row() {
    if (streamed_row_index_ < 0 || !row_writer_) return;
    row_writer_(streamed_, streamed_row_);
    streamed_row_index_ = -1;
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
