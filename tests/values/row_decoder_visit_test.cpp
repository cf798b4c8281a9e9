// The table decoders handing each row to a visitor: the same rows as the list form, in the same order,
// and no further record decoded once the visitor declines.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/row_decoder.h"
#include "tests/support/record_builder.h"
#include "tests/support/stored_column.h"

namespace quenlow {
namespace {

using testing::build_record;
using testing::Bytes;
using testing::PageAssembler;
using testing::RecordSpec;
using testing::TestDatabase;

using Texts = std::vector<std::vector<std::string>>;
using ListForm = std::vector<DecodedRow> (*)(const PrimaryRecordPage&, std::vector<ColumnDescriptor>&,
                                             DecodeContext&);
using VisitForm = void (*)(const PrimaryRecordPage&, std::vector<ColumnDescriptor>&, DecodeContext&,
                           const RowVisitor&);

struct Form {
    const char* name;
    ListForm list;
    VisitForm visit;
};
const Form kForms[] = {{"layout", &decode_table_page_layout, &decode_table_page_layout},
                       {"offsets", &decode_table_page_offsets, &decode_table_page_offsets}};

template <typename T>
Bytes le(T value) {
    Bytes out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

Bytes utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) {
        out.push_back(static_cast<std::byte>(c));
        out.push_back(std::byte{0});
    }
    return out;
}

ColumnDescriptor column(std::int32_t id, const std::string& type_text, std::int32_t type_code,
                        std::int16_t leaf_offset) {
    return testing::stored_column(id, type_text, type_code, leaf_offset);
}

// int, money, decimal(18,2), nvarchar(40): fixed values one after the other, then the name.
std::vector<ColumnDescriptor> table() {
    ColumnDescriptor name = column(4, "nvarchar(40)", kTypeNvarchar, -1);
    name.variable_length = true;
    ColumnDescriptor price = column(3, "decimal(9)", kTypeDecimal, 16);
    price.precision = 18;
    price.scale = 2;
    return {column(1, "int(4)", kTypeInt, 4), column(2, "money(8)", kTypeMoney, 8), price, name};
}

Bytes row(std::int32_t id, std::int64_t money, std::int64_t cents, const std::string& name) {
    RecordSpec blueprint;
    blueprint.fixed = le<std::int32_t>(id);
    for (const Bytes& part : {le<std::int64_t>(money), Bytes{std::byte{1}}, le<std::int64_t>(cents)})
        blueprint.fixed.insert(blueprint.fixed.end(), part.begin(), part.end());
    blueprint.column_count = 4;
    blueprint.variable = {{utf16(name)}};
    return build_record(blueprint);
}

class RowDecoderVisitTest : public ::testing::Test {
protected:
    TestDatabase database{testing::page_images(4, {})};
    EmptyLargeValueReader large;
    EmptyXmlConverter xml;

    std::unique_ptr<CDataPage> page() {
        // Long texts next to short ones: a text buffer handed on from record to record must not keep
        // the tail of a longer value.
        PageAssembler assembler;
        assembler.add_record(row(1, 123456789, 1999, "a name longer than the small string buffer"));
        assembler.add_record(row(-2, -5, 7, "x"));
        assembler.add_record(row(300000, 0, 123456789012, "another rather long name, with a comma"));
        assembler.add_record(row(4, 10000, 0, ""));
        return std::make_unique<CDataPage>(assembler.finish(), database.db());
    }
    static std::vector<std::string> texts_of(const DecodedRow& row) {
        std::vector<std::string> out;
        for (const ColumnDescriptor& d : row) out.push_back(d.value_text);
        return out;
    }
};

TEST_F(RowDecoderVisitTest, VisitorSeesTheRowsOfTheListFormInOrder) {
    const auto data = page();
    for (const Form& form : kForms) {
        DecodeContext list_context = make_decode_context(database.db(), large, xml);
        std::vector<ColumnDescriptor> list_schema = table();
        Texts expected;
        for (const DecodedRow& r : form.list(*data, list_schema, list_context))
            expected.push_back(texts_of(r));
        ASSERT_EQ(expected.size(), 4u) << form.name;
        EXPECT_EQ(expected[1], (std::vector<std::string>{"-2", "-0.0005", "0.07", "x"})) << form.name;

        DecodeContext visit_context = make_decode_context(database.db(), large, xml);
        std::vector<ColumnDescriptor> schema = table();
        Texts seen;
        form.visit(*data, schema, visit_context, [&](const DecodedRow& r) {
            EXPECT_EQ(&r, &schema) << "the row buffer itself is handed over";
            seen.push_back(texts_of(r));
            return true;
        });
        EXPECT_EQ(seen, expected) << form.name;
    }
}

TEST_F(RowDecoderVisitTest, DecliningVisitorStopsTheRecordLoop) {
    const auto data = page();
    for (const Form& form : kForms) {
        for (std::size_t wanted : {std::size_t{1}, std::size_t{2}, std::size_t{4}}) {
            DecodeContext context = make_decode_context(database.db(), large, xml);
            std::vector<ColumnDescriptor> schema = table();
            std::size_t visits = 0;
            form.visit(*data, schema, context, [&](const DecodedRow&) { return ++visits < wanted; });
            EXPECT_EQ(visits, wanted) << form.name;
            // The buffer holds the last row handed over; the records after it were not decoded.
            EXPECT_EQ(schema[0].value_text, (std::vector<std::string>{"1", "-2", "300000", "4"})[wanted - 1])
                << form.name << " " << wanted;
        }
    }
}

}  // namespace
}  // namespace quenlow
