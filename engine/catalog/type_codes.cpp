#include "engine/catalog/type_codes.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace quenlow {

namespace {

constexpr std::array<std::pair<std::uint8_t, std::int32_t>, 32> kCodes = {{
    {127, kTypeBigint},    {173, kTypeBinary},     {104, kTypeBit},
    {175, kTypeChar},      {61, kTypeDatetime},    {40, kTypeDate},
    {41, kTypeTime},       {42, kTypeDatetime2},   {43, kTypeDatetimeoffset},
    {56, kTypeInt},        {239, kTypeNchar},      {231, kTypeNvarchar},
    {52, kTypeSmallint},   {48, kTypeTinyint},     {36, kTypeUniqueidentifier},
    {165, kTypeVarbinary}, {167, kTypeVarchar},    {232, kTypeSysname},
    {99, kTypeNtext},      {98, kTypeSqlVariant},  {60, kTypeMoney},
    {62, kTypeFloat},      {108, kTypeNumeric},    {106, kTypeDecimal},
    {34, kTypeText},       {35, kTypeText},        {58, kTypeSmalldatetime},
    {59, kTypeReal},       {122, kTypeSmallmoney}, {189, kTypeTimestamp},
    {240, kTypeClr},       {241, kTypeXml},
}};

// Code by system type id, 3 (char) where the table lists nothing.
constexpr std::array<std::int32_t, 256> kCodeById = [] {
    std::array<std::int32_t, 256> table{};
    table.fill(kTypeChar);
    for (const auto& [id, code] : kCodes) table[id] = code;
    return table;
}();

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Decimal text to integer as the C library reads it; saturates at the 32-bit range.
std::int32_t decimal_prefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, kLimit - 1));
}

}  // namespace

std::int32_t type_code_of(std::uint32_t system_type_id) {
    return system_type_id < kCodeById.size() ? kCodeById[system_type_id] : kTypeChar;
}

std::int32_t column_type_code_of(std::uint32_t system_type_id) {
    return system_type_id == kSystemTypeImage ? kTypeImage : type_code_of(system_type_id);
}

std::int16_t declared_length_of(std::string_view type_text) {
    const auto open = type_text.find('(');
    const auto close = type_text.find(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return 0;
    // A value beyond 16 bits keeps its low 16 bits, as a 16-bit store of the converted number does.
    return static_cast<std::int16_t>(decimal_prefix(type_text.substr(open + 1, close - open - 1)));
}

ColumnDescriptor make_column_descriptor(std::string name, std::string type_text, std::int32_t type_code) {
    ColumnDescriptor d;
    d.name = std::move(name);
    d.type_text = std::move(type_text);
    d.type_code = type_code;
    switch (type_code) {
        case kTypeBinary:
        case kTypeChar:
        case kTypeNchar:
        case kTypeNumeric:
        case kTypeDecimal:
            d.declared_length = declared_length_of(d.type_text);
            break;
        case kTypeNvarchar:
        case kTypeText:
        case kTypeClr:
        case kTypeXml:
            d.declared_length = declared_length_of(d.type_text);
            d.variable_length = true;
            break;
        case kTypeSysname:
            d.declared_length = declared_length_of(d.type_text);
            d.variable_length = true;
            d.type_code = kTypeNvarchar;
            break;
        case kTypeUniqueidentifier:
        case kTypeVarbinary:
        case kTypeVarchar:
        case kTypeNtext:
        case kTypeSqlVariant:
        case kTypeImage:
            d.variable_length = true;
            break;
        case kTypeUnused31:
        case kTypeUnused32:
            d.variable_length = true;
            d.type_code = kTypeVarchar;
            break;
        default:
            if (type_code > kTypeXml) {
                d.variable_length = true;
                d.type_code = kTypeVarchar;
            }
            break;
    }
    return d;
}

}  // namespace quenlow
