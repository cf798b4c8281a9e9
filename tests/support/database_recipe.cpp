#include "tests/support/database_recipe.h"

#include <stdexcept>

namespace quenlow::testing {

namespace {

// Two characters, padded with a blank: the stored form of a type code.
std::string type_code(std::string type) {
    if (type.empty() || type.size() > 2) throw std::invalid_argument("a type code has one or two characters");
    if (type.size() == 1) type += ' ';
    return type;
}

}  // namespace

ColumnSpec& TableSpec::add_column(std::string column_name, SqlType type, int length, bool nullable) {
    ColumnSpec c;
    c.name = std::move(column_name);
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    const bool sized = type == SqlType::Char || type == SqlType::VarChar || type == SqlType::NChar ||
                       type == SqlType::NVarChar || type == SqlType::Binary || type == SqlType::VarBinary;
    if (sized && length == 0) c.length = 1;
    if ((type == SqlType::Char || type == SqlType::NChar || type == SqlType::Binary) && length < 0)
        throw std::invalid_argument("column " + c.name + ": fixed-length types have no max");
    if (type == SqlType::Time || type == SqlType::DateTime2 || type == SqlType::DateTimeOffset) c.scale = 7;
    columns.push_back(std::move(c));
    return columns.back();
}

ColumnSpec& TableSpec::add_decimal(std::string column_name, int precision, int scale, bool nullable) {
    if (precision < 1 || precision > 38 || scale < 0 || scale > precision)
        throw std::invalid_argument("decimal precision 1..38 and scale 0..precision");
    ColumnSpec& c = add_column(std::move(column_name), SqlType::Decimal, 0, nullable);
    c.precision = static_cast<std::uint8_t>(precision);
    c.scale = static_cast<std::uint8_t>(scale);
    return c;
}

ColumnSpec& TableSpec::add_time(std::string column_name, SqlType type, int fraction_digits, bool nullable) {
    if (type != SqlType::Time && type != SqlType::DateTime2 && type != SqlType::DateTimeOffset)
        throw std::invalid_argument("add_time takes time, datetime2 or datetimeoffset");
    if (fraction_digits < 0 || fraction_digits > 7) throw std::invalid_argument("fraction digits 0..7");
    ColumnSpec& c = add_column(std::move(column_name), type, 0, nullable);
    c.scale = static_cast<std::uint8_t>(fraction_digits);
    return c;
}

TableSpec& TableSpec::primary_key(std::vector<std::string> key, std::string key_name_) {
    for (const auto& k : key)
        if (column_index(k) < 0)
            throw std::invalid_argument("primary key column " + k + " is not in " + name);
    key_columns = std::move(key);
    key_name = std::move(key_name_);
    return *this;
}

TableSpec& TableSpec::add_row(std::vector<Value> values) {
    if (values.size() != columns.size())
        throw std::invalid_argument("table " + name + ": a row needs one value per column");
    rows.push_back(std::move(values));
    return *this;
}

int TableSpec::column_index(const std::string& column_name) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == column_name) return static_cast<int>(i);
    return -1;
}

TableSpec& DatabaseSpec::add_table(std::string table_name) {
    tables.emplace_back();
    tables.back().name = std::move(table_name);
    return tables.back();
}

ModuleSpec& DatabaseSpec::add_view(std::string view_name, std::string definition) {
    modules.push_back({std::move(view_name), "V ", std::move(definition), {}, 0, {}});
    return modules.back();
}

ModuleSpec& DatabaseSpec::add_procedure(std::string procedure_name, std::string definition) {
    modules.push_back({std::move(procedure_name), "P ", std::move(definition), {}, 0, {}});
    return modules.back();
}

ModuleSpec& DatabaseSpec::add_function(std::string function_name, std::string definition, std::string type) {
    modules.push_back({std::move(function_name), type_code(std::move(type)), std::move(definition), {}, 0, {}});
    return modules.back();
}

ModuleSpec& DatabaseSpec::add_trigger(std::string trigger_name, std::string parent_table,
                                      std::string definition) {
    modules.push_back({std::move(trigger_name), "TR", std::move(definition), std::move(parent_table), 0, {}});
    return modules.back();
}

ModuleSpec& DatabaseSpec::add_check(std::string check_name, std::string table, std::string definition) {
    modules.push_back({std::move(check_name), "C ", std::move(definition), std::move(table), 0, {}});
    return modules.back();
}

DefinitionRowSpec& DatabaseSpec::add_definition_row(std::string object, std::int32_t sub_id,
                                                    std::vector<std::byte> value) {
    definition_rows.push_back({std::move(object), sub_id, std::move(value)});
    return definition_rows.back();
}

DefaultSpec& DatabaseSpec::add_default(std::string default_name, std::string table, std::string column,
                                       std::string definition) {
    defaults.push_back(
        {std::move(default_name), std::move(table), std::move(column), std::move(definition), 0});
    return defaults.back();
}

ForeignKeySpec& DatabaseSpec::add_foreign_key(std::string key_name, std::string table,
                                              std::vector<std::string> columns, std::string referenced_table,
                                              std::vector<std::string> referenced_columns) {
    if (columns.empty() || columns.size() != referenced_columns.size())
        throw std::invalid_argument("foreign key " + key_name + ": column lists must pair up");
    foreign_keys.push_back({std::move(key_name), std::move(table), std::move(columns),
                            std::move(referenced_table), std::move(referenced_columns), 0});
    return foreign_keys.back();
}

TableSpec* DatabaseSpec::find_table(const std::string& table_name) {
    for (auto& t : tables)
        if (t.name == table_name) return &t;
    return nullptr;
}

const TableSpec* DatabaseSpec::find_table(const std::string& table_name) const {
    for (const auto& t : tables)
        if (t.name == table_name) return &t;
    return nullptr;
}

}  // namespace quenlow::testing
