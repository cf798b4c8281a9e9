// quenlow-fuzz-seeds OUT [CORPUS_FILES]: writes the seed inputs of every fuzz target into OUT/<target>/:
// the builder's seeds, and, when a folder of gzip'd real data files is given, pages cut from each file
// by page type. The seeds stay in the build folder; none of them is kept in the source tree.

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_seeds.h"
#include "fuzz/fuzz_targets.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::byte> read_gzip(const fs::path& path) {
    std::vector<std::byte> out;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) return out;
    std::vector<char> chunk(1 << 20);
    int n = 0;
    while ((n = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0) {
        const auto* bytes = reinterpret_cast<const std::byte*>(chunk.data());
        out.insert(out.end(), bytes, bytes + n);
    }
    gzclose(file);
    return out;
}

bool write(const fs::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT [CORPUS_FILES]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    std::vector<fs::path> corpus;
    if (argc > 2 && fs::is_directory(argv[2])) {
        for (const auto& entry : fs::directory_iterator(argv[2]))
            if (entry.path().string().ends_with(".mdf.gz")) corpus.push_back(entry.path());
        std::sort(corpus.begin(), corpus.end());
    }
    std::vector<std::vector<std::byte>> images;
    for (const fs::path& path : corpus) images.push_back(read_gzip(path));

    std::size_t written = 0;
    for (const quenlow::fuzz::Target& target : quenlow::fuzz::all_targets()) {
        const fs::path folder = out / target.name;
        fs::create_directories(folder);
        std::vector<quenlow::fuzz::Seed> seeds = quenlow::fuzz::builder_seeds(target.name);
        const std::size_t built = seeds.size();
        // Real files are too large for whole-file inputs; their pages feed the page targets.
        if (std::string_view(target.name) != "whole_database") {
            for (const auto& image : images) quenlow::fuzz::add_page_seeds(target.name, image, 2, seeds);
        }
        for (std::size_t i = 0; i < seeds.size(); ++i) {
            if (seeds[i].size() > target.max_len) seeds[i].resize(target.max_len);
            const std::string name = (i < built ? "builder-" : "file-") + std::to_string(i);
            if (!write(folder / name, seeds[i])) {
                std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("%zu seeds from the builder and %zu real files in %s\n", written, corpus.size(), out.c_str());
    return 0;
}
