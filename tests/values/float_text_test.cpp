#include "engine/values/float_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace quenlow {
namespace {

std::string fixed(double value, int precision) {
    std::string out;
    append_fixed(out, value, precision);
    return out;
}

std::string general(double value) {
    std::string out;
    append_general(out, value);
    return out;
}

TEST(FixedText, HalfwayValuesRoundAwayFromZero) {
    const struct {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {0.5, 0, "1"},
        {1.5, 0, "2"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.125, 2, "0.13"},
        {0.375, 2, "0.38"},
        {-0.125, 2, "-0.13"},
        {123456789012344.5, 0, "123456789012345"},
        // Not halfway: the nearest result, whichever side.
        {0.15, 1, "0.1"},  // stored a little below 0.15
        {0.49999999999999994, 0, "0"},
        {-0.0001, 2, "-0.00"},
        {12.5, -1, "12.500000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fixed(c.value, c.precision), c.text) << c.value << " " << c.precision;
}

TEST(FixedText, SeventeenSignificantDigitsThenZeros) {
    EXPECT_EQ(fixed(0.1, 20), "0.10000000000000001000");
    EXPECT_EQ(fixed(1.0 / 3, 20), "0.33333333333333331000");
    EXPECT_EQ(fixed(9007199254740993.0, 2), "9007199254740992.00");
    EXPECT_EQ(fixed(123456789012345678.0, 0), "123456789012345680");
}

TEST(FixedText, InfinityAndNanAsTheRuntimeWritesThem) {
    EXPECT_EQ(fixed(std::numeric_limits<double>::infinity(), 6), "1.#INF00");
    EXPECT_EQ(fixed(-std::numeric_limits<double>::infinity(), 6), "-1.#INF00");
    EXPECT_EQ(fixed(std::numeric_limits<double>::quiet_NaN(), 6), "1.#QNAN0");
}

TEST(GeneralText, SixDigitsThreeDigitExponent) {
    const std::pair<double, const char*> cases[] = {
        {1e10, "1e+010"},
        {1e-5, "1e-005"},
        {1.5e-300, "1.5e-300"},
        {1e100, "1e+100"},
        {123456, "123456"},
        {999999.5, "1e+006"},
        {1234565, "1.23457e+006"},  // halfway: away from zero
        {0.0001, "0.0001"},
        {0.0000123456, "1.23456e-005"},
        {0, "0"},
        {std::numeric_limits<double>::infinity(), "1.#INF"},
        {-std::numeric_limits<double>::quiet_NaN(), "-1.#QNAN"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(general(value), text) << value;
}

// Away from ties and below 17 significant digits the texts are the C library's, apart from the width
// of the exponent.
TEST(FloatTexts, AgreeWithTheCLibraryAwayFromTies) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::uniform_int_distribution<int> precision(0, 12);
    char buffer[128];
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        std::snprintf(buffer, sizeof(buffer), "%.6g", value);
        std::string expected = buffer;
        if (const auto e = expected.find('e'); e != std::string::npos && expected.size() - e == 4) {
            expected.insert(e + 2, "0");
        }
        if (!is_decimal_tie(value, 5 - static_cast<int>(std::floor(std::log10(std::fabs(value)))))) {
            ASSERT_EQ(general(value), expected) << value;
        }
        const int p = precision(random);
        if (std::fabs(value) < 1e4 && !is_decimal_tie(value, p)) {
            std::snprintf(buffer, sizeof(buffer), "%.*f", p, value);
            ASSERT_EQ(fixed(value, p), buffer) << value << " " << p;
        }
    }
}

}  // namespace
}  // namespace quenlow
