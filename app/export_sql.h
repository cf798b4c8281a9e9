#pragma once
// The T-SQL script target: one .sql file that rebuilds the exported database on a new server when run
// with sqlcmd. UTF-8 with a byte order mark; statements grouped into batches ended by GO:
//
//   CREATE SCHEMA        for every schema other than dbo that a table needs (when it is missing)
//   CREATE TABLE         per table: the columns in column order with their SQL Server types (lengths in
//                        characters, (max), precision and scale), NULL / NOT NULL, IDENTITY(seed,
//                        increment), ROWGUIDCOL, SPARSE, computed columns (AS expression), named default
//                        constraints, then the primary key, unique and check constraints
//   INSERT               the table's rows right after it, up to 100 rows a statement and 1000 a batch,
//                        with an explicit column list (rowversion columns left out: the server makes
//                        their values), between SET IDENTITY_INSERT ON and OFF when the table has an
//                        identity column
//   ALTER TABLE          the foreign keys, after every table's rows, WITH NOCHECK
//   definitions          views, functions, procedures and triggers as stored, each a batch of its own;
//                        a default's expression alone is kept as a comment
//
// Literals by type: NULL; integers, decimal, money, float and real as their exact digits; bit 1 / 0;
// binary 0x...; datetime, smalldatetime, date and datetime2 as CONVERT(type, 'yyyy-mm-dd hh:mi:ss.fff',
// 121), time and datetimeoffset as CONVERT(type, 'ISO text'); character data as '...' (N'...' for
// Unicode columns and for any text with a letter beyond ASCII), quotes doubled, control characters as
// CHAR(n) / NCHAR(n) joined to a (max) text. A value whose text does not fit its type's form (one the
// decoder could not read) is written as a string.
//
// The file is written under "<path>.part" and renamed when whole; the recovery report goes to
// "<path>.report.json".

#include <memory>
#include <string>
#include <string_view>

#include "app/export.h"

namespace quenlow {

// [name], with ] doubled.
std::string sql_identifier(std::string_view name);
// The column's type as a CREATE TABLE names it: "nvarchar(40)", "decimal(18,2)", "varbinary(max)".
std::string sql_type_name(const ExportColumn& column);
// Appends the literal of one cell of a column of this type code.
void append_sql_literal(std::string& out, std::int32_t type_code, const Cell& cell);
// The CREATE TABLE statement of a table, ended by ";" and a line break.
std::string sql_create_table(const ExportTable& table);
// The ALTER TABLE statement that adds a foreign key, with its GO.
std::string sql_add_foreign_key(const ExportTableName& table, const ExportForeignKey& key);

std::unique_ptr<ExportTarget> make_sql_target(const std::string& path);

}  // namespace quenlow
