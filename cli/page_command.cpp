#include <cstdio>
#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/page_report.h"
#include "cli/commands.h"
#include "cli/terminal_events.h"

namespace quenlow::cli {

namespace {

nlohmann::json fields_json(const std::vector<InspectedField>& fields) {
    auto out = nlohmann::json::array();
    for (const auto& f : fields)
        out.push_back({{"offset", f.offset ? nlohmann::json(*f.offset) : nlohmann::json()},
                       {"name", f.name},
                       {"value", f.value}});
    return out;
}

std::string hex_string(const std::vector<std::byte>& bytes) {
    std::string out;
    out.reserve(2 * bytes.size());
    for (std::byte b : bytes) out += fmt::format("{:02X}", static_cast<unsigned>(b));
    return out;
}

nlohmann::json to_json(const PageInspection& page) {
    nlohmann::json j;
    j["file_id"] = page.address.file_id;
    j["page_id"] = page.address.page_id;
    j["header"] = fields_json(page.header);
    if (!page.slot_note.empty()) j["slot_note"] = page.slot_note;
    auto& slots = j["slots"] = nlohmann::json::array();
    for (const auto& s : page.slots)
        slots.push_back({{"slot", s.slot}, {"offset", s.offset}, {"note", s.note}});
    if (page.with_records) {
        auto& records = j["records"] = nlohmann::json::array();
        for (const auto& r : page.records) {
            nlohmann::json rec = {{"slot", r.slot},
                                  {"offset", r.offset},
                                  {"fields", fields_json(r.fields)},
                                  {"bytes", hex_string(r.bytes)}};
            if (!r.bytes_note.empty()) rec["bytes_note"] = r.bytes_note;
            records.push_back(std::move(rec));
        }
    }
    return j;
}

}  // namespace

int run_page(const PageOptions& options) {
    ApplicationState app;
    PosixFileSystem files;
    TerminalEvents events(TerminalEvents::stderr_is_terminal() && !options.quiet);
    PageInspectionRequest request{options.file, options.file_id, options.page_id, options.records};
    PageInspectionResult result = inspect_database_page(request, app, events, files);
    events.finish();
    if (result.status != PageInspectionResult::Status::kOk || !result.page) {
        fmt::print(stderr, "{}\n", result.error.empty() ? events.last_fatal_error() : result.error);
        return kExitFailed;
    }
    if (options.json)
        std::cout << to_json(*result.page).dump(2) << '\n';
    else
        fmt::print("{}", render_page_inspection(*result.page));
    return kExitOk;
}

}  // namespace quenlow::cli
