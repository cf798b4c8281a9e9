// Every corpus file exported in every mode. The files are only ever read: no process opens a file for
// writing while the exports run (inotify hears of none), and its bytes and modification time stay as they
// were. In Advanced Mode with both deleted-record settings (the mode that shows the most) the counts of
// deleted rows, body-scan rows, stale-page rows, stale copies left out and candidates rejected are pinned
// per file, and no row kept apart equals a live row of its table.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/corpus_gtest.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;
using test::run_quenlow;

// deleted, found by body scan, on a stale page, stale copies left out, candidates rejected.
using Counts = std::array<std::int64_t, 5>;

// Files not listed have none of them. Read by eye: the body-scan and deleted rows are rows deleted since
// (carts, contacts, RSVPs, dinners, ads) and earlier versions of rows; the stale-page rows of
// simpledata_sqltest are deleted rows of test.SchemaTable on pages the table gave back; the stale copies
// are whole pages of live rows left behind by rebuilds and moved rows' old places; the rejected ones are
// records of other tables on reused pages (XML schema type names in webtool's Users, three-column rows
// in simpledata's one-column RuntimeTable).
const std::map<std::string, Counts> kPinned = {
    {"v539_northwnd_sql2000data", {0, 0, 0, 91, 0}},
    {"v539_pubs_sql2000data", {0, 0, 0, 152, 0}},
    {"v611_nerddinner10_original", {0, 42, 0, 9, 0}},
    {"v611_school_myschoolx", {0, 6, 0, 1, 0}},
    {"v611_subsonic_blog", {0, 3, 0, 0, 0}},
    {"v611c539_pubs_anhnbt", {0, 1, 0, 0, 0}},
    {"v655_aspnetdb_aep", {0, 7, 0, 0, 0}},
    {"v655_aspnetdb_webshop", {0, 8, 0, 1, 0}},
    {"v655_nerddinner_practice", {1, 32, 10, 0, 0}},
    {"v655_northwnd_itsligo", {0, 2, 0, 1, 0}},
    {"v655_qlsinhvien", {0, 4, 0, 7, 0}},
    {"v655_shafici_school", {0, 25, 0, 3, 0}},
    {"v655c611_nerddinner_mvcturbine", {0, 43, 0, 7, 0}},
    {"v661_mvcmusicstore_barrett", {0, 3, 0, 0, 0}},
    {"v661_webtool", {0, 4, 0, 0, 91}},
    {"v661_ybaros", {5, 433, 0, 47, 0}},
    {"v661c611_nerddinner_dci", {0, 40, 0, 0, 0}},
    {"v661c655_ynares", {1, 6, 0, 2, 0}},
    {"v706_mvcmovie", {0, 19, 0, 0, 0}},
    {"v706_mvcmusicstore_shiftkey", {0, 3, 0, 0, 0}},
    {"v706_nerddinner_mpogson", {0, 2, 0, 0, 0}},
    {"v706_personel", {0, 11, 0, 1, 0}},
    {"v706_school_tarahrr", {0, 1, 0, 0, 0}},
    {"v706_shopping_vb", {0, 37, 0, 8, 0}},
    {"v706_simpledata_sqltest", {0, 0, 1419, 604, 201}},
    {"v706c539_pubs_wessig", {0, 61, 0, 71, 0}},
    {"v706c655_customer_contact", {0, 8, 0, 0, 2}},
    {"v706c661_helpdesk", {0, 14, 2, 0, 0}},
    {"v706c661_webtool", {0, 4, 0, 0, 91}},
    {"v782_addressbook", {0, 58, 0, 0, 0}},
    {"v782_demologin", {0, 22, 0, 1, 0}},
    {"v782c655_nerddinner_jj", {1, 44, 0, 8, 0}},
    {"v852c611_classifieds", {1, 135, 0, 10, 0}},
};

// The records of a CSV file after its title line, each as written (a quoted field may hold line breaks).
std::set<std::string> data_lines(const fs::path& file) {
    std::set<std::string> records;
    const std::string text = test::read_bytes(file.string());
    bool quoted = false, title = true;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (quoted || text[i] != '\n') continue;
        if (!title) records.insert(text.substr(start, i - start));
        title = false;
        start = i + 1;
    }
    return records;
}

// Rows kept apart that read like a live row although their stored bytes differ: the table was altered
// into a new record layout and a page of the old one is still listed, holding the row as it was.
const std::set<std::string> kSameTextOtherBytes = {
    "102,Hardware                                          ,Intel Core i7 3770K                               ,"
    "Clock Speed 3.5GHz                                ,273.04\r",
};

// Hears of every write to one file: a modification, or the close of a descriptor opened for writing.
class WriteWatch {
public:
    explicit WriteWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK)) {
        if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
    }
    ~WriteWatch() {
        if (fd_ >= 0) close(fd_);
    }
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;
    bool watching() const { return watch_ >= 0; }
    // The events heard so far.
    int writes() const {
        alignas(inotify_event) char buffer[4096];
        int events = 0;
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                ++events;
        }
        return events;
    }

private:
    int fd_;
    int watch_ = -1;
};

class EveryModeCorpusTest : public testing::CorpusTest {};

TEST_P(EveryModeCorpusTest, ReadOnlyInEveryModeAndPinnedCountsInTheFullest) {
    const std::string name = GetParam().name;
    const std::string file = local_path().string();
    const std::string bytes_before = test::read_bytes(file);
    const auto time_before = fs::last_write_time(file);
    const WriteWatch watch(file);
    ASSERT_TRUE(watch.watching());

    test::TempFolder folder;
    const std::vector<std::vector<std::string>> modes = {
        {"--mode", "standard"},
        {"--mode", "standard", "--deleted", "--advanced-deleted"},
        {"--mode", "advanced"},
        {"--mode", "advanced", "--deleted", "--advanced-deleted"},  // the fullest, kept for the counts
    };
    std::string out;
    for (std::size_t m = 0; m < modes.size(); ++m) {
        out = folder.file("export" + std::to_string(m));
        std::vector<std::string> args = {"export", "-q", "--to", "csv", "--output", out, file};
        args.insert(args.end(), modes[m].begin(), modes[m].end());
        const test::ProgramRun run = run_quenlow(folder, args);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(watch.writes(), 0) << "the data file was written to";
    EXPECT_EQ(fs::last_write_time(file), time_before);
    EXPECT_TRUE(test::read_bytes(file) == bytes_before) << "the data file's bytes changed";

    const auto report = nlohmann::json::parse(test::read_bytes(out + "/recovery-report.json"));

    Counts counts{};
    for (const auto& table : report["tables"]) {
        const std::set<std::string> live = data_lines(fs::path(out) / table["exported_to"].get<std::string>());
        for (const auto& other : table.value("rows_not_live", nlohmann::json::array())) {
            const std::string origin = other["origin"];
            counts[origin == "deleted" ? 0 : origin == "found by body scan" ? 1 : 2] += other["rows"].get<std::int64_t>();
            for (const std::string& line : data_lines(fs::path(out) / other["exported_to"].get<std::string>()))
                EXPECT_TRUE(!live.contains(line) || kSameTextOtherBytes.contains(line))
                    << table["name"] << " " << origin << ": " << line;
        }
        if (table.contains("rows_left_out")) {
            counts[3] += table["rows_left_out"]["stale_copies"].get<std::int64_t>();
            counts[4] += table["rows_left_out"]["rejected_candidates"].get<std::int64_t>();
        }
    }
    const auto pinned = kPinned.find(name);
    EXPECT_EQ(counts, pinned == kPinned.end() ? Counts{} : pinned->second);
}

QUENLOW_INSTANTIATE_CORPUS_SUITE(EveryModeCorpusTest);

}  // namespace
}  // namespace quenlow
