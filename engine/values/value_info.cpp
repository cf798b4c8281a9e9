#include "engine/values/value_info.h"

#include "engine/catalog/type_codes.h"

namespace quenlow {

namespace {

void set_sizes(ValueInfo& info, std::int16_t width, std::int16_t value_length) {
    info.width = width;
    info.value_length = value_length;
}

}  // namespace

ValueInfo make_value_info(const ColumnDescriptor& column, std::int32_t type_code, BitCursor& cursor) {
    ValueInfo info;
    info.type_code = type_code;
    const std::int16_t declared = column.declared_length;
    switch (type_code) {
        case kTypeBigint:
        case kTypeDatetime:
        case kTypeDatetime2:
        case kTypeFloat:
        case kTypeMoney:
        case kTypeTimestamp:
            set_sizes(info, 8, 8);
            break;
        case kTypeBinary:
        case kTypeChar:
        case kTypeDecimal:
            set_sizes(info, declared, declared);
            break;
        case kTypeBit:
            // The first bit column after a full (or no) byte takes a new byte of the fixed part.
            info.bit_cursor = &cursor;
            cursor.byte_taken = cursor.bit_index == 8;
            set_sizes(info, cursor.byte_taken ? 1 : 0, 1);
            break;
        case kTypeDate:
            set_sizes(info, 3, 3);
            break;
        case kTypeTime:
            set_sizes(info, 5, 5);
            break;
        case kTypeDatetimeoffset:
            set_sizes(info, 10, 10);
            break;
        case kTypeInt:
        case kTypeSmalldatetime:
        case kTypeReal:
        case kTypeSmallmoney:
            set_sizes(info, 4, 4);
            break;
        case kTypeSmallint:
            set_sizes(info, 2, 2);
            break;
        case kTypeTinyint:
            set_sizes(info, 1, 1);
            break;
        case kTypeUniqueidentifier:
            set_sizes(info, 16, 16);
            break;
        case kTypeNumeric:
            set_sizes(info, 19, 19);  // the largest numeric; the formatter reads the declared size
            break;
        case kTypeNchar:
        case kTypeNvarchar:
        case kTypeNtext:
        case kTypeSqlVariant:
        case kTypeText:
        case kTypeClr:
            info.variable = column.variable_length;
            set_sizes(info, declared, declared);
            break;
        case kTypeVarchar:
            info.variable = column.variable_length;
            set_sizes(info, 0, declared);
            break;
        case kTypeVarbinary:
        case kTypeImage:
        case kTypeXml:
            info.variable = true;
            set_sizes(info, 0, declared);
            break;
        default:
            break;
    }
    return info;
}

}  // namespace quenlow
