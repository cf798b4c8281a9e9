#pragma once
// The system base tables the test database builder writes, described as ordinary tables so that their
// rows go through the same record encoder as user rows. The column order fixes the fixed-data offsets,
// which are the offsets the catalog readers take each field from.
//
// 2005 and later                                   SQL Server 2000
//   3  sysrscols        physical rowset columns      1  sysobjects   objects
//   5  sysrowsets       rowsets                      2  sysindexes   indexes (first page, first IAM)
//   7  sysallocunits    allocation units             3  syscolumns   columns
//   8  sysfiles1        database files               6  syscomments  definition text
//  34  sysschobjs       objects                      8  sysfiles1    database files
//  41  syscolpars       columns
//  50  sysscalartypes   types
//  54  sysidxstats      indexes
//  55  sysiscols        index columns
//  60  sysobjvalues     definition text
//  74  sysmultiobjrefs  object references (foreign key column pairs)

#include <cstdint>
#include <vector>

#include "tests/support/database_recipe.h"

namespace quenlow::testing {

namespace system_object {
inline constexpr std::int32_t kSysRsCols = 3;
inline constexpr std::int32_t kSysRowsets = 5;
inline constexpr std::int32_t kSysAllocUnits = 7;
inline constexpr std::int32_t kSysFiles = 8;
inline constexpr std::int32_t kSysSchObjs = 34;
inline constexpr std::int32_t kSysColPars = 41;
inline constexpr std::int32_t kSysScalarTypes = 50;
inline constexpr std::int32_t kSysIdxStats = 54;
inline constexpr std::int32_t kSysIsCols = 55;
inline constexpr std::int32_t kSysObjValues = 60;
inline constexpr std::int32_t kSysMultiObjRefs = 74;

inline constexpr std::int32_t kSysObjects = 1;
inline constexpr std::int32_t kSysIndexes = 2;
inline constexpr std::int32_t kSysColumns = 3;
inline constexpr std::int32_t kSysComments = 6;

// Object id of the allocation pages (file header, PFS, GAM, SGAM, boot page).
inline constexpr std::int32_t kAllocationPages = 99;
}  // namespace system_object

// The system tables of a layout, without rows, each with its fixed object id. The first one is the
// table whose first page is page 8 of the file.
std::vector<TableSpec> system_table_specs(Layout layout);

// The class objects table (64) of the 2005 layout, which names the schemas: class 0, id 1, status 5,
// type 9, intprop 11, created 15, modified 23; name variable. Written only for databases with schemas
// other than dbo.
inline constexpr std::int32_t kSysClsObjs = 64;
TableSpec class_objects_table_spec();

// A built-in scalar type as the type table lists it.
struct BuiltinType {
    std::int32_t type_id;
    const char* name;
    std::uint8_t system_type_id;
    std::int16_t length;
    std::uint8_t precision;
    std::uint8_t scale;
    bool collated;
};
const std::vector<BuiltinType>& builtin_types();

}  // namespace quenlow::testing
