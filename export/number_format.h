// The two number conversions of the MDL text, independent of the C and C++
// locale and identical on every platform.
//
// Fixed6 ("%f"): the value's decimal form rounded to nearest at 17
// significant digits (a tie goes away from zero; integer digits beyond the
// 17th become 0), then cut to six decimals, rounding up in magnitude when the
// first dropped digit is 5 or more. A zero is written without a sign, negative
// zero included; any other negative value keeps its minus sign even when it
// rounds to zero ("-0.000000"). A value that is not finite is written as
// "0.000000": no MDL reader accepts "nan" or "inf".
#ifndef MDLEXPORT_EXPORT_NUMBER_FORMAT_H
#define MDLEXPORT_EXPORT_NUMBER_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

// Room for the longest result: a sign, 309 integer digits, the point and six
// decimals.
constexpr size_t kFixed6MaxChars = 320;
// Room for the longest "%d": a sign and ten digits.
constexpr size_t kInt32MaxChars = 11;

// Writes `value` as "%f" into `out`, which has room for kFixed6MaxChars;
// returns the number of characters written (no terminator).
size_t FormatFixed6(double value, char* out);

// The same result by the plain route: every exact digit, then the two
// roundings on the digit string. Slow; the reference for FormatFixed6.
size_t FormatFixed6Reference(double value, char* out);

// Writes `value` as "%d" into `out`, which has room for kInt32MaxChars.
size_t FormatInt32(int32_t value, char* out);

// Conveniences for tests and tools.
std::string Fixed6(double value);
std::string Fixed6Reference(double value);

#endif
