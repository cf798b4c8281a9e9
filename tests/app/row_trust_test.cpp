// Which decoded values make a row that is not a live row unfit to show.

#include <gtest/gtest.h>

#include "app/row_trust.h"
#include "engine/catalog/type_codes.h"

namespace quenlow {
namespace {

ColumnDescriptor value(std::int32_t type_code, std::string text, ValueDamage damage = ValueDamage::kNone) {
    ColumnDescriptor d;
    d.type_code = type_code;
    d.value_text = std::move(text);
    d.value_damaged = damage != ValueDamage::kNone;
    d.damage_reason = damage;
    return d;
}

TEST(RowValuesPlausible, TextAndDamageDecide) {
    struct Case {
        const char* what;
        ColumnDescriptor column;
        bool plausible;
    };
    const Case cases[] = {
        {"plain text", value(kTypeNvarchar, "Mr. A"), true},
        {"tab and line breaks", value(kTypeVarchar, "a\tb\r\nc"), true},
        {"a control character", value(kTypeVarchar, std::string("a\x01" "b")), false},
        {"a control character in Unicode text", value(kTypeNchar, std::string("\x1F")), false},
        {"a lone surrogate in Unicode text", value(kTypeNvarchar, "x\xEF\xBF\xBDy"), false},
        {"an undefined byte of 8-bit text", value(kTypeVarchar, "x\xEF\xBF\xBDy"), true},
        {"control bytes in a number's text are not looked at", value(kTypeInt, std::string("\x01")), true},
        {"a date out of range", value(kTypeDatetime, " ", ValueDamage::kInvalidBytes), false},
        {"a value outside the record", value(kTypeInt, "", ValueDamage::kOutsideRecord), false},
        {"a large value whose pages are gone", value(kTypeText, "", ValueDamage::kLargeValueCut), true},
        {"xml that cannot be read", value(kTypeXml, "", ValueDamage::kXmlRefused), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(row_values_plausible({value(kTypeInt, "1"), c.column}), c.plausible);
    }
    ColumnDescriptor null_text = value(kTypeVarchar, std::string("\x01"));
    null_text.value_null = true;
    EXPECT_TRUE(row_values_plausible({null_text}));
}

TEST(LeftOutRows, TextCountsBoth) {
    EXPECT_EQ(left_out_text({3, 1}),
              "Left out 3 stale copies of rows already shown and 1 candidate records that do not decode cleanly.");
    EXPECT_FALSE(LeftOutRows{}.any());
}

}  // namespace
}  // namespace quenlow
