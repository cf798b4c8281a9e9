// quenlow-make-rows-db OUT_PATH [ROWS]: writes a database (2005-and-later layout) with one table,
// "Rows", of ROWS rows (default 1,000,000) for the row path benchmark:
//
//   Id int (primary key), Name nvarchar(40) NULL, Created datetime, Amount money, Active bit,
//   Price decimal(18,2)
//
// The rows come from a fixed pseudo-random sequence, so every run writes the same file. About one name
// in 50 holds a comma or a double quote (quoted in CSV) and one in 20 is NULL.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"

namespace {

using quenlow::testing::DatabaseSpec;
using quenlow::testing::SqlType;
using quenlow::testing::Value;

class Sequence {
public:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t state_ = 19970412;
};

const std::array<const char*, 10> kWords = {"Chai", "Chang",   "Syrup",  "Cajun",   "Gumbo",
                                            "Tofu", "Pavlova", "Scones", "Gnocchi", "Ikura"};

std::string cents(std::int64_t value) {
    const std::int64_t magnitude = value < 0 ? -value : value;
    const std::int64_t c = magnitude % 100;
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += c < 10 ? ".0" : ".";
    text += std::to_string(c);
    return text;
}

DatabaseSpec rows_database(long rows) {
    DatabaseSpec db;
    db.name = "RowsBench";
    auto& t = db.add_table("Rows");
    t.add_column("Id", SqlType::Int);
    t.add_column("Name", SqlType::NVarChar, 40, true);
    t.add_column("Created", SqlType::DateTime);
    t.add_column("Amount", SqlType::Money);
    t.add_column("Active", SqlType::Bit);
    t.add_decimal("Price", 18, 2);
    t.primary_key({"Id"});
    Sequence seq;
    for (long i = 1; i <= rows; ++i) {
        std::string name =
            std::string(kWords[static_cast<std::size_t>(seq.below(10))]) + " item " + std::to_string(i);
        const int shape = seq.below(100);
        if (shape == 0) name += ", boxed";
        if (shape == 1) name += " \"special\"";
        t.add_row({Value::integer(i), shape >= 95 ? Value::null() : Value::text(name),
                   Value::datetime(1995 + seq.below(30), 1 + seq.below(12), 1 + seq.below(28), seq.below(24),
                                   seq.below(60), seq.below(60), 10 * seq.below(100)),
                   Value::decimal(cents(seq.below(100000000) - 20000000)), Value::boolean(seq.below(2) == 0),
                   Value::decimal(cents(std::int64_t{seq.below(1000000)} * 1000 + seq.below(1000)))});
    }
    return db;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: quenlow-make-rows-db OUT_PATH [ROWS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const long rows = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 1000000;
    if (rows < 0) {
        std::fprintf(stderr, "ROWS must not be negative\n");
        return 2;
    }
    try {
        const auto built = quenlow::testing::build_database_image(rows_database(rows));
        quenlow::testing::write_file(path, built.image);
        const auto* table = built.table("Rows");
        std::printf("%s: %d pages, table Rows: %zu rows on %zu pages\n", path.c_str(), built.page_count,
                    table != nullptr ? table->row_count : 0, table != nullptr ? table->data_pages.size() : 0);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot build the database: %s\n", e.what());
        return 1;
    }
}
