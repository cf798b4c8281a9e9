#include "fuzz/fuzz_seeds.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "engine/pages/page_address.h"
#include "fuzz/fuzz_targets.h"
#include "tests/support/binary_xml_writer.h"
#include "tests/support/catalog_page_builder.h"
#include "tests/support/database_builder.h"
#include "tests/support/lob_builder.h"

namespace quenlow::fuzz {

namespace {

using testing::Layout;
using testing::SqlType;
using testing::Value;

// Page header fields the seeds are sorted by.
constexpr std::size_t kTypeOffset = 1;
constexpr std::size_t kObjectIdOffset = 24;

std::uint8_t page_type(const std::byte* page) { return std::to_integer<std::uint8_t>(page[kTypeOffset]); }

std::int32_t page_object(const std::byte* page) {
    std::int32_t id = 0;
    for (int i = 3; i >= 0; --i) id = (id << 8) | std::to_integer<std::int32_t>(page[kObjectIdOffset + i]);
    return id;
}

Seed with_prefix(std::initializer_list<std::uint8_t> prefix, const std::byte* bytes, std::size_t n) {
    Seed seed;
    for (std::uint8_t b : prefix) seed.push_back(std::byte{b});
    seed.insert(seed.end(), bytes, bytes + n);
    return seed;
}

// A small database with one table of every common type (LOB values among them), a compressed table of
// each kind, a view and a procedure.
testing::DatabaseSpec seed_database(Layout layout) {
    testing::DatabaseSpec db;
    db.layout = layout;
    auto& kinds = db.add_table("Kinds");
    kinds.add_column("Id", SqlType::Int);
    kinds.add_column("Code", SqlType::Char, 5);
    kinds.add_column("Born", SqlType::DateTime);
    kinds.add_decimal("Price", 18, 2);
    kinds.add_column("Flag", SqlType::Bit);
    kinds.add_column("Other", SqlType::Bit);
    kinds.add_column("Name", SqlType::NVarChar, 40, true);
    kinds.add_column("Notes", SqlType::VarChar, 200, true);
    kinds.add_column("Story", SqlType::Text, 0, true);
    kinds.add_column("Picture", SqlType::Image, 0, true);
    kinds.primary_key({"Id"});
    for (int i = 1; i <= 40; ++i) {
        const bool big = i % 10 == 0;
        kinds.add_row({Value::integer(i), Value::text("C" + std::to_string(i)), Value::datetime(2000 + i % 20, 1 + i % 12, 1 + i % 28, i % 24),
                       Value::decimal(std::to_string(i * 101) + ".25"), Value::boolean(i % 2 == 0), Value::boolean(i % 3 == 0),
                       i % 7 == 0 ? Value::null() : Value::text("name " + std::to_string(i)),
                       Value::text(std::string(static_cast<std::size_t>(i * 3), 'n')),
                       Value::text(std::string(big ? 9000 : 30, 's')),
                       Value::binary(Seed(big ? 8500 : 12, std::byte{0xAB}))});
    }
    if (layout == Layout::k2005) {
        for (auto compression : {testing::Compression::Row, testing::Compression::Page}) {
            auto& t = db.add_table(compression == testing::Compression::Row ? "RowPacked" : "PagePacked");
            t.compression = compression;
            t.add_column("Id", SqlType::BigInt);
            t.add_column("Label", SqlType::NVarChar, 30, true);
            t.add_column("Amount", SqlType::Money);
            t.add_column("Stamp", SqlType::DateTime2);
            for (int i = 1; i <= 300; ++i)
                t.add_row({Value::integer(i * 1000), Value::text("label " + std::to_string(i % 9)),
                           Value::decimal(std::to_string(i) + ".5"), Value::datetime(2016, 1 + i % 12, 1 + i % 28)});
        }
    }
    db.add_view("Cheap", "CREATE VIEW Cheap AS SELECT Id FROM Kinds WHERE Price < 10");
    db.add_procedure("Touch", "CREATE PROCEDURE Touch AS UPDATE Kinds SET Flag = 1");
    return db;
}

const std::vector<Seed>& seed_images() {
    static const std::vector<Seed> images = {testing::build_database(seed_database(Layout::k2005)),
                                             testing::build_database(seed_database(Layout::k2000))};
    return images;
}

Seed binary_xml_document() {
    testing::BinaryXmlWriter w;
    const auto root = w.qname("order");
    const auto id = w.qname("id");
    w.element(root).attribute(id).nvarchar("42").end_attributes();
    w.comment("c").nvarchar("text & more").decimal(0x0A, 10, 2, true, 12345);
    w.end_element();
    return w.bytes();
}

}  // namespace

void add_page_seeds(std::string_view target, const std::vector<std::byte>& image, std::size_t per_type,
                    std::vector<Seed>& out) {
    const std::size_t pages = image.size() / kPageSize;
    const auto page_at = [&](std::size_t i) { return image.data() + i * kPageSize; };
    std::map<std::uint8_t, std::size_t> taken;
    const auto take = [&](std::uint8_t type) { return taken[type]++ < per_type; };
    if (target == "page_header") {
        for (std::size_t i = 0; i < pages; ++i)
            if (take(page_type(page_at(i)))) out.push_back(with_prefix({}, page_at(i), kPageSize));
    } else if (target == "record_page" || target == "row_decoder") {
        for (std::size_t i = 0; i < pages; ++i) {
            if (page_type(page_at(i)) != 1 || page_object(page_at(i)) <= 100 || !take(1)) continue;
            if (target == "record_page") {
                out.push_back(with_prefix({0}, page_at(i), kPageSize));
                out.push_back(with_prefix({0x07}, page_at(i), kPageSize));
            } else {
                out.push_back(with_prefix({0, static_cast<std::uint8_t>(taken[1])}, page_at(i), kPageSize));
            }
        }
    } else if (target == "text_page" || target == "large_value") {
        for (std::size_t i = 0; i < pages; ++i) {
            const std::uint8_t type = page_type(page_at(i));
            if ((type != 3 && type != 4) || !take(type)) continue;
            out.push_back(with_prefix({0, 0, 0}, page_at(i), kPageSize));
            if (target == "text_page") out.back().erase(out.back().begin() + 1, out.back().begin() + 3);
        }
    } else if (target == "boot_page") {
        if (pages > 9) out.push_back(with_prefix({0}, page_at(9), kPageSize));
    } else if (target == "allocation") {
        out.push_back(with_prefix({0}, image.data(), std::min<std::size_t>(pages, 24) * kPageSize));
        for (std::size_t i = 24; i < pages; ++i) {
            if (page_type(page_at(i)) != 10 || !take(10)) continue;
            // An IAM page in the middle of the file, with the pages after it.
            out.push_back(with_prefix({0}, page_at(i), std::min<std::size_t>(pages - i, 24) * kPageSize));
        }
    } else if (target == "catalog") {
        out.push_back(with_prefix({0}, image.data(), std::min<std::size_t>(pages, 64) * kPageSize));
    } else if (target == "whole_database") {
        out.push_back(with_prefix({0}, image.data(), image.size()));
        out.push_back(with_prefix({0x07}, image.data(), image.size()));
    }
}

std::vector<Seed> builder_seeds(std::string_view target) {
    std::vector<Seed> out;
    for (const Seed& image : seed_images()) add_page_seeds(target, image, 4, out);
    if (target == "large_value") {
        // A text pointer and an in-row root, each over the LOB pages a store laid out from page 1.
        testing::LobStore store(1, Layout::k2005);
        const Seed pointer = store.text_pointer_value(Seed(20000, std::byte{0x5A}));
        const Seed root = store.in_row_root_value(testing::utf16le("an nvarchar(max) value that is kept off the row"));
        Seed pages;
        for (const auto& [id, page] : store.pages()) {
            pages.resize(static_cast<std::size_t>(id - 1) * kPageSize);
            pages.insert(pages.end(), page.begin(), page.begin() + static_cast<std::ptrdiff_t>(kPageSize));
        }
        for (const auto& [selector, item] : {std::pair{26, pointer}, std::pair{12, root}, std::pair{16 | 0x40, root}}) {
            Seed seed = {std::byte{0}, static_cast<std::byte>(selector), static_cast<std::byte>(item.size())};
            seed.insert(seed.end(), item.begin(), item.end());
            seed.insert(seed.end(), pages.begin(), pages.end());
            out.push_back(std::move(seed));
        }
    } else if (target == "value_format") {
        // Each column type over stored bytes of the lengths the types take, as ordinary values (even
        // lengths) and as compact ones (odd lengths).
        for (std::uint8_t type = 0; type < 33; ++type) {
            for (std::size_t n : {1, 3, 4, 8, 10, 16, 17}) {
                Seed seed = {std::byte{type}, n % 2 == 0 ? std::byte{0} : std::byte{4}};
                for (std::size_t i = 0; i < n; ++i) seed.push_back(static_cast<std::byte>(i * 37 + 1));
                out.push_back(std::move(seed));
            }
        }
    } else if (target == "binary_xml") {
        out.push_back(binary_xml_document());
    }
    return out;
}

}  // namespace quenlow::fuzz
