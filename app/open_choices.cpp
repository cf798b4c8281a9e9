#include "app/open_choices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace quenlow {

std::optional<std::string> open_choices_refusal(const OpenChoices& choices) {
    std::string upper = choices.mdf_path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::error_code ec;
    // The extension test looks for ".MDF" anywhere, so "data.mdf.bak" passes it.
    if (upper.find(".MDF") == std::string::npos || !std::filesystem::exists(choices.mdf_path, ec))
        return std::string(kInvalidSqlPath);
    if (choices.log_folder &&
        (choices.log_folder->empty() || !std::filesystem::is_directory(*choices.log_folder, ec)))
        return std::string(kInvalidLogPath);
    return std::nullopt;
}

void apply_open_choices(const OpenChoices& choices, ApplicationState& app) {
    app.mdf_path = choices.mdf_path;
    app.log_folder = choices.log_folder.value_or(std::string());
    if (!app.log_folder.empty() && app.log_folder.back() != '/') app.log_folder += '/';
    app.recovery_mode = choices.recovery_mode;
    app.engine.sql2000_layout.store(choices.is_sql2000);
}

ReadOptions read_options_of(const OpenChoices& choices, std::int32_t ansi_code_page) {
    ReadOptions options;
    options.advanced = choices.recovery_mode == RecoveryMode::kAdvanced;
    options.show_deleted = choices.show_deleted;
    options.show_advanced_deleted = choices.show_advanced_deleted;
    options.keep_every_candidate = choices.keep_every_candidate;
    options.automatic_collation = choices.automatic_collation;
    options.manual_collation_id = choices.manual_collation_id;
    options.ansi_code_page = ansi_code_page;
    return options;
}

}  // namespace quenlow
