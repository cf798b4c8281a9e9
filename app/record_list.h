#pragma once
// What the records pane shows, kept as plain data: the record list's column titles and rows, the text
// box, the page label, which arrangement is up and whether the paging buttons are enabled.
//
// A front end that has no list control of its own (the command line, the tests) applies the records
// calls of FrontEnd here and reads the result back. The operations behave as a report-style list
// control does: a row inserted past the end is appended, a cell of a column the list does not have is
// not kept, and deleting what is not there does nothing.

#include <string>
#include <string_view>
#include <vector>

namespace quenlow {

struct RecordListModel {
    std::vector<std::string> columns;
    // Each row has one cell per column.
    std::vector<std::vector<std::string>> rows;
    std::string text;
    std::string page_label;
    bool table_arrangement = false;
    bool previous_enabled = false;
    bool next_enabled = false;

    void delete_all_rows() { rows.clear(); }
    // Deletes column 0, count times.
    void delete_columns(int count);
    void add_column(int index, std::string_view title);
    void add_row(int index, std::string_view first_cell);
    void set_cell(int row, int column, std::string_view text);
    void delete_row(int row);
};

}  // namespace quenlow
