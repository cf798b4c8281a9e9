// Reads the boot page of every real data file and checks it against the corpus manifest: version numbers,
// version text, the physical position found by the location rule and the database name.

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/pages/boot_page.h"
#include "engine/pages/opened_database.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = QUENLOW_CORPUS_DIR;

// Decompresses a .gz file to target; false when it cannot be read completely.
bool gunzip_to(const fs::path& source, const fs::path& target) {
    gzFile in = gzopen(source.c_str(), "rb");
    if (in == nullptr) return false;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(1 << 16);
    bool ok = static_cast<bool>(out);
    while (ok) {
        int n = gzread(in, chunk.data(), static_cast<unsigned>(chunk.size()));
        if (n < 0) ok = false;
        if (n <= 0) break;
        out.write(chunk.data(), n);
        ok = static_cast<bool>(out);
    }
    gzclose(in);
    return ok;
}

// The database name rule applied to a name that is already text: cut before the first space unless it
// comes first. Only meaningful for names that are plain ASCII.
std::optional<std::string> name_rule(const std::string& full) {
    for (unsigned char c : full)
        if (c >= 0x80) return std::nullopt;
    auto space = full.find(' ');
    return space != std::string::npos && space > 0 ? full.substr(0, space) : full;
}

TEST(BootCorpus, EveryFileMatchesTheManifest) {
    const fs::path manifest_path = kCorpus / "manifest.json";
    if (!fs::exists(manifest_path)) GTEST_SKIP() << "corpus not found at " << kCorpus;
    std::ifstream manifest_file(manifest_path);
    const nlohmann::json manifest = nlohmann::json::parse(manifest_file);
    const fs::path work = fs::path(QUENLOW_BINARY_DIR) / "boot_corpus_tmp";
    fs::create_directories(work);

    int checked = 0;
    for (const auto& entry : manifest) {
        const std::string file = entry.at("file");
        if (file.size() < 7 || file.substr(file.size() - 7) != ".mdf.gz") continue;
        SCOPED_TRACE(file);
        const fs::path mdf = work / fs::path(file).stem();
        ASSERT_TRUE(gunzip_to(kCorpus / file, mdf));

        EngineState state;
        NullEngineEvents events;
        PosixFileSystem files;
        auto db = OpenedDatabase::open(mdf.string(), ReadOptions{}, {state, events, files});
        ASSERT_TRUE(db->is_open());
        const BootPageSummary boot = read_boot_page(*db);

        const int version = entry.at("version");
        const int create_version = entry.at("create_version");
        const std::string db_name = entry.at("db_name");
        EXPECT_TRUE(boot.found);
        EXPECT_EQ(boot.page_shift, 0);
        EXPECT_EQ(boot.physical_page, 9u);
        EXPECT_EQ(boot.version, version);
        EXPECT_EQ(boot.create_version, create_version);
        EXPECT_EQ(state.version_text, sql_version_text(static_cast<std::uint16_t>(version)));
        EXPECT_NE(state.version_text, "Unknown SQL Version");
        EXPECT_EQ(boot.full_database_name, db_name);
        if (auto expected = name_rule(db_name)) {
            EXPECT_EQ(db->database_name(), *expected);
        }
        // No collation table is loaded here: the id is kept as its low 16 bits.
        EXPECT_EQ(boot.collation_id, static_cast<std::int32_t>(boot.raw_collation_id & 0xFFFF));

        db.reset();
        fs::remove(mdf);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace quenlow
