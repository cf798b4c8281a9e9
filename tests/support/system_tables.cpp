#include "tests/support/system_tables.h"

namespace quenlow::testing {

namespace {

namespace so = system_object;

struct Col {
    const char* name;
    SqlType type;
    int length = 0;
    bool nullable = false;
    bool stored = true;
};

TableSpec table(const char* name, std::int32_t id, std::initializer_list<Col> cols) {
    TableSpec t;
    t.name = name;
    t.object_id = id;
    for (const Col& c : cols) {
        ColumnSpec& s = t.add_column(c.name, c.type, c.length, c.nullable);
        s.stored = c.stored;
    }
    return t;
}

using T = SqlType;

}  // namespace

TableSpec class_objects_table_spec() {
    return table("sysclsobjs", kSysClsObjs,
                 {{"class", T::TinyInt},
                  {"id", T::Int},
                  {"status", T::Int},
                  {"type", T::Char, 2},
                  {"intprop", T::Int},
                  {"created", T::DateTime},
                  {"modified", T::DateTime},
                  {"name", T::SysName}});
}

namespace {

std::vector<TableSpec> tables_2005() {
    std::vector<TableSpec> out;
    // Fixed data: auid 0, type 8, ownerid 9, status 17, fgid 21, pgfirst 23, pgroot 29, pgfirstiam 35.
    out.push_back(table("sysallocunits", so::kSysAllocUnits,
                        {{"auid", T::BigInt},
                         {"type", T::TinyInt},
                         {"ownerid", T::BigInt},
                         {"status", T::Int},
                         {"fgid", T::SmallInt},
                         {"pgfirst", T::Binary, 6},
                         {"pgroot", T::Binary, 6},
                         {"pgfirstiam", T::Binary, 6},
                         {"pcused", T::BigInt},
                         {"pcdata", T::BigInt},
                         {"pcreserved", T::BigInt},
                         {"dbfragid", T::Int}}));
    // rowsetid 0, ownertype 8, idmajor 9, idminor 13, numpart 17, status 21, fgidfs 25, rcrows 27.
    out.push_back(table("sysrowsets", so::kSysRowsets,
                        {{"rowsetid", T::BigInt},
                         {"ownertype", T::TinyInt},
                         {"idmajor", T::Int},
                         {"idminor", T::Int},
                         {"numpart", T::Int},
                         {"status", T::Int},
                         {"fgidfs", T::SmallInt},
                         {"rcrows", T::BigInt},
                         {"cmprlevel", T::TinyInt},
                         {"fillfact", T::TinyInt},
                         {"maxnullbit", T::SmallInt},
                         {"maxleaf", T::Int},
                         {"maxint", T::SmallInt},
                         {"minleaf", T::SmallInt},
                         {"minint", T::SmallInt},
                         {"rsguid", T::VarBinary, 16, true},
                         {"lockres", T::VarBinary, 8, true}}));
    // rsid 0, rscolid 8, hbcolid 12, rcmodified 16, ti 24, cid 28, ordkey 32, maxinrowlen 34, status 36,
    // offset 40, nullbit 44, bitpos 48.
    out.push_back(table("sysrscols", so::kSysRsCols,
                        {{"rsid", T::BigInt},
                         {"rscolid", T::Int},
                         {"hbcolid", T::Int},
                         {"rcmodified", T::BigInt},
                         {"ti", T::Int},
                         {"cid", T::Int},
                         {"ordkey", T::SmallInt},
                         {"maxinrowlen", T::SmallInt},
                         {"status", T::Int},
                         {"offset", T::Int},
                         {"nullbit", T::Int},
                         {"bitpos", T::SmallInt},
                         {"colguid", T::VarBinary, 16, true}}));
    // status 0, fileid 4, name 6 (128 UTF-16 units), filename 262 (260 units).
    out.push_back(table(
        "sysfiles1", so::kSysFiles,
        {{"status", T::Int}, {"fileid", T::SmallInt}, {"name", T::NChar, 128}, {"filename", T::NChar, 260}}));
    // id 0, nsid 4, nsclass 8, status 9, type 13, pid 15, pclass 19, intprop 20, created 24, modified 32.
    out.push_back(table("sysschobjs", so::kSysSchObjs,
                        {{"id", T::Int},
                         {"name", T::SysName},
                         {"nsid", T::Int},
                         {"nsclass", T::TinyInt},
                         {"status", T::Int},
                         {"type", T::Char, 2},
                         {"pid", T::Int},
                         {"pclass", T::TinyInt},
                         {"intprop", T::Int},
                         {"created", T::DateTime},
                         {"modified", T::DateTime}}));
    // id 0, number 4, colid 6, xtype 10, utype 11, length 15, prec 17, scale 18, collationid 19,
    // status 23, maxinrow 27, xmlns 29, dflt 33, chk 37; name and identity value variable.
    out.push_back(table("syscolpars", so::kSysColPars,
                        {{"id", T::Int},
                         {"number", T::SmallInt},
                         {"colid", T::Int},
                         {"name", T::SysName, 0, true},
                         {"xtype", T::TinyInt},
                         {"utype", T::Int},
                         {"length", T::SmallInt},
                         {"prec", T::TinyInt},
                         {"scale", T::TinyInt},
                         {"collationid", T::Int},
                         {"status", T::Int},
                         {"maxinrow", T::SmallInt},
                         {"xmlns", T::Int},
                         {"dflt", T::Int},
                         {"chk", T::Int},
                         {"idtval", T::VarBinary, 64, true}}));
    // id 0, schid 4, xtype 8, length 9, prec 11, scale 12, collationid 13, status 17.
    out.push_back(table("sysscalartypes", so::kSysScalarTypes,
                        {{"id", T::Int},
                         {"schid", T::Int},
                         {"name", T::SysName},
                         {"xtype", T::TinyInt},
                         {"length", T::SmallInt},
                         {"prec", T::TinyInt},
                         {"scale", T::TinyInt},
                         {"collationid", T::Int},
                         {"status", T::Int},
                         {"created", T::DateTime},
                         {"modified", T::DateTime},
                         {"dflt", T::Int},
                         {"chk", T::Int}}));
    // id 0, indid 4, status 8, intprop 12, fillfact 16, type 17, tinyprop 18, dataspace 19, lobds 23,
    // rowset 27.
    out.push_back(table("sysidxstats", so::kSysIdxStats,
                        {{"id", T::Int},
                         {"indid", T::Int},
                         {"name", T::SysName, 0, true},
                         {"status", T::Int},
                         {"intprop", T::Int},
                         {"fillfact", T::TinyInt},
                         {"type", T::TinyInt},
                         {"tinyprop", T::TinyInt},
                         {"dataspace", T::Int},
                         {"lobds", T::Int},
                         {"rowset", T::BigInt}}));
    // idmajor 0, idminor 4, subid 8, status 12, intprop 16, tinyprop1 20, tinyprop2 21.
    out.push_back(table("sysiscols", so::kSysIsCols,
                        {{"idmajor", T::Int},
                         {"idminor", T::Int},
                         {"subid", T::Int},
                         {"status", T::Int},
                         {"intprop", T::Int},
                         {"tinyprop1", T::TinyInt},
                         {"tinyprop2", T::TinyInt},
                         {"tinyprop3", T::TinyInt},
                         {"tinyprop4", T::TinyInt}}));
    // valclass 0, objid 1, subobjid 5, valnum 9; value and imageval variable.
    out.push_back(table("sysobjvalues", so::kSysObjValues,
                        {{"valclass", T::TinyInt},
                         {"objid", T::Int},
                         {"subobjid", T::Int},
                         {"valnum", T::Int},
                         {"value", T::SqlVariant, 0, true},
                         {"imageval", T::VarBinary, -1, true}}));
    // class 0, depid 1, depsubid 5, indepid 9, indepsubid 13, status 17.
    out.push_back(table("sysmultiobjrefs", so::kSysMultiObjRefs,
                        {{"class", T::TinyInt},
                         {"depid", T::Int},
                         {"depsubid", T::Int},
                         {"indepid", T::Int},
                         {"indepsubid", T::Int},
                         {"status", T::Int}}));
    return out;
}

std::vector<TableSpec> tables_2000() {
    std::vector<TableSpec> out;
    // id 0, status 4, first 8, indid 14, root 16, ..., FirstIAM 64.
    out.push_back(table("sysindexes", so::kSysIndexes,
                        {{"id", T::Int},
                         {"status", T::Int},
                         {"first", T::Binary, 6},
                         {"indid", T::SmallInt},
                         {"root", T::Binary, 6},
                         {"minlen", T::SmallInt},
                         {"keycnt", T::SmallInt},
                         {"groupid", T::SmallInt},
                         {"dpages", T::Int},
                         {"reserved", T::Int},
                         {"used", T::Int},
                         {"rowcnt", T::BigInt},
                         {"rowmodctr", T::Int},
                         {"reserved3", T::TinyInt},
                         {"reserved4", T::TinyInt},
                         {"xmaxlen", T::SmallInt},
                         {"maxirow", T::SmallInt},
                         {"OrigFillFactor", T::TinyInt},
                         {"StatVersion", T::TinyInt},
                         {"reserved2", T::Int},
                         {"FirstIAM", T::Binary, 6},
                         {"impid", T::SmallInt},
                         {"lockflags", T::SmallInt},
                         {"pgmodctr", T::Int},
                         {"name", T::SysName},
                         {"keys", T::VarBinary, 1088, true}}));
    // id 0, xtype 4, uid 6, info 8, status 10, base_schema_ver 14, replinfo 18, ftcatid 22, parent_obj 24.
    out.push_back(
        table("sysobjects", so::kSysObjects, {{"name", T::SysName},         {"id", T::Int},
                                              {"xtype", T::Char, 2},        {"uid", T::SmallInt},
                                              {"info", T::SmallInt},        {"status", T::Int},
                                              {"base_schema_ver", T::Int},  {"replinfo", T::Int},
                                              {"ftcatid", T::SmallInt},     {"parent_obj", T::Int},
                                              {"crdate", T::DateTime},      {"schema_ver", T::Int},
                                              {"stats_schema_ver", T::Int}, {"type", T::Char, 2},
                                              {"userstat", T::SmallInt},    {"sysstat", T::SmallInt},
                                              {"indexdel", T::SmallInt},    {"refdate", T::DateTime},
                                              {"version", T::Int},          {"deltrig", T::Int},
                                              {"instrig", T::Int},          {"updtrig", T::Int},
                                              {"seltrig", T::Int},          {"category", T::Int},
                                              {"cache", T::SmallInt}}));
    // id 0, xtype 4, typestat 5, xusertype 6, length 8, xprec 10, xscale 11, colid 12, xoffset 14,
    // bitpos 16, reserved 17, colstat 18, cdefault 20, domain 24, number 28, colorder 30, offset 32,
    // collationid 34, language 38: 42 bytes, 21 stored columns.
    out.push_back(table("syscolumns", so::kSysColumns,
                        {{"name", T::SysName},       {"id", T::Int},
                         {"xtype", T::TinyInt},      {"typestat", T::TinyInt},
                         {"xusertype", T::SmallInt}, {"length", T::SmallInt},
                         {"xprec", T::TinyInt},      {"xscale", T::TinyInt},
                         {"colid", T::SmallInt},     {"xoffset", T::SmallInt},
                         {"bitpos", T::TinyInt},     {"reserved", T::TinyInt},
                         {"colstat", T::SmallInt},   {"cdefault", T::Int},
                         {"domain", T::Int},         {"number", T::SmallInt},
                         {"colorder", T::SmallInt},  {"autoval", T::VarBinary, 255, true},
                         {"offset", T::SmallInt},    {"collationid", T::Int},
                         {"language", T::Int}}));
    // id 0, number 4, colid 6, status 8, texttype 10, language 12; ctext variable. The last three
    // columns are computed and not stored, but ctext must be the fifth column.
    out.push_back(table("syscomments", so::kSysComments,
                        {{"id", T::Int},
                         {"number", T::SmallInt},
                         {"colid", T::SmallInt},
                         {"status", T::SmallInt},
                         {"ctext", T::VarBinary, 8000},
                         {"texttype", T::SmallInt},
                         {"language", T::SmallInt},
                         {"encrypted", T::Bit, 0, false, false},
                         {"compressed", T::Bit, 0, false, false},
                         {"text", T::NVarChar, 4000, true, false}}));
    out.push_back(table(
        "sysfiles1", so::kSysFiles,
        {{"status", T::Int}, {"fileid", T::SmallInt}, {"name", T::NChar, 128}, {"filename", T::NChar, 260}}));
    return out;
}

}  // namespace

std::vector<TableSpec> system_table_specs(Layout layout) {
    return layout == Layout::k2005 ? tables_2005() : tables_2000();
}

const std::vector<BuiltinType>& builtin_types() {
    static const std::vector<BuiltinType> kTypes = {
        {34, "image", 34, 16, 0, 0, false},
        {35, "text", 35, 16, 0, 0, true},
        {36, "uniqueidentifier", 36, 16, 0, 0, false},
        {40, "date", 40, 3, 10, 0, false},
        {41, "time", 41, 5, 16, 7, false},
        {42, "datetime2", 42, 8, 27, 7, false},
        {43, "datetimeoffset", 43, 10, 34, 7, false},
        {48, "tinyint", 48, 1, 3, 0, false},
        {52, "smallint", 52, 2, 5, 0, false},
        {56, "int", 56, 4, 10, 0, false},
        {58, "smalldatetime", 58, 4, 16, 0, false},
        {59, "real", 59, 4, 24, 0, false},
        {60, "money", 60, 8, 19, 4, false},
        {61, "datetime", 61, 8, 23, 3, false},
        {62, "float", 62, 8, 53, 0, false},
        {98, "sql_variant", 98, 8016, 0, 0, false},
        {99, "ntext", 99, 16, 0, 0, true},
        {104, "bit", 104, 1, 1, 0, false},
        {106, "decimal", 106, 17, 38, 38, false},
        {108, "numeric", 108, 17, 38, 38, false},
        {122, "smallmoney", 122, 4, 10, 4, false},
        {127, "bigint", 127, 8, 19, 0, false},
        {128, "hierarchyid", 240, 892, 0, 0, false},
        {129, "geometry", 240, -1, 0, 0, false},
        {130, "geography", 240, -1, 0, 0, false},
        {165, "varbinary", 165, 8000, 0, 0, false},
        {167, "varchar", 167, 8000, 0, 0, true},
        {173, "binary", 173, 8000, 0, 0, false},
        {175, "char", 175, 8000, 0, 0, true},
        {189, "timestamp", 189, 8, 0, 0, false},
        {231, "nvarchar", 231, 8000, 0, 0, true},
        {239, "nchar", 239, 8000, 0, 0, true},
        {241, "xml", 241, -1, 0, 0, false},
        {256, "sysname", 231, 256, 0, 0, true},
    };
    return kTypes;
}

}  // namespace quenlow::testing
