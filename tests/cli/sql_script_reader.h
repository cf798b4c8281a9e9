#pragma once
// Reads back what an exported T-SQL script creates and inserts, independently of the code that wrote it:
// a small tokenizer of T-SQL (strings '..' and N'..' with doubled quotes, [identifiers] with doubled
// brackets, "-- comments", numbers, 0x literals, words, punctuation) and a reader of the two statements
// that carry data:
//
//   CREATE TABLE [s].[t] ( [col] type[(args)] ..., [col] AS (expr), CONSTRAINT ... );
//   INSERT INTO [s].[t] ([col], ...) VALUES (value, ...), ...;
//
// A value is NULL, a number, a 0x literal, a string (pieces joined by +, CHAR(n) and NCHAR(n) among
// them), or CONVERT(type, value[, style]), which gives its string. Anything else fails the read.

#include <optional>
#include <string>
#include <vector>

namespace quenlow::test {

struct ScriptColumn {
    std::string name;
    std::string type;  // "nvarchar(40)", "decimal(18,2)", lower case
    bool computed = false;
};

struct ScriptTable {
    std::string schema;
    std::string name;
    std::vector<ScriptColumn> columns;
    // The column list of the table's INSERT statements, and their rows (NULL as nothing).
    std::vector<std::string> insert_columns;
    std::vector<std::vector<std::optional<std::string>>> rows;
    // Each INSERT value's kind: 'n' number, 'x' hex, 's' string, 'c' CONVERT, '0' NULL.
    std::vector<std::vector<char>> kinds;
};

struct Script {
    std::vector<ScriptTable> tables;
    std::size_t go_lines = 0;
    std::string error;  // where the read failed
};

Script read_sql_script(const std::string& text);

}  // namespace quenlow::test
