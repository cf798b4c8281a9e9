#pragma once
// The fuzz targets: one per parser that reads bytes from a data file, each a function over one input.
// The same functions run under libFuzzer (fuzz/entry.cpp, one program per target) and in the test run,
// which replays the regression inputs under tests/fuzz/regressions/<target>/ and every builder seed.
//
// Inputs that carry choices start with them: an options byte (ReadOptions and the 2000 layout), then
// whatever the target names, then page images of 8192 bytes each (a short last page is zero-filled).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quenlow::fuzz {

using TargetFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name;
    TargetFunction run;
    std::size_t max_len;  // the longest input worth mutating
};

// Every target, in a fixed order.
std::span<const Target> all_targets();
// The target of that name; nullptr when there is none.
const Target* find_target(std::string_view name);

int page_header(const std::uint8_t* data, std::size_t size);
int record_page(const std::uint8_t* data, std::size_t size);
int text_page(const std::uint8_t* data, std::size_t size);
int boot_page(const std::uint8_t* data, std::size_t size);
int allocation(const std::uint8_t* data, std::size_t size);
int catalog(const std::uint8_t* data, std::size_t size);
int large_value(const std::uint8_t* data, std::size_t size);
int row_decoder(const std::uint8_t* data, std::size_t size);
int value_format(const std::uint8_t* data, std::size_t size);
int binary_xml(const std::uint8_t* data, std::size_t size);
int whole_database(const std::uint8_t* data, std::size_t size);

}  // namespace quenlow::fuzz
