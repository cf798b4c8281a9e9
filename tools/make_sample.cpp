// quenlow-make-sample OUT_PATH [--pages N]
//
// Writes a small synthetic primary data file (see tests/support/synthetic_database.h) to OUT_PATH,
// creating its folder. `make run` uses it to give `quenlow info` something to read.

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "tests/support/synthetic_database.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: quenlow-make-sample OUT_PATH [--pages N]   (N >= 1, default 64)\n");
    return 2;
}

bool parse_count(std::string_view text, std::size_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 1 && out <= 1'000'000;
}

}  // namespace

int main(int argc, char** argv) {
    quenlow::testing::SyntheticDatabaseSpec blueprint;
    std::string out_path;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--pages") {
            if (i + 1 >= argc || !parse_count(argv[++i], blueprint.page_count)) return usage();
        } else if (arg.starts_with("--pages=")) {
            if (!parse_count(arg.substr(8), blueprint.page_count)) return usage();
        } else if (arg.starts_with("-") || !out_path.empty()) {
            return usage();
        } else {
            out_path = arg;
        }
    }
    if (out_path.empty()) return usage();
    try {
        quenlow::testing::write_file(out_path, quenlow::testing::make_synthetic_database(blueprint));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quenlow-make-sample: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %s (%zu pages)\n", out_path.c_str(), blueprint.page_count);
    return 0;
}
