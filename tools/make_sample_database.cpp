// quenlow-make-sample-db OUT_PATH: writes the bundled sample database (2005-and-later layout) to
// OUT_PATH and prints what it holds.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"
#include "tests/support/sample_database.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenlow-make-sample-db OUT_PATH\n");
        return 2;
    }
    const std::string path = argv[1];
    try {
        const auto blueprint = quenlow::testing::sample_database_spec();
        const auto built = quenlow::testing::build_database_image(blueprint);
        quenlow::testing::write_file(path, built.image);
        std::printf("%s: %d pages\n", path.c_str(), built.page_count);
        for (const auto& t : built.tables)
            if (!t.system)
                std::printf("  %-14s %5zu rows on %3zu pages\n", t.name.c_str(), t.row_count,
                            t.data_pages.size());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot build the sample database: %s\n", e.what());
        return 1;
    }
}
