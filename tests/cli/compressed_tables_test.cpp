// Row- and page-compressed tables read through `quenlow rows --all` give the rows of the same table stored
// uncompressed, value for value, in every deleted-record mode.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tests/app/test_files.h"
#include "tests/cli/program_run.h"
#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"

namespace quenlow {
namespace {

using test::ProgramRun;
using test::run_quenlow;
using testing::Bytes;
using testing::Compression;
using testing::SqlType;
using testing::TableSpec;
using testing::Value;

constexpr const char* kStorage[] = {"Plain", "RowPacked", "PagePacked"};
constexpr Compression kCompression[] = {Compression::None, Compression::Row, Compression::Page};

Bytes variant_int(std::int32_t v) {
    Bytes out = {std::byte{56}, std::byte{1}};
    for (int i = 0; i < 4; ++i) out.push_back(std::byte{static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF)});
    return out;
}

// Every column type the builder writes, with values that exercise the compact forms: NULL, zero, empty
// strings, negative numbers, text beyond Latin-1, values repeated from row to row (anchor and
// dictionary hits), long values and values stored on LOB pages.
void add_typed_table(testing::DatabaseSpec& db, const std::string& name, Compression compression) {
    TableSpec& t = db.add_table(name);
    t.compression = compression;
    t.add_column("Id", SqlType::Int);
    t.add_column("Big", SqlType::BigInt, 0, true);
    t.add_column("Small", SqlType::SmallInt, 0, true);
    t.add_column("Tiny", SqlType::TinyInt, 0, true);
    t.add_column("Flag", SqlType::Bit, 0, true);
    t.add_column("Flag2", SqlType::Bit, 0, true);
    t.add_column("Code", SqlType::Char, 8, true);
    t.add_column("Name", SqlType::VarChar, 40, true);
    t.add_column("Label", SqlType::NChar, 6, true);
    t.add_column("Title", SqlType::NVarChar, 60, true);
    t.add_column("Stamp", SqlType::DateTime, 0, true);
    t.add_column("Minute", SqlType::SmallDateTime, 0, true);
    t.add_column("Day", SqlType::Date, 0, true);
    t.add_column("Price", SqlType::Money, 0, true);
    t.add_column("Fee", SqlType::SmallMoney, 0, true);
    t.add_decimal("Amount", 18, 4, true);
    t.add_decimal("Rate", 5, 2, true);
    t.add_decimal("Huge", 38, 0, true);
    t.add_column("Key", SqlType::UniqueIdentifier, 0, true);
    t.add_column("Tag", SqlType::Binary, 6, true);
    t.add_column("Blob", SqlType::VarBinary, 30, true);
    t.add_column("Ratio", SqlType::Float, 0, true);
    t.add_column("Part", SqlType::Real, 0, true);
    t.add_column("Any", SqlType::SqlVariant, 0, true);
    t.add_column("Memo", SqlType::Text, 0, true);
    t.add_column("Note", SqlType::NText, 0, true);
    t.add_column("Picture", SqlType::Image, 0, true);
    t.add_column("Long", SqlType::VarChar, -1, true);
    t.add_column("Wide", SqlType::NVarChar, -1, true);
    t.add_decimal("Fixed", 10, 3, true).type = SqlType::Numeric;
    t.add_column("Owner", SqlType::SysName, 0, true);
    t.add_column("Far", SqlType::VarBinary, -1, true).off_row = true;  // on LOB pages under a root
    t.primary_key({"Id"});
    const std::vector<std::string> names = {"Antonio", "Antonia", "Berlin", "", "caf\xC3\xA9 \xC3\xBC" "ber",
                                            "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
                                            "\xE6\x9D\xB1\xE4\xBA\xAC", "a\xF0\x9F\x98\x80" "b", "Berlin"};
    const std::vector<std::string> labels = {"ab", "\xD0\x96\xD0\x96", "x", "\xE6\x9D\xB1", "ab"};
    for (int i = 0; i < 400; ++i) {
        const bool nulls = i % 13 == 5;
        const bool zeros = i % 13 == 6;
        const auto& text = names[static_cast<std::size_t>(i) % names.size()];
        const auto n = [&](Value v) { return nulls ? Value::null() : v; };
        const std::int64_t sign = i % 3 == 0 ? -1 : 1;
        std::string hex = "00112233-4455-6677-8899-AABBCCDDEE";
        hex += static_cast<char>('0' + i % 10);
        hex += static_cast<char>('A' + i % 6);
        t.add_row(
            {Value::integer(i),
             n(Value::integer(zeros ? 0 : sign * (std::int64_t{1} << (i % 63)))),
             n(Value::integer(zeros ? 0 : sign * (i * 97 % 32768))),
             n(Value::integer(zeros ? 0 : i % 256)),
             n(Value::boolean(i % 2 == 0)),
             n(Value::boolean(i % 5 == 0)),
             n(Value::text(zeros ? "" : "C" + std::to_string(i % 7))),
             n(Value::text(zeros ? "" : text + (i % 4 == 0 ? " " : ""))),
             n(Value::text(zeros ? "" : labels[static_cast<std::size_t>(i) % labels.size()])),
             n(Value::text(zeros ? "" : text + " #" + std::to_string(i % 3))),
             n(Value::datetime(1753 + i, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, (i * 7) % 1000)),
             n(Value::datetime(1900 + i % 170, 1 + i % 12, 1 + i % 28, i % 24, i % 60)),
             n(Value::datetime(1 + i * 20, 1 + i % 12, 1 + i % 28)),
             n(Value::decimal(zeros ? "0" : (sign < 0 ? "-" : "") + std::to_string(i * 1234) + ".5678")),
             n(Value::decimal(zeros ? "0" : (sign < 0 ? "-" : "") + std::to_string(i) + ".25")),
             n(Value::decimal(zeros ? "0" : (sign < 0 ? "-" : "") + std::to_string(i * 1000001) + ".0101")),
             n(Value::decimal(zeros ? "0" : (sign < 0 ? "-" : "") + std::to_string(i % 1000) + ".05")),
             n(Value::decimal(zeros ? "0"
                                    : (sign < 0 ? "-" : "") + std::string(37, '9').substr(0, 5 + i % 33))),
             n(Value::guid(hex)),
             n(Value::binary(zeros ? Bytes{} : Bytes{std::byte{0xAB}, std::byte(i & 0xFF), std::byte{0}})),
             n(Value::binary(zeros ? Bytes{} : Bytes(static_cast<std::size_t>(i % 20), std::byte{0x5A}))),
             n(Value::floating(zeros ? 0.0 : sign * (1.0 + i) / 8.0)),
             n(Value::floating(zeros ? 0.0 : sign * (0.5 + i))),
             n(Value::binary(variant_int(i * 3 - 500))),
             n(Value::text("memo " + std::to_string(i % 4))),
             n(Value::text(text)),
             n(Value::binary(Bytes(3, std::byte{0x11}))),
             n(Value::text(std::string(static_cast<std::size_t>(i % 50), 'L'))),
             n(Value::text(text + text)),
             n(Value::decimal(zeros ? "0" : (sign < 0 ? "-" : "") + std::to_string(i * 7) + ".125")),
             n(Value::text(zeros ? "" : "dbo_" + text)),
             n(Value::binary(Bytes(static_cast<std::size_t>(i % 3) * 40, std::byte(i & 0xFF))))});
    }
}

// 140 columns: a two-byte column count and the cluster bytes of records over 30 columns.
void add_wide_table(testing::DatabaseSpec& db, const std::string& name, Compression compression) {
    TableSpec& t = db.add_table(name);
    t.compression = compression;
    for (int c = 0; c < 140; ++c)
        t.add_column("C" + std::to_string(c), c % 3 == 2 ? SqlType::VarChar : SqlType::Int, 20, c > 0);
    for (int i = 0; i < 60; ++i) {
        std::vector<Value> row;
        for (int c = 0; c < 140; ++c) {
            if (c > 0 && (c + i) % 9 == 0)
                row.push_back(Value::null());
            else if (c % 3 == 2)
                row.push_back(Value::text(std::string(static_cast<std::size_t>((c + i) % 15), 'a' + c % 26)));
            else
                row.push_back(Value::integer((c - 70) * (i + 1) * 1000));
        }
        t.add_row(std::move(row));
    }
}

// time, datetime2 and datetimeoffset at every precision, and rowversion.
constexpr SqlType kTimeTypes[] = {SqlType::Time, SqlType::DateTime2, SqlType::DateTimeOffset};
constexpr const char* kTimePrefix[] = {"T", "D", "O"};
constexpr int kTimeColumns = 3 * 8;

// The fraction (100-nanosecond units) cut to `digits` fraction digits.
std::int32_t cut_fraction(std::int32_t fraction, int digits) {
    std::int32_t unit = 1;
    for (int i = digits; i < 7; ++i) unit *= 10;
    return fraction - fraction % unit;
}

struct TimeRow {
    int year, month, day, hour, minute, second;
    std::int32_t fraction;
    int offset;  // minutes
};

// Row i of the time tables: NULL; zero (0001-01-01 midnight, offset 0, counter 0); the latest value with
// the largest positive offset; the earliest with the largest negative one; then ordinary values, every
// fifth one repeating row 6 so that page compression finds values equal to the anchor and repeated ones.
TimeRow time_row(int i) {
    switch (i) {
        case 1:
            return {1, 1, 1, 0, 0, 0, 0, 0};
        case 2:
            return {9999, 12, 31, 23, 59, 59, 9'999'999, 14 * 60};
        case 3:
            return {1, 1, 1, 0, 0, 0, 1, -14 * 60};
        case 4:
            return {2024, 2, 29, 0, 0, 0, 0, -330};
        case 5:
            return {2024, 2, 29, 23, 59, 59, 5'000'000, 345};
        default:
            break;
    }
    const int k = i % 5 == 1 ? 6 : i;
    return {1990 + k % 40,
            1 + k % 12,
            1 + k % 28,
            k % 24,
            (k * 7) % 60,
            (k * 13) % 60,
            static_cast<std::int32_t>((k * 1'234'567LL) % 10'000'000),
            ((k % 57) - 28) * 30};
}

Value rowversion_of(int i) {
    switch (i) {
        case 1:
            return Value::integer(0);
        case 2:
            return Value::integer(-1);  // FF FF FF FF FF FF FF FF
        case 3:
            return Value::integer(1);
        case 4:
            return Value::integer(std::int64_t{-1} << 56);  // FF 00 00 00 00 00 00 00
        case 5:
            return Value::integer(std::int64_t{0xAB} << 40);
        default:
            return Value::integer(2000 + (i % 5 == 1 ? 6 : i) * 0x10001);
    }
}

void add_time_table(testing::DatabaseSpec& db, const std::string& name, Compression compression) {
    TableSpec& t = db.add_table(name);
    t.compression = compression;
    t.add_column("Id", SqlType::Int);
    for (int k = 0; k < 3; ++k)
        for (int digits = 0; digits <= 7; ++digits)
            t.add_time(kTimePrefix[k] + std::to_string(digits), kTimeTypes[k], digits, true);
    t.add_column("Version", SqlType::Timestamp, 0, true);
    t.primary_key({"Id"});
    for (int i = 0; i < 300; ++i) {
        std::vector<Value> row = {Value::integer(i)};
        const TimeRow r = time_row(i);
        for (int k = 0; k < 3; ++k)
            for (int digits = 0; digits <= 7; ++digits)
                row.push_back(i == 0 ? Value::null()
                                     : Value::precise_time(r.year, r.month, r.day, r.hour, r.minute, r.second,
                                                           cut_fraction(r.fraction, digits), r.offset));
        row.push_back(i == 0 ? Value::null() : rowversion_of(i));
        t.add_row(std::move(row));
    }
}

class CompressedTablesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new test::TempFolder();
        testing::DatabaseSpec db;
        for (int k = 0; k < 3; ++k) {
            add_typed_table(db, std::string("Typed") + kStorage[k], kCompression[k]);
            add_wide_table(db, std::string("Wide") + kStorage[k], kCompression[k]);
            add_time_table(db, std::string("Times") + kStorage[k], kCompression[k]);
        }
        built_ = new testing::BuiltDatabase(testing::build_database_image(db));
        testing::write_file(path(), built_->image);
    }
    static void TearDownTestSuite() {
        delete built_;
        delete folder_;
    }
    static std::string path() { return folder_->file("compressed.mdf"); }

    static std::string rows(const std::string& file, const std::string& table, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"rows", file, table, "--all", "--format", "csv", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = run_quenlow(*folder_, args);
        EXPECT_EQ(run.status, 0) << table << ": " << run.err;
        return run.out;
    }

    static test::TempFolder* folder_;
    static testing::BuiltDatabase* built_;
};

test::TempFolder* CompressedTablesTest::folder_ = nullptr;
testing::BuiltDatabase* CompressedTablesTest::built_ = nullptr;

std::size_t line_count(const std::string& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

TEST_F(CompressedTablesTest, CompressedRowsReadAsTheirUncompressedTable) {
    for (const std::string family : {"Typed", "Wide", "Times"}) {
        const std::string plain = rows(path(), family + "Plain");
        ASSERT_EQ(line_count(plain), family == "Typed" ? 401u : family == "Wide" ? 61u : 301u);
        for (const char* storage : {"RowPacked", "PagePacked"})
            EXPECT_EQ(rows(path(), family + storage), plain) << family << storage;
    }
    // The page-compressed tables hold pages with compression information, and pages without.
    const testing::BuiltTable* packed = built_->table("TypedPagePacked");
    ASSERT_NE(packed, nullptr);
    ASSERT_GE(packed->data_pages.size(), 2u);
    std::size_t with_info = 0;
    for (std::int32_t p : packed->data_pages)
        if ((std::to_integer<unsigned>(built_->image[static_cast<std::size_t>(p) * kPageSize + 2]) & 0x80) != 0)
            ++with_info;
    EXPECT_EQ(with_info, packed->data_pages.size() - 1);
}

// The CSV line of row i of the time tables, made from the values written: local date and time, the
// fraction to the column's digits, the offset; the rowversion in hex; NULL as an empty field.
std::string expected_time_line(int i) {
    std::string line = std::to_string(i);
    if (i == 0) return line + std::string(kTimeColumns + 1, ',');
    const TimeRow r = time_row(i);
    for (int k = 0; k < 3; ++k)
        for (int digits = 0; digits <= 7; ++digits) {
            std::string text = kTimeTypes[k] == SqlType::Time
                                   ? ""
                                   : fmt::format("{:04}-{:02}-{:02} ", r.year, r.month, r.day);
            text += fmt::format("{:02}:{:02}:{:02}", r.hour, r.minute, r.second);
            if (digits > 0)
                text += "." + fmt::format("{:07}", cut_fraction(r.fraction, digits)).substr(0, digits);
            if (kTimeTypes[k] == SqlType::DateTimeOffset)
                text += fmt::format(" {}{:02}:{:02}", r.offset < 0 ? '-' : '+', std::abs(r.offset) / 60,
                                    std::abs(r.offset) % 60);
            line += "," + text;
        }
    testing::ColumnSpec version_column;
    version_column.type = SqlType::Timestamp;
    const Bytes version = testing::encode_value(version_column, rowversion_of(i));
    line += ",0x";
    for (std::byte b : version) line += fmt::format("{:02X}", std::to_integer<unsigned>(b));
    return line;
}

// Every row of the time tables, row-, page- and not compressed, is the row written.
TEST_F(CompressedTablesTest, TimeTypesAndRowversionAreThoseWritten) {
    for (const char* storage : kStorage) {
        std::istringstream csv(rows(path(), std::string("Times") + storage));
        std::string line;
        std::getline(csv, line);  // the column names
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(std::getline(csv, line)) << storage << " row " << i;
            if (!line.empty() && line.back() == '\r') line.pop_back();  // CSV lines end in CR LF
            EXPECT_EQ(line, expected_time_line(i)) << storage << " row " << i;
        }
    }
}

TEST_F(CompressedTablesTest, SpotValuesAreThoseWritten) {
    const std::string csv = rows(path(), "TypedPagePacked");
    // Row 3: negative numbers, a char padded back, an empty string; row 6: zeros and empty strings.
    EXPECT_NE(csv.find("\n3,-8,-291,3,False,False,C3      ,\"\",\xE6\x9D\xB1     , #0,1756-04-04 03:03:03.020,"),
              std::string::npos);
    EXPECT_NE(csv.find("\n6,0,0,0,True,False,        ,\"\",      ,\"\",1759-07-07 06:06:06.043,"), std::string::npos);
    EXPECT_NE(csv.find("-3702.5678,-3.2500,-3000003.0101,-3.05,-99999999,00112233-4455-6677-8899-AABBCCDDEE3D,"),
              std::string::npos);
    EXPECT_NE(csv.find("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 #2"), std::string::npos);
    EXPECT_NE(csv.find("a\xF0\x9F\x98\x80" "b #"), std::string::npos);
    // Row 4: numeric, sysname and a varbinary(max) stored on LOB pages.
    std::string far = "0x";
    for (int k = 0; k < 40; ++k) far += "04";
    EXPECT_NE(csv.find(",28.125,dbo_caf\xC3\xA9 \xC3\xBC"
                       "ber," +
                       far + "\r\n5,"),
              std::string::npos);
}

struct CodeCounts {
    std::size_t records = 0, empty = 0, symbol = 0, two_byte_counts = 0, faults = 0;
};

// Sums the column codes the page report counts for each compact record of a page.
CodeCounts report_codes(const std::string& report) {
    CodeCounts n;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(out of page)") != std::string::npos ||
            line.find("not decoded further") != std::string::npos ||
            line.find("the codes give") != std::string::npos || line.find("ends before") != std::string::npos)
            ++n.faults;
        if (line.find("(two bytes: ") != std::string::npos) ++n.two_byte_counts;
        const auto at = line.find("column codes, counted");
        if (at == std::string::npos) continue;
        ++n.records;
        unsigned null = 0, empty = 0, short_values = 0, long_values = 0, bit = 0, symbol = 0;
        std::sscanf(line.c_str() + at + 21, " %u NULL, %u empty, %u short, %u long, %u bit 1, %u symbol",
                    &null, &empty, &short_values, &long_values, &bit, &symbol);
        n.empty += empty;
        n.symbol += symbol;
    }
    return n;
}

// The page report takes the compact records of every data page apart, and shows that the compressed
// pages use what the tests above rely on: dictionary symbols, values equal to their anchor (an empty code),
// two-byte column counts.
TEST_F(CompressedTablesTest, PageReportShowsTheCompactRecordParts) {
    for (const std::string family : {"Typed", "Wide", "Times"}) {
        CodeCounts per_storage[2];
        for (int k = 0; k < 2; ++k) {
            const testing::BuiltTable* t = built_->table(family + kStorage[k + 1]);
            ASSERT_NE(t, nullptr);
            std::string reports;
            for (std::int32_t page : t->data_pages) {
                const ProgramRun run =
                    run_quenlow(*folder_, {"page", path(), std::to_string(page), "--records", "-q"});
                ASSERT_EQ(run.status, 0) << run.err;
                reports += run.out;
            }
            per_storage[k] = report_codes(reports);
            EXPECT_GT(per_storage[k].records, 0u) << family << kStorage[k + 1];
            EXPECT_EQ(per_storage[k].faults, 0u) << family << kStorage[k + 1];
            EXPECT_EQ(per_storage[k].two_byte_counts, family == "Wide" ? per_storage[k].records : 0u);
        }
        const CodeCounts& row = per_storage[0];
        const CodeCounts& page = per_storage[1];
        EXPECT_EQ(row.symbol, 0u) << family;
        EXPECT_GT(page.symbol, 0u) << family;
        // The time types are never empty in row compression (only Id 0 and the zero rowversion are): the
        // empty codes of the page-compressed pages are values equal to their anchor.
        if (family == "Times") {
            EXPECT_EQ(row.empty, 2u);
            EXPECT_GT(page.empty, page.records);
        }
    }
}

// Deleted rows: the records of slots 0 and 2 of the first page of each table are made deleted data
// records (type 6), in the 29-column table, the 140-column one and the time table.
TEST_F(CompressedTablesTest, DeletedCompressedRecordsShowAsUncompressedOnes) {
    Bytes image = built_->image;
    const std::vector<std::pair<std::string, std::size_t>> families = {
        {"Typed", 400}, {"Wide", 60}, {"Times", 300}};
    for (const auto& [family, count] : families)
        for (const char* storage : kStorage) {
            const testing::BuiltTable* t = built_->table(family + storage);
            ASSERT_NE(t, nullptr);
            const std::size_t page = static_cast<std::size_t>(t->data_pages.front()) * kPageSize;
            for (std::size_t slot : {0, 2}) {
                const std::size_t at = page + kPageSize - 2 - 2 * slot;
                const std::size_t offset = std::to_integer<std::size_t>(image[at]) |
                                           (std::to_integer<std::size_t>(image[at + 1]) << 8);
                image[page + offset] |= std::byte{0x0C};  // type 6
            }
        }
    const std::string deleted = folder_->file("deleted.mdf");
    testing::write_file(deleted, image);
    for (const auto& [family, count] : families)
        for (const std::vector<std::string>& mode :
             {std::vector<std::string>{}, {"--deleted"}, {"--deleted", "--advanced-deleted"}}) {
            const std::string plain = rows(deleted, family + "Plain", mode);
            EXPECT_EQ(line_count(plain), mode.empty() ? count - 1 : count + 1) << family;
            for (const char* storage : {"RowPacked", "PagePacked"})
                EXPECT_EQ(rows(deleted, family + storage, mode), plain)
                    << family << storage << " " << mode.size();
        }
}

}  // namespace
}  // namespace quenlow
