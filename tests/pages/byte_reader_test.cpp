#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "engine/pages/byte_reader.h"

namespace quenlow {
namespace {

constexpr std::array<std::byte, 6> kBytes{std::byte{0x01}, std::byte{0x02}, std::byte{0x03},
                                          std::byte{0x04}, std::byte{0x05}, std::byte{0xFF}};

// A load yields the little-endian value when it lies wholly inside the region and 0 otherwise, whatever
// the offset: at the end, one byte short, far past it, or wrapped from a negative position.
TEST(ByteReaderTest, LoadsReadZeroOutsideTheRegion) {
    struct Case {
        std::size_t region_size;
        std::size_t offset;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {6, 0, 0x04030201u},
        {6, 2, 0xFF050403u},
        {6, 3, 0},
        {5, 2, 0},
        {4, 0, 0x04030201u},
        {0, 0, 0},
        {6, 6, 0},
        {6, std::numeric_limits<std::size_t>::max(), 0},
        {6, std::numeric_limits<std::size_t>::max() - 1, 0},
        {6, static_cast<std::size_t>(std::int64_t{-2}), 0},
    };
    for (const Case& c : cases) {
        const ByteSpan region = ByteSpan(kBytes).first(c.region_size);
        EXPECT_EQ(load_le<std::uint32_t>(region, c.offset), c.expected) << c.region_size << " @" << c.offset;
    }
    EXPECT_EQ(load_le<std::uint8_t>(ByteSpan(kBytes), 5), 0xFF);
    EXPECT_EQ(load_le<std::int16_t>(ByteSpan(kBytes), 4), std::int16_t{-251});
    EXPECT_EQ(load_le_or<std::uint16_t>(ByteSpan(kBytes), 5, 0xBEEF), 0xBEEF);
}

TEST(ByteReaderTest, CursorStopsAtTheEnd) {
    ByteReader reader{ByteSpan(kBytes)};
    EXPECT_EQ(reader.read<std::uint32_t>(), 0x04030201u);
    EXPECT_FALSE(reader.read<std::uint32_t>().has_value());
    EXPECT_EQ(reader.position(), 4u);
    EXPECT_FALSE(reader.take(3).has_value());
    ASSERT_TRUE(reader.take(2).has_value());
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_FALSE(reader.read<std::uint8_t>().has_value());
    EXPECT_FALSE(reader.seek(7));
    EXPECT_TRUE(reader.seek(6));
}

}  // namespace
}  // namespace quenlow
