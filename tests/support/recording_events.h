#pragma once
// An EngineEvents that keeps every report as one readable line, in order:
//
//   "range 0..16"   progress_range(0, 16)
//   "position 5"    progress_position(5)
//   "status: TEXT"  status_text
//   "fatal: TEXT"   fatal_error
//   "log: TEXT"     log_line
//
// A hook, when set, sees each line right after it is recorded; tests use it to act at a given moment of
// a long operation (for example to set the stop flag when a pass reaches some page).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pages/engine_events.h"

namespace quenlow::testing {

class RecordingEvents final : public EngineEvents {
  public:
    void progress_range(std::int64_t low, std::int64_t high) override;
    void progress_position(std::int64_t position) override;
    void status_text(std::string_view text) override;
    void fatal_error(std::string_view text) override;
    void log_line(std::string_view text) override;

    const std::vector<std::string>& calls() const { return calls_; }
    void clear() { calls_.clear(); }

    // The texts of one kind of call, in order.
    std::vector<std::string> status_texts() const { return texts("status: "); }
    std::vector<std::string> fatal_errors() const { return texts("fatal: "); }
    std::vector<std::string> log_lines() const { return texts("log: "); }
    std::vector<std::int64_t> positions() const;

    std::function<void(const std::string& line)> hook;

  private:
    void record(const std::string& line);
    std::vector<std::string> texts(std::string_view prefix) const;

    std::vector<std::string> calls_;
};

}  // namespace quenlow::testing
