#include <string_view>

#include "fuzz/fuzz_targets.h"

namespace quenlow::fuzz {

namespace {

constexpr std::size_t kPage = 8192;

constexpr Target kTargets[] = {
    {"page_header", &page_header, kPage},
    {"record_page", &record_page, 1 + kPage},
    {"text_page", &text_page, 1 + kPage},
    {"boot_page", &boot_page, 1 + kPage},
    {"allocation", &allocation, 1 + 24 * kPage},
    {"catalog", &catalog, 1 + 64 * kPage},
    {"large_value", &large_value, 3 + 96 + 8 * kPage},
    {"row_decoder", &row_decoder, 2 + 4 * kPage},
    {"value_format", &value_format, 2 + kPage},
    {"binary_xml", &binary_xml, 64 * 1024},
    {"whole_database", &whole_database, 1 + 160 * kPage},
};

}  // namespace

std::span<const Target> all_targets() { return kTargets; }

const Target* find_target(std::string_view name) {
    for (const Target& target : kTargets)
        if (name == target.name) return &target;
    return nullptr;
}

}  // namespace quenlow::fuzz
