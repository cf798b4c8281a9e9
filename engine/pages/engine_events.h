#pragma once
// How the engine reports: a progress bar (range, position), a status sentence, a fatal error that ends
// the open, and log lines. The CLI, the GUI and the tests each implement this; calls arrive in order on
// the thread that runs the engine.

#include <cstdint>
#include <string_view>

namespace quenlow {

class EngineEvents {
public:
    virtual ~EngineEvents() = default;
    // Resets the position to 0 and sets the range low..high.
    virtual void progress_range(std::int64_t low, std::int64_t high) = 0;
    virtual void progress_position(std::int64_t position) = 0;
    virtual void status_text(std::string_view text) = 0;
    virtual void fatal_error(std::string_view text) = 0;
    virtual void log_line(std::string_view text) = 0;
};

// Swallows every report; for callers that do not want any.
class NullEngineEvents final : public EngineEvents {
public:
    void progress_range(std::int64_t, std::int64_t) override {}
    void progress_position(std::int64_t) override {}
    void status_text(std::string_view) override {}
    void fatal_error(std::string_view) override {}
    void log_line(std::string_view) override {}
};

}  // namespace quenlow
