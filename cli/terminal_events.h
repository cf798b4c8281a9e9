#pragma once
// Engine reports for a terminal: status texts and a progress bar on stderr when stderr is a terminal,
// nothing otherwise. Fatal errors are kept for the caller to print.

#include <cstdint>
#include <string>

#include "engine/pages/engine_events.h"

namespace quenlow::cli {

class TerminalEvents final : public EngineEvents {
public:
    // interactive: draw the bar and the status texts (normally: stderr is a terminal).
    explicit TerminalEvents(bool interactive);
    ~TerminalEvents() override;

    void progress_range(std::int64_t low, std::int64_t high) override;
    void progress_position(std::int64_t position) override;
    void status_text(std::string_view text) override;
    void fatal_error(std::string_view text) override;
    void log_line(std::string_view text) override;

    const std::string& last_fatal_error() const { return fatal_; }
    // Clears the bar line so that normal output starts on a clean line.
    void finish();

    static bool stderr_is_terminal();

private:
    void draw();

    bool interactive_;
    std::int64_t low_ = 0, high_ = 0, position_ = 0;
    int drawn_percent_ = -1;
    bool bar_visible_ = false;
    std::string status_;
    std::string fatal_;
};

}  // namespace quenlow::cli
