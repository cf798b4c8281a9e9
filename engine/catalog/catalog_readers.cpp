#include "engine/catalog/catalog_readers.h"

#include "engine/pages/text_codec.h"

#include <fmt/format.h>

#include <cctype>
#include <set>

#include "engine/pages/opened_database.h"

namespace quenlow {

namespace {

namespace S = system_object;

constexpr std::size_t kFileRowNeeded = 520;
constexpr std::size_t kObjectRowNeeded = 20;
constexpr std::size_t kLegacyParentNeeded = 28;
constexpr std::size_t kAllocationUnitNeeded = 39;
constexpr std::size_t kRowsetNeeded = 27;
constexpr std::size_t kColumnNeeded = 37;
constexpr std::size_t kTypeNeeded = 34;
constexpr std::size_t kRowsetColumnNeeded = 48;
constexpr std::size_t kIndexRowNeeded = 27;
constexpr std::size_t kIndexColumnNeeded = 21;

// The column status of an identity column that keeps its two numbers in its second variable column.
constexpr std::int32_t kIdentityColumnStatus = 5;

// Database file rows: status, file id and two fixed-width UTF-16 names.
//   offset | size | field
//        0 |    4 | status
//        4 |    2 | file id
//        6 |  256 | logical name (128 units, padded)
//      262 |  520 | physical file name (260 units, padded)
namespace file_row {
constexpr std::size_t kStatus = 0;
constexpr std::size_t kFileId = 4;
constexpr std::size_t kLogicalName = 6;
constexpr std::size_t kLogicalNameBytes = 256;
constexpr std::size_t kPhysicalName = 262;
constexpr std::size_t kPhysicalNameBytes = 520;
}  // namespace file_row

// Object rows (fixed part); the name is variable column 1. Current layout:
//   offset | size | field
//        0 |    4 | object id
//        4 |    4 | schema id
//        8 |    1 | namespace class
//        9 |    4 | status
//       13 |    2 | type code (two one-byte characters)
//       15 |    4 | parent object id
//       19 |    1 | parent class
//       20 |    4 | integer property
// The legacy layout keeps the object id at 0 but holds the owning user id (2 bytes) at 8, the type
// code at 4 and the parent object id at 24 (at 15 in a fixed part shorter than 28 bytes).
namespace object_row {
constexpr std::size_t kObjectId = 0;
constexpr std::size_t kSchemaId = 4;
constexpr std::size_t kNamespaceClass = 8;
constexpr std::size_t kStatus = 9;
constexpr std::size_t kTypeCode = 13;
constexpr std::size_t kParentObjectId = 15;
constexpr std::size_t kParentClass = 19;
constexpr std::size_t kIntegerProperty = 20;
constexpr std::size_t kLegacyTypeCode = 4;
constexpr std::size_t kLegacyOwner = 8;
constexpr std::size_t kLegacyParentObjectId = 24;
}  // namespace object_row

// Class object rows (fixed part): a one-byte class, then the id; a schema row has class 50.
//   offset | size | field
//        0 |    1 | class
//        1 |    4 | id (the schema id for a schema row)
namespace class_object_row {
constexpr std::size_t kClass = 0;
constexpr std::size_t kId = 1;
constexpr std::size_t kNeeded = 5;
}  // namespace class_object_row

// Legacy user rows (fixed part): the user id (2 bytes) at 0; the name is variable column 1.
namespace legacy_user_row {
constexpr std::size_t kUserId = 0;
}  // namespace legacy_user_row

std::string padded_name(const FixedData& fixed, std::size_t offset, std::size_t length) {
    auto bytes = fixed.slice(offset, length);
    if (!bytes) return {};
    std::string name = utf16le_to_utf8(*bytes);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name;
}

// A two-character type code, each byte widened to a character; a zero byte ends it.
std::string type_code(const FixedData& fixed, std::size_t offset) {
    auto bytes = fixed.slice(offset, 2);
    if (!bytes) return {};
    std::string code;
    for (std::byte b : *bytes) {
        const auto c = std::to_integer<unsigned char>(b);
        if (c == 0) break;
        if (c < 0x80) {
            code += static_cast<char>(c);
        } else {
            code += static_cast<char>(0xC0 | (c >> 6));
            code += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return code;
}

// Allocation unit rows (fixed part). A page address is the page id then the file id.
//   offset | size | field
//        0 |    8 | allocation unit id
//        8 |    1 | type
//        9 |    8 | owner id
//       17 |    4 | status
//       21 |    2 | filegroup id
//       23 |    6 | first page
//       29 |    6 | root page
//       35 |    6 | first iam page
namespace allocation_unit_row {
constexpr std::size_t kAllocationUnitId = 0;
constexpr std::size_t kType = 8;
constexpr std::size_t kOwnerId = 9;
constexpr std::size_t kStatus = 17;
constexpr std::size_t kFilegroupId = 21;
constexpr std::size_t kFirstPage = 23;
constexpr std::size_t kRootPage = 29;
constexpr std::size_t kFirstIamPage = 35;
}  // namespace allocation_unit_row

// Rowset rows (fixed part); the object id and index id are the major and minor ids.
//   offset | size | field
//        0 |    8 | rowset id
//        8 |    1 | owner type
//        9 |    4 | object id
//       13 |    4 | index id
//       17 |    4 | partition number
//       21 |    4 | status
//       25 |    2 | filegroup id
//       27 |    8 | row count
namespace rowset_row {
constexpr std::size_t kRowsetId = 0;
constexpr std::size_t kOwnerType = 8;
constexpr std::size_t kObjectId = 9;
constexpr std::size_t kIndexId = 13;
constexpr std::size_t kPartitionNumber = 17;
constexpr std::size_t kStatus = 21;
constexpr std::size_t kFilegroupId = 25;
constexpr std::size_t kRowCount = 27;
}  // namespace rowset_row

// Column and parameter rows (fixed part); the name is variable column 1, an identity column's
// seed and increment variable column 2.
//   offset | size | field
//        0 |    4 | object id
//        4 |    2 | number
//        6 |    4 | column id
//       10 |    1 | system type id
//       11 |    4 | user type id
//       15 |    2 | length
//       17 |    1 | precision
//       18 |    1 | scale
//       19 |    4 | collation id
//       23 |    4 | status
//       27 |    2 | max inrow length
//       29 |    4 | xml collection id
//       33 |    4 | default object id
//       37 |    4 | check object id
namespace column_row {
constexpr std::size_t kObjectId = 0;
constexpr std::size_t kNumber = 4;
constexpr std::size_t kColumnId = 6;
constexpr std::size_t kSystemTypeId = 10;
constexpr std::size_t kUserTypeId = 11;
constexpr std::size_t kLength = 15;
constexpr std::size_t kPrecision = 17;
constexpr std::size_t kScale = 18;
constexpr std::size_t kCollationId = 19;
constexpr std::size_t kStatus = 23;
constexpr std::size_t kMaxInrowLength = 27;
constexpr std::size_t kXmlCollectionId = 29;
constexpr std::size_t kDefaultObjectId = 33;
constexpr std::size_t kCheckObjectId = 37;
}  // namespace column_row

// Scalar type rows (fixed part); the name is variable column 1.
//   offset | size | field
//        0 |    4 | type id
//        4 |    4 | schema id
//        8 |    1 | system type id
//        9 |    2 | length
//       11 |    1 | precision
//       12 |    1 | scale
//       13 |    4 | collation id
//       17 |    4 | status
//       30 |    4 | value30
//       34 |    4 | value34
namespace type_row {
constexpr std::size_t kTypeId = 0;
constexpr std::size_t kSchemaId = 4;
constexpr std::size_t kSystemTypeId = 8;
constexpr std::size_t kLength = 9;
constexpr std::size_t kPrecision = 11;
constexpr std::size_t kScale = 12;
constexpr std::size_t kCollationId = 13;
constexpr std::size_t kStatus = 17;
constexpr std::size_t kValue30 = 30;
constexpr std::size_t kValue34 = 34;
}  // namespace type_row

// Rowset column rows (fixed part).
//   offset | size | field
//        0 |    8 | rowset id
//        8 |    4 | rowset column id
//       12 |    4 | physical column id
//       16 |    8 | modification counter
//       24 |    4 | type info
//       28 |    4 | column id
//       32 |    2 | key ordinal
//       34 |    2 | max inrow length
//       36 |    4 | status
//       40 |    4 | leaf offset
//       44 |    4 | null bit
//       48 |    2 | bit position
namespace rowset_column_row {
constexpr std::size_t kRowsetId = 0;
constexpr std::size_t kRowsetColumnId = 8;
constexpr std::size_t kPhysicalColumnId = 12;
constexpr std::size_t kModificationCounter = 16;
constexpr std::size_t kTypeInfo = 24;
constexpr std::size_t kColumnId = 28;
constexpr std::size_t kKeyOrdinal = 32;
constexpr std::size_t kMaxInrowLength = 34;
constexpr std::size_t kStatus = 36;
constexpr std::size_t kLeafOffset = 40;
constexpr std::size_t kNullBit = 44;
constexpr std::size_t kBitPosition = 48;
}  // namespace rowset_column_row

// Object reference rows (fixed part).
//   offset | size | field
//        0 |    1 | ref class
//        1 |    4 | dependent id
//        5 |    4 | dependent sub id
//        9 |    4 | referenced id
//       13 |    4 | referenced sub id
//       17 |    4 | status
namespace object_reference_row {
constexpr std::size_t kRefClass = 0;
constexpr std::size_t kDependentId = 1;
constexpr std::size_t kDependentSubId = 5;
constexpr std::size_t kReferencedId = 9;
constexpr std::size_t kReferencedSubId = 13;
constexpr std::size_t kStatus = 17;
}  // namespace object_reference_row

// Index rows (fixed part); the name is variable column 1.
//   offset | size | field
//        0 |    4 | object id
//        4 |    4 | index id
//        8 |    4 | status
//       12 |    4 | integer property
//       16 |    1 | fill factor
//       17 |    1 | index type
//       18 |    1 | tiny property
//       19 |    4 | data space id
//       23 |    4 | lob data space id
//       27 |    8 | rowset id
namespace index_row {
constexpr std::size_t kObjectId = 0;
constexpr std::size_t kIndexId = 4;
constexpr std::size_t kStatus = 8;
constexpr std::size_t kIntegerProperty = 12;
constexpr std::size_t kFillFactor = 16;
constexpr std::size_t kIndexType = 17;
constexpr std::size_t kTinyProperty = 18;
constexpr std::size_t kDataSpaceId = 19;
constexpr std::size_t kLobDataSpaceId = 23;
constexpr std::size_t kRowsetId = 27;
}  // namespace index_row

// Index column rows (fixed part); object, index and key ordinal are the major, minor and sub ids.
//   offset | size | field
//        0 |    4 | object id
//        4 |    4 | index id
//        8 |    4 | key ordinal
//       12 |    4 | status
//       16 |    4 | column id
//       20 |    1 | tiny property1
//       21 |    1 | tiny property2
namespace index_column_row {
constexpr std::size_t kObjectId = 0;
constexpr std::size_t kIndexId = 4;
constexpr std::size_t kKeyOrdinal = 8;
constexpr std::size_t kStatus = 12;
constexpr std::size_t kColumnId = 16;
constexpr std::size_t kTinyProperty1 = 20;
constexpr std::size_t kTinyProperty2 = 21;
}  // namespace index_column_row

// Heap-or-tree column rows (fixed part); only the fields read are listed.
//   offset | size | field
//        0 |    8 | rowset id
//        8 |    4 | column id
//       27 |    2 | leaf offset
//       33 |    2 | second offset
namespace hobt_column_row {
constexpr std::size_t kRowsetId = 0;
constexpr std::size_t kColumnId = 8;
constexpr std::size_t kLeafOffset = 27;
constexpr std::size_t kSecondOffset = 33;
}  // namespace hobt_column_row

// Rowset column link rows (fixed part).
//   offset | size | field
//        0 |    8 | rowset id
//        8 |    4 | column id
//       12 |    4 | rowset column id
namespace rowset_column_link_row {
constexpr std::size_t kRowsetId = 0;
constexpr std::size_t kColumnId = 8;
constexpr std::size_t kRowsetColumnId = 12;
}  // namespace rowset_column_link_row

// When a record of a table adds a row, and when its fields are read.
struct TableRule {
    std::size_t needed = 0;         // fixed data bytes needed before any field is read
    bool needs_fixed_data = false;  // a record without fixed data adds no row
    PageSelection pages = PageSelection::kAll;
    RecordSelection records = RecordSelection::kSkipFragments;
};

// Adds one row per usable record of the table; fill(record, fixed, row) sets the fields when the fixed
// data is present and long enough, otherwise the row keeps its defaults.
template <typename Row, typename Fill>
void read_rows(CatalogReader& reader, std::int32_t object_id, const TableRule& rule, std::vector<Row>& out,
               Fill fill) {
    reader.for_each_record(object_id, rule.pages, rule.records, [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (rule.needs_fixed_data && !fixed.present()) return;
        Row row;
        if (fixed.present() && fixed.size() >= rule.needed) fill(record, fixed, row);
        out.push_back(std::move(row));
    });
}

}  // namespace

void read_files(CatalogReader& reader, std::vector<DatabaseFileRow>& out) {
    read_rows(reader, S::kFiles, {.needed = kFileRowNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, DatabaseFileRow& row) {
                  fixed.read(file_row::kStatus, row.status);
                  fixed.read(file_row::kFileId, row.file_id);
                  row.logical_name = padded_name(fixed, file_row::kLogicalName, file_row::kLogicalNameBytes);
                  row.physical_name =
                      padded_name(fixed, file_row::kPhysicalName, file_row::kPhysicalNameBytes);
              });
}

void read_objects(CatalogReader& reader, std::int32_t object_id, ObjectLayout layout,
                  std::vector<SchemaObjectRow>& out) {
    reader.restart_repair_counter();
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.present() || fixed.size() < kObjectRowNeeded) return;
        SchemaObjectRow row;
        namespace O = object_row;
        fixed.read(O::kObjectId, row.object_id);
        if (row.object_id <= 0) return;
        fixed.read(O::kSchemaId, row.schema_id);
        fixed.read(O::kNamespaceClass, row.namespace_class);
        fixed.read(O::kStatus, row.status);
        fixed.read(O::kParentClass, row.parent_class);
        fixed.read(O::kIntegerProperty, row.integer_property);
        if (layout == ObjectLayout::kSql2000) {
            std::int16_t owner = -1;
            fixed.read(O::kLegacyOwner, owner);
            row.schema_id = owner;
            row.type = type_code(fixed, O::kLegacyTypeCode);
            fixed.read(fixed.size() >= kLegacyParentNeeded ? O::kLegacyParentObjectId : O::kParentObjectId,
                       row.parent_object_id);
        } else {
            row.type = type_code(fixed, O::kTypeCode);
            fixed.read(O::kParentObjectId, row.parent_object_id);
        }
        auto name = record_name(record);
        row.name = name ? *name : reader.make_repair_name(kRepairObjectName);
        if (row.name.empty()) row.name = reader.make_repair_name(kRepairColumnName);
        out.push_back(std::move(row));
    };
    reader.for_each_record(object_id, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_schemas(CatalogReader& reader, std::vector<SchemaNameRow>& out) {
    constexpr std::uint8_t kSchemaClass = 50;
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.holds(0, class_object_row::kNeeded)) return;
        std::uint8_t object_class = 255;
        fixed.read(class_object_row::kClass, object_class);
        if (object_class != kSchemaClass) return;
        SchemaNameRow row;
        fixed.read(class_object_row::kId, row.schema_id);
        row.name = record_name(record).value_or(std::string());
        if (!row.name.empty()) out.push_back(std::move(row));
    };
    reader.for_each_record(S::kClassObjects, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_legacy_users(CatalogReader& reader, std::vector<SchemaNameRow>& out) {
    auto read_one = [&](const CPrimaryRecord& record) {
        const FixedData fixed(record.fixed_part);
        if (!fixed.holds(0, 2)) return;
        std::int16_t user_id = -1;
        fixed.read(legacy_user_row::kUserId, user_id);
        SchemaNameRow row{user_id, record_name(record).value_or(std::string())};
        if (!row.name.empty()) out.push_back(std::move(row));
    };
    reader.for_each_record(S::kLegacyUsers, PageSelection::kAll, RecordSelection::kSkipFragments, read_one);
}

void read_allocation_units(CatalogReader& reader, std::int32_t object_id,
                           std::vector<AllocationUnitRow>& out) {
    read_rows(reader, object_id, {.needed = kAllocationUnitNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, AllocationUnitRow& row) {
                  fixed.read(allocation_unit_row::kAllocationUnitId, row.allocation_unit_id);
                  fixed.read(allocation_unit_row::kType, row.type);
                  fixed.read(allocation_unit_row::kOwnerId, row.owner_id);
                  fixed.read(allocation_unit_row::kStatus, row.status);
                  fixed.read(allocation_unit_row::kFilegroupId, row.filegroup_id);
                  fixed.read(allocation_unit_row::kFirstPage, row.first_page);
                  fixed.read(allocation_unit_row::kRootPage, row.root_page);
                  fixed.read(allocation_unit_row::kFirstIamPage, row.first_iam_page);
              });
}

void read_rowsets(CatalogReader& reader, std::vector<RowsetRow>& out) {
    read_rows(reader, S::kRowsets, {.needed = kRowsetNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetRow& row) {
                  fixed.read(rowset_row::kRowsetId, row.rowset_id);
                  fixed.read(rowset_row::kOwnerType, row.owner_type);
                  fixed.read(rowset_row::kObjectId, row.object_id);
                  fixed.read(rowset_row::kIndexId, row.index_id);
                  fixed.read(rowset_row::kPartitionNumber, row.partition_number);
                  fixed.read(rowset_row::kStatus, row.status);
                  fixed.read(rowset_row::kFilegroupId, row.filegroup_id);
                  fixed.read(rowset_row::kRowCount, row.row_count);
              });
}

// The identity value (variable column 2) in three widths, told apart by its length; a wide value has a
// nonzero u32 at 0 followed by a zero u32 at 4.
//   width  | increment          | seed
//   >= 24  | int64 at 8         | int64 at 16
//   >= 12  | u32 at 4           | u32 at 8
//   >= 6   | u16 at 2           | u16 at 4
namespace identity_value {
constexpr std::size_t kWideSize = 24;
constexpr std::size_t kWideMarker = 0;
constexpr std::size_t kWideMarkerZero = 4;
constexpr std::size_t kWideIncrement = 8;
constexpr std::size_t kWideSeed = 16;
constexpr std::size_t kMiddleSize = 12;
constexpr std::size_t kMiddleIncrement = 4;
constexpr std::size_t kMiddleSeed = 8;
constexpr std::size_t kNarrowSize = 6;
constexpr std::size_t kNarrowIncrement = 2;
constexpr std::size_t kNarrowSeed = 4;
}  // namespace identity_value

std::string identity_text(ByteSpan v) {
    namespace I = identity_value;
    const std::size_t length = v.size();
    std::int64_t a = 1;  // increment
    std::int64_t b = 1;  // seed
    auto u16 = [&](std::size_t at) { return std::int64_t{load_le<std::uint16_t>(v, at)}; };
    auto u32 = [&](std::size_t at) { return std::int64_t{load_le<std::uint32_t>(v, at)}; };
    if (length >= I::kWideSize && u32(I::kWideMarkerZero) == 0 && u32(I::kWideMarker) != 0) {
        a = load_le<std::int64_t>(v, I::kWideIncrement);
        b = load_le<std::int64_t>(v, I::kWideSeed);
    } else if (length >= I::kMiddleSize) {
        a = u32(I::kMiddleIncrement);
        b = u32(I::kMiddleSeed);
    } else if (length >= I::kNarrowSize) {
        a = u16(I::kNarrowIncrement);
        b = u16(I::kNarrowSeed);
    }
    if (b == 0) b = 1;
    return fmt::format("identity({},{})", b, a);
}

void read_columns(CatalogReader& reader, std::vector<ColumnParamRow>& out) {
    reader.restart_repair_counter();
    const TableRule rule{.needed = kColumnNeeded, .records = RecordSelection::kSkipFragmentsAndIndexRows};
    read_rows(reader, S::kColumns, rule, out,
              [&](const CPrimaryRecord& record, const FixedData& fixed, ColumnParamRow& row) {
                  fixed.read(column_row::kObjectId, row.object_id);
                  fixed.read(column_row::kNumber, row.number);
                  fixed.read(column_row::kColumnId, row.column_id);
                  fixed.read(column_row::kSystemTypeId, row.system_type_id);
                  fixed.read(column_row::kUserTypeId, row.user_type_id);
                  fixed.read(column_row::kLength, row.length);
                  fixed.read(column_row::kPrecision, row.precision);
                  fixed.read(column_row::kScale, row.scale);
                  fixed.read(column_row::kCollationId, row.collation_id);
                  fixed.read(column_row::kStatus, row.status);
                  fixed.read(column_row::kMaxInrowLength, row.max_inrow_length);
                  fixed.read(column_row::kXmlCollectionId, row.xml_collection_id);
                  fixed.read(column_row::kDefaultObjectId, row.default_object_id);
                  fixed.read(column_row::kCheckObjectId, row.check_object_id);
                  auto name = record_name(record);
                  row.name = name && !name->empty() ? *name : reader.make_repair_name(kRepairColumnName);
                  if (row.status == kIdentityColumnStatus && record.values.size() > 1)
                      row.identity_text = identity_text(record.values[1].data);
              });
}

void read_types(CatalogReader& reader, std::vector<ScalarTypeRow>& out) {
    read_rows(reader, S::kTypes, {.needed = kTypeNeeded, .needs_fixed_data = true}, out,
              [](const CPrimaryRecord& record, const FixedData& fixed, ScalarTypeRow& row) {
                  fixed.read(type_row::kTypeId, row.type_id);
                  fixed.read(type_row::kSchemaId, row.schema_id);
                  fixed.read(type_row::kSystemTypeId, row.system_type_id);
                  fixed.read(type_row::kLength, row.length);
                  fixed.read(type_row::kPrecision, row.precision);
                  fixed.read(type_row::kScale, row.scale);
                  fixed.read(type_row::kCollationId, row.collation_id);
                  fixed.read(type_row::kStatus, row.status);
                  fixed.read(type_row::kValue30, row.value30);
                  fixed.read(type_row::kValue34, row.value34);
                  row.name = record_name(record).value_or(std::string());
              });
}

void read_rowset_columns(CatalogReader& reader, std::vector<RowsetColumnRow>& out) {
    read_rows(reader, S::kRowsetColumns, {.needed = kRowsetColumnNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetColumnRow& row) {
                  fixed.read(rowset_column_row::kRowsetId, row.rowset_id);
                  fixed.read(rowset_column_row::kRowsetColumnId, row.rowset_column_id);
                  fixed.read(rowset_column_row::kPhysicalColumnId, row.physical_column_id);
                  fixed.read(rowset_column_row::kModificationCounter, row.modification_counter);
                  fixed.read(rowset_column_row::kTypeInfo, row.type_info);
                  fixed.read(rowset_column_row::kColumnId, row.column_id);
                  fixed.read(rowset_column_row::kKeyOrdinal, row.key_ordinal);
                  fixed.read(rowset_column_row::kMaxInrowLength, row.max_inrow_length);
                  fixed.read(rowset_column_row::kStatus, row.status);
                  fixed.read(rowset_column_row::kLeafOffset, row.leaf_offset);
                  fixed.read(rowset_column_row::kNullBit, row.null_bit);
                  fixed.read(rowset_column_row::kBitPosition, row.bit_position);
              });
}

void read_object_references(CatalogReader& reader, std::vector<ObjectReferenceRow>& out) {
    const TableRule rule{.needs_fixed_data = true, .pages = PageSelection::kDataPagesOnly};
    read_rows(reader, S::kObjectReferences, rule, out,
              [](const CPrimaryRecord&, const FixedData& fixed, ObjectReferenceRow& row) {
                  fixed.read(object_reference_row::kRefClass, row.ref_class);
                  fixed.read(object_reference_row::kDependentId, row.dependent_id);
                  fixed.read(object_reference_row::kDependentSubId, row.dependent_sub_id);
                  fixed.read(object_reference_row::kReferencedId, row.referenced_id);
                  fixed.read(object_reference_row::kReferencedSubId, row.referenced_sub_id);
                  fixed.read(object_reference_row::kStatus, row.status);
              });
}

void read_index_rows(CatalogReader& reader, std::vector<IndexStatRow>& out) {
    read_rows(reader, S::kIndexes, {.needed = kIndexRowNeeded, .needs_fixed_data = true}, out,
              [](const CPrimaryRecord& record, const FixedData& fixed, IndexStatRow& row) {
                  fixed.read(index_row::kObjectId, row.object_id);
                  fixed.read(index_row::kIndexId, row.index_id);
                  fixed.read(index_row::kStatus, row.status);
                  fixed.read(index_row::kIntegerProperty, row.integer_property);
                  fixed.read(index_row::kFillFactor, row.fill_factor);
                  fixed.read(index_row::kIndexType, row.index_type);
                  fixed.read(index_row::kTinyProperty, row.tiny_property);
                  fixed.read(index_row::kDataSpaceId, row.data_space_id);
                  fixed.read(index_row::kLobDataSpaceId, row.lob_data_space_id);
                  fixed.read(index_row::kRowsetId, row.rowset_id);
                  row.name = record_name(record).value_or(std::string());
              });
}

void read_index_columns(CatalogReader& reader, std::vector<IndexColumnRow>& out) {
    read_rows(reader, S::kIndexColumns, {.needed = kIndexColumnNeeded}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, IndexColumnRow& row) {
                  fixed.read(index_column_row::kObjectId, row.object_id);
                  fixed.read(index_column_row::kIndexId, row.index_id);
                  fixed.read(index_column_row::kKeyOrdinal, row.key_ordinal);
                  fixed.read(index_column_row::kStatus, row.status);
                  fixed.read(index_column_row::kColumnId, row.column_id);
                  fixed.read(index_column_row::kTinyProperty1, row.tiny_property1);
                  fixed.read(index_column_row::kTinyProperty2, row.tiny_property2);
              });
}

void read_hobt_columns(CatalogReader& reader, std::vector<HobtColumnRow>& out) {
    read_rows(reader, S::kHobtColumns, {}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, HobtColumnRow& row) {
                  fixed.read(hobt_column_row::kRowsetId, row.rowset_id);
                  fixed.read(hobt_column_row::kColumnId, row.column_id);
                  fixed.read(hobt_column_row::kLeafOffset, row.leaf_offset);
                  fixed.read(hobt_column_row::kSecondOffset, row.second_offset);
              });
}

void read_rowset_column_links(CatalogReader& reader, std::vector<RowsetColumnLinkRow>& out) {
    read_rows(reader, S::kRowsetColumnLinks, {}, out,
              [](const CPrimaryRecord&, const FixedData& fixed, RowsetColumnLinkRow& row) {
                  fixed.read(rowset_column_link_row::kRowsetId, row.rowset_id);
                  fixed.read(rowset_column_link_row::kColumnId, row.column_id);
                  fixed.read(rowset_column_link_row::kRowsetColumnId, row.rowset_column_id);
              });
}

void add_tables_from_columns(const CatalogReader& reader, const std::vector<ColumnParamRow>& columns,
                             std::vector<SchemaObjectRow>& objects) {
    std::set<std::int32_t> known;
    for (const SchemaObjectRow& object : objects) known.insert(object.object_id);
    for (const ColumnParamRow& column : columns) {
        if (reader.stop_requested()) return;
        if (!known.insert(column.object_id).second) continue;
        SchemaObjectRow table;
        table.object_id = column.object_id;
        table.name = fmt::format("{}", column.object_id);
        table.type = "U ";
        objects.push_back(std::move(table));
    }
}

}  // namespace quenlow
