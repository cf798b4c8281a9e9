#pragma once
// What the commands that scan share: the open choices made from the scan options, and waiting for a
// worker of the main frame while Ctrl-C stands for the Stop command.

#include <signal.h>

#include <optional>
#include <string>
#include <vector>

#include "app/application_state.h"
#include "app/main_frame.h"
#include "app/open_choices.h"
#include "cli/commands.h"

namespace quenlow::cli {

// Loads the collation list beside the executable into the application state and makes the choices of
// the open dialog from the options. Nothing (the reason printed on stderr) for an unknown collation or
// a code page that cannot be converted.
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

// Waits until the frame's worker has ended; a Ctrl-C meanwhile (with an InterruptAsStop alive) is the
// Stop command.
void wait_for_worker(MainFrame& frame);

// Prints on stderr that `name` names several objects, one "schema.name" (and object id) a line, so the
// user can choose one; nothing is shown for an ambiguous name.
void print_ambiguous(const ObjectTree& tree, const std::vector<TreeItemId>& items, const std::string& name);

}  // namespace quenlow::cli
