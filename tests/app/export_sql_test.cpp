// The T-SQL script target: column types, literals by type, the CREATE TABLE of a table with every kind
// of column and constraint, and a script written through the target with an identity table, a Stop and
// foreign keys placed after the rows.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/export_files.h"
#include "app/export_sql.h"
#include "engine/catalog/type_codes.h"
#include "tests/app/test_files.h"

namespace quenlow {
namespace {

ExportColumn column(std::string name, std::string type_text, std::int32_t code, std::uint8_t precision = 0,
                    std::uint8_t scale = 0) {
    ExportColumn c;
    c.name = std::move(name);
    c.type_text = std::move(type_text);
    c.type_code = code;
    c.precision = precision;
    c.scale = scale;
    return c;
}

TEST(ExportSql, TypesNameLengthsInCharactersAndMax) {
    struct Case {
        ExportColumn column;
        const char* type;
    };
    const Case cases[] = {
        {column("a", "nvarchar(80)", kTypeNvarchar), "nvarchar(40)"},
        {column("a", "nvarchar(-1)", kTypeNvarchar), "nvarchar(max)"},
        {column("a", "nchar(10)", kTypeNchar), "nchar(5)"},
        {column("a", "varchar(8000)", kTypeVarchar), "varchar(8000)"},
        {column("a", "(11)", kTypeVarchar), "varchar(11)"},  // SQL Server 2000: no type names
        {column("a", "varbinary(-1)", kTypeVarbinary), "varbinary(max)"},
        {column("a", "binary(0)", kTypeBinary), "binary(1)"},
        {column("a", "decimal(9)", kTypeDecimal, 18, 2), "decimal(18,2)"},
        {column("a", "numeric(5)", kTypeNumeric, 0, 0), "numeric(18,0)"},
        {column("a", "datetime2(8)", kTypeDatetime2, 27, 7), "datetime2(7)"},
        {column("a", "time(3)", kTypeTime, 10, 3), "time(3)"},
        {column("a", "timestamp(8)", kTypeTimestamp), "rowversion"},
        {column("a", "hierarchyid(892)", kTypeClr), "varbinary(max)"},
        {column("a", "image(16)", kTypeImage), "image"},
        {column("a", "money(8)", kTypeMoney), "money"},
    };
    for (const Case& c : cases) EXPECT_EQ(sql_type_name(c.column), c.type) << c.column.type_text;
}

TEST(ExportSql, LiteralsByType) {
    struct Case {
        std::int32_t code;
        Cell cell;
        const char* literal;
    };
    const Case cases[] = {
        {kTypeInt, std::nullopt, "NULL"},
        {kTypeVarchar, std::nullopt, "NULL"},
        {kTypeVarchar, "", "''"},
        {kTypeBit, "True", "1"},
        {kTypeBit, "False", "0"},
        {kTypeBigint, "-9223372036854775808", "-9223372036854775808"},
        {kTypeDecimal, "12345678901234567890.12", "12345678901234567890.12"},
        {kTypeMoney, "-0.0001", "-0.0001"},
        {kTypeFloat, "1.5E+20", "1.5E+20"},
        {kTypeReal, "1234.123", "1234.123"},
        {kTypeInt, "(invalid)", "N'(invalid)'"},  // a value the decoder could not read stays a string
        {kTypeVarbinary, "0x00FF", "0x00FF"},
        {kTypeVarbinary, "0x", "0x"},
        {kTypeDatetime, "2015-01-28 18:33:12.040", "CONVERT(datetime, '2015-01-28 18:33:12.040', 121)"},
        {kTypeSmalldatetime, "1900-01-01 00:00:00", "CONVERT(smalldatetime, '1900-01-01 00:00:00', 121)"},
        {kTypeDatetime2, "0001-01-01 00:00:00.0000000", "CONVERT(datetime2(7), '0001-01-01 00:00:00.0000000', 121)"},
        {kTypeTime, "23:59:59.9999999", "CONVERT(time(7), '23:59:59.9999999')"},
        {kTypeDatetimeoffset, "2020-02-29 10:00:00.1230000 +05:30",
         "CONVERT(datetimeoffset(7), '2020-02-29 10:00:00.1230000 +05:30')"},
        {kTypeUniqueidentifier, "ED53BF5E-889B-4364-B078-EC3C2975B33E", "N'ED53BF5E-889B-4364-B078-EC3C2975B33E'"},
        {kTypeChar, "O'Brien", "'O''Brien'"},
        {kTypeVarchar, "M\xC3\xBCnchen", "N'M\xC3\xBCnchen'"},
        {kTypeNvarchar, "abc", "N'abc'"},
        {kTypeVarchar, "bad \xFF byte", "N'bad \xEF\xBF\xBD byte'"},
        // No line of a value may read GO alone; joined pieces start from a (max) text.
        {kTypeVarchar, "a\r\nGO\n", "CONVERT(varchar(max), '')+'a'+CHAR(13)+''+CHAR(10)+'GO'+CHAR(10)+''"},
        {kTypeNtext, "\t", "CONVERT(nvarchar(max), N'')+N''+NCHAR(9)+N''"},
    };
    for (const Case& c : cases) {
        std::string out;
        append_sql_literal(out, c.code, c.cell);
        EXPECT_EQ(out, c.literal) << c.code << " " << c.cell.value_or("NULL");
    }
    EXPECT_EQ(sql_identifier("Order]Details"), "[Order]]Details]");
}

TEST(ExportSql, CreateTableHoldsColumnsKeysDefaultsAndChecks) {
    ExportTable table;
    table.name = {"sales", "Order Lines"};
    table.columns = {column("Id", "int(4)", kTypeInt), column("Price", "money(8)", kTypeMoney),
                     column("Qty", "smallint(2)", kTypeSmallint), column("Code", "nchar(8)", kTypeNchar)};
    table.columns[0].identity_text = "identity(100,5)";
    table.columns[1].nullable = true;
    table.columns[1].default_name = "DF_Price";
    table.columns[1].default_text = "((0))";
    table.columns[2].default_text = "1";  // no name, no parentheses
    table.columns[3].row_guid = false;
    table.computed = {{"Total", "[Price]*[Qty]", 3}, {"Tail", "(1)", 4}};
    table.primary_key = ExportKey{"PK_Lines", {"Id"}, true};
    table.unique_keys = {ExportKey{"UQ_Code", {"Code", "Qty"}, false}};
    table.checks = {{"CK_Qty", "([Qty]>(0))"}};
    EXPECT_EQ(sql_create_table(table),
              "CREATE TABLE [sales].[Order Lines] (\n"
              "    [Id] int IDENTITY(100,5) NOT NULL,\n"
              "    [Price] money NULL CONSTRAINT [DF_Price] DEFAULT ((0)),\n"
              "    [Qty] smallint NOT NULL DEFAULT (1),\n"
              "    [Total] AS ([Price]*[Qty]),\n"
              "    [Code] nchar(4) NOT NULL,\n"
              "    [Tail] AS (1),\n"
              "    CONSTRAINT [PK_Lines] PRIMARY KEY CLUSTERED ([Id]),\n"
              "    CONSTRAINT [UQ_Code] UNIQUE NONCLUSTERED ([Code], [Qty]),\n"
              "    CONSTRAINT [CK_Qty] CHECK ([Qty]>(0))\n"
              ");\n");
    // Identity numbers that are not numbers fall back to 1 and 1.
    table.columns[0].identity_text = "identity(x";
    EXPECT_NE(sql_create_table(table).find("[Id] int IDENTITY(1,1) NOT NULL"), std::string::npos);
}

TEST(ExportSql, ScriptPutsRowsInBatchesAndForeignKeysAfterEveryTable) {
    test::TempFolder folder;
    const std::string path = folder.file("out.sql");
    auto target = make_target(ExportKind::kSql, path);

    ExportTable parent;
    parent.name = {"dbo", "Parent"};
    parent.columns = {column("Id", "int(4)", kTypeInt), column("Stamp", "timestamp(8)", kTypeTimestamp)};
    parent.columns[0].identity_text = "identity(1,1)";
    ExportTable child;
    child.name = {"app", "Child"};
    child.columns = {column("ParentId", "int(4)", kTypeInt)};
    child.foreign_keys = {{"FK_Child_Parent", {"ParentId"}, "dbo", "Parent", {"Id"}}};

    ASSERT_TRUE(target->begin_table(parent));
    CellRows rows;
    rows.width = 2;
    for (int i = 1; i <= 250; ++i) {
        rows.cells.push_back(std::to_string(i));
        rows.cells.push_back("0x00000000000007D1");
    }
    rows.rows = 250;
    ASSERT_TRUE(target->write_rows(rows));
    ASSERT_TRUE(target->end_table(true));
    ASSERT_TRUE(target->begin_table(child));
    ASSERT_TRUE(target->end_table(false));  // stopped before its first row
    ASSERT_TRUE(target->definition("dbo", "V1", "V ", "CREATE VIEW V1 AS SELECT 1 AS x"));
    ASSERT_TRUE(target->definition("dbo", "DF_x", "D ", "((0))\n"));
    EXPECT_FALSE(std::filesystem::exists(path)) << "the script gets its name only when whole";
    ASSERT_TRUE(target->finish());

    const std::string script = test::read_bytes(path);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t p = script.find(what); p != std::string::npos; p = script.find(what, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(script.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(count("INSERT INTO [dbo].[Parent] ([Id]) VALUES\n"), 3u) << "100 rows a statement";
    EXPECT_EQ(count("(250);\n"), 1u) << "the rowversion value is left to the server";
    EXPECT_EQ(count("SET IDENTITY_INSERT [dbo].[Parent] ON;"), 1u);
    EXPECT_EQ(count("SET IDENTITY_INSERT [dbo].[Parent] OFF;"), 1u);
    EXPECT_EQ(count("IF SCHEMA_ID(N'app') IS NULL EXEC(N'CREATE SCHEMA [app]');"), 1u);
    EXPECT_EQ(count("-- The export stopped here"), 1u);
    const std::size_t key = script.find("ALTER TABLE [app].[Child] WITH NOCHECK ADD CONSTRAINT [FK_Child_Parent] "
                                        "FOREIGN KEY ([ParentId]) REFERENCES [dbo].[Parent] ([Id]);\nGO\n");
    ASSERT_NE(key, std::string::npos);
    EXPECT_GT(key, script.find("CREATE TABLE [app].[Child]"));
    EXPECT_LT(key, script.find("CREATE VIEW V1 AS SELECT 1 AS x\nGO\n"));
    EXPECT_NE(script.find("-- Default [dbo].[DF_x]\n-- ((0))\n-- \n"), std::string::npos)
        << "an expression alone is no batch";
    EXPECT_TRUE(target->write_report("{}\n"));
    EXPECT_EQ(test::read_bytes(path + ".report.json"), "{}\n");
}

}  // namespace
}  // namespace quenlow
