#include "app/main_frame.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

namespace quenlow {

namespace {

constexpr const char* kPleaseWait = "Please wait for the running process.";
constexpr const char* kPleaseStop = "Please stop the running process to continue the process.";
constexpr const char* kPleaseStopToClose = "Please stop the running process to close the application.";
constexpr const char* kAskStop = "Are you sure to stop the running process?";
constexpr const char* kAskClose = "Do you want to close the application?";
constexpr const char* kSelectFile = "Select MDF database file to continue the recovery process.";
constexpr const char* kAborted = "Scanning process aborted.";
constexpr const char* kNoObjects =
    "Either it is not valid mdf file or highly corrupted, select another file to recover.";
constexpr const char* kNoNamedObjects =
    "Whether it is not valid mdf file or highly corrupted, select another file to recover.";

// On Windows a doubled backslash still names the same file; the log shows the path that way.
std::string double_backslashes(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        out += c;
        if (c == '\\') out += '\\';
    }
    return out;
}

}  // namespace

// The engine's reports, as the frame handles them.
class MainFrame::FrameEvents final : public EngineEvents {
public:
    explicit FrameEvents(MainFrame& frame) : frame_(frame) {}
    void progress_range(std::int64_t low, std::int64_t high) override {
        frame_.front_.progress_range(low, high);
    }
    void progress_position(std::int64_t position) override { frame_.front_.progress_position(position); }
    void status_text(std::string_view text) override { frame_.front_.status_text(text); }
    void fatal_error(std::string_view text) override { frame_.on_fatal_error(text); }
    void log_line(std::string_view text) override { frame_.add_log_line(text); }

private:
    MainFrame& frame_;
};

MainFrame::MainFrame(ApplicationState& app, FrontEnd& front, FileSystem& files, MainFrameSeams seams)
    : app_(app),
      front_(front),
      files_(files),
      seams_(std::move(seams)),
      events_(std::make_unique<FrameEvents>(*this)),
      tree_(&front) {
    if (!seams_.local_time) seams_.local_time = local_time_now;
    front_.set_caption(kSelectFile);
    front_.show_progress(false);
    app_.log_line_counter = 0;
    app_.log_file.close();
}

MainFrame::~MainFrame() {
    if (!worker_.joinable()) return;
    const bool running = worker_alive_.load();
    if (running) {
        app_.engine.stop.store(true);
        // A worker may be waiting for the window's thread, which is this one: release it first.
        front_.shutting_down();
    }
    worker_.join();
    // The application state outlives the frame: a stop meant for this worker must not stop the next.
    if (running) app_.engine.stop.store(false);
}

EngineEvents& MainFrame::engine_events() {
    return *events_;
}

SystemCatalog* MainFrame::catalog() const {
    return database_ ? dynamic_cast<SystemCatalog*>(database_->catalog()) : nullptr;
}

bool MainFrame::busy() const {
    return app_.running.load() != 0 || worker_alive_.load();
}

void MainFrame::information(std::string_view text) {
    front_.message_box(BoxIcon::kInformation, kApplicationTitle, text);
}

// ---- workers ----

void MainFrame::start_worker(std::function<void()> body) {
    reap_worker();
    worker_alive_.store(true);
    worker_ = std::thread([this, body = std::move(body)] {
        body();
        std::lock_guard lock(worker_end_mutex_);
        app_.running.store(0);
        app_.engine.stop.store(false);
        worker_alive_.store(false);
        worker_ended_.notify_all();
    });
}

bool MainFrame::wait_until_idle(std::chrono::milliseconds limit) {
    std::unique_lock lock(worker_end_mutex_);
    return worker_ended_.wait_for(lock, limit, [this] { return !busy(); });
}

void MainFrame::reap_worker() {
    if (worker_.joinable() && !worker_alive_.load()) worker_.join();
}

void MainFrame::wait_for_worker() {
    if (worker_.joinable()) worker_.join();
}

// ---- commands ----

void MainFrame::on_open() {
    if (busy()) return information(kPleaseWait);
    reap_worker();
    std::optional<OpenChoices> choices =
        front_.open_dialog({app_.engine.collations, read_options_.manual_collation_id});
    if (!choices) return;
    apply_open_choices(*choices, app_);
    read_options_ = read_options_of(*choices, app_.ansi_code_page);

    app_.running.store(1);
    selected_mdf_path_ = app_.mdf_path;
    delete_tree();
    front_.records_set_text("");
    front_.records_set_page_label("");
    front_.records_delete_all_rows();
    front_.records_enable_previous(false);
    front_.records_enable_next(false);
    front_.set_caption(selected_mdf_path_);
    front_.show_progress(true);
    open_log_file();
    add_log_line(selected_mdf_path_ + " File is selected for recovery....");
    clear_scan();
    start_worker([this] { scan_worker(); });
}

void MainFrame::open_log_file() {
    app_.log_file.close();
    if (app_.log_folder.empty()) {
        app_.log_file_path.clear();
        return;
    }
    app_.log_file_path = log_file_path(app_.log_folder, seams_.local_time());
    if (!app_.log_file.open(app_.log_file_path)) {
        information(
            fmt::format("The log file {} cannot be written. The scan goes on; its log is shown in "
                        "the log pane only.",
                        app_.log_file_path));
        return;
    }
    app_.log_file.write_header();
}

void MainFrame::on_stop() {
    if (app_.running.load() != 1) return;
    if (!front_.ask_yes_no(BoxIcon::kInformation, kApplicationTitle, kAskStop)) return;
    std::lock_guard lock(worker_end_mutex_);
    // The worker may have ended while the question was open; a stop flag set now would stop the next one.
    if (!worker_alive_.load()) return;
    app_.running.store(0);
    app_.engine.stop.store(true);
}

void MainFrame::on_save() {
    if (busy()) return information(kPleaseWait);
    reap_worker();
    if (!seams_.save) return;
    const std::optional<SaveChoice> choice = front_.save_dialog();
    if (!choice) return;
    app_.running.store(1);
    start_worker([this, choice = *choice] { seams_.save(*this, choice); });
}

void MainFrame::on_help() {
    if (app_.running.load() == 1) return information(kPleaseStop);
    front_.open_url(kHelpUrl);
}

void MainFrame::on_about() {
    if (app_.running.load() == 1) return information(kPleaseStop);
    front_.show_about();
}

bool MainFrame::on_close() {
    if (app_.running.load() == 1) {
        information(kPleaseStopToClose);
        return false;
    }
    if (worker_alive_.load()) {
        information(kPleaseWait);
        return false;
    }
    reap_worker();
    if (!front_.ask_yes_no(BoxIcon::kQuestion, kApplicationTitle, kAskClose)) return false;
    release_database();
    std::error_code ec;
    if (!app_.log_file_path.empty() && std::filesystem::exists(app_.log_file_path, ec))
        information("Log file path : " + app_.log_file_path);
    front_.open_url(kProductUrl);
    return true;
}

// ---- messages ----

bool MainFrame::on_show_object(TreeItemId item) {
    if (busy()) {
        if (display_.shown_item != kNoItem) front_.tree_select(display_.shown_item);
        information(kPleaseWait);
        return false;
    }
    reap_worker();
    app_.running.store(1);
    display_.shown_item = item;
    front_.records_delete_all_rows();
    front_.records_set_text("");
    front_.records_set_page_label("");
    const std::string text = tree_.item_text(item);
    front_.set_caption(text);
    add_log_line(fmt::format("{}{}{}", "Please wait while ", text, " folder is scanning."));
    front_.show_progress(true);
    front_.progress_position(0);
    display_.page_number = 0;
    display_.last_shown_resume_points = 0;
    display_.last_shown_row = 0;
    start_worker([this, item] {
        if (seams_.show_object_worker)
            seams_.show_object_worker(*this, item);
        else
            front_.show_progress(false);
    });
    return true;
}

bool MainFrame::on_previous_records() {
    if (busy()) {
        information(kPleaseWait);
        return false;
    }
    // The flag is set here, before the worker starts, so no second command slips in between.
    app_.running.store(1);
    start_worker([this] {
        if (seams_.previous_records_worker) seams_.previous_records_worker(*this);
    });
    return true;
}

bool MainFrame::on_next_records() {
    if (busy()) {
        information(kPleaseWait);
        return false;
    }
    app_.running.store(1);
    start_worker([this] {
        if (seams_.next_records_worker) seams_.next_records_worker(*this);
    });
    return true;
}

void MainFrame::on_tree_click(TreeItemId item, TreeHitPart part, MouseButton button) {
    const TreeClickResult result = tree_click(part, button);
    if (result.select) front_.tree_select(item);
    if (result.show_object) on_show_object(item);
}

void MainFrame::on_fatal_error(std::string_view text) {
    front_.progress_position(0);
    front_.records_set_text("");
    release_database();
    front_.fatal_error(text);
}

// ---- the log and the scan ----

void MainFrame::add_log_line(std::string_view text) {
    ++app_.log_line_counter;
    front_.log_line(text);
    app_.log_file.write_line(text);
}

void MainFrame::release_database() {
    if (SystemCatalog* c = catalog()) c->clear();
    database_.reset();
}

void MainFrame::delete_tree() {
    tree_.delete_all();
    check_marks_.clear();
    categories_ = {};
}

void MainFrame::clear_scan() {
    definitions_ = {};
    release_database();
    if (display_.list_columns > 0) {
        front_.records_delete_all_rows();
        front_.records_delete_columns(display_.list_columns);
        display_.list_columns = 0;
    }
    front_.records_set_text("");
    delete_tree();
}

bool MainFrame::scan_worker() {
    app_.engine.sql2000_layout.store(false);
    clear_scan();
    const std::string path = selected_mdf_path_;
    const std::string doubled = double_backslashes(path);
    if (!doubled.empty()) add_log_line("Browse File Path:\t" + doubled);
    add_log_line(read_options_.advanced ? "Advanced mode is selected for file recovery."
                                        : "Standard mode is selected for file recovery.");
    add_log_line("Scanning of file starts...");

    // The path goes to the open as selected: on Windows the doubled form names the same file, elsewhere
    // a backslash is an ordinary character of a file name and doubling it would name another file.
    database_ =
        OpenedDatabase::open(path, read_options_, {app_.engine, *events_, files_}, seams_.build_catalog);
    if (!database_->is_open()) {
        delete_tree();
        app_.running.store(0);
        front_.show_progress(false);
        add_log_line(kAborted);
        information(kAborted);
        return false;
    }
    SystemCatalog* cat = catalog();
    if (cat == nullptr || cat->objects.empty()) {
        add_log_line(kNoObjects);
        delete_tree();
        app_.running.store(0);
        front_.show_progress(false);
        return false;
    }

    EngineState& engine = app_.engine;
    if (engine.version_text.empty()) {
        engine.version_text = "Database version: Unknown SQL Version";
        add_log_line(engine.version_text);
    } else {
        add_log_line("Database version: " + engine.version_text);
    }
    if (engine.collation_name.empty()) engine.collation_name = "Unknown Collation";
    add_log_line("Collation Type: " + engine.collation_name);

    categories_ = create_categories(tree_, path);
    const TreeBuildContext context{*cat, seams_.assemble, definitions_.scan, *events_,
                                   [this](std::string_view text) {
                                       front_.set_caption(text);
                                       add_log_line(text);
                                   }};
    if (!build_tree(tree_, categories_, context)) {
        delete_tree();
        front_.show_progress(false);
        app_.running.store(0);
        add_log_line(kNoNamedObjects);
        information(kNoNamedObjects);
        return false;
    }
    tree_.sort_children(categories_.user_tables);
    front_.tree_redraw();
    if (seams_.definition_pass) seams_.definition_pass(*this);
    front_.tree_redraw();
    front_.show_progress(false);
    app_.running.store(0);
    front_.set_caption("Scanning completed for selected mdf file");
    add_log_line("Scanning completed for selected mdf file.");
    information("Scanning process completed.");
    return true;
}

}  // namespace quenlow
