#include <signal.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include <fmt/format.h>

#include "app/collation_file.h"
#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/scan_output.h"

namespace quenlow::cli {

namespace {

// Set by the Ctrl-C handler, read by the waiting loop; the handler does nothing else.
volatile std::sig_atomic_t interrupt_requested = 0;

extern "C" void on_interrupt(int) {
    interrupt_requested = 1;
}

// Makes Ctrl-C the Stop command while a scan runs. A second Ctrl-C ends the program the usual way.
class InterruptAsStop {
public:
    InterruptAsStop() {
        interrupt_requested = 0;
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        installed_ = ::sigaction(SIGINT, &action, &previous_) == 0;
    }
    ~InterruptAsStop() {
        if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
    }
    InterruptAsStop(const InterruptAsStop&) = delete;
    InterruptAsStop& operator=(const InterruptAsStop&) = delete;

private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The id of a collation named in the table: an exact name first, then one that differs only in case.
std::optional<std::int64_t> find_collation(const CollationTable& table, const std::string& name) {
    for (const auto& [id, entry] : table)
        if (entry.name == name) return id;
    for (const auto& [id, entry] : table)
        if (lower(entry.name) == lower(name)) return id;
    return std::nullopt;
}

// Waits for the worker; Ctrl-C meanwhile is the Stop command.
void wait_for_scan(MainFrame& frame) {
    bool stop_sent = false;
    while (frame.busy()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (interrupt_requested && !stop_sent) {
            stop_sent = true;
            frame.on_stop();
        }
    }
    frame.wait_for_worker();
}

}  // namespace

int run_scan(const ScanOptions& options) {
    ApplicationState app;
    const std::string collation_file = collation_file_path(running_executable_path());
    app.engine.collations = load_collation_file(collation_file);

    OpenChoices choices;
    choices.mdf_path = options.file;
    choices.recovery_mode = options.mode == "advanced" ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
    choices.show_deleted = options.deleted;
    choices.show_advanced_deleted = options.advanced_deleted;
    choices.is_sql2000 = options.sql2000;
    if (options.collation != "auto") {
        auto id = find_collation(app.engine.collations, options.collation);
        if (!id) {
            fmt::print(stderr, "Unknown collation: {} (not listed in {})\n", options.collation,
                       collation_file);
            return kExitUsage;
        }
        choices.automatic_collation = false;
        choices.manual_collation_id = *id;
    }
    if (options.log_dir) choices.log_folder = *options.log_dir;

    PosixFileSystem files;
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), choices);
    MainFrame frame(app, front, files, engine_seams());
    {
        InterruptAsStop interrupt;
        frame.on_open();
        wait_for_scan(frame);
    }
    front.finish();

    const bool built = !frame.tree().empty();
    if (options.json) {
        ScanSummary summary{options.file, app.engine.version_text, app.engine.collation_name,
                            frame.database() ? frame.database()->database_name() : std::string(),
                            std::nullopt};
        if (app.log_file.is_open()) summary.log_file = app.log_file_path;
        std::cout << scan_to_json(summary, frame.tree()).dump(2) << '\n';
    } else if (built) {
        std::cout << format_outline(frame.tree());
    }
    if (app.log_file.is_open()) fmt::print(stderr, "Log file path : {}\n", app.log_file_path);
    return built ? kExitOk : kExitFailed;
}

}  // namespace quenlow::cli
