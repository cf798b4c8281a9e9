#pragma once
// Fixed and general decimal text of binary floating-point numbers, written the way the Windows C
// runtime's "%.*f" and "%g" write them, which is how the values have always been shown:
//   - a value exactly halfway between two results rounds away from zero (0.5 -> "1", 2.5 -> "3");
//   - at most 17 significant digits are produced; a fixed text that needs more continues with zeros;
//   - "%g" writes its exponent with at least three digits (1e+010, 1e-005).
// Both are locale independent (the point is always ".").

#include <string>

namespace quenlow {

// "%.*f": `value` with exactly `precision` digits after the point (no point when it is 0). A negative
// precision is taken as 6. Infinities and NaN are written "1.#INF", "-1.#INF", "1.#QNAN" and "-1.#QNAN",
// followed by zeros up to the precision, as that runtime writes them.
void append_fixed(std::string& out, double value, int precision);

// "%g" with six significant digits: fixed notation when the decimal exponent is from -4 to 5, scientific
// otherwise; trailing zeros of the fraction and a trailing point removed.
void append_general(std::string& out, double value);

// True when `value` lies exactly halfway between two multiples of 10^-digits (digits may be negative:
// -1 rounds to tens). Such values are the only ones where the rounding rule matters.
bool is_decimal_tie(double value, int digits);

}  // namespace quenlow
