#include "app/main_frame.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"

namespace quenlow {
namespace {

using test::make_time;
using Lines = std::vector<std::string>;

const std::string kStars(80, '*');

SchemaObjectRow object(std::string name, std::string type) {
    SchemaObjectRow row;
    row.name = std::move(name);
    row.type = std::move(type);
    return row;
}

// Holds a worker inside a seam until the test lets it go. Open until closed.
class Gate {
public:
    void close() {
        std::lock_guard lock(mutex_);
        released_ = false;
    }
    void enter_and_wait() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return released_; });
    }
    void wait_until_entered() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return entered_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool released_ = true;
};

// A scan of a real (blank) data file, with the catalog filled by hand through the catalog build seam.
class ScanTest : public ::testing::Test {
protected:
    ScanTest() {
        data_path = folder.file("shop.mdf");
        test::write_blank_data_file(data_path);
        log_folder = folder.file("logs");
        std::filesystem::create_directory(log_folder);
        objects = {object("v1", "V "), object("zeta", "U "), object("Alpha", "U "), object("p1", "P ")};
        front.dialog_result = choices(data_path);
    }
    ~ScanTest() override {
        gate.release();
        frame.reset();
    }

    OpenChoices choices(const std::string& mdf) const {
        OpenChoices c;
        c.mdf_path = mdf;
        c.log_folder = log_folder;
        return c;
    }

    MainFrameSeams seams() {
        MainFrameSeams s;
        s.build_catalog = [this](OpenedDatabase& db) {
            layout_flag_at_build = app.engine.sql2000_layout.load();
            options_at_build = db.options();
            gate.enter_and_wait();
            auto catalog = std::make_unique<SystemCatalog>(db);
            catalog->objects = objects;
            app.engine.version_text = version;
            app.engine.collation_name = collation;
            return catalog;
        };
        s.local_time = [this] { return now; };
        return s;
    }

    MainFrame& start_frame() {
        frame = std::make_unique<MainFrame>(app, front, files, seams());
        return *frame;
    }

    void scan() {
        if (!frame) start_frame();
        frame->on_open();
        frame->wait_for_worker();
    }

    std::string log_path() const { return log_folder + "/" + log_file_name(now); }

    // What a log file holds for one Open: the header, then every line with CR LF.
    static std::string file_text(const Lines& lines) {
        std::string text = "\r\n" + kStars + "\r\n";
        for (const auto& line : lines) text += line + "\r\n";
        return text;
    }

    Lines successful_log(const std::string& path, const char* mode = "Standard") const {
        return {path + " File is selected for recovery....",
                "Browse File Path:\t" + path,
                std::string(mode) + " mode is selected for file recovery.",
                "Scanning of file starts...",
                "Database version: SQL Server 2012",
                "Collation Type: Latin1_General_CI_AS",
                "Creating Tree.........",
                "Process done.........",
                "Scanning completed for selected mdf file."};
    }

    test::TempFolder folder;
    std::string data_path;
    std::string log_folder;
    ApplicationState app;
    test::FakeFrontEnd front;
    PosixFileSystem files;
    std::vector<SchemaObjectRow> objects;
    std::string version = "SQL Server 2012";
    std::string collation = "Latin1_General_CI_AS";
    std::tm now = make_time(8, 12, 2026, 9, 5, 7);
    bool layout_flag_at_build = true;
    ReadOptions options_at_build;
    Gate gate;
    std::unique_ptr<MainFrame> frame;
};

TEST_F(ScanTest, SuccessfulScanReadsLineByLineInPaneAndFile) {
    scan();
    const Lines expected = successful_log(data_path);
    EXPECT_EQ(front.log(), expected);
    EXPECT_EQ(app.log_line_counter, 9);
    EXPECT_EQ(app.log_file_path, log_path());
    EXPECT_EQ(test::read_log_file(log_path()), file_text(expected));

    ASSERT_EQ(front.boxes().size(), 1u);
    EXPECT_EQ(front.boxes()[0].icon, BoxIcon::kInformation);
    EXPECT_EQ(front.boxes()[0].caption, "Velmor Quenlow v17.0");
    EXPECT_EQ(front.boxes()[0].text, "Scanning process completed.");

    EXPECT_EQ(front.calls_starting("caption: "),
              (Lines{"Select MDF database file to continue the recovery process.", data_path,
                     "Creating Tree.........", "Process done.........",
                     "Scanning completed for selected mdf file"}));
    EXPECT_EQ(front.calls_starting("status: "),
              (Lines{"Checking for file corruption ...........",
                     "Checking for file corruption is done...........", "Mapping Database Objects...........",
                     "Mapping of Database Objects has been done ......................"}));
    EXPECT_EQ(front.calls_starting("progress "), (Lines{"hidden", "shown", "hidden"}));

    // "User Tables" is sorted after the build; the other categories show the catalog order reversed.
    EXPECT_EQ(
        format_outline(frame->tree()),
        data_path +
            "\n"
            "  Views\n    v1\n"
            "  Programmability\n    Triggers\n    Default\n    Store Procedure\n      p1\n    Function\n"
            "  Tables\n    System Tables\n    User Tables\n      Alpha\n        Columns\n      zeta\n"
            "        Columns\n");
    EXPECT_EQ(front.mirrored_outline(), format_outline(frame->tree()));
    EXPECT_NE(frame->catalog(), nullptr);
    EXPECT_FALSE(frame->busy());
    EXPECT_EQ(app.running.load(), 0);
}

TEST_F(ScanTest, ModeLineFollowsTheRecoveryMode) {
    for (RecoveryMode mode : {RecoveryMode::kStandard, RecoveryMode::kAdvanced}) {
        front.dialog_result->recovery_mode = mode;
        front.clear_calls();
        scan();
        const bool advanced = mode == RecoveryMode::kAdvanced;
        ASSERT_GE(front.log().size(), 3u);
        EXPECT_EQ(front.log()[2], advanced ? "Advanced mode is selected for file recovery."
                                           : "Standard mode is selected for file recovery.");
        EXPECT_EQ(frame->advanced(), advanced);
    }
}

// The database of each scan is opened with the choices of its own dialog and the application's code page
// for text without a collation; the next dialog offers the manual collation id chosen last.
TEST_F(ScanTest, DialogChoicesTravelToTheOpenAsReadOptions) {
    OpenChoices advanced = choices(data_path);
    advanced.recovery_mode = RecoveryMode::kAdvanced;
    advanced.show_deleted = advanced.show_advanced_deleted = true;
    advanced.automatic_collation = false;
    advanced.manual_collation_id = 53284;
    OpenChoices standard = choices(data_path);
    standard.manual_collation_id = 40;
    app.ansi_code_page = 936;
    for (const OpenChoices& c : {advanced, standard}) {
        front.dialog_result = c;
        scan();
        const ReadOptions expected = read_options_of(c, 936);
        EXPECT_EQ(options_at_build, expected);
        ASSERT_NE(frame->database(), nullptr);
        EXPECT_EQ(frame->database()->options(), expected);
        EXPECT_EQ(frame->advanced(), expected.advanced);
    }
    EXPECT_EQ(front.dialog_manual_ids(), (std::vector<std::int64_t>{0, 53284}));
}

TEST_F(ScanTest, BrowseLineDoublesEveryBackslash) {
    const std::string path = folder.file("shop\\2026\\main.mdf");
    test::write_blank_data_file(path);
    front.dialog_result = choices(path);
    scan();
    const Lines log = front.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], path + " File is selected for recovery....");
    EXPECT_EQ(log[1], "Browse File Path:\t" + folder.path() + "/shop\\\\2026\\\\main.mdf");
    EXPECT_EQ(frame->tree().item_text(frame->categories().root), path);
    EXPECT_EQ(log.back(), "Scanning completed for selected mdf file.");
}

TEST_F(ScanTest, FailedOpenShowsTheEngineErrorThenAborts) {
    struct Case {
        const char* name;
        std::string bytes;  // empty: no file at all
        const char* error;
    };
    const Case cases[] = {
        {"missing file", "", "File cannot be open..........."},
        {"shorter than a page", std::string(100, '\0'),
         "Wheteher File is not valid mdf file or file is highly corrupted..........."},
    };
    start_frame();
    for (const auto& c : cases) {
        const std::string path = folder.file(std::string(c.name) + ".mdf");
        if (!c.bytes.empty()) std::ofstream(path, std::ios::binary) << c.bytes;
        front.dialog_result = choices(path);
        front.clear_calls();
        scan();
        const auto boxes = front.boxes();
        ASSERT_EQ(boxes.size(), 2u) << c.name;
        EXPECT_EQ(boxes[0].icon, BoxIcon::kError) << c.name;
        EXPECT_EQ(boxes[0].text, c.error) << c.name;
        EXPECT_EQ(boxes[1].icon, BoxIcon::kInformation) << c.name;
        EXPECT_EQ(boxes[1].text, "Scanning process aborted.") << c.name;
        EXPECT_EQ(front.log().back(), "Scanning process aborted.") << c.name;
        EXPECT_EQ(front.log()[3], "Scanning of file starts...") << c.name;
        EXPECT_TRUE(frame->tree().empty()) << c.name;
        EXPECT_EQ(front.calls_starting("progress ").back(), "hidden") << c.name;
        EXPECT_EQ(app.running.load(), 0) << c.name;
        // The failed database stays until the next scan; it has no catalog.
        ASSERT_NE(frame->database(), nullptr) << c.name;
        EXPECT_FALSE(frame->database()->is_open()) << c.name;
        EXPECT_EQ(frame->catalog(), nullptr) << c.name;
    }
}

TEST_F(ScanTest, EmptyCatalogEndsWithALogLineAndNoBox) {
    objects.clear();
    scan();
    EXPECT_TRUE(front.boxes().empty());
    EXPECT_EQ(front.log().back(),
              "Either it is not valid mdf file or highly corrupted, select another file to recover.");
    EXPECT_EQ(front.log().size(), 5u);
    EXPECT_TRUE(frame->tree().empty());
    EXPECT_EQ(app.running.load(), 0);
}

TEST_F(ScanTest, NoCatalogBuilderMeansNoObjects) {
    frame = std::make_unique<MainFrame>(app, front, files, MainFrameSeams{});
    scan();
    EXPECT_EQ(front.log().back(),
              "Either it is not valid mdf file or highly corrupted, select another file to recover.");
    EXPECT_TRUE(front.boxes().empty());
}

TEST_F(ScanTest, NoNamedObjectShowsTheWhetherBox) {
    objects = {object("", "U "), object("", "V ")};
    scan();
    const char* text =
        "Whether it is not valid mdf file or highly corrupted, select another file to recover.";
    EXPECT_EQ(front.box_texts(), (Lines{text}));
    const Lines log = front.log();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[6], "Creating Tree.........");
    EXPECT_EQ(log[7], "Process done.........");
    EXPECT_EQ(log[8], text);
    EXPECT_TRUE(frame->tree().empty());
    EXPECT_EQ(front.mirrored_outline(), "");
    EXPECT_EQ(app.running.load(), 0);
}

TEST_F(ScanTest, UnknownVersionAndCollationAreNamedSo) {
    version.clear();
    collation.clear();
    scan();
    const Lines log = front.log();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[4], "Database version: Unknown SQL Version");
    EXPECT_EQ(log[5], "Collation Type: Unknown Collation");
    EXPECT_EQ(app.engine.version_text, "Database version: Unknown SQL Version");
    EXPECT_EQ(app.engine.collation_name, "Unknown Collation");
    EXPECT_EQ(log.back(), "Scanning completed for selected mdf file.");
}

TEST_F(ScanTest, TwoScansInOneSecondShareOneFileWithOneByteOrderMark) {
    scan();
    scan();
    const Lines one = successful_log(data_path);
    EXPECT_EQ(test::read_log_file(log_path()), file_text(one) + file_text(one));
    EXPECT_EQ(test::read_log_file(log_path()).find("\xEF\xBB\xBF"), std::string::npos);
    // The pane keeps the lines of every scan.
    EXPECT_EQ(front.log().size(), 18u);
    EXPECT_EQ(app.log_line_counter, 18);
}

TEST_F(ScanTest, LogFileIsNamedByTheLocalTimeOfTheOpen) {
    now = make_time(1, 1, 2027, 0, 0, 5);
    scan();
    EXPECT_EQ(app.log_file_path, log_folder + "/QuenlowSQL_log_1-1-2027-0-0-5.txt");
    EXPECT_TRUE(std::filesystem::exists(app.log_file_path));
}

TEST_F(ScanTest, UnwritableLogFolderTellsOnceAndKeepsThePane) {
    const std::string not_a_folder = folder.file("plain-file");
    std::ofstream(not_a_folder) << "x";
    front.dialog_result->log_folder = not_a_folder;
    scan();
    const Lines boxes = front.box_texts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "The log file " + not_a_folder + "/" + log_file_name(now) +
                            " cannot be written. The scan goes on; its log is shown in the log pane only.");
    EXPECT_EQ(boxes[1], "Scanning process completed.");
    EXPECT_EQ(front.log(), successful_log(data_path));
    EXPECT_FALSE(app.log_file.is_open());

    // Closing does not point at a file that was never written.
    front.clear_calls();
    EXPECT_TRUE(frame->on_close());
    EXPECT_EQ(front.box_texts(), (Lines{"Do you want to close the application?"}));
}

TEST_F(ScanTest, NoLogFolderMeansNoLogFile) {
    front.dialog_result->log_folder.reset();
    scan();
    EXPECT_EQ(front.box_texts(), (Lines{"Scanning process completed."}));
    EXPECT_TRUE(app.log_file_path.empty());
    EXPECT_TRUE(std::filesystem::is_empty(log_folder));
}

TEST_F(ScanTest, Sql2000CheckBoxIsClearedByTheScan) {
    front.dialog_result->is_sql2000 = true;
    scan();
    EXPECT_FALSE(layout_flag_at_build);
}

TEST_F(ScanTest, CancelledDialogChangesNothing) {
    scan();
    const std::string outline = format_outline(frame->tree());
    SystemCatalog* catalog = frame->catalog();
    front.dialog_result.reset();
    front.clear_calls();
    frame->on_open();
    EXPECT_EQ(front.calls(), (Lines{"dialog: Cancel"}));
    EXPECT_EQ(format_outline(frame->tree()), outline);
    EXPECT_EQ(frame->catalog(), catalog);
    EXPECT_EQ(app.log_file_path, log_path());
    EXPECT_FALSE(frame->busy());
}

TEST_F(ScanTest, FatalErrorReleasesTheLoadedDatabaseButKeepsTheTree) {
    scan();
    const std::string outline = format_outline(frame->tree());
    front.clear_calls();
    frame->engine_events().fatal_error("File cannot be open...........");
    EXPECT_EQ(front.calls(),
              (Lines{"position 0", "records: text []", "box(error): File cannot be open..........."}));
    EXPECT_EQ(frame->database(), nullptr);
    EXPECT_EQ(frame->catalog(), nullptr);
    EXPECT_EQ(format_outline(frame->tree()), outline);
}

TEST_F(ScanTest, CommandsAreRefusedWhileTheScanRuns) {
    gate.close();
    start_frame().on_open();
    gate.wait_until_entered();
    front.clear_calls();

    frame->on_open();
    frame->on_save();
    frame->on_help();
    frame->on_about();
    EXPECT_FALSE(frame->on_close());
    EXPECT_FALSE(frame->on_show_object(kNoItem));
    EXPECT_FALSE(frame->on_next_records());
    EXPECT_FALSE(frame->on_previous_records());
    EXPECT_EQ(front.box_texts(),
              (Lines{"Please wait for the running process.", "Please wait for the running process.",
                     "Please stop the running process to continue the process.",
                     "Please stop the running process to continue the process.",
                     "Please stop the running process to close the application.",
                     "Please wait for the running process.", "Please wait for the running process.",
                     "Please wait for the running process."}));
    for (const auto& box : front.boxes()) EXPECT_EQ(box.caption, "Velmor Quenlow v17.0");
    EXPECT_EQ(front.dialogs_shown(), 1);
    EXPECT_TRUE(front.calls_starting("url").empty());
    EXPECT_TRUE(frame->stop_enabled());

    gate.release();
    frame->wait_for_worker();
    EXPECT_FALSE(frame->stop_enabled());
    front.clear_calls();
    frame->on_help();
    frame->on_about();
    EXPECT_EQ(front.calls(), (Lines{"url: https://quenlow.example/help", "about"}));
}

TEST_F(ScanTest, StopAnsweredNoChangesNothingAndYesRefusesNewWorkUntilTheWorkerEnded) {
    gate.close();
    start_frame().on_open();
    gate.wait_until_entered();

    front.answers = {false};
    frame->on_stop();
    EXPECT_EQ(front.calls_starting("ask(information): "),
              (Lines{"Are you sure to stop the running process? -> No"}));
    EXPECT_EQ(app.running.load(), 1);
    EXPECT_FALSE(app.engine.stop.load());

    front.answers = {true};
    frame->on_stop();
    EXPECT_EQ(app.running.load(), 0);
    EXPECT_TRUE(app.engine.stop.load());
    EXPECT_FALSE(frame->stop_enabled());

    // The running flag is clear, but the stopped worker still holds the loaded database.
    front.clear_calls();
    frame->on_open();
    EXPECT_FALSE(frame->on_close());
    EXPECT_FALSE(frame->on_show_object(kNoItem));
    frame->on_stop();  // disabled: asks nothing
    EXPECT_EQ(front.box_texts(),
              (Lines{"Please wait for the running process.", "Please wait for the running process.",
                     "Please wait for the running process."}));
    EXPECT_EQ(front.dialogs_shown(), 1);

    gate.release();
    frame->wait_for_worker();
    EXPECT_FALSE(app.engine.stop.load()) << "a stop request ends with the worker it was meant for";
    EXPECT_FALSE(frame->busy());
    front.clear_calls();
    frame->on_open();
    frame->wait_for_worker();
    EXPECT_EQ(front.dialogs_shown(), 2);
    EXPECT_EQ(front.log().back(), "Scanning completed for selected mdf file.");
}

TEST_F(ScanTest, StopConfirmedAfterTheWorkerEndedLeavesNoStopFlag) {
    gate.close();
    start_frame().on_open();
    gate.wait_until_entered();
    // The worker ends while the question is open.
    front.answers = {true};
    front.before_answer = [this] {
        gate.release();
        frame->wait_for_worker();
    };
    frame->on_stop();
    EXPECT_FALSE(app.engine.stop.load());
    EXPECT_EQ(app.running.load(), 0);
}

TEST_F(ScanTest, ClosingAsksAndShowsTheLogFilePath) {
    start_frame();
    front.answers = {false, true};
    EXPECT_FALSE(frame->on_close());
    EXPECT_TRUE(frame->on_close());
    // No scan in this run: no log file to point at.
    EXPECT_EQ(front.calls(),
              (Lines{"caption: Select MDF database file to continue the recovery process.", "progress hidden",
                     "ask(question): Do you want to close the application? -> No",
                     "ask(question): Do you want to close the application? -> Yes",
                     "url: https://quenlow.example/"}));

    scan();
    front.clear_calls();
    front.answers = {true};
    EXPECT_TRUE(frame->on_close());
    EXPECT_EQ(front.box_texts(),
              (Lines{"Do you want to close the application?", "Log file path : " + log_path()}));
    EXPECT_EQ(front.calls().back(), "url: https://quenlow.example/");
    EXPECT_EQ(frame->catalog(), nullptr);
}

TEST_F(ScanTest, ShowObjectLogsTheItemAndRefusesOtherClicksMeanwhile) {
    Gate show_gate;
    show_gate.close();
    MainFrameSeams s = seams();
    TreeItemId shown = kNoItem;
    s.show_object_worker = [&](MainFrame& f, TreeItemId item) {
        shown = item;
        show_gate.enter_and_wait();
        f.front().show_progress(false);
        f.app().running.store(0);
    };
    frame = std::make_unique<MainFrame>(app, front, files, s);
    scan();
    const TreeItemId table = frame->tree().first_child(frame->categories().user_tables);
    const TreeItemId other = frame->tree().first_child(frame->categories().views);

    front.clear_calls();
    frame->on_tree_click(table, TreeHitPart::kLabel, MouseButton::kLeft);
    show_gate.wait_until_entered();
    EXPECT_EQ(front.log(), (Lines{"Please wait while Alpha folder is scanning."}));
    EXPECT_EQ(front.calls_starting("caption: "), (Lines{"Alpha"}));
    EXPECT_EQ(frame->display().shown_item, table);

    // Another click while the table loads: the shown item is selected again.
    front.clear_calls();
    frame->on_tree_click(other, TreeHitPart::kLabel, MouseButton::kLeft);
    EXPECT_EQ(front.calls(),
              (Lines{"tree select " + std::to_string(other), "tree select " + std::to_string(table),
                     "box(information): Please wait for the running process."}));

    show_gate.release();
    frame->wait_for_worker();
    EXPECT_EQ(shown, table);
    EXPECT_FALSE(frame->busy());

    // A click beside the label only selects.
    front.clear_calls();
    frame->on_tree_click(other, TreeHitPart::kBeside, MouseButton::kLeft);
    EXPECT_EQ(front.calls(), (Lines{"tree select " + std::to_string(other)}));
}

TEST_F(ScanTest, PagingSetsTheRunningFlagBeforeItsWorkerStarts) {
    Gate page_gate;
    page_gate.close();
    MainFrameSeams s = seams();
    int runs = 0;
    s.next_records_worker = [&](MainFrame&) {
        ++runs;
        page_gate.enter_and_wait();
    };
    frame = std::make_unique<MainFrame>(app, front, files, s);
    EXPECT_TRUE(frame->on_next_records());
    EXPECT_EQ(app.running.load(), 1);
    EXPECT_FALSE(frame->on_next_records());
    EXPECT_FALSE(frame->on_previous_records());
    page_gate.release();
    frame->wait_for_worker();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(app.running.load(), 0) << "the frame clears the flag after a worker that left it set";
}

}  // namespace
}  // namespace quenlow
