#include "cli/terminal_events.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <fmt/format.h>

namespace quenlow::cli {

TerminalEvents::TerminalEvents(bool interactive) : interactive_(interactive) {}

TerminalEvents::~TerminalEvents() { finish(); }

bool TerminalEvents::stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

void TerminalEvents::progress_range(std::int64_t low, std::int64_t high) {
    low_ = low;
    high_ = high;
    position_ = 0;
    drawn_percent_ = -1;
    draw();
}

void TerminalEvents::progress_position(std::int64_t position) {
    position_ = position;
    draw();
}

void TerminalEvents::status_text(std::string_view text) {
    status_ = std::string(text);
    if (!interactive_) return;
    if (bar_visible_) std::fputs("\r\033[K", stderr);
    bar_visible_ = false;
    fmt::print(stderr, "{}\n", text);
    drawn_percent_ = -1;
    draw();
}

void TerminalEvents::fatal_error(std::string_view text) { fatal_ = std::string(text); }

void TerminalEvents::log_line(std::string_view text) {
    if (!interactive_) return;
    if (bar_visible_) std::fputs("\r\033[K", stderr);
    bar_visible_ = false;
    fmt::print(stderr, "{}\n", text);
    drawn_percent_ = -1;
    draw();
}

void TerminalEvents::draw() {
    if (!interactive_ || high_ <= low_) return;
    const std::int64_t span = high_ - low_;
    const std::int64_t done = std::clamp<std::int64_t>(position_ - low_, 0, span);
    const int percent = static_cast<int>(done * 100 / span);
    if (percent == drawn_percent_) return;
    drawn_percent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    fmt::print(stderr, "\r[{}{}] {:3}%  {}/{}", std::string(static_cast<std::size_t>(filled), '#'),
               std::string(static_cast<std::size_t>(kWidth - filled), '.'), percent, done, span);
    std::fflush(stderr);
    bar_visible_ = true;
}

void TerminalEvents::finish() {
    if (bar_visible_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    bar_visible_ = false;
}

}  // namespace quenlow::cli
