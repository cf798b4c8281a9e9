#include "engine/values/float_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string_view>

#include <fmt/format.h>

namespace quenlow {

namespace {

constexpr int kMaxSignificantDigits = 17;

constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double power_of_ten(int exponent) {
    if (exponent >= 0 && exponent < static_cast<int>(kPowersOfTen.size())) return kPowersOfTen[exponent];
    if (exponent < 0 && -exponent < static_cast<int>(kPowersOfTen.size()))
        return 1.0 / kPowersOfTen[-exponent];
    return std::pow(10.0, exponent);
}

// floor(log10(magnitude)) for a finite magnitude above 0, corrected where log10 rounds across a power.
int decimal_exponent(double magnitude) {
    int e = static_cast<int>(std::floor(std::log10(magnitude)));
    if (magnitude < power_of_ten(e)) {
        --e;
    } else if (magnitude >= power_of_ten(e + 1)) {
        ++e;
    }
    return e;
}

// Adds one unit in the last digit of the decimal text from `start` on, carrying to the left; a carry out
// of the first digit writes a new "1" in front of it.
void increment_last_digit(std::string& text, std::size_t start) {
    for (std::size_t i = text.size(); i > start; --i) {
        char& c = text[i - 1];
        if (c == '.') continue;
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(start), '1');
}

// Up to 17 significant digits of a finite value above 0 and the decimal exponent of the first one,
// rounded the runtime's way.
struct SignificantDigits {
    std::array<char, 18> digits{};
    int count = 0;
    int exponent = 0;
};

SignificantDigits significant_digits(double magnitude, int count) {
    const bool tie = is_decimal_tie(magnitude, count - 1 - decimal_exponent(magnitude));
    // A tie is printed exactly with one digit more, which is then dropped and rounded up by hand.
    std::array<char, 48> buffer{};
    const char* end = fmt::format_to(buffer.data(), "{:.{}e}", magnitude, tie ? count : count - 1);
    // "d.ddd...e+XX" (no point when there is one digit)
    SignificantDigits result;
    result.count = count;
    const char* p = buffer.data();
    int written = 0;
    for (; *p != 'e'; ++p) {
        if (*p != '.' && written < count) result.digits[written++] = *p;
    }
    const bool negative_exponent = p[1] == '-';
    for (p += 2; p < end; ++p) result.exponent = result.exponent * 10 + (*p - '0');
    if (negative_exponent) result.exponent = -result.exponent;
    if (tie) {
        std::string text(result.digits.data(), static_cast<std::size_t>(count));
        increment_last_digit(text, 0);
        if (text.size() > static_cast<std::size_t>(count)) ++result.exponent;  // 9.99..5 became 10.00..
        std::copy_n(text.data(), count, result.digits.data());
    }
    return result;
}

void append_special(std::string& out, double value, int precision) {
    if (std::signbit(value)) out.push_back('-');
    const std::string_view text = std::isinf(value) ? "1.#INF" : "1.#QNAN";
    out.append(text);
    for (int written = static_cast<int>(text.size()) - 2; written < precision; ++written) out.push_back('0');
}

// A fixed text longer than 17 significant digits: the 17 digits, then zeros.
void append_fixed_long(std::string& out, double value, int precision) {
    const SignificantDigits d = significant_digits(std::fabs(value), kMaxSignificantDigits);
    auto digit_at = [&](int index) { return index >= 0 && index < d.count ? d.digits[index] : '0'; };
    if (std::signbit(value)) out.push_back('-');
    if (d.exponent >= 0) {
        for (int i = 0; i <= d.exponent; ++i) out.push_back(digit_at(i));
    } else {
        out.push_back('0');
    }
    if (precision > 0) {
        out.push_back('.');
        for (int j = 1; j <= precision; ++j) out.push_back(digit_at(d.exponent + j));
    }
}

}  // namespace

bool is_decimal_tie(double value, int digits) {
    if (value == 0 || !std::isfinite(value)) return false;
    // value = m * 2^e with m odd.
    int binary_exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &binary_exponent);
    auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int e = binary_exponent - 53;
    const int zeros = std::countr_zero(m);
    m >>= zeros;
    e += zeros;
    // m / 2^n has exactly n digits after the point and the last one is 5: a tie one digit further on.
    if (e < 0) return digits >= 0 && -e == digits + 1;
    if (digits >= 0) return false;
    // An integer halfway between multiples of 10^p is 10^(p-1) times an odd multiple of 5, so it holds
    // exactly p - 1 factors 2 and at least p factors 5 (all of them in m).
    const int p = -digits;
    if (e != p - 1 || p > 22) return false;  // 5^23 exceeds every 53-bit m
    std::uint64_t five_power = 1;
    for (int i = 0; i < p; ++i) five_power *= 5;
    return m % five_power == 0;
}

void append_fixed(std::string& out, double value, int precision) {
    if (precision < 0) precision = 6;
    if (!std::isfinite(value)) return append_special(out, value, precision);
    if (value != 0 && decimal_exponent(std::fabs(value)) + 1 + precision > kMaxSignificantDigits) {
        return append_fixed_long(out, value, precision);
    }
    if (!is_decimal_tie(value, precision)) {
        fmt::format_to(std::back_inserter(out), "{:.{}f}", value, precision);
        return;
    }
    // Exact with one digit more (the 5), which is dropped and rounded up by hand.
    const std::size_t start = out.size();
    fmt::format_to(std::back_inserter(out), "{:.{}f}", value, precision + 1);
    out.pop_back();
    if (out.back() == '.') out.pop_back();
    increment_last_digit(out, start + (value < 0 ? 1 : 0));
}

void append_general(std::string& out, double value) {
    constexpr int kDigits = 6;
    if (!std::isfinite(value)) return append_special(out, value, 0);
    if (std::signbit(value)) out.push_back('-');
    if (value == 0) {
        out.push_back('0');
        return;
    }
    const SignificantDigits d = significant_digits(std::fabs(value), kDigits);
    int last = kDigits;  // digits left once the zeros that end the fraction are gone
    if (d.exponent < -4 || d.exponent >= kDigits) {
        while (last > 1 && d.digits[last - 1] == '0') --last;
        out.push_back(d.digits[0]);
        if (last > 1) {
            out.push_back('.');
            out.append(d.digits.data() + 1, static_cast<std::size_t>(last - 1));
        }
        out.push_back('e');
        out.push_back(d.exponent < 0 ? '-' : '+');
        const std::string exponent = std::to_string(std::abs(d.exponent));
        out.append(exponent.size() < 3 ? 3 - exponent.size() : 0, '0');
        out.append(exponent);
        return;
    }
    // Fixed: the digits up to the units, then the rest behind the point.
    while (last > std::max(d.exponent + 1, 1) && d.digits[last - 1] == '0') --last;
    if (d.exponent < 0) {
        out.append("0.");
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out.append(d.digits.data(), static_cast<std::size_t>(last));
        return;
    }
    out.append(d.digits.data(), static_cast<std::size_t>(d.exponent + 1));
    if (last > d.exponent + 1) {
        out.push_back('.');
        out.append(d.digits.data() + d.exponent + 1, static_cast<std::size_t>(last - d.exponent - 1));
    }
}

}  // namespace quenlow
