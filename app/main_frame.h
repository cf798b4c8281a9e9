#pragma once
// The main frame: the command logic of the application window, apart from any window.
//
// It owns the loaded database of the last scan (the OpenedDatabase, which owns its catalog), the object
// tree model with the category items of the scan, and the state the later views keep here (the shown
// item, the page number, the number of list columns, the definition lists). It refuses commands while a
// worker runs, starts the workers on a thread of their own, and turns the engine's reports into calls of
// the front end.
//
// One worker at a time. The running flag is 1 from the command that starts a worker until the worker
// ends. Stop clears the flag at once and sets the stop flag, while the worker is still winding down;
// the frame therefore also remembers whether the worker thread has ended, and every command that would
// start a worker or touch the loaded database (Open, Save, a tree click, the paging buttons, closing)
// refuses with "Please wait for the running process." until it has. It does not wait for the thread: a
// front end that carries worker calls out on its user-interface thread would deadlock if that thread
// waited for the worker. The stop flag is cleared when the worker ends, so a stop request never reaches
// the worker after it.
//
// Commands (on_open ... on_close, on_show_object, on_previous_records, on_next_records) are called by
// the front end from one thread, its user-interface thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/application_state.h"
#include "app/front_end.h"
#include "app/object_tree.h"
#include "app/tree_checks.h"
#include "engine/catalog/system_catalog.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"

namespace quenlow {

class MainFrame;

// The parts of the work that other layers supply. Every one may be left empty.
struct MainFrameSeams {
    // Builds the catalog of a database that opened; empty: no catalog (the scan finds no objects).
    CatalogBuilder build_catalog;
    // The schema assembly; the tree builder runs it for every table.
    ObjectAssembler assemble;
    // Collects the definition rows at the end of a scan (into definitions().scan).
    std::function<void(MainFrame&)> definition_pass;
    // Worker bodies, run on the worker thread. Each ends by hiding the progress bar and clearing the
    // running flag; the frame clears the flag again after the body returns, so no early return can
    // leave it set. Empty: the worker ends at once.
    std::function<void(MainFrame&, TreeItemId item)> show_object_worker;
    std::function<void(MainFrame&)> next_records_worker;
    std::function<void(MainFrame&)> previous_records_worker;
    // The export of what the program has read into the target the save dialog chose; a worker body like
    // the others.
    std::function<void(MainFrame&, const SaveChoice&)> save;
    // The local time of now; names the log file.
    std::function<std::tm()> local_time;
};

inline constexpr const char* kProductUrl = "https://quenlow.example/";
inline constexpr const char* kHelpUrl = "https://quenlow.example/help";
// A front end ends the process with this status when on_close() says so: a confirmed close is a success.
inline constexpr int kCloseExitCode = 0;

// What the views of a shown object keep in the frame.
struct DisplayState {
    TreeItemId shown_item = kNoItem;
    int page_number = 0;
    int last_shown_resume_points = 0;
    int last_shown_row = 0;
    int list_columns = 0;  // columns of the record list, dropped columns included
};

// Definition rows: the scan list (handed to every schema assembly) and the display list with its flag.
struct DefinitionLists {
    std::vector<DefinitionFragment> scan;
    std::vector<DefinitionFragment> display;
    bool retrieved = false;
    int counter = 0;
};

class MainFrame {
public:
    MainFrame(ApplicationState& app, FrontEnd& front, FileSystem& files, MainFrameSeams seams = {});
    // Sets the stop flag, tells the front end to stop waiting for its window, and waits for a running worker.
    ~MainFrame();
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    // Commands.
    void on_open();
    void on_stop();
    bool stop_enabled() const { return app_.running.load() != 0; }
    void on_save();
    void on_help();
    void on_about();
    // True when the application is to end now, with kCloseExitCode.
    bool on_close();

    // Messages. Each starts a worker and answers true, or refuses and answers false.
    bool on_show_object(TreeItemId item);
    bool on_previous_records();
    bool on_next_records();
    // A mouse press on a tree item, by the click rule: selects it, and shows it for a left label click.
    void on_tree_click(TreeItemId item, TreeHitPart part, MouseButton button);

    // A worker runs, or has been stopped but not yet ended.
    bool busy() const;
    // Waits until the worker thread has ended. Not for the thread that carries out the front end's calls.
    void wait_for_worker();
    // Waits until no worker runs or the time is up; true when none runs. Wakes as soon as a worker ends.
    bool wait_until_idle(std::chrono::milliseconds limit);

    // A log line: the next index of the log pane, the line in the pane, the line in the log file.
    void add_log_line(std::string_view text);
    // Releases the loaded database and empties the tree and the records pane.
    void clear_scan();
    // Releases the loaded database only.
    void release_database();

    ApplicationState& app() { return app_; }
    FrontEnd& front() { return front_; }
    ObjectTree& tree() { return tree_; }
    const ObjectTree& tree() const { return tree_; }
    const TreeCategories& categories() const { return categories_; }
    // The check marks of the tree's items; emptied with the tree.
    TreeCheckMarks& check_marks() { return check_marks_; }
    OpenedDatabase* database() const { return database_.get(); }
    // The catalog of the loaded database; nothing before a scan, after a failed one or a fatal error.
    SystemCatalog* catalog() const;
    // Where the engine reports; handed to the database open and kept by it.
    EngineEvents& engine_events();
    const std::string& selected_mdf_path() const { return selected_mdf_path_; }
    bool advanced() const { return read_options_.advanced; }
    DisplayState& display() { return display_; }
    DefinitionLists& definitions() { return definitions_; }
    const MainFrameSeams& seams() const { return seams_; }

private:
    class FrameEvents;

    // The scan worker body; true when the tree was built.
    bool scan_worker();
    void open_log_file();
    void on_fatal_error(std::string_view text);
    void delete_tree();
    void information(std::string_view text);
    // Runs body on a new worker thread; the caller has set the running flag.
    void start_worker(std::function<void()> body);
    // Joins a worker thread that has ended.
    void reap_worker();

    ApplicationState& app_;
    FrontEnd& front_;
    FileSystem& files_;
    MainFrameSeams seams_;
    std::unique_ptr<FrameEvents> events_;

    ObjectTree tree_;
    TreeCategories categories_;
    TreeCheckMarks check_marks_;
    std::unique_ptr<OpenedDatabase> database_;
    std::string selected_mdf_path_;
    // The read options of the last confirmed open, handed to the database open of its scan.
    ReadOptions read_options_;
    DisplayState display_;
    DefinitionLists definitions_;

    std::thread worker_;
    std::atomic<bool> worker_alive_{false};
    // Orders Stop against the end of the worker, so a stop request lands before the end or not at all.
    std::mutex worker_end_mutex_;
    // Signalled, under worker_end_mutex_, when a worker ends.
    std::condition_variable worker_ended_;
};

}  // namespace quenlow
