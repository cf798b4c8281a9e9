#pragma once
// How a database is read: the choices made before it is opened. One value, fixed for the life of the
// opened database and handed to it at the open; pages, the boot page and the row decoders read it from
// there. Two databases opened with different choices read their pages differently at the same time.

#include <cstdint>

namespace quenlow {

struct ReadOptions {
    // "Advanced Mode": a table's rows are read from every data page the mapping pass gave the table
    // instead of through its allocation structures.
    bool advanced = false;
    // Records marked deleted (ghosts and deleted data records) are shown as rows.
    bool show_deleted = false;
    // With show_deleted: the page body between the slotted records is scanned for deleted records
    // that lost their slot.
    bool show_advanced_deleted = false;
    // Rows that are not live rows are shown even when they copy a live row or do not decode cleanly.
    bool keep_every_candidate = false;
    // The database collation is the one the boot page names; otherwise manual_collation_id, when the
    // collation table holds it (and none when it does not).
    bool automatic_collation = true;
    std::int64_t manual_collation_id = 0;
    // The code page of 8-bit text that has no collation at all (no column collation and no database
    // collation): what the system's 8-bit code page is on Windows.
    std::int32_t ansi_code_page = 1252;

    bool operator==(const ReadOptions&) const = default;
};

}  // namespace quenlow
