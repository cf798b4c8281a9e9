#pragma once
// What the open dialog asks before a scan, the rules by which it refuses a choice, and how a confirmed
// choice enters the application state and the read options of the database open.

#include <cstdint>
#include <optional>
#include <string>

#include "app/application_state.h"
#include "engine/pages/collation_table.h"
#include "engine/pages/read_options.h"

namespace quenlow {

struct OpenChoices {
    std::string mdf_path;
    RecoveryMode recovery_mode = RecoveryMode::kStandard;
    bool is_sql2000 = false;
    bool show_deleted = false;
    bool show_advanced_deleted = false;
    // Rows that are not live rows are shown even when they copy a live row or do not decode cleanly.
    bool keep_every_candidate = false;
    bool automatic_collation = true;
    // Used when automatic_collation is off; the dialog hands back the id it was given unless the user
    // picked another entry.
    std::int64_t manual_collation_id = 0;
    // The folder that receives the log file. A dialog always gives one; a front end that keeps no log
    // file (the command line without --log-dir) gives none.
    std::optional<std::string> log_folder;
};

// What the dialog is opened with: the collations it lists and the manual collation id chosen last.
struct OpenDialogRequest {
    const CollationTable& collations;
    std::int64_t manual_collation_id = 0;
};

inline constexpr const char* kInvalidSqlPath =
    "Please select valid SQL file path to continue the recovery process.";
inline constexpr const char* kInvalidLogPath =
    "Please select valid Log file path to continue the recovery process.";

// The refusal text for a choice, checked in the dialog's order: the data file path must contain ".MDF"
// in any letter case and name an existing file; the log folder, when there is one, must be an existing
// folder. Nothing when the choice is accepted.
std::optional<std::string> open_choices_refusal(const OpenChoices& choices);

// Writes what the application itself shows of a confirmed choice into the application state: the data
// file path, the log folder, the recovery mode and the SQL Server 2000 layout flag. The log folder gains
// a trailing '/' when it has none; no log folder leaves it empty.
void apply_open_choices(const OpenChoices& choices, ApplicationState& app);

// The read options of a confirmed choice: advanced mode for the advanced recovery mode, the deleted
// record and collation choices as made, and the given code page for 8-bit text without a collation.
ReadOptions read_options_of(const OpenChoices& choices, std::int32_t ansi_code_page);

}  // namespace quenlow
