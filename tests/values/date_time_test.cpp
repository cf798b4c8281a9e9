#include "engine/values/date_time.h"

#include <gtest/gtest.h>

#include "tests/values/value_test_support.h"

namespace quenlow {
namespace {

using testing::Bytes;
using testing::column;
using testing::concat;
using testing::le;
using testing::ValueFormatting;

constexpr std::int64_t kDay20200101 = 737424;
constexpr std::int64_t kDay20200229 = 737483;
constexpr std::int64_t kDay20201231 = 737789;
constexpr std::int64_t kDay99991231 = 3652058;

Bytes datetime_bytes(std::int32_t ticks, std::int32_t days) {
    return concat({le(ticks), le(days)});
}

Bytes smalldatetime_bytes(std::int16_t minutes, std::uint16_t days) {
    return concat({le(minutes), le(days)});
}

// The low `size` bytes of v, little-endian.
Bytes unsigned_bytes(std::uint64_t v, int size) {
    Bytes out = le(v);
    out.resize(static_cast<std::size_t>(size));
    return out;
}

Bytes date_bytes(std::int64_t day_number) {
    return unsigned_bytes(static_cast<std::uint64_t>(day_number), 3);
}

std::uint64_t seconds_of(int hour, int minute, int second) {
    return hour * 3600ull + minute * 60ull + second;
}

TEST(DatetimeText, TicksAndDaysSince1900) {
    const struct {
        Bytes bytes;
        std::string text;
    } cases[] = {
        {datetime_bytes(0, 0), "1900-01-01 00:00:00"},
        {datetime_bytes(0, -53690), "1753-01-01 00:00:00"},
        {datetime_bytes(300 * 86400 - 1, 0), "1900-01-01 23:59:59"},
        {datetime_bytes(299, 0), "1900-01-01 00:00:00"},
        {datetime_bytes(300, 0), "1900-01-01 00:00:01"},
        {datetime_bytes(300 * 3723, 43829), "2020-01-01 01:02:03"},
        {datetime_bytes(0, 2958463), "9999-12-31 00:00:00"},
        // Out of range: one blank.
        {datetime_bytes(0, 2958464), " "},
        {datetime_bytes(300 * 86400, 0), " "},
        {datetime_bytes(-1, 0), "1900-01-01 00:00:00"},  // truncated toward zero
        {datetime_bytes(-300, 0), " "},
        {datetime_bytes(0, -693596), " "},
    };
    for (const auto& c : cases) EXPECT_EQ(format_datetime(c.bytes), c.text);
    EXPECT_EQ(format_datetime(datetime_bytes(0, 0)).size(), 19u);
}

TEST(SmalldatetimeText, MinutesAndUnsignedDays) {
    EXPECT_EQ(format_smalldatetime(smalldatetime_bytes(0, 0)), "1900-01-01 00:00:00");
    EXPECT_EQ(format_smalldatetime(smalldatetime_bytes(1439, 0)), "1900-01-01 23:59:00");
    EXPECT_EQ(format_smalldatetime(smalldatetime_bytes(61, 65535)), "2079-06-06 01:01:00");
    EXPECT_EQ(format_smalldatetime(smalldatetime_bytes(1440, 0)), " ");
    EXPECT_EQ(format_smalldatetime(smalldatetime_bytes(-1, 0)), " ");
}

TEST(DateText, DaysSinceYearOne) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "0001-01-01"},
        {kDay20200229, "2020-02-29"},
        {kDay20200229 + 1, "2020-03-01"},
        {693595 + 59, "1900-03-01"},  // 1900 is no leap year
        {146096, "0400-12-31"},       // the last day of a 400-year cycle
        {146097, "0401-01-01"},
        {kDay99991231, "9999-12-31"},
        {kDay99991231 + 1, " "},
        {0xFFFFFF, " "},
    };
    for (const auto& [day, text] : cases) EXPECT_EQ(format_date(date_bytes(day)), text) << day;
}

TEST(TimeText, UnitsOfTheScaleWithExactlyScaleDigits) {
    const struct {
        std::uint64_t units;
        int scale;
        int size;
        std::string text;
    } cases[] = {
        {10 * 10000000ull + 5, 7, 5, "00:00:10.0000005"},
        {seconds_of(1, 1, 1), 0, 3, "01:01:01"},
        {86399999, 3, 4, "23:59:59.999"},
        {seconds_of(12, 0, 0) * 10000000 + 500000, 7, 5, "12:00:00.0500000"},
        {86400ull * 1000, 3, 4, " "},
        {0, 18, 8, "00:00:00.000000000000000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_time(unsigned_bytes(c.units, c.size), c.scale, c.size), c.text) << c.units;
    }
}

TEST(TimeText, SizesAndScalesNoTimeHasGiveNoText) {
    const Bytes nine(9, std::byte{0});
    EXPECT_EQ(format_time(nine, 7, 9), "");
    EXPECT_EQ(format_time(nine, 7, 0), "");
    EXPECT_EQ(format_time(nine, 19, 5), "");
    EXPECT_EQ(format_time(nine, -1, 5), "");
    EXPECT_EQ(format_time(unsigned_bytes(0, 4), 7, 5), "");  // fewer bytes than the size
}

TEST(Datetime2Text, TimeBytesThenDate) {
    const Bytes seven =
        concat({unsigned_bytes(seconds_of(10, 15, 30) * 10000000 + 1234567, 5), date_bytes(kDay20200229)});
    EXPECT_EQ(format_datetime2(seven, 7, 8), "2020-02-29 10:15:30.1234567");
    const Bytes two =
        concat({unsigned_bytes(seconds_of(23, 59, 59) * 100 + 99, 3), date_bytes(kDay99991231)});
    EXPECT_EQ(format_datetime2(two, 2, 6), "9999-12-31 23:59:59.99");
    const Bytes zero = concat({unsigned_bytes(seconds_of(0, 0, 1), 3), date_bytes(0)});
    EXPECT_EQ(format_datetime2(zero, 0, 6), "0001-01-01 00:00:01");
    const Bytes late = concat({unsigned_bytes(86400 * 1000ull, 4), date_bytes(0)});
    EXPECT_EQ(format_datetime2(late, 3, 7), " ");
    // Sizes no datetime2 has.
    EXPECT_EQ(format_datetime2(seven, 7, 5), "");
    EXPECT_EQ(format_datetime2(concat({seven, Bytes{std::byte{0}}}), 7, 9), "");
}

Bytes offset_bytes(std::uint64_t units, int time_size, std::int64_t day, std::int16_t offset) {
    return concat({unsigned_bytes(units, time_size), date_bytes(day), le(offset)});
}

TEST(DatetimeoffsetText, LocalTimeIsUtcPlusTheOffset) {
    const std::uint64_t t1015 = seconds_of(10, 15, 0);
    const std::uint64_t t2350 = seconds_of(23, 50, 0);
    const struct {
        Bytes bytes;
        int scale;
        std::string text;
    } cases[] = {
        {offset_bytes(t1015, 3, kDay20200101, 330), 0, "2020-01-01 15:45:00 +5:30"},
        {offset_bytes(t1015, 3, kDay20200101, -30), 0, "2020-01-01 09:45:00 -0:30"},
        {offset_bytes(t1015, 3, kDay20200101, 0), 0, "2020-01-01 10:15:00 +0:0"},
        {offset_bytes(t1015, 3, kDay20200101, -480), 0, "2020-01-01 02:15:00 -8:0"},
        {offset_bytes(t1015 * 1000 + 123, 4, kDay20200101, 0), 3, "2020-01-01 10:15:00.123  +0:0"},
        {offset_bytes(t1015 * 10000000, 5, kDay20200101, 840), 7, "2020-01-02 00:15:00.0000000  +14:0"},
        // Crossing midnight moves the date.
        {offset_bytes(t2350, 3, kDay20200101, 60), 0, "2020-01-02 00:50:00 +1:0"},
        {offset_bytes(t2350, 3, kDay20201231, 60), 0, "2021-01-01 00:50:00 +1:0"},
        {offset_bytes(seconds_of(0, 10, 0), 3, kDay20200101, -60), 0, "2019-12-31 23:10:00 -1:0"},
        {offset_bytes(seconds_of(0, 10, 0), 3, kDay20200229 + 1, -60), 0, "2020-02-29 23:10:00 -1:0"},
        // Local dates beyond the calendar, and a stored time that is no time of day.
        {offset_bytes(seconds_of(0, 10, 0), 3, 0, -60), 0, " "},
        {offset_bytes(seconds_of(23, 30, 0), 3, kDay99991231, 60), 0, " "},
        {offset_bytes(86400, 3, kDay20200101, 0), 0, " "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_datetimeoffset(c.bytes, c.scale, static_cast<int>(c.bytes.size())), c.text)
            << c.text;
    }
    EXPECT_EQ(format_datetimeoffset(offset_bytes(0, 3, 0, 0), 0, 7), "");
    EXPECT_EQ(format_datetimeoffset(offset_bytes(0, 3, 0, 0), 0, 9), "");
}

TEST(DateTimeColumns, SizeFromTheTypeTextScaleFromTheColumn) {
    ValueFormatting f;
    const Bytes dt2 = concat({unsigned_bytes(seconds_of(1, 2, 3) * 1000 + 45, 4), date_bytes(kDay20200101)});
    EXPECT_EQ(f.format(column("datetime2(7)", kTypeDatetime2, 23, 3), dt2), "2020-01-01 01:02:03.045");
    EXPECT_EQ(f.format(column("time(4)", kTypeTime, 12, 3), unsigned_bytes(45, 4)), "00:00:00.045");
    EXPECT_EQ(f.format(column("datetimeoffset(10)", kTypeDatetimeoffset, 34, 7),
                       offset_bytes(seconds_of(23, 50, 0) * 10000000, 5, kDay20200101, 60)),
              "2020-01-02 00:50:00.0000000  +1:0");
    EXPECT_EQ(f.format(column("datetime(8)", kTypeDatetime), datetime_bytes(0, 0)), "1900-01-01 00:00:00");
    EXPECT_EQ(f.format(column("smalldatetime(4)", kTypeSmalldatetime), smalldatetime_bytes(1439, 0)),
              "1900-01-01 23:59:00");
    EXPECT_EQ(f.format(column("date(3)", kTypeDate), date_bytes(0)), "0001-01-01");
    // Fewer bytes than the type takes.
    EXPECT_EQ(f.format(column("datetime(8)", kTypeDatetime), datetime_bytes(0, 0), 7), "");
    EXPECT_EQ(f.format(column("date(3)", kTypeDate), date_bytes(0), 2), "");
    EXPECT_EQ(f.format(column("datetime2(8)", kTypeDatetime2, 27, 7), dt2, 7), "");
}

}  // namespace
}  // namespace quenlow
