// Databases with a known history of deletes, updates and page moves, read back by `quenlow rows` in every
// deleted-record mode. For each history, table and mode the test prints what it measured and holds the
// program to it:
//   recall    = earlier rows found / earlier rows with intact bytes that the mode reaches
//   precision = rows shown as not live that are earlier rows of the table / rows shown as not live
// An earlier row counts once: a second showing of it, a copy of a live row, bytes that were never a row
// of the table and rows of another table all count against precision. Every live row is shown exactly
// once, as live; with a state column, every earlier row found carries the state of where it was found.

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "tests/cli/program_run.h"
#include "tests/support/page_builder.h"
#include "tests/support/row_history.h"

namespace quenlow {
namespace {

using testing::CellText;
using testing::HistoryRow;
using testing::RecordPlace;
using testing::RowHistory;
using Row = std::vector<CellText>;

struct Mode {
    const char* name;
    std::vector<std::string> args;
    bool deleted, body_scan, advanced;
};

const std::vector<Mode>& modes() {
    static const std::vector<Mode> all = {
        {"std+del", {"--deleted"}, true, false, false},
        {"std+del+adv-del", {"--deleted", "--advanced-deleted"}, true, true, false},
        {"advanced", {"--mode", "advanced"}, false, false, true},
        {"advanced+both", {"--mode", "advanced", "--deleted", "--advanced-deleted"}, true, true, true},
    };
    return all;
}

bool reaches(const Mode& mode, const HistoryRow& row) {
    if (!row.allocated && !mode.advanced) return false;
    switch (row.place) {
        case RecordPlace::kSlot:
            return true;
        case RecordPlace::kGhost:
            return mode.deleted;
        case RecordPlace::kUnslotted:
            return mode.body_scan;
    }
    return false;
}

// The state an earlier row is shown with: a page outside the table's allocation decides first.
std::string expected_state(const HistoryRow& row) {
    if (!row.allocated) return "stale page";
    return row.place == RecordPlace::kGhost ? "deleted" : "body scan";
}

// RFC 4180 lines; an empty unquoted field is NULL, "" the empty string.
std::vector<Row> parse_csv(const std::string& text) {
    std::vector<Row> rows;
    Row row;
    std::string field;
    bool quoted = false, in_quotes = false;
    auto end_field = [&] {
        row.push_back(quoted || !field.empty() ? CellText(field) : std::nullopt);
        field.clear();
        quoted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_quotes) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                in_quotes = false;
        } else if (c == '"') {
            in_quotes = quoted = true;
        } else if (c == ',') {
            end_field();
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            i += c == '\r';
            end_field();
            rows.push_back(std::move(row));
            row.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

std::string shown(const Row& row) {
    std::string out;
    for (const CellText& c : row) out += (out.empty() ? "" : "|") + c.value_or("NULL").substr(0, 24);
    return out;
}

struct Tally {
    std::size_t live = 0, live_once = 0, live_wrong = 0;  // live rows, shown once as live, other "live"
    std::size_t not_live = 0, correct = 0, wrong_state = 0;
    std::size_t slot_reached = 0, slot_found = 0, scan_reached = 0, scan_found = 0;
    std::string left_out = "-";
    std::vector<std::string> wrong;  // the first rows shown as not live that are not earlier rows
};

// Reads the rows the program printed against the history's rows of the table.
Tally tally(const RowHistory& history, const std::string& table, const Mode& mode,
            const test::ProgramRun& run) {
    Tally t;
    std::vector<const HistoryRow*> live, earlier;
    for (const HistoryRow& r : history.rows)
        if (r.table == table) (r.live ? live : earlier).push_back(&r);
    t.live = live.size();
    std::vector<int> live_seen(live.size()), earlier_seen(earlier.size());
    // The first row of the list with these cells that was not shown yet.
    auto claim = [](const std::vector<const HistoryRow*>& rows, std::vector<int>& seen,
                    const Row& cells) -> const HistoryRow* {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (seen[i] == 0 && rows[i]->cells == cells) {
                seen[i] = 1;
                return rows[i];
            }
        return nullptr;
    };

    const std::vector<Row> lines = parse_csv(run.out);
    const bool with_state = !lines.empty() && !lines[0].empty() && lines[0][0] == CellText("State");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        Row cells = lines[i];
        std::optional<std::string> state;
        if (with_state && !cells.empty()) {
            state = cells.front().value_or("");
            cells.erase(cells.begin());
        }
        // Without a state column the first showing of a live row is taken as the live one.
        const bool as_live = state ? *state == "live" : claim(live, live_seen, cells) != nullptr;
        if (state && as_live && claim(live, live_seen, cells) == nullptr) ++t.live_wrong;
        if (as_live) continue;
        ++t.not_live;
        if (const HistoryRow* row = claim(earlier, earlier_seen, cells)) {
            ++t.correct;
            if (state && *state != expected_state(*row)) ++t.wrong_state;
        } else if (t.wrong.size() < 3)
            t.wrong.push_back((state ? *state + ": " : "") + shown(cells));
    }
    t.live_once = static_cast<std::size_t>(std::count(live_seen.begin(), live_seen.end(), 1));
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        if (!earlier[i]->expected || !reaches(mode, *earlier[i])) continue;
        const bool scan = earlier[i]->place == RecordPlace::kUnslotted;
        ++(scan ? t.scan_reached : t.slot_reached);
        if (earlier_seen[i] > 0) ++(scan ? t.scan_found : t.slot_found);
    }
    const std::size_t at = run.err.find("Left out ");
    if (at != std::string::npos) {
        unsigned copies = 0, candidates = 0;
        if (std::sscanf(run.err.c_str() + at, "Left out %u stale copies of rows already shown and %u",
                        &copies, &candidates) == 2)
            t.left_out = std::to_string(copies) + "/" + std::to_string(candidates);
    }
    return t;
}

std::string ratio(std::size_t part, std::size_t whole) {
    if (whole == 0) return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%zu/%zu %.0f%%", part, whole,
                  100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

using HistoryMaker = RowHistory (*)(testing::BuiltDatabase&, const testing::DatabaseSpec&);

// Builds each history, runs every mode on Orders and Notes, prints one line per run and checks it.
void measure(const std::vector<HistoryMaker>& makers) {
    std::printf("%-36s %-6s %-15s %-9s %-16s %-16s %-16s %s\n", "history", "table", "mode", "live",
                "precision", "recall (slots)", "recall (scan)", "left out");
    for (HistoryMaker make : makers) {
        test::TempFolder folder;
        const testing::DatabaseSpec blueprint = testing::history_database();
        testing::BuiltDatabase db = testing::build_database_image(blueprint);
        const RowHistory history = make(db, blueprint);
        const std::string path = folder.file("history.mdf");
        testing::write_file(path, db.image);
        // QUENLOW_KEEP_HISTORIES=<folder> keeps a copy of every history's file there, to read by hand.
        if (const char* keep = std::getenv("QUENLOW_KEEP_HISTORIES"))
            testing::write_file(std::string(keep) + "/" + history.name + ".mdf", db.image);
        for (const std::string& table : history.tables) {
            for (const Mode& mode : modes()) {
                std::vector<std::string> args = {"rows", path, table, "--all", "--format", "csv"};
                args.insert(args.end(), mode.args.begin(), mode.args.end());
                const test::ProgramRun run = test::run_quenlow(folder, args);
                const Tally t = tally(history, table, mode, run);
                std::printf("%-36s %-6s %-15s %-9s %-16s %-16s %-16s %s\n", history.name.c_str(),
                            table.c_str(), mode.name,
                            (std::to_string(t.live_once) + "/" + std::to_string(t.live)).c_str(),
                            ratio(t.correct, t.not_live).c_str(), ratio(t.slot_found, t.slot_reached).c_str(),
                            ratio(t.scan_found, t.scan_reached).c_str(), t.left_out.c_str());
                for (const std::string& w : t.wrong) std::printf("%54s shown: %s\n", "", w.c_str());

                SCOPED_TRACE(history.name + ", " + table + ", " + mode.name);
                ASSERT_EQ(run.status, 0) << run.err;
                EXPECT_EQ(t.live_once, t.live) << "every live row shown exactly once as live";
                EXPECT_EQ(t.live_wrong, 0u) << "rows shown as live that are not live rows";
                EXPECT_EQ(t.correct, t.not_live) << "precision";
                EXPECT_EQ(t.wrong_state, 0u) << "earlier rows shown with the state of another origin";
                EXPECT_EQ(t.slot_found, t.slot_reached) << "rows named by a slot";
                EXPECT_GE(20 * t.scan_found, 19 * t.scan_reached) << "body-scan recall below 95%";
            }
        }
        std::fflush(stdout);
    }
}

TEST(RowHistory, EarlierRowsAreFoundAndNothingElseIsShown) {
    measure({testing::ghost_deletes, testing::cleaned_ghosts, testing::updated_rows, testing::stale_copy_page,
             testing::deallocated_page, testing::reused_page, testing::garbage_between_records});
}

// Damaged pages: rows are shown only where they decode cleanly, and the program never stops on them.
TEST(RowHistory, BadInputShowsNoBrokenRows) {
    measure({testing::ghost_past_page_end, testing::candidate_overlapping_live, testing::older_schema_page});
}

}  // namespace
}  // namespace quenlow
