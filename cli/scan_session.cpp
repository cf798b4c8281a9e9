#include "cli/scan_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fmt/format.h>

#include "app/collation_file.h"

namespace quenlow::cli {

namespace {

// Set by the Ctrl-C handler, read by the waiting loop; the handler does nothing else.
volatile std::sig_atomic_t interrupt_requested = 0;

extern "C" void on_interrupt(int) {
    interrupt_requested = 1;
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
    OpenOptions open;
    open.file = options.file;
    open.recovery_mode = options.mode == "advanced" ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
    open.deleted = options.deleted;
    open.advanced_deleted = options.advanced_deleted;
    open.keep_every_candidate = options.keep_every_candidate;
    open.collation = options.collation;
    open.ansi_code_page = options.ansi_code_page;
    open.log_dir = options.log_dir;
    open.sql2000 = options.sql2000;
    OpenChoicesResult result = make_open_choices(open, collation_file_path(running_executable_path()), app);
    if (!result.choices) fmt::print(stderr, "{}\n", result.refusal);
    return std::move(result.choices);
}

bool interrupted() {
    return interrupt_requested != 0;
}

std::optional<std::string> file_problem(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return fmt::format("{}: {}", path, std::strerror(errno));
    if (S_ISDIR(status.st_mode)) return fmt::format("{}: {}", path, std::strerror(EISDIR));
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fmt::format("{}: {}", path, std::strerror(errno));
    ::close(fd);
    return std::nullopt;
}

void print_file_problem(const std::string& path) {
    if (const std::optional<std::string> problem = file_problem(path)) fmt::print(stderr, "{}\n", *problem);
}

void print_ambiguous(const std::vector<ItemCandidate>& candidates, const std::string& name) {
    fmt::print(stderr, "{} names {} objects; give one of them as schema.name:\n", name, candidates.size());
    for (const ItemCandidate& c : candidates)
        fmt::print(stderr, "  {}  (object id {}, {})\n", c.qualified_name, c.object_id, c.category);
}

}  // namespace quenlow::cli
