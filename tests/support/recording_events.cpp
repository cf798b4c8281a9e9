#include "tests/support/recording_events.h"

namespace quenlow::testing {

void RecordingEvents::progress_range(std::int64_t low, std::int64_t high) {
    record("range " + std::to_string(low) + ".." + std::to_string(high));
}

void RecordingEvents::progress_position(std::int64_t position) {
    record("position " + std::to_string(position));
}

void RecordingEvents::status_text(std::string_view text) {
    record("status: " + std::string(text));
}

void RecordingEvents::fatal_error(std::string_view text) {
    record("fatal: " + std::string(text));
}

void RecordingEvents::log_line(std::string_view text) {
    record("log: " + std::string(text));
}

void RecordingEvents::record(const std::string& line) {
    calls_.push_back(line);
    if (hook) hook(line);
}

std::vector<std::string> RecordingEvents::texts(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const auto& line : calls_)
        if (line.starts_with(prefix)) out.push_back(line.substr(prefix.size()));
    return out;
}

std::vector<std::int64_t> RecordingEvents::positions() const {
    std::vector<std::int64_t> out;
    for (const auto& text : texts("position ")) out.push_back(std::stoll(text));
    return out;
}

}  // namespace quenlow::testing
