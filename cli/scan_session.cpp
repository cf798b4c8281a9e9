#include "cli/scan_session.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

#include <fmt/format.h>

#include "app/collation_file.h"
#include "engine/values/text_conversion.h"

namespace quenlow::cli {

namespace {

// Set by the Ctrl-C handler, read by the waiting loop; the handler does nothing else.
volatile std::sig_atomic_t interrupt_requested = 0;

extern "C" void on_interrupt(int) {
    interrupt_requested = 1;
}

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

}  // namespace

InterruptAsStop::InterruptAsStop() {
    interrupt_requested = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    installed_ = ::sigaction(SIGINT, &action, &previous_) == 0;
}

InterruptAsStop::~InterruptAsStop() {
    if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
}

std::optional<OpenChoices> open_choices_from(const ScanOptions& options, ApplicationState& app) {
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
            return std::nullopt;
        }
        choices.automatic_collation = false;
        choices.manual_collation_id = *id;
    }
    if (options.log_dir) choices.log_folder = *options.log_dir;
    if (!CodePageConverters().supports(options.ansi_code_page)) {
        fmt::print(stderr, "Code page {} cannot be converted here.\n", options.ansi_code_page);
        return std::nullopt;
    }
    app.engine.ansi_code_page = options.ansi_code_page;
    return choices;
}

bool interrupted() {
    return interrupt_requested != 0;
}

void wait_for_worker(MainFrame& frame) {
    bool stop_sent = false;
    // The wait ends the moment the worker does (a batch of rows takes about a millisecond); it wakes
    // every 20 ms to pass a Ctrl-C on.
    while (!frame.wait_until_idle(std::chrono::milliseconds(20))) {
        if (interrupt_requested && !stop_sent) {
            stop_sent = true;
            frame.on_stop();
        }
    }
    frame.wait_for_worker();
}

void print_ambiguous(const ObjectTree& tree, const std::vector<TreeItemId>& items, const std::string& name) {
    fmt::print(stderr, "{} names {} objects; give one of them as schema.name:\n", name, items.size());
    for (TreeItemId item : items) {
        const TreeObject* object = tree.item_object(item);
        const std::string category = tree.item_text(tree.item_parent(item));
        if (object != nullptr)
            fmt::print(stderr, "  {}  (object id {}, {})\n", qualified_name(*object), object->object_id,
                       category);
    }
}

}  // namespace quenlow::cli
