// The large value reader over LOB pages of an in-memory file: joining fragments, the text of each column
// kind, and damaged structures that must end quickly with the empty texts.

#include "engine/values/lob_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/value_format.h"
#include "tests/support/lob_builder.h"
#include "tests/support/record_builder.h"
#include "tests/support/sql_value.h"
#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::LobLinkSpec;
using testing::LobStore;
using testing::PageAssembler;
using testing::TestDatabase;

constexpr std::int32_t kFirstLobPage = 10;

Bytes pattern(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::byte>('a' + i % 26);
    return out;
}

std::string as_text(const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A file whose LOB pages come from a store, plus hand-made pages.
class LobReaderTest : public ::testing::Test {
protected:
    LobStore store{kFirstLobPage, testing::Layout::k2005};
    std::vector<std::pair<std::size_t, PageBuffer>> extra;
    std::unique_ptr<TestDatabase> database;
    LobValueReader reader;

    // A page of fragment records at page id `page_id`.
    void add_page(std::int32_t page_id, const std::vector<Bytes>& records) {
        PageAssembler page(3, page_id);
        for (const Bytes& r : records) page.add_record(r);
        extra.emplace_back(static_cast<std::size_t>(page_id), page.finish());
    }
    void open() {
        std::vector<std::pair<std::size_t, PageBuffer>> pages = std::move(extra);
        std::size_t count = 16;
        for (auto& [id, page] : store.pages())
            pages.emplace_back(static_cast<std::size_t>(id), std::move(page));
        for (const auto& p : pages) count = std::max(count, p.first + 1);
        database = std::make_unique<TestDatabase>(testing::page_images(count, std::move(pages)));
    }
    LargeValueRequest request(const Bytes& item, LargeValueFlags flags = {}) {
        LargeValueRequest r;
        r.item = item;
        r.flags = flags;
        r.database = &database->db();
        return r;
    }
    std::string root(const Bytes& item, LargeValueFlags flags = {}, XmlPieces* pieces = nullptr) {
        return reader.read_large_value(request(item, flags), pieces);
    }
    std::string pointer(const Bytes& item, LargeValueFlags flags = {}, XmlPieces* pieces = nullptr) {
        return reader.read_through_text_pointer(request(item, flags), pieces);
    }
};

constexpr LargeValueFlags kBinary{true, false, false};
constexpr LargeValueFlags kVariant{false, true, false};
constexpr LargeValueFlags kUnicode{false, false, true};

TEST_F(LobReaderTest, InRowRootJoinsItsDataFragmentsInPointerOrder) {
    const Bytes value = pattern(20000);
    const Bytes item = store.in_row_root_value(value);
    ASSERT_EQ(item.size(), 12u + 3 * 12);  // three fragments: 8040, 8040, 3920
    open();
    EXPECT_EQ(root(item), as_text(value));
    EXPECT_EQ(read_large_value_bytes(database->db(), item), value);
}

TEST_F(LobReaderTest, TextPointerReadsSmallRootsAndLargeRoots) {
    const Bytes short_value = testing::text_bytes("short text");
    const Bytes long_value = pattern(17000);
    const Bytes small = store.text_pointer_value(short_value);
    const Bytes large = store.text_pointer_value(long_value);
    open();
    EXPECT_EQ(pointer(small), "short text");
    EXPECT_EQ(pointer(large), as_text(long_value));
    EXPECT_EQ(read_large_value_bytes(database->db(), large), long_value);
}

// Unicode values are joined before they are decoded: characters above U+00FF survive, also when a
// fragment boundary cuts a UTF-16 unit or a surrogate pair in two.
TEST_F(LobReaderTest, UnicodeValuesKeepEveryCharacter) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "Grüße Ωμέγα 日本語 😀 ";
    const Bytes stored = testing::utf16_bytes(text);
    const Bytes odd_root = store.in_row_root_value(stored, 1001);
    const Bytes ntext_large = store.text_pointer_value(stored);
    const Bytes ntext_small = store.text_pointer_value(testing::utf16_bytes("Ωμέγα"));
    const Bytes latin = store.in_row_root_value(testing::utf16_bytes("Hello Zoë"));
    open();
    EXPECT_EQ(root(odd_root, kUnicode), text);
    EXPECT_EQ(pointer(ntext_large, kUnicode), text);
    EXPECT_EQ(pointer(ntext_small, kUnicode), "Ωμέγα");
    // Characters below 256 read the same as the 8-bit narrowing would show them.
    EXPECT_EQ(root(latin, kUnicode), "Hello Zoë");
}

TEST_F(LobReaderTest, BinaryVariantAndEightBitFragments) {
    const Bytes sixteen = testing::bytes_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xFF});
    std::vector<LobLinkSpec> data = store.add_data(sixteen);
    const LobLinkSpec large = store.add_fragment(testing::large_root_fragment(1, data));
    const Bytes image = testing::text_pointer(large.page, large.slot);
    // An image whose small root is half zeros stays as stored: hex of the original bytes.
    const Bytes half_zero_image = store.text_pointer_value(testing::bytes_of({0x41, 0, 0x42, 0}));
    // A text small root whose bytes are half zeros is UTF-16 and narrowed.
    const Bytes narrowed = store.text_pointer_value(testing::bytes_of({'a', 0, 'b', 0, 'c', 0}));
    const Bytes variant = store.in_row_root_value(
        testing::concat({testing::bytes_of({167, 1, 0x1e, 0, 0, 0, 0, 0}), testing::text_bytes("xyz")}));
    const Bytes euro = store.in_row_root_value(testing::bytes_of({0x80, '1', 0, 'z'}));
    open();
    EXPECT_EQ(pointer(image, kBinary), "000102030405060708090A0B0C0D0EFF");
    EXPECT_EQ(pointer(half_zero_image, kBinary), "41004200");
    EXPECT_EQ(pointer(narrowed), "abc");
    EXPECT_EQ(root(variant, kVariant), "xyz");
    // 8-bit text stops at a zero byte and converts from the code page (1252 without a context).
    EXPECT_EQ(root(euro), "€1");
}

TEST_F(LobReaderTest, EightBitTextUsesTheDecodersCodePage) {
    const Bytes item = store.in_row_root_value(testing::bytes_of({0xC0, 0xC1}));
    open();
    FormatContext format{database->state(), 1251};
    ColumnDescriptor column;
    column.type_code = kTypeVarchar;
    LargeValueRequest r = request(item);
    r.format = &format;
    r.column = &column;
    EXPECT_EQ(reader.read_large_value(r, nullptr), "АБ");
}

TEST_F(LobReaderTest, RootPointersOfSizeZeroAreSkippedAndHugeFileIdsReadThePrimaryFile) {
    std::vector<LobLinkSpec> links = store.add_data(testing::text_bytes("one"));
    std::vector<LobLinkSpec> more = store.add_data(testing::text_bytes("two"));
    std::vector<LobLinkSpec> third = store.add_data(testing::text_bytes("three"));
    links[0].page.file_id = 1500;
    more[0].size = 0;
    open();
    EXPECT_EQ(root(testing::root_item(2, {links[0], more[0], third[0]})), "onethree");
}

TEST_F(LobReaderTest, XmlValuesCollectOnePiecePerFragment) {
    const Bytes item = store.in_row_root_value(pattern(9000));
    open();
    XmlPieces pieces;
    EXPECT_EQ(root(item, {}, &pieces), "");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 8040u);
    EXPECT_EQ(pieces[1].size(), 960u);
}

TEST_F(LobReaderTest, InternalNodesAreReadDepthFirstInLinkOrder) {
    std::vector<LobLinkSpec> a = store.add_data(testing::text_bytes("A"));
    std::vector<LobLinkSpec> b = store.add_data(testing::text_bytes("B"));
    std::vector<LobLinkSpec> c = store.add_data(testing::text_bytes("C"));
    const LobLinkSpec inner = store.add_fragment(testing::internal_fragment(1, {b[0], c[0]}));
    const LobLinkSpec top = store.add_fragment(testing::internal_fragment(1, {a[0], inner}, 1));
    const LobLinkSpec large = store.add_fragment(testing::large_root_fragment(1, {top}));
    open();
    EXPECT_EQ(pointer(testing::text_pointer(large.page, large.slot)), "ABC");
}

// Fragments that cannot be read give the empty texts and never a crash or an endless read: an empty text
// through a root, one blank through a text pointer whose fragment exists but holds nothing readable.
TEST_F(LobReaderTest, DamagedStructuresGiveTheEmptyTexts) {
    const std::int32_t p = 3;  // a page of hand-made fragments
    const Bytes data = testing::data_fragment(1, testing::text_bytes("data"));
    const LobLinkSpec data_link{{1, p}, 0, 4};
    const LobLinkSpec self_link{{1, p}, 1, 0};
    const LobLinkSpec other_root{{1, p}, 2, 0};
    std::vector<Bytes> records = {
        data,                                                              // 0
        testing::large_root_fragment(1, {self_link, self_link}),           // 1 links to itself
        testing::large_root_fragment(1, {{{1, p}, 3, 0}, data_link}),      // 2 -> 3, data
        testing::large_root_fragment(1, {other_root, data_link}),          // 3 -> 2, data
        testing::internal_fragment(1, {data_link}, 0, 300),                // 4 declares 300 links
        testing::lob_fragment(1, 3, {}),                                   // 5 data of 0 bytes
        testing::bytes_of({0x08, 0, 12, 0, 1, 2, 3, 4, 5, 6, 7, 8}),       // 6 8 LOB bytes
        testing::lob_fragment(1, 1, testing::text_bytes("type one")),      // 7 unknown type
        testing::internal_fragment(1, {data_link, data_link, data_link}),  // 8 the same link thrice
        testing::small_root_fragment(1, testing::text_bytes("ab"), 9000),  // 9 length past its bytes
        testing::bytes_of({0x08, 0, 0x10, 0x27}),                          // 10 end past the page
    };
    add_page(p, records);
    // A chain of 20 internal nodes on page 4, each linking the next; the last links the data.
    std::vector<Bytes> chain;
    for (std::uint16_t i = 0; i < 20; ++i)
        chain.push_back(testing::internal_fragment(
            1, {i + 1 < 20 ? LobLinkSpec{{1, 4}, static_cast<std::uint16_t>(i + 1), 0} : data_link}));
    add_page(4, chain);
    open();

    // The texts, and whether the value is marked cut: a pointer that leads nowhere, a link met again or
    // too deep, a fragment that is no LOB structure.
    struct Case {
        const char* what;
        Bytes pointer;
        std::string text;
        bool cut;
    };
    const Case cases[] = {
        {"page past the end of the file", testing::text_pointer({1, 5000}, 0), "", true},
        {"page in an unknown file", testing::text_pointer({7, p}, 0), "", true},
        {"zero page (no slots)", testing::text_pointer({1, 12}, 0), "", true},
        {"slot out of range", testing::text_pointer({1, p}, 40), "", true},
        {"large root linking itself", testing::text_pointer({1, p}, 1), " ", true},
        {"two large roots linking each other", testing::text_pointer({1, p}, 2), "data", true},
        {"internal node declaring more links than it holds", testing::text_pointer({1, p}, 4), "data", false},
        {"data fragment without bytes", testing::text_pointer({1, p}, 5), " ", false},
        {"fragment of 8 LOB bytes", testing::text_pointer({1, p}, 6), " ", true},
        {"unknown LOB type", testing::text_pointer({1, p}, 7), " ", true},
        {"a fragment linked thrice is read once", testing::text_pointer({1, p}, 8), "data", true},
        {"small root length past its bytes", testing::text_pointer({1, p}, 9), " ", true},
        {"record end past the page", testing::text_pointer({1, p}, 10), "", true},
        {"links deeper than the depth limit", testing::text_pointer({1, 4}, 0), " ", true},
        {"pointer shorter than 16 bytes", testing::bytes_of({0, 0, 0}), "", true},
        {"a whole value", testing::text_pointer({1, p}, 0), "data", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pointer(c.pointer), c.text) << c.what;
        EXPECT_EQ(reader.last_value_cut(), c.cut) << c.what;
    }

    // Through a root, the same fragments contribute nothing; the readable ones are still joined.
    EXPECT_EQ(root(testing::root_item(2, {{{1, p}, 6, 1}, {{1, p}, 7, 1}, {{1, 5000}, 0, 1}, data_link})),
              "data");
    EXPECT_TRUE(reader.last_value_cut());
    EXPECT_EQ(root(testing::root_item(4, {{{1, p}, 1, 1}, {{1, p}, 40, 1}})), "");
    EXPECT_TRUE(reader.last_value_cut());
    EXPECT_EQ(root(testing::root_item(2, {data_link})), "data");
    EXPECT_FALSE(reader.last_value_cut());
    // A root item too short for a whole pointer reads nothing.
    EXPECT_EQ(root(testing::bytes_of({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0})), "");
    // A page built from bytes alone has no database to read from: nothing is read, nothing is cut.
    LargeValueRequest no_database = request(testing::text_pointer({1, p}, 0));
    no_database.database = nullptr;
    EXPECT_EQ(reader.read_through_text_pointer(no_database, nullptr), "");
    EXPECT_FALSE(reader.last_value_cut());
}

TEST_F(LobReaderTest, TheStopFlagEndsTheRead) {
    const Bytes item = store.in_row_root_value(pattern(30000));
    open();
    database->state().stop = true;
    EXPECT_EQ(root(item), "");
    EXPECT_FALSE(reader.last_value_cut());  // a value ended by the stop flag is not damaged
    database->state().stop = false;
    EXPECT_EQ(root(item).size(), 30000u);
}

}  // namespace
}  // namespace quenlow
