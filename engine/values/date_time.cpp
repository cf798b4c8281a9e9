#include "engine/values/date_time.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

#include "engine/pages/byte_reader.h"

namespace quenlow {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kLastYear = 9999;
constexpr std::string_view kBlank = " ";

struct CivilDate {
    std::int64_t year = 1;
    int month = 1;
    int day = 1;
};

bool is_leap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Date of a day number (days since 0001-01-01); none before that day or after 9999-12-31.
std::optional<CivilDate> civil_date(std::int64_t day_number) {
    if (day_number < 0) return std::nullopt;
    constexpr std::array<int, 13> kMonthStarts = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    constexpr std::array<int, 13> kLeapMonthStarts = {0,   31,  60,  91,  121, 152, 182,
                                                      213, 244, 274, 305, 335, 366};
    const std::int64_t cycles = day_number / 146097;
    std::int64_t rest = day_number % 146097;
    const std::int64_t centuries = std::min<std::int64_t>(rest / 36524, 3);
    rest -= centuries * 36524;
    const std::int64_t four_years = rest / 1461;
    rest %= 1461;
    const std::int64_t years = std::min<std::int64_t>(rest / 365, 3);
    rest -= years * 365;
    CivilDate date;
    date.year = 400 * cycles + 100 * centuries + 4 * four_years + years + 1;
    if (date.year > kLastYear) return std::nullopt;
    const auto& starts = is_leap(date.year) ? kLeapMonthStarts : kMonthStarts;
    int month = 1;
    while (month < 12 && rest >= starts[month]) ++month;
    date.month = month;
    date.day = static_cast<int>(rest - starts[month - 1]) + 1;
    return date;
}

// Decimal digits of value, zero-padded (or cut, keeping the lowest digits) to width, written at p;
// returns the end.
char* write_digits(char* p, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

void append_digits(std::string& out, std::uint64_t value, int width) {
    std::array<char, 20> buffer{};
    out.append(buffer.data(), write_digits(buffer.data(), value, width));
}

// Two digits of a value below 100.
char* write_two(char* p, int value) {
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
    return p + 2;
}

// The longest text a date and time of day take: "YYYY-MM-DD hh:mm:ss".
constexpr std::size_t kDateAndClockSize = 19;

char* write_date_text(char* p, const CivilDate& date) {
    p = write_digits(p, static_cast<std::uint64_t>(date.year), 4);
    *p++ = '-';
    p = write_two(p, date.month);
    *p++ = '-';
    return write_two(p, date.day);
}

void append_date_text(std::string& out, const CivilDate& date) {
    std::array<char, kDateAndClockSize> text;
    out.append(text.data(), write_date_text(text.data(), date));
}

// seconds < 86400.
char* write_clock_text(char* p, std::int64_t seconds) {
    const auto s = static_cast<int>(seconds);
    p = write_two(p, s / 3600);
    *p++ = ':';
    p = write_two(p, s / 60 % 60);
    *p++ = ':';
    return write_two(p, s % 60);
}

void append_clock_text(std::string& out, std::int64_t seconds) {
    std::array<char, kDateAndClockSize> text;
    out.append(text.data(), write_clock_text(text.data(), seconds));
}

void append_fraction(std::string& out, std::uint64_t fraction, int scale) {
    if (scale <= 0) return;
    out.push_back('.');
    append_digits(out, fraction, scale);
}

// "YYYY-MM-DD HH:MM:SS" written at p (the end returned), or nothing when the date or the time of day is
// out of range.
char* write_date_and_clock(char* p, std::int64_t day_number, std::int64_t seconds) {
    const auto date = civil_date(day_number);
    if (!date || seconds < 0 || seconds >= kSecondsPerDay) return nullptr;
    p = write_date_text(p, *date);
    *p++ = ' ';
    return write_clock_text(p, seconds);
}

// "YYYY-MM-DD HH:MM:SS", or the blank when the date or the time of day is out of range.
bool append_date_and_clock(std::string& out, std::int64_t day_number, std::int64_t seconds) {
    std::array<char, kDateAndClockSize> text;
    char* end = write_date_and_clock(text.data(), day_number, seconds);
    if (end == nullptr) {
        out.append(kBlank);
        return false;
    }
    out.append(text.data(), end);
    return true;
}

std::uint64_t load_unsigned(std::span<const std::byte> bytes, std::size_t size) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i)
        v |= std::uint64_t{std::to_integer<std::uint8_t>(bytes[i])} << (8 * i);
    return v;
}

std::uint64_t power_of_ten(int exponent) {
    std::uint64_t p = 1;
    for (int i = 0; i < exponent; ++i) p *= 10;
    return p;
}

// Seconds since midnight and the fraction in units of 10^-scale, from the time bytes.
struct TimeOfDay {
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
};

TimeOfDay time_of_day(std::span<const std::byte> bytes, std::size_t size, int scale) {
    const std::uint64_t units = load_unsigned(bytes, size);
    const std::uint64_t per_second = power_of_ten(scale);
    // Eight bytes at scale 0 may exceed the signed range; such a count is no time of day anyway.
    const std::uint64_t seconds = units / per_second;
    return {seconds >= static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(seconds),
            units % per_second};
}

bool valid_scale(int scale) {
    return scale >= 0 && scale <= kMaxTimeScale;
}

// The size checks shared by the sized types: the bytes are there and the size is one the type has.
bool fits(std::span<const std::byte> bytes, int size, int smallest, int largest) {
    return size >= smallest && size <= largest && bytes.size() >= static_cast<std::size_t>(size);
}

std::int64_t day_number_at(std::span<const std::byte> bytes, std::size_t offset) {
    return static_cast<std::int64_t>(load_unsigned(bytes.subspan(offset), 3));
}

}  // namespace

void append_datetime(std::string& out, std::span<const std::byte> bytes) {
    if (bytes.size() < 8) return;
    const auto ticks = load_le<std::int32_t>(bytes, 0);
    const auto days = load_le<std::int32_t>(bytes, 4);
    // The factor is a little above 1/300, so that 300 ticks make a whole second.
    const auto seconds = static_cast<std::int64_t>(ticks * 0.00333333335);
    append_date_and_clock(out, std::int64_t{days} + kDaysTo1900, seconds);
}

void append_datetime_milliseconds(std::string& out, std::span<const std::byte> bytes) {
    if (bytes.size() < 8) return;
    const auto ticks = load_le<std::int32_t>(bytes, 0);
    const auto days = load_le<std::int32_t>(bytes, 4);
    if (ticks < 0) {
        out.append(kBlank);
        return;
    }
    // Ticks of 1/300 s to the nearest millisecond: 1 -> 3, 2 -> 7, 3 -> 10. The last tick of a day,
    // 25919999, gives 86399997, so rounding never reaches the next day.
    const std::int64_t milliseconds = (std::int64_t{ticks} * 20 + 3) / 6;
    std::array<char, kDateAndClockSize + 4> text;
    char* end = write_date_and_clock(text.data(), std::int64_t{days} + kDaysTo1900, milliseconds / 1000);
    if (end == nullptr) {
        out.append(kBlank);
        return;
    }
    *end++ = '.';
    end = write_digits(end, static_cast<std::uint64_t>(milliseconds % 1000), 3);
    out.append(text.data(), end);
}

void append_smalldatetime(std::string& out, std::span<const std::byte> bytes) {
    if (bytes.size() < 4) return;
    const auto minutes = load_le<std::int16_t>(bytes, 0);
    const auto days = load_le<std::uint16_t>(bytes, 2);
    append_date_and_clock(out, std::int64_t{days} + kDaysTo1900, std::int64_t{minutes} * 60);
}

void append_date(std::string& out, std::span<const std::byte> bytes) {
    if (bytes.size() < 3) return;
    const auto date = civil_date(day_number_at(bytes, 0));
    if (!date) {
        out.append(kBlank);
        return;
    }
    append_date_text(out, *date);
}

void append_time(std::string& out, std::span<const std::byte> bytes, int scale, int size) {
    if (!fits(bytes, size, 1, 8) || !valid_scale(scale)) return;
    const TimeOfDay t = time_of_day(bytes, static_cast<std::size_t>(size), scale);
    if (t.seconds >= kSecondsPerDay) {
        out.append(kBlank);
        return;
    }
    append_clock_text(out, t.seconds);
    append_fraction(out, t.fraction, scale);
}

void append_datetime2(std::string& out, std::span<const std::byte> bytes, int scale, int size) {
    if (!fits(bytes, size, 6, 8) || !valid_scale(scale)) return;
    const auto time_size = static_cast<std::size_t>(size - 3);
    const TimeOfDay t = time_of_day(bytes, time_size, scale);
    if (append_date_and_clock(out, day_number_at(bytes, time_size), t.seconds)) {
        append_fraction(out, t.fraction, scale);
    }
}

namespace {

// The stored date and time are UTC; the text shows the local time, UTC plus the offset, with the date
// moving along when the shift crosses midnight. Display: the offset as "+H:M" after two blanks when
// there is a fraction; iso: "+hh:mm" after one blank.
void append_local_time_and_offset(std::string& out, std::span<const std::byte> bytes, int scale, int size,
                                  bool iso) {
    if (!fits(bytes, size, 8, 10) || !valid_scale(scale)) return;
    const auto time_size = static_cast<std::size_t>(size - 5);
    const auto offset = load_le<std::int16_t>(bytes, size - 2);
    const TimeOfDay t = time_of_day(bytes, time_size, scale);
    if (t.seconds >= kSecondsPerDay) {
        out.append(kBlank);
        return;
    }
    const std::int64_t local = day_number_at(bytes, time_size) * kSecondsPerDay + t.seconds + 60 * offset;
    const std::int64_t day = local >= 0 ? local / kSecondsPerDay : -1;
    if (!append_date_and_clock(out, day, local - day * kSecondsPerDay)) return;
    append_fraction(out, t.fraction, scale);
    out.append(scale > 0 && !iso ? "  " : " ");
    const int magnitude = std::abs(int{offset});
    out.push_back(offset < 0 ? '-' : '+');
    if (iso) {
        append_digits(out, static_cast<std::uint64_t>(magnitude / 60), 2);
        out.push_back(':');
        append_digits(out, static_cast<std::uint64_t>(magnitude % 60), 2);
        return;
    }
    out.append(std::to_string(magnitude / 60));
    out.push_back(':');
    out.append(std::to_string(magnitude % 60));
}

}  // namespace

void append_datetimeoffset(std::string& out, std::span<const std::byte> bytes, int scale, int size) {
    append_local_time_and_offset(out, bytes, scale, size, false);
}

void append_datetimeoffset_iso(std::string& out, std::span<const std::byte> bytes, int scale, int size) {
    append_local_time_and_offset(out, bytes, scale, size, true);
}

std::string format_datetime(std::span<const std::byte> bytes) {
    std::string out;
    append_datetime(out, bytes);
    return out;
}

std::string format_smalldatetime(std::span<const std::byte> bytes) {
    std::string out;
    append_smalldatetime(out, bytes);
    return out;
}

std::string format_date(std::span<const std::byte> bytes) {
    std::string out;
    append_date(out, bytes);
    return out;
}

std::string format_time(std::span<const std::byte> bytes, int scale, int size) {
    std::string out;
    append_time(out, bytes, scale, size);
    return out;
}

std::string format_datetime2(std::span<const std::byte> bytes, int scale, int size) {
    std::string out;
    append_datetime2(out, bytes, scale, size);
    return out;
}

std::string format_datetimeoffset(std::span<const std::byte> bytes, int scale, int size) {
    std::string out;
    append_datetimeoffset(out, bytes, scale, size);
    return out;
}

}  // namespace quenlow
