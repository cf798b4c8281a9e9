#pragma once
// What the commands that scan share: the open choices made from the scan options, Ctrl-C as the Stop
// command, and the list of objects an ambiguous name means.

#include <signal.h>

#include <optional>
#include <string>
#include <vector>

#include "app/application_state.h"
#include "app/headless_session.h"
#include "app/open_choices.h"
#include "cli/commands.h"

namespace quenlow::cli {

// Loads the collation list beside the executable into the application state and makes the choices of
// the open dialog from the options (see make_open_choices). Nothing (the reason printed on stderr) for
// an unknown collation or a code page that cannot be converted.
std::optional<OpenChoices> open_choices_from(const ScanOptions& options, ApplicationState& app);

// Makes Ctrl-C the Stop command while it lives. A second Ctrl-C ends the program the usual way.
class InterruptAsStop {
public:
    InterruptAsStop();
    ~InterruptAsStop();
    InterruptAsStop(const InterruptAsStop&) = delete;
    InterruptAsStop& operator=(const InterruptAsStop&) = delete;

private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

// True once Ctrl-C was pressed while an InterruptAsStop lived (reset when the next one is made).
bool interrupted();

// When the operating system refuses to open `path` for reading (missing, a folder, no permission): the
// path and the system's reason, as "PATH: No such file or directory". Nothing when it opens.
std::optional<std::string> file_problem(const std::string& path);
// Prints file_problem(path) on stderr, when there is one: after a scan that could not open the file, so
// that the message the window would show is followed by why.
void print_file_problem(const std::string& path);

// Prints on stderr that `name` names several objects, one "schema.name" (and object id) a line, so the
// user can choose one; nothing is shown for an ambiguous name.
void print_ambiguous(const std::vector<ItemCandidate>& candidates, const std::string& name);

}  // namespace quenlow::cli
