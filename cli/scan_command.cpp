#include <cstdio>
#include <iostream>

#include <fmt/format.h>

#include "app/engine_seams.h"
#include "app/headless_session.h"
#include "cli/cli_front_end.h"
#include "cli/commands.h"
#include "cli/scan_output.h"
#include "cli/scan_session.h"

namespace quenlow::cli {

int run_scan(const ScanOptions& options) {
    ApplicationState app;
    const std::optional<OpenChoices> choices = open_choices_from(options, app);
    if (!choices) return kExitUsage;

    PosixFileSystem files;
    CliFrontEnd front(TerminalEvents::stderr_is_terminal(), *choices, options.quiet);
    HeadlessSession session(app, front, files, engine_seams(), interrupted);
    bool built = false;
    {
        InterruptAsStop interrupt;
        built = session.open();
    }
    front.finish();
    if (!built) print_file_problem(options.file);

    const MainFrame& frame = session.frame();
    if (options.json) {
        ScanSummary summary{options.file, app.engine.version_text, app.engine.collation_name,
                            frame.database() ? frame.database()->database_name() : std::string(),
                            std::nullopt};
        if (app.log_file.is_open()) summary.log_file = app.log_file_path;
        std::cout << scan_to_json(summary, frame.tree()).dump(2) << '\n';
    } else if (built) {
        std::cout << format_outline(frame.tree());
    }
    if (app.log_file.is_open() && !options.quiet) fmt::print(stderr, "Log file path : {}\n", app.log_file_path);
    return built ? kExitOk : kExitFailed;
}

}  // namespace quenlow::cli
