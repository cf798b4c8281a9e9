// The catalog of every real data file: its user tables must be exactly the ones the file is known to
// hold, and the layout must follow the server generation that wrote it.

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/catalog/catalog_build.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;

struct CorpusEntry {
    std::string key;  // "files/<name>.mdf.gz"
    std::string name;
    std::uint64_t bytes = 0;
    int version = 0;
    std::set<std::string> expected_tables;
};

std::optional<nlohmann::json> read_json(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    auto json = nlohmann::json::parse(in, nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    return json;
}

std::vector<CorpusEntry> corpus_entries(const fs::path& dir) {
    std::vector<CorpusEntry> out;
    auto manifest = read_json(dir / "manifest.json");
    auto expected = read_json(dir / "expected_tables.json");
    if (!manifest || !expected || !manifest->is_array()) return out;
    for (const auto& item : *manifest) {
        CorpusEntry entry;
        entry.key = item.value("file", "");
        entry.name = fs::path(entry.key).stem().stem().string();
        entry.bytes = item.value("bytes", std::uint64_t{0});
        entry.version = item.value("version", 0);
        if (expected->contains(entry.key))
            for (const auto& table : (*expected)[entry.key])
                entry.expected_tables.insert(table.get<std::string>());
        out.push_back(std::move(entry));
    }
    return out;
}

// Decompresses a corpus file into the build tree once; later runs reuse the copy while its size
// matches. Returns the path of the copy, or an empty path.
fs::path materialize(const fs::path& dir, const CorpusEntry& entry) {
    const fs::path cache = fs::path(QUENLOW_BINARY_DIR) / "corpus-cache";
    const fs::path target = cache / (entry.name + ".mdf");
    std::error_code ec;
    if (fs::exists(target, ec) && fs::file_size(target, ec) == entry.bytes) return target;
    fs::create_directories(cache, ec);
    const fs::path temp = cache / (entry.name + ".mdf.tmp" + std::to_string(::getpid()));
    gzFile in = gzopen((dir / entry.key).string().c_str(), "rb");
    if (in == nullptr) return {};
    std::ofstream out(temp, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    int n = 0;
    while ((n = gzread(in, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
        out.write(buffer.data(), n);
    gzclose(in);
    out.close();
    if (n < 0 || fs::file_size(temp, ec) != entry.bytes) {
        fs::remove(temp, ec);
        return {};
    }
    fs::rename(temp, target, ec);
    return ec ? fs::path() : target;
}

constexpr int kFirstVersionWithNegativeIdTables = 706;
constexpr const char* kNegativeIdTables[] = {"trace_xe_action_map", "trace_xe_event_map"};

TEST(CatalogCorpus, UserTablesAndLayoutOfEveryFile) {
    const fs::path dir = QUENLOW_CORPUS_DIR;
    if (!fs::exists(dir / "manifest.json")) GTEST_SKIP() << "corpus not found at " << dir;
    const auto entries = corpus_entries(dir);
    ASSERT_FALSE(entries.empty()) << "no files listed in " << dir / "manifest.json";

    for (const CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        const fs::path path = materialize(dir, entry);
        ASSERT_FALSE(path.empty()) << "cannot decompress " << entry.key;

        EngineState state;
        NullEngineEvents events;
        PosixFileSystem files;
        auto db =
            OpenedDatabase::open(path.string(), ReadOptions{}, {state, events, files}, catalog_builder());
        ASSERT_TRUE(db->is_open());
        const auto* catalog = dynamic_cast<const SystemCatalog*>(db->catalog());
        ASSERT_NE(catalog, nullptr);

        EXPECT_EQ(state.sql2000_layout.load(), entry.version == 539);
        std::set<std::string> tables;
        for (const SchemaObjectRow& object : catalog->objects)
            if (object.type == "U ") tables.insert(object.name);
        // From 2012 on, two tables of the sys schema are listed with type "U " but carry negative object
        // ids, and object rows need an id above 0: they are not read.
        std::set<std::string> expected = entry.expected_tables;
        if (entry.version >= kFirstVersionWithNegativeIdTables) {
            for (const char* name : kNegativeIdTables) EXPECT_EQ(expected.erase(name), 1u) << name;
        }
        EXPECT_EQ(tables, expected);

        // Ghost catalog rows (replaced or dropped objects and columns) must not turn into objects when
        // deleted records are asked for: the catalog is the same in every setting.
        ReadOptions deleted;
        deleted.show_deleted = deleted.show_advanced_deleted = true;
        EngineState state2;
        auto db2 = OpenedDatabase::open(path.string(), deleted, {state2, events, files}, catalog_builder());
        ASSERT_TRUE(db2->is_open());
        const auto* catalog2 = dynamic_cast<const SystemCatalog*>(db2->catalog());
        ASSERT_NE(catalog2, nullptr);
        const auto ids = [](const SystemCatalog& c) {
            std::vector<std::pair<std::int32_t, std::string>> list;
            for (const SchemaObjectRow& object : c.objects) list.emplace_back(object.object_id, object.name);
            return list;
        };
        EXPECT_EQ(ids(*catalog2), ids(*catalog));
    }
}

}  // namespace
}  // namespace quenlow
