#pragma once
// The part of the application state that the engine reads and writes. The application object owns one
// and hands the engine a reference, so two databases can be open at once with separate states.
//
// The stop flag is set by the user-interface thread and polled by every long loop of the engine; the
// layout flag is written by the catalog build on the worker and read by later workers. Both are atomics.

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/pages/collation_table.h"

namespace quenlow {

struct EngineState {
    std::atomic<bool> stop{false};
    // The catalog was read in the SQL Server 2000 layout; also switches compression handling off.
    std::atomic<bool> sql2000_layout{false};
    bool show_deleted = false;
    bool show_advanced_deleted = false;

    // Identification, written when the boot page is read.
    std::string version_text;
    std::string collation_name;
    CollationTable collations;
    bool collation_found = false;
    std::int64_t detected_collation_id = -1;
    std::int32_t code_page = 1252;
    bool automatic_collation = true;
    std::int64_t manual_collation_id = 0;
    // The collation id the boot page stores, whichever collation is used; 0 before a boot page was read.
    std::int32_t stored_collation_id = 0;
    // The code page of 8-bit text that has no collation at all (no column collation and no database
    // collation): what the system's 8-bit code page is on Windows.
    std::int32_t ansi_code_page = 1252;

    // Set while the first batch of a table is loaded: large values are then shown as placeholders.
    bool rows_loading = false;

    bool stop_requested() const { return stop.load(std::memory_order_relaxed); }
};

}  // namespace quenlow
