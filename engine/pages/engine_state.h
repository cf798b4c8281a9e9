#pragma once
// The part of the application state that the engine finds and shares: the stop flag, the layout found
// by the catalog build and what the boot page identifies. The application object owns one and hands the
// engine a reference, so two databases can be open at once with separate states. How a database is read
// is not kept here: that travels with the opened database (ReadOptions).
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

    // Identification, written when the boot page is read.
    std::string version_text;
    std::string collation_name;
    CollationTable collations;
    bool collation_found = false;
    std::int64_t detected_collation_id = -1;
    std::int32_t code_page = 1252;
    // The collation id the boot page stores, whichever collation is used; 0 before a boot page was read.
    std::int32_t stored_collation_id = 0;

    bool stop_requested() const { return stop.load(std::memory_order_relaxed); }
};

}  // namespace quenlow
