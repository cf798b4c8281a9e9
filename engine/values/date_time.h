#pragma once
// Text of the six date and time types. Stored forms, all little-endian:
//
//   type            bytes     layout
//   datetime        8         0-3: signed count of 1/300 s ticks since midnight
//                             4-7: signed count of days since 1900-01-01
//   smalldatetime   4         0-1: signed count of minutes since midnight
//                             2-3: unsigned count of days since 1900-01-01
//   date            3         unsigned count of days since 0001-01-01 (proleptic Gregorian)
//   time            n = 3..5  unsigned count of 10^-s seconds since midnight (s: the scale)
//   datetime2       n = 6..8  time in the first n - 3 bytes, then date (3 bytes)
//   datetimeoffset  n = 8..10 UTC time in the first n - 5 bytes, then UTC date (3 bytes), then the
//                             signed offset of the local time in minutes (2 bytes)
//
// Texts are "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS"; time, datetime2 and datetimeoffset add
// "." and exactly s fraction digits when s > 0, datetimeoffset then the offset as "+H:M" ("+5:30",
// "+0:0", "-8:0"), after two blanks when there is a fraction, after one otherwise. Milliseconds of
// datetime are not shown.
//
// The export forms keep what the display forms drop: datetime with its milliseconds
// ("YYYY-MM-DD HH:MM:SS.fff"), datetimeoffset with its offset as "+hh:mm" after one blank.
//
// A value whose date lies before 0001-01-01 or after 9999-12-31, or whose time is not a time of day, is
// shown as one blank, " ". Too few bytes, or a size or scale the type cannot have, give an empty text.

#include <cstdint>
#include <span>
#include <string>

namespace quenlow {

// Days from 0001-01-01 to 1900-01-01, the origin of datetime and smalldatetime.
inline constexpr std::int64_t kDaysTo1900 = 693595;

// The largest scale whose unit count still fits the arithmetic; stored values use 0 to 7.
inline constexpr int kMaxTimeScale = 18;

void append_datetime(std::string& out, std::span<const std::byte> bytes);
void append_datetime_milliseconds(std::string& out, std::span<const std::byte> bytes);
void append_smalldatetime(std::string& out, std::span<const std::byte> bytes);
void append_date(std::string& out, std::span<const std::byte> bytes);
// `size` is the number of stored bytes the value takes (1 to 8 for time).
void append_time(std::string& out, std::span<const std::byte> bytes, int scale, int size);
void append_datetime2(std::string& out, std::span<const std::byte> bytes, int scale, int size);
void append_datetimeoffset(std::string& out, std::span<const std::byte> bytes, int scale, int size);
void append_datetimeoffset_iso(std::string& out, std::span<const std::byte> bytes, int scale, int size);

std::string format_datetime(std::span<const std::byte> bytes);
std::string format_smalldatetime(std::span<const std::byte> bytes);
std::string format_date(std::span<const std::byte> bytes);
std::string format_time(std::span<const std::byte> bytes, int scale, int size);
std::string format_datetime2(std::span<const std::byte> bytes, int scale, int size);
std::string format_datetimeoffset(std::span<const std::byte> bytes, int scale, int size);

}  // namespace quenlow
