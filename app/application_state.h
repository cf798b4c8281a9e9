#pragma once
// The application state: one object that the front end creates and passes to every operation. Nothing
// of it lives in globals, so a test can hold two of them and open two databases at once.

#include <atomic>
#include <cstdint>
#include <string>

#include "app/log_file.h"
#include "engine/pages/engine_state.h"

namespace quenlow {

enum class RecoveryMode : std::int32_t { kUnset = 0, kStandard = 1, kAdvanced = 2 };

struct ApplicationState {
    std::int32_t visual_look_id = 215;
    // 1 while a worker runs; set by the command that starts it, cleared when the worker ends.
    std::atomic<int> running{0};
    std::int32_t log_line_counter = 0;
    LogWriter log_file;
    std::string log_file_path;
    std::string log_folder;
    std::string mdf_path;
    RecoveryMode recovery_mode = RecoveryMode::kUnset;
    // The code page of 8-bit text that has no collation at all, for the databases opened from now on:
    // what the system's 8-bit code page is on Windows.
    std::int32_t ansi_code_page = 1252;

    // Stop flag, layout flag, identification and the collation table.
    EngineState engine;
};

}  // namespace quenlow
