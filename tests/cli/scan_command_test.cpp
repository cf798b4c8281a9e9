// `quenlow scan`, run as a program, and the JSON form of its tree.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/scan_output.h"
#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"

namespace quenlow {
namespace {

using test::ProgramRun;
using test::run_quenlow;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class ScanCommandTest : public ::testing::Test {
protected:
    ScanCommandTest() {
        if (!std::filesystem::exists(std::string(QUENLOW_BINARY_DIR) + "/cli/quenlow"))
            ADD_FAILURE() << "the quenlow program is not built";
        data = folder.file("blank.mdf");
        test::write_blank_data_file(data);
        logs = folder.file("logs");
        std::filesystem::create_directory(logs);
    }
    test::TempFolder folder;
    std::string data;
    std::string logs;
};

TEST_F(ScanCommandTest, FileWithoutCatalogEndsWithoutTreeAndLogsEveryLine) {
    const ProgramRun run = run_quenlow(folder, {"scan", data, "--mode", "advanced", "--log-dir", logs});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> expected = {
        data + " File is selected for recovery....",
        "Browse File Path:\t" + data,
        "Advanced mode is selected for file recovery.",
        "Scanning of file starts...",
        "Either it is not valid mdf file or highly corrupted, select another file to recover.",
    };
    std::vector<std::string> err = lines_of(run.err);
    ASSERT_EQ(err.size(), expected.size() + 1) << run.err;
    EXPECT_EQ(std::vector<std::string>(err.begin(), err.end() - 1), expected);

    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(logs)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(err.back(), "Log file path : " + files[0].string());
    EXPECT_EQ(files[0].filename().string().rfind("QuenlowSQL_log_", 0), 0u);
    std::string text = "\r\n" + std::string(80, '*') + "\r\n";
    for (const auto& line : expected) text += line + "\r\n";
    EXPECT_EQ(test::read_log_file(files[0].string()), text);
}

TEST_F(ScanCommandTest, RefusedChoicesAndUnknownCollation) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    std::filesystem::create_directory(folder.file("folder.mdf"));
    const std::string missing_reason = "Please select valid SQL file path to continue the recovery process.\n" +
                                       folder.file("none.mdf") + ": No such file or directory\n";
    const std::string folder_reason =
        "error: File cannot be open...........\n" + folder.file("folder.mdf") + ": Is a directory\n";
    const Case cases[] = {
        // The message the window shows, then the system's reason with the path.
        {"missing file", {"scan", folder.file("none.mdf")}, 1, missing_reason.c_str()},
        {"missing file, rows", {"rows", "-q", folder.file("none.mdf"), "T"}, 1, missing_reason.c_str()},
        {"a folder", {"scan", "-q", folder.file("folder.mdf")}, 1, folder_reason.c_str()},
        {"no .mdf in the path",
         {"scan", folder.file("stdout.txt")},
         1,
         "Please select valid SQL file path to continue the recovery process.\n"},
        {"log folder missing",
         {"scan", data, "--log-dir", folder.file("nowhere")},
         1,
         "Please select valid Log file path to continue the recovery process.\n"},
        {"unknown collation", {"scan", data, "--collation", "No_Such_Collation_CI_AS"}, 2, nullptr},
        {"unknown mode", {"scan", data, "--mode", "fast"}, 2, nullptr},
    };
    std::ofstream(folder.file("stdout.txt")) << "x";
    for (const auto& c : cases) {
        const ProgramRun run = run_quenlow(folder, c.args);
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        if (c.message) {
            EXPECT_EQ(run.err, c.message) << c.name;
        }
        EXPECT_EQ(run.out, "") << c.name;
    }
}

TEST_F(ScanCommandTest, JsonWithoutTreeSaysSo) {
    const ProgramRun run = run_quenlow(folder, {"scan", data, "--json"});
    EXPECT_EQ(run.status, 1);
    const auto j = nlohmann::json::parse(run.out);
    EXPECT_TRUE(j["tree"].is_null());
    EXPECT_TRUE(j["log_file"].is_null());
    EXPECT_EQ(j["file"], data);
    EXPECT_TRUE(std::filesystem::is_empty(logs)) << "no log file without --log-dir";
}

// Ctrl-C is the Stop command: the question is answered Yes and the scan ends early, without a tree.
TEST_F(ScanCommandTest, InterruptStopsTheScan) {
    // A sparse file of 4 GiB of zeros: the corruption check and the mapping pass read every page, which
    // takes many seconds; the stop ends them at once.
    const std::string big = folder.file("big.mdf");
    { std::ofstream create(big); }
    std::filesystem::resize_file(big, std::uintmax_t{4} << 30);
    const std::string err = folder.file("stderr.txt");
    const std::string program = std::string(QUENLOW_BINARY_DIR) + "/cli/quenlow";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {program, "scan", big};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Interrupt once the scan has started (the handler is in place by then).
    while (test::read_bytes(err).find("Scanning of file starts...") == std::string::npos &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto interrupted_at = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted_at).count();

    ASSERT_TRUE(WIFEXITED(raw)) << "the interrupt must stop the scan, not kill the program";
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string text = test::read_bytes(err);
    EXPECT_NE(text.find("Are you sure to stop the running process? Yes\n"), std::string::npos) << text;
    EXPECT_LT(seconds, 10.0) << text;
}

TEST(ScanOutput, JsonTreeCarriesTextBoldDataChildrenAndObjects) {
    ObjectTree tree;
    const TreeCategories c = create_categories(tree, "C:\\db\\shop.mdf");
    const TreeItemId orders = tree.insert_item("orders", c.user_tables, InsertPosition::kFirst);
    tree.set_item_data(orders, 1);
    tree.set_bold(orders, true);
    tree.set_item_object(orders, TreeObject{42, "orders", "sales", "U "});
    tree.insert_item("Columns", orders, InsertPosition::kFirst);

    const auto j =
        cli::scan_to_json({"shop.mdf", " SQL Server 2012", "Latin1_General_CI_AS", "shop", "/l/x.txt"}, tree);
    EXPECT_EQ(j["version"], " SQL Server 2012");
    EXPECT_EQ(j["collation"], "Latin1_General_CI_AS");
    EXPECT_EQ(j["database_name"], "shop");
    EXPECT_EQ(j["log_file"], "/l/x.txt");
    const auto& root = j["tree"];
    EXPECT_EQ(root["text"], "C:\\db\\shop.mdf");
    ASSERT_EQ(root["children"].size(), 3u);
    EXPECT_EQ(root["children"][0]["text"], "Views");
    const auto& tables = root["children"][2];
    EXPECT_EQ(tables["text"], "Tables");
    const auto& user_tables = tables["children"][1];
    EXPECT_EQ(user_tables["text"], "User Tables");
    EXPECT_EQ(user_tables["data"], 0);
    EXPECT_EQ(
        user_tables["children"][0],
        (nlohmann::json{
            {"text", "orders"},
            {"bold", true},
            {"data", 1},
            {"children",
             {{{"text", "Columns"}, {"bold", false}, {"data", 0}, {"children", nlohmann::json::array()}}}},
            {"object_id", 42},
            {"schema", "sales"},
            {"name", "orders"}}));
}

}  // namespace
}  // namespace quenlow
