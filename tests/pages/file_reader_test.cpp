#include "engine/pages/file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/page_builder.h"
#include "tests/support/temp_dir.h"

namespace quenlow {
namespace {

using testing::Bytes;

// What any reader must do with the same ten bytes, whatever serves them.
struct ReadCase {
    std::uint64_t offset;
    std::size_t want;
    std::optional<std::size_t> got;  // count read; nothing = error
};

const ReadCase kReadCases[] = {
    {0, 10, 10},   // whole file
    {2, 3, 3},     // inside
    {6, 10, 4},    // runs past the end: short
    {9, 1, 1},     // last byte
    {10, 4, 0},    // at the end
    {1000, 4, 0},  // far past the end
    {3, 0, 0},     // empty read
};

void check_reads(FileReader& reader, const Bytes& content) {
    ASSERT_EQ(reader.size(), content.size());
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(::testing::Message() << "offset " << c.offset << " want " << c.want);
        Bytes out(c.want, std::byte{0xEE});
        auto n = reader.read_at(c.offset, out);
        ASSERT_EQ(n, c.got);
        for (std::size_t i = 0; i < *n; ++i) EXPECT_EQ(out[i], content[c.offset + i]);
        // Bytes the read did not reach are left as they were.
        for (std::size_t i = *n; i < out.size(); ++i) EXPECT_EQ(out[i], std::byte{0xEE});
    }
}

Bytes ten_bytes() {
    return testing::bytes_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
}

TEST(MemoryFileReader, ReadsShortAtTheEnd) {
    MemoryFileReader reader(std::make_shared<const Bytes>(ten_bytes()));
    check_reads(reader, ten_bytes());
}

TEST(MemoryFileReader, FailsOnlyReadsThatCoverAFailingOffset) {
    MemoryFileReader reader(std::make_shared<const Bytes>(ten_bytes()));
    reader.fail_offsets = {5};
    struct Case {
        std::uint64_t offset;
        std::size_t want;
        bool fails;
    };
    for (Case c : {Case{0, 5, false}, Case{0, 6, true}, Case{5, 1, true}, Case{6, 4, false}, Case{4, 2, true},
                   Case{5, 0, false}}) {
        Bytes out(c.want);
        EXPECT_EQ(!reader.read_at(c.offset, out).has_value(), c.fails) << c.offset << "+" << c.want;
    }
}

TEST(MemoryFileSystem, OpensOnlyWhatWasAddedAndListsFolders) {
    MemoryFileSystem fs;
    fs.add_file("/db/main.mdf", ten_bytes());
    fs.add_file("/db/a.ndf", Bytes(3));
    fs.add_file("/db/sub/b.ndf", Bytes(3));
    fs.add_file("/dbx/c.ndf", Bytes(3));

    ASSERT_NE(fs.open_read_only("/db/main.mdf"), nullptr);
    EXPECT_EQ(fs.open_read_only("/db/missing.mdf"), nullptr);
    EXPECT_EQ(fs.open_read_only("/db"), nullptr);
    EXPECT_EQ(fs.open_read_only("/db/MAIN.MDF"), nullptr);

    for (const char* folder : {"/db", "/db/"}) {
        auto entries = fs.list_folder(folder);
        std::vector<std::pair<std::string, bool>> got;
        for (const auto& e : entries) got.emplace_back(e.name, e.is_directory);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{
                           {"a.ndf", false}, {"main.mdf", false}, {"sub", true}}))
            << folder;
    }
    EXPECT_TRUE(fs.list_folder("/nowhere").empty());
}

TEST(MemoryFileSystem, ReadersOfAFailingPathReportErrors) {
    MemoryFileSystem fs;
    fs.add_file("/f", ten_bytes());
    fs.fail_reads_at("/f", {7});
    auto reader = fs.open_read_only("/f");
    Bytes out(4);
    EXPECT_FALSE(reader->read_at(6, out).has_value());
    EXPECT_EQ(reader->read_at(0, out), 4u);
}

TEST(PosixFileReader, ReadsARegularFileShortAtTheEnd) {
    testing::TempDir dir;
    testing::write_file(dir.file("f.mdf"), ten_bytes());
    auto reader = PosixFileReader::open(dir.file("f.mdf"));
    ASSERT_NE(reader, nullptr);
    check_reads(*reader, ten_bytes());
}

TEST(PosixFileReader, SeesAFileCutWhileOpenAsShortReads) {
    testing::TempDir dir;
    testing::write_file(dir.file("f.mdf"), ten_bytes());
    auto reader = PosixFileReader::open(dir.file("f.mdf"));
    ASSERT_NE(reader, nullptr);
    std::filesystem::resize_file(dir.file("f.mdf"), 4);
    Bytes out(10);
    EXPECT_EQ(reader->read_at(0, out), 4u);
    EXPECT_EQ(reader->read_at(6, out), 0u);
}

TEST(PosixFileReader, RefusesWhatIsNotAReadableRegularFile) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.mdf");
    EXPECT_EQ(PosixFileReader::open(dir.file("folder.mdf")), nullptr);
    EXPECT_EQ(PosixFileReader::open(dir.file("missing.mdf")), nullptr);
    EXPECT_EQ(PosixFileReader::open(""), nullptr);
    EXPECT_EQ(PosixFileReader::open("/dev/null"), nullptr);
}

TEST(PosixFileReader, RefusesAFileWithoutReadPermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: permission bits do not stop reads";
    testing::TempDir dir;
    testing::write_file(dir.file("locked.mdf"), ten_bytes());
    ::chmod(dir.file("locked.mdf").c_str(), 0);
    EXPECT_EQ(PosixFileReader::open(dir.file("locked.mdf")), nullptr);
}

TEST(PosixFileReader, ReportsAnOperatingSystemReadError) {
    // Media errors cannot be staged here; a position the system refuses (EINVAL) takes the same path.
    testing::TempDir dir;
    testing::write_file(dir.file("f.mdf"), ten_bytes());
    auto reader = PosixFileReader::open(dir.file("f.mdf"));
    ASSERT_NE(reader, nullptr);
    Bytes out(4);
    EXPECT_FALSE(reader->read_at(std::uint64_t{1} << 63, out).has_value());
}

TEST(PosixFileSystem, ListsAFolderWithoutDotEntries) {
    testing::TempDir dir;
    testing::write_file(dir.file("a.ndf"), Bytes(1));
    std::filesystem::create_directory(dir.path() / "b.ndf");
    PosixFileSystem fs;
    for (const std::string& folder : {dir.path().string(), dir.path().string() + "/"}) {
        std::vector<std::pair<std::string, bool>> got;
        for (const auto& e : fs.list_folder(folder)) got.emplace_back(e.name, e.is_directory);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{{"a.ndf", false}, {"b.ndf", true}}));
    }
    EXPECT_TRUE(fs.list_folder(dir.file("missing")).empty());
    EXPECT_EQ(fs.open_read_only(dir.file("b.ndf")), nullptr);
}

}  // namespace
}  // namespace quenlow
