// Opening every real data file of the corpus: geometry, the corruption check, the page maps, the `info`
// command, and that reading leaves the file untouched.

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/application_state.h"
#include "engine/pages/opened_database.h"
#include "tests/support/corpus_gtest.h"
#include "tests/support/sha256.h"

namespace quenlow::testing {
namespace {

class RecordingEvents final : public EngineEvents {
  public:
    void progress_range(std::int64_t, std::int64_t high) override { ranges.push_back(high); }
    void progress_position(std::int64_t) override {}
    void status_text(std::string_view text) override { status.emplace_back(text); }
    void fatal_error(std::string_view text) override { fatal.emplace_back(text); }
    void log_line(std::string_view) override {}

    std::vector<std::int64_t> ranges;
    std::vector<std::string> status;
    std::vector<std::string> fatal;
};

struct Opened {
    ApplicationState app;
    RecordingEvents events;
    PosixFileSystem files;
    std::unique_ptr<OpenedDatabase> db;
};

std::unique_ptr<Opened> open_file(const std::filesystem::path& path) {
    auto o = std::make_unique<Opened>();
    o->db = OpenedDatabase::open(path.string(), ReadOptions{}, {o->app.engine, o->events, o->files});
    return o;
}

// The catalog tables whose pages every file must have. A file still in the 2000 layout keeps its catalog
// in sysobjects (1), sysindexes (2) and syscolumns (3) and has no object 7; from 2005 on the object table
// (34) and the allocation units (7) hold it, also in files upgraded from 2000.
std::vector<std::int32_t> catalog_object_ids(const CorpusFile& file) {
    if (file.is_sql2000()) return {1, 2, 3};
    return {34, 7};
}

TEST(CorpusManifest, ListsReadableFiles) {
    QUENLOW_REQUIRE_CORPUS();
    for (const CorpusFile& f : corpus_files()) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(std::filesystem::is_regular_file(f.gz_path));
        EXPECT_GT(f.page_count, 0u);
        EXPECT_EQ(f.bytes % kPageSize, 0u) << "no corpus file has a partial page";
        EXPECT_EQ(f.bytes / kPageSize, f.page_count);
        EXPECT_LE(f.create_version, f.version);
        EXPECT_EQ(f.sha256.size(), 64u);
        EXPECT_EQ(find_corpus_file(f.name), &f);
    }
}

TEST(Sha256, KnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const std::array<Case, 3> cases = {{
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    }};
    for (const Case& c : cases) {
        EXPECT_EQ(sha256_hex(std::as_bytes(std::span<const char>(c.input.data(), c.input.size()))), c.digest)
            << c.input.size() << " bytes";
    }
}

class CorpusOpenTest : public CorpusTest {};

TEST_P(CorpusOpenTest, OpensAndMapsEveryPage) {
    const CorpusFile& file = GetParam();
    auto o = open_file(local_path());
    ASSERT_TRUE(o->db->is_open()) << (o->events.fatal.empty() ? "" : o->events.fatal.front());
    EXPECT_TRUE(o->events.fatal.empty());

    const DataFile& primary = o->db->primary();
    EXPECT_EQ(primary.length, file.bytes);
    EXPECT_EQ(primary.page_count, file.page_count);
    EXPECT_EQ(primary.extent_count, file.page_count / 8);
    EXPECT_EQ(primary.leading_offset, 0u);

    std::uint64_t histogram_total = 0;
    for (auto n : o->db->page_type_histogram()) histogram_total += n;
    EXPECT_EQ(histogram_total, file.page_count);

    for (std::int32_t id : catalog_object_ids(file))
        EXPECT_FALSE(o->db->system_pages().lookup(id).empty()) << "no page of object " << id;

    const std::vector<std::string> expected_status = {
        "Checking for file corruption ...........", "Checking for file corruption is done...........",
        "Mapping Database Objects...........",
        "Mapping of Database Objects has been done ......................"};
    EXPECT_EQ(o->events.status, expected_status);
    EXPECT_EQ(o->events.ranges,
              (std::vector<std::int64_t>{std::int64_t(file.page_count), std::int64_t(file.page_count)}));
}

// Every entry addresses a page of the primary file, lists keep physical order, and each map holds only
// what belongs in it.
TEST_P(CorpusOpenTest, MapEntriesAreConsistent) {
    const CorpusFile& file = GetParam();
    auto o = open_file(local_path());
    ASSERT_TRUE(o->db->is_open());
    struct MapCase {
        const char* name;
        const PageMap& map;
        std::uint32_t only_type;  // 0: any type
        bool system;
    };
    const std::array<MapCase, 3> maps = {{{"system", o->db->system_pages(), 0, true},
                                          {"data", o->db->data_pages(), kPageTypeData, false},
                                          {"IAM", o->db->iam_pages(), kPageTypeIam, false}}};
    std::size_t seen = 0;
    for (const MapCase& m : maps) {
        for (const auto& [id, list] : m.map.lists()) {
            SCOPED_TRACE(std::string(m.name) + " map, object " + std::to_string(id));
            if (m.system)
                EXPECT_LE(id, 100);
            else
                EXPECT_GT(id, 0);
            for (std::size_t k = 0; k < list.size(); ++k) {
                EXPECT_LT(list[k].page_index, file.page_count);
                if (m.only_type != 0) {
                    EXPECT_EQ(list[k].page_type, m.only_type);
                }
                if (k > 0) {
                    EXPECT_LT(list[k - 1].page_index, list[k].page_index);
                }
            }
            seen += list.size();
        }
    }
    EXPECT_GT(seen, 0u);
    // Reading an entry back gives a page whose header claims the entry's object and type. Entries keep
    // the file id their header claims; pages of garbage that merely look like data pages carry foreign
    // file ids and are refused on reading, so only file 1 entries are read back.
    std::size_t read_back = 0;
    for (const auto& [id, list] : o->db->data_pages().lists()) {
        for (const PageMapEntry& entry : list) {
            if (entry.file_id != kPrimaryFileId) continue;
            auto header = o->db->read_page_header(entry.address());
            ASSERT_TRUE(header.has_value()) << "object " << id << ", page " << entry.page_index;
            EXPECT_EQ(header->object_id, id);
            EXPECT_EQ(header->page_type, kPageTypeData);
            ++read_back;
        }
    }
    EXPECT_GT(read_back, 0u);
}

TEST_P(CorpusOpenTest, FindsNoSecondaryFile) {
    auto o = open_file(local_path());
    ASSERT_TRUE(o->db->is_open());
    std::vector<DatabaseFileRow> file_list;
    o->db->find_secondary_files(file_list);
    EXPECT_TRUE(o->db->secondary_files().empty());
    EXPECT_TRUE(file_list.empty());
}

struct FileStamp {
    std::uint64_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::string sha256;
};

FileStamp stamp(const std::filesystem::path& path) {
    FileStamp s;
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    s.sha256 = sha256_file(path).value_or("unreadable");
    return s;
}

TEST_P(CorpusOpenTest, ReadingLeavesTheFileUntouched) {
    const CorpusFile& file = GetParam();
    const FileStamp before = stamp(local_path());
    ASSERT_EQ(before.sha256, file.sha256) << "the decompressed copy differs from the manifest";
    {
        auto o = open_file(local_path());
        ASSERT_TRUE(o->db->is_open());
        std::vector<DatabaseFileRow> file_list;
        o->db->find_secondary_files(file_list);
        for (const auto& [id, list] : o->db->system_pages().lists())
            for (const auto& entry : list) o->db->read_raw_page(entry.address());
    }
    const FileStamp after = stamp(local_path());
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.sha256, before.sha256);
    EXPECT_EQ(after.mtime.tv_sec, before.mtime.tv_sec);
    EXPECT_EQ(after.mtime.tv_nsec, before.mtime.tv_nsec);
    EXPECT_EQ(after.ctime.tv_sec, before.ctime.tv_sec);
    EXPECT_EQ(after.ctime.tv_nsec, before.ctime.tv_nsec);
}

struct CommandResult {
    int exit_status = -1;
    std::string out;
};

std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the command line front end with args; stderr is dropped (it only carries progress).
CommandResult run_cli(const std::vector<std::string>& args) {
    std::string command = shell_quote(std::string(QUENLOW_BINARY_DIR) + "/cli/quenlow");
    for (const auto& a : args) command += " " + shell_quote(a);
    command += " 2>/dev/null";
    CommandResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) r.out.append(buffer.data(), n);
    int status = ::pclose(pipe);
    r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST_P(CorpusOpenTest, InfoCommandPrintsTheGeometry) {
    const CorpusFile& file = GetParam();
    CommandResult text = run_cli({"info", local_path().string()});
    EXPECT_EQ(text.exit_status, 0);
    EXPECT_NE(text.out.find("Pages:           " + std::to_string(file.page_count) + "\n"), std::string::npos)
        << text.out;

    CommandResult json = run_cli({"info", "--json", local_path().string()});
    ASSERT_EQ(json.exit_status, 0);
    auto j = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << json.out;
    EXPECT_EQ(j.value("page_count", std::uint64_t{0}), file.page_count);
    EXPECT_EQ(j.value("length", std::uint64_t{0}), file.bytes);
    EXPECT_EQ(j.value("leading_offset", std::uint64_t{99}), 0u);
    EXPECT_EQ(j.value("file", ""), local_path().string());
    std::vector<std::int32_t> listed;
    for (const auto& o : j["system_objects"]) listed.push_back(o.value("object_id", -1));
    for (std::int32_t id : catalog_object_ids(file))
        EXPECT_NE(std::find(listed.begin(), listed.end(), id), listed.end()) << "object " << id;
}

QUENLOW_INSTANTIATE_CORPUS_SUITE(CorpusOpenTest);

}  // namespace
}  // namespace quenlow::testing
