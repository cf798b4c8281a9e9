#include "app/collation_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <utility>

namespace quenlow {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::optional<std::pair<std::int64_t, CollationEntry>> parse_line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    const auto first_tab = line.find('\t');
    if (first_tab == std::string_view::npos) return std::nullopt;

    const std::string_view name = line.substr(0, first_tab);
    const std::string_view rest = line.substr(first_tab + 1);
    std::string_view id_text, code_page_text;
    if (!rest.empty()) {
        const auto second_tab = rest.find('\t');
        if (second_tab == std::string_view::npos) return std::nullopt;
        id_text = rest.substr(0, second_tab);
        code_page_text = rest.substr(second_tab + 1);
    }
    return std::pair{std::int64_t{read_leading_int32(id_text)},
                     CollationEntry{std::string(name), read_leading_int32(code_page_text)}};
}

}  // namespace

std::int32_t read_leading_int32(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate the magnitude in 64 bits and stop growing once it passes every 32-bit value.
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (magnitude <= kMax + 1) magnitude = magnitude * 10 + (text[i] - '0');
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > kMax) return static_cast<std::int32_t>(kMax);
    if (value < kMin) return static_cast<std::int32_t>(kMin);
    return static_cast<std::int32_t>(value);
}

CollationTable parse_collation_text(std::istream& in) {
    CollationTable table;
    std::string line;
    while (std::getline(in, line)) {
        if (auto entry = parse_line(line)) table.insert_or_assign(entry->first, std::move(entry->second));
    }
    return table;
}

CollationTable load_collation_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return parse_collation_text(in);
}

std::optional<std::int64_t> find_collation(const CollationTable& table, const std::string& name) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    for (const auto& [id, entry] : table)
        if (entry.name == name) return id;
    const std::string wanted = lower(name);
    for (const auto& [id, entry] : table)
        if (lower(entry.name) == wanted) return id;
    return std::nullopt;
}

std::string collation_file_path(const std::string& executable_path) {
#ifdef _WIN32
    constexpr const char* kSeparators = "\\/";
#else
    constexpr const char* kSeparators = "/";
#endif
    const auto last = executable_path.find_last_of(kSeparators);
    std::string folder = last == std::string::npos ? std::string() : executable_path.substr(0, last + 1);
    return folder + std::string(kCollationFileName);
}

std::string running_executable_path() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

}  // namespace quenlow

namespace quenlow {

CollationTable load_shipped_collations() {
    return load_collation_file(collation_file_path(running_executable_path()));
}

}  // namespace quenlow
