#include "cli/cli_front_end.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>

namespace quenlow::cli {

CliFrontEnd::CliFrontEnd(bool interactive, OpenChoices choices, bool quiet)
    : interactive_(interactive && !quiet), quiet_(quiet), terminal_(interactive && !quiet),
      choices_(std::move(choices)) {}

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
    // Only a terminal shows the bar; the batch loader reports a position per row.
    if (!interactive_) return;
    std::lock_guard lock(mutex_);
    if (progress_visible_) terminal_.progress_position(position);
}

void CliFrontEnd::status_text(std::string_view text) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    terminal_.status_text(text);
}

void CliFrontEnd::log_line(std::string_view text) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    print_line(text);
}

void CliFrontEnd::show_progress(bool visible) {
    std::lock_guard lock(mutex_);
    progress_visible_ = visible;
    if (!visible) terminal_.finish();
}

void CliFrontEnd::message_box(BoxIcon icon, std::string_view, std::string_view text) {
    if (quiet_ && icon != BoxIcon::kError) return;
    std::lock_guard lock(mutex_);
    print_line(icon == BoxIcon::kError ? fmt::format("error: {}", text) : std::string(text));
}

bool CliFrontEnd::ask_yes_no(BoxIcon, std::string_view, std::string_view text) {
    if (quiet_) return true;
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
    written_index_ = -1;
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
    written_index_ = -1;
    // The cells keep their buffers from row to row.
    filling_row_.resize(list_.columns.size());
    for (std::string& cell : filling_row_) cell.clear();
    if (!filling_row_.empty()) filling_row_.front().assign(first_cell);
    filling_index_ = index;
}

void CliFrontEnd::records_set_cell(int row, int column, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) return list_.set_cell(row, column, text);
    if (row != filling_index_ || column < 0 || static_cast<std::size_t>(column) >= filling_row_.size())
        return;
    filling_row_[static_cast<std::size_t>(column)].assign(text);
}

void CliFrontEnd::records_insert_row(int index, std::span<const std::string_view> cells) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) {
        list_.add_row(index, cells.empty() ? std::string_view() : cells.front());
        for (std::size_t c = 1; c < cells.size(); ++c) list_.set_cell(index, static_cast<int>(c), cells[c]);
        return;
    }
    complete_streamed_row();
    write_streamed_row(index, cells);
}

void CliFrontEnd::records_insert_rows(int first_index, const RowBlock& rows) {
    {
        std::lock_guard lock(mutex_);
        if (row_writer_) {
            complete_streamed_row();
            std::vector<std::string_view> cells;
            for (std::size_t r = 0; r < rows.row_count(); ++r) {
                const auto row = rows.row(r);
                cells.assign(row.begin(), row.end());
                write_streamed_row(first_index + static_cast<int>(r), cells, rows.row_nulls(r));
            }
            return;
        }
    }
    FrontEnd::records_insert_rows(first_index, rows);  // row by row into the list
}

void CliFrontEnd::records_delete_row(int row) {
    std::lock_guard lock(mutex_);
    if (!row_writer_) return list_.delete_row(row);
    if (row == filling_index_) {
        filling_index_ = -1;
    } else if (row == written_index_) {
        streamed_.resize(written_start_);
        written_index_ = -1;
    }
}

void CliFrontEnd::stream_rows(RowWriter writer) {
    std::lock_guard lock(mutex_);
    complete_streamed_row();
    written_index_ = -1;
    row_writer_ = std::move(writer);
}

void CliFrontEnd::take_streamed_rows(std::string& out) {
    std::lock_guard lock(mutex_);
    complete_streamed_row();
    written_index_ = -1;
    if (out.empty())
        out.swap(streamed_);  // out's buffer is reused for the next rows
    else
        out += streamed_;
    streamed_.clear();
}

void CliFrontEnd::complete_streamed_row() {
    if (filling_index_ < 0 || !row_writer_) return;
    std::vector<std::string_view> cells(filling_row_.begin(), filling_row_.end());
    write_streamed_row(filling_index_, cells);
    written_index_ = -1;  // only a row inserted whole can be taken back
    filling_index_ = -1;
}

// One cell per list column: missing cells are empty, cells of columns the list does not have are
// left out.
void CliFrontEnd::write_streamed_row(int index, std::span<const std::string_view> cells,
                                     std::span<const std::uint8_t> nulls) {
    cell_views_.assign(list_.columns.size(), std::string_view());
    std::copy_n(cells.begin(), std::min(cells.size(), cell_views_.size()), cell_views_.begin());
    cell_nulls_.assign(list_.columns.size(), 0);
    std::copy_n(nulls.begin(), std::min(nulls.size(), cell_nulls_.size()), cell_nulls_.begin());
    written_index_ = index;
    written_start_ = streamed_.size();
    row_writer_(streamed_, cell_views_, cell_nulls_);
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
