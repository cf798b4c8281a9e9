#include "tests/support/catalog_fixture.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quenlow::test {

namespace {

constexpr const char* kImagePath = "/db/catalog.mdf";

void put32(std::vector<std::byte>& image, std::size_t offset, std::uint32_t value) {
    std::memcpy(image.data() + offset, &value, sizeof value);
}

std::vector<std::byte> make_image(const std::vector<ImagePage>& pages, std::uint32_t page_count) {
    page_count = std::max<std::uint32_t>(page_count, 16);
    std::vector<std::byte> image(std::size_t{page_count} * kPageSize);
    auto header = [&](std::uint32_t index, std::int32_t object_id, std::uint8_t type) {
        const std::size_t base = std::size_t{index} * kPageSize;
        image[base + 1] = std::byte{type};
        put32(image, base + 24, static_cast<std::uint32_t>(object_id));
        put32(image, base + 32, index);
        image[base + 36] = std::byte{1};  // file id 1
    };
    header(8, 0, 0);  // a page whose header page id matches its position settles the leading offset
    for (const ImagePage& p : pages)
        if (p.page_index < page_count) header(p.page_index, p.object_id, p.page_type);
    return image;
}

}  // namespace

CatalogFixture::CatalogFixture(std::vector<ImagePage> pages, std::uint32_t page_count) {
    files_.add_file(kImagePath, make_image(pages, page_count));
    database_ = OpenedDatabase::open(kImagePath, ReadOptions{}, {state_, events_, files_});
    catalog_ = std::make_unique<SystemCatalog>(*database_);
}

SchemaObjectRow object_row(std::int32_t id, std::string name, std::string type, std::int32_t parent) {
    SchemaObjectRow r;
    r.object_id = id;
    r.name = std::move(name);
    r.type = std::move(type);
    r.parent_object_id = parent;
    r.schema_id = 1;
    r.status = 0;
    return r;
}

ColumnParamRow column_row(std::int32_t object_id, std::int32_t column_id, std::string name,
                          std::uint8_t system_type_id, std::int16_t length, std::int32_t status) {
    ColumnParamRow r;
    r.object_id = object_id;
    r.number = 0;
    r.column_id = column_id;
    r.name = std::move(name);
    r.system_type_id = system_type_id;
    r.user_type_id = system_type_id;
    r.length = length;
    r.precision = 0;
    r.scale = 0;
    r.collation_id = 0;
    r.status = status;
    return r;
}

RowsetRow rowset_row(std::int64_t rowset_id, std::int32_t object_id, std::int32_t index_id,
                     std::int32_t partition) {
    RowsetRow r;
    r.rowset_id = rowset_id;
    r.object_id = object_id;
    r.index_id = index_id;
    r.partition_number = partition;
    return r;
}

AllocationUnitRow allocation_unit_row(std::int32_t object_number, std::int64_t owner_id, std::uint8_t type,
                                      PageAddress first_page) {
    AllocationUnitRow r;
    r.allocation_unit_id =
        static_cast<std::int64_t>(std::uint64_t{static_cast<std::uint32_t>(object_number)} << 16);
    r.type = type;
    r.owner_id = owner_id;
    r.first_page = first_page;
    return r;
}

RowsetColumnRow rowset_column_row(std::int64_t rowset_id, std::int32_t rowset_column_id,
                                  std::int32_t physical_column_id, std::int32_t leaf_offset,
                                  std::int32_t null_bit) {
    RowsetColumnRow r;
    r.rowset_id = rowset_id;
    r.rowset_column_id = rowset_column_id;
    r.physical_column_id = physical_column_id;
    r.leaf_offset = leaf_offset;
    r.null_bit = null_bit;
    return r;
}

void add_builtin_types(SystemCatalog& catalog) {
    static constexpr std::pair<std::uint8_t, const char*> kBuiltins[] = {
        {34, "image"},         {35, "text"},        {36, "uniqueidentifier"},
        {40, "date"},          {41, "time"},        {42, "datetime2"},
        {48, "tinyint"},       {52, "smallint"},    {56, "int"},
        {58, "smalldatetime"}, {59, "real"},        {60, "money"},
        {61, "datetime"},      {62, "float"},       {98, "sql_variant"},
        {99, "ntext"},         {104, "bit"},        {106, "decimal"},
        {108, "numeric"},      {122, "smallmoney"}, {127, "bigint"},
        {165, "varbinary"},    {167, "varchar"},    {173, "binary"},
        {175, "char"},         {189, "timestamp"},  {231, "nvarchar"},
        {239, "nchar"},        {241, "xml"},
    };
    for (const auto& [id, name] : kBuiltins) {
        ScalarTypeRow t;
        t.type_id = id;
        t.schema_id = 4;
        t.name = name;
        t.system_type_id = id;
        catalog.types.push_back(t);
    }
}

void add_int_table(SystemCatalog& catalog, std::int32_t object_id, const std::string& name, int columns) {
    const std::int64_t rowset_id = std::int64_t{object_id} * 1000;
    catalog.objects.push_back(object_row(object_id, name, "U "));
    catalog.rowsets.push_back(rowset_row(rowset_id, object_id, 0));
    catalog.allocation_units.push_back(allocation_unit_row(object_id, rowset_id));
    for (int c = 1; c <= columns; ++c) {
        catalog.columns.push_back(column_row(object_id, c, "c" + std::to_string(c), 56, 4));
        catalog.rowset_columns.push_back(rowset_column_row(rowset_id, c, c, 4 * c, c));
    }
}

}  // namespace quenlow::test
