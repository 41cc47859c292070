#include "number_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>

namespace
{

constexpr uint64_t kSignificandMask = (uint64_t{1} << 52) - 1;
constexpr uint64_t kHiddenBit = uint64_t{1} << 52;
constexpr uint32_t kExponentAllOnes = 0x7ff;
// IEEE's bias (1023) plus the 52 fraction bits: the bias of the exponent
// when the significand is read as a 53-bit integer, so that
// value = significand * 2^(biased - 1075).
constexpr int kIntegerSignificandBias = 1075;

// Below 2^-21 (4.76837e-7) a value rounds to zero at 17 digits and again at
// six decimals, so these biased exponents, subnormals included, are written as
// a zero at once.
constexpr uint32_t kBiasedBelowHalfMillionth = 1023 - 21;
// The general fast path covers |value| < 2^33 (8.59e9): the scaled value stays
// below 10^16, whose 17-digit unit is a tenth of the last decimal at most.
constexpr uint32_t kBiasedGeneralLimit = 1023 + 33;

constexpr uint32_t kMillion = 1000000;

constexpr char kDigitPairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

constexpr char kZero[] = "0.000000";
constexpr size_t kZeroChars = sizeof(kZero) - 1;

constexpr uint32_t kPowersOfTen32[10] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};

// Number of decimal digits of `value`, at least one: the bit length gives
// log10 within one (1233 / 4096 is just above log10(2)), the table the rest.
unsigned DigitCount(uint32_t value)
{
    const auto estimate = static_cast<unsigned>(std::bit_width(value | 1u) * 1233u) >> 12;
    return estimate + ((value | 1u) >= kPowersOfTen32[estimate] ? 1u : 0u);
}

// Writes the decimal digits of `value` (at least one) and returns the end.
// Every integer part and every "%d" passes here: the digits go straight to
// their places, two at a time, from the last.
char* WriteUnsigned32(uint32_t value, char* out)
{
    char* const end = out + DigitCount(value);
    char* p = end;
    while (value >= 100)
    {
        const uint32_t quotient = value / 100;
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (value - quotient * 100), 2);
        value = quotient;
    }
    if (value >= 10)
        std::memcpy(p - 2, kDigitPairs + 2 * value, 2);
    else
        p[-1] = static_cast<char>('0' + value);
    return end;
}

// The same for any 64-bit value.
char* WriteUnsigned(uint64_t value, char* out)
{
    if (value <= UINT32_MAX)
        return WriteUnsigned32(static_cast<uint32_t>(value), out);
    // 64-bit division is a library call on 32-bit targets: peel off nine
    // digits at a time and finish each piece in 32 bits.
    constexpr uint32_t kBillion = 1000000000;
    const uint64_t upper = value / kBillion;
    const auto lower = static_cast<uint32_t>(value - upper * kBillion);
    char* p = WriteUnsigned(upper, out);
    const unsigned zeros = 9 - DigitCount(lower);
    std::memset(p, '0', zeros);
    return WriteUnsigned32(lower, p + zeros);
}

// Writes `sign`, `integer`, the point and the six digits of `decimals`
// (< 10^6); returns the number of characters.
size_t WriteFixed(bool negative, uint64_t integer, uint32_t decimals, char* out)
{
    char* p = out;
    if (negative)
        *p++ = '-';
    p = WriteUnsigned(integer, p);
    *p++ = '.';
    const uint32_t high = decimals / 10000;
    const uint32_t rest = decimals - high * 10000;
    const uint32_t middle = rest / 100;
    const uint32_t low = rest - middle * 100;
    std::memcpy(p, kDigitPairs + 2 * high, 2);
    std::memcpy(p + 2, kDigitPairs + 2 * middle, 2);
    std::memcpy(p + 4, kDigitPairs + 2 * low, 2);
    return static_cast<size_t>(p + 6 - out);
}

// Writes `millionths` / 10^6 with six decimals.
size_t WriteMillionths(bool negative, uint64_t millionths, char* out)
{
    if (millionths <= UINT32_MAX)
    {
        const auto small = static_cast<uint32_t>(millionths);
        return WriteFixed(negative, small / kMillion, small % kMillion, out);
    }
    return WriteFixed(negative, millionths / kMillion, static_cast<uint32_t>(millionths % kMillion),
                      out);
}

size_t WriteZero(bool negative, char* out)
{
    char* p = out;
    if (negative)
        *p++ = '-';
    std::memcpy(p, kZero, kZeroChars);
    return static_cast<size_t>(p - out) + kZeroChars;
}

// Rounding up thresholds on the 64-bit binary fraction of value * 10^6, by the
// count n of integer digits of value * 10^6 (0 when below 1). The 17-digit
// rounding unit of such a value is 10^(n - 17) in the same scale, so the
// 17-digit form reaches the half, and the six decimals round up, as soon as
// the fraction is at least 1/2 - 10^(n - 17) / 2. As a 64-bit fraction that is
// 2^63 - 2^63 / 10^(17 - n), which is never a whole number: its ceiling is
// the first fraction that rounds up.
constexpr std::array<uint64_t, 17> MakeRoundUpThresholds()
{
    std::array<uint64_t, 17> thresholds{};
    uint64_t power = 1;
    for (int n = 16; n >= 0; --n)
    {
        power *= 10;
        thresholds[static_cast<size_t>(n)] = (uint64_t{1} << 63) - (uint64_t{1} << 63) / power;
    }
    return thresholds;
}

constexpr std::array<uint64_t, 17> kRoundUpThresholds = MakeRoundUpThresholds();

constexpr std::array<uint64_t, 17> MakePowersOfTen()
{
    std::array<uint64_t, 17> powers{};
    uint64_t power = 1;
    for (auto& entry : powers)
    {
        entry = power;
        power *= 10;
    }
    return powers;
}

constexpr std::array<uint64_t, 17> kPowersOfTen = MakePowersOfTen();

// Number of decimal digits of `value` < 10^16; 0 for 0.
size_t DecimalDigitCount(uint64_t value)
{
    size_t count = 0;
    while (count < 16 && value >= kPowersOfTen[count])
        ++count;
    return count;
}

// The value is significand * 2^exponent with significand < 2^24 (every float
// is one), exponent < 0, and at least 2^-21. The exact value is then compared
// with the half of the sixth decimal: the 17-digit step cannot change the
// outcome. A half-point h = (k + 1/2) * 10^-6 lies on the 17-digit grid of a
// value below 10^10; and a value m * 2^e that is not h itself differs from it
// by a multiple of 2^(e-1) * 10^-6, which is more than half the 17-digit unit
// of a value below 2^24 * 2^e, because 2^24 < 10^10. So the 17-digit form lies
// on the same side of every half-point as the value does.
size_t FormatShortSignificand(bool negative, uint64_t significand, int exponent, char* out)
{
    const auto shift = static_cast<unsigned>(-exponent); // 1..44
    const uint64_t scaled = significand * kMillion;      // < 2^44
    const uint64_t millionths = (scaled >> shift) + ((scaled >> (shift - 1)) & 1);
    return WriteMillionths(negative, millionths, out);
}

// The value is significand * 2^exponent with significand < 2^53 and
// 2^-21 <= value < 2^33. value * 10^6 is formed exactly in 128 bits, split into
// its whole part (the millionths) and a 64-bit binary fraction; the fraction
// decides the rounding against the 17-digit thresholds above. Returns 0 when
// bits beyond the 64-bit fraction (only below 2^-18) leave the decision open;
// the caller then takes the plain route.
size_t FormatGeneral(bool negative, uint64_t significand, int exponent, char* out)
{
    const auto shift = static_cast<unsigned>(-exponent); // 20..73
    const uint64_t low_product = (significand & 0xffffffffu) * kMillion;
    const uint64_t high_product = (significand >> 32) * kMillion;
    const uint64_t scaled_low = low_product + (high_product << 32);
    const uint64_t scaled_high = (high_product >> 32) + (scaled_low < low_product ? 1 : 0);

    uint64_t millionths;
    uint64_t fraction;
    uint64_t lost = 0;
    if (shift < 64)
    {
        millionths = (scaled_high << (64 - shift)) | (scaled_low >> shift);
        fraction = scaled_low << (64 - shift);
    }
    else if (shift == 64)
    {
        millionths = scaled_high;
        fraction = scaled_low;
    }
    else
    {
        const unsigned extra = shift - 64; // 1..9
        millionths = scaled_high >> extra;
        fraction = (scaled_high << (64 - extra)) | (scaled_low >> extra);
        lost = scaled_low & ((uint64_t{1} << extra) - 1);
    }

    bool round_up;
    if (fraction >= (uint64_t{1} << 63))
        round_up = true;
    else if (fraction < kRoundUpThresholds[16])
        round_up = false;
    else
    {
        // Within a 17-digit unit of the half: the 17-digit form may reach it.
        const uint64_t threshold = kRoundUpThresholds[DecimalDigitCount(millionths)];
        if (lost != 0 && fraction == threshold - 1)
            return 0;
        round_up = fraction >= threshold;
    }
    return WriteMillionths(negative, millionths + (round_up ? 1 : 0), out);
}

// Number of decimals of the exact decimal form of a finite `value`.
int ExactDecimalCount(double value)
{
    const auto bits = std::bit_cast<uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & kExponentAllOnes);
    uint64_t significand = bits & kSignificandMask;
    int exponent = 1 - kIntegerSignificandBias; // subnormal
    if (biased != 0)
    {
        significand |= kHiddenBit;
        exponent = biased - kIntegerSignificandBias;
    }
    if (significand == 0)
        return 0;
    exponent += std::countr_zero(significand);
    return exponent < 0 ? -exponent : 0;
}

// Adds one unit at digits[last] and carries leftwards; digits[0] must be a
// digit that cannot overflow (a leading zero kept for this).
void IncrementDigits(char* digits, size_t last)
{
    size_t i = last;
    while (digits[i] == '9')
    {
        digits[i] = '0';
        --i;
    }
    ++digits[i];
}

} // namespace

size_t FormatFixed6(double value, char* out)
{
    const auto bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const auto biased = static_cast<uint32_t>(bits >> 52) & kExponentAllOnes;
    const uint64_t fraction_bits = bits & kSignificandMask;

    if (biased == kExponentAllOnes)
        return WriteZero(false, out); // NaN and infinities
    if (biased < kBiasedBelowHalfMillionth)
        return WriteZero(negative && (biased != 0 || fraction_bits != 0), out);

    const uint64_t significand = fraction_bits | kHiddenBit;
    const int exponent = static_cast<int>(biased) - kIntegerSignificandBias;

    // The low 29 bits are clear: the value is a float widened, or has no more bits.
    if ((fraction_bits & ((uint64_t{1} << 29) - 1)) == 0)
    {
        const uint64_t short_significand = significand >> 29;
        const int short_exponent = exponent + 29;
        if (short_exponent < 0)
            return FormatShortSignificand(negative, short_significand, short_exponent, out);
        // A whole number below 2^56 < 10^17 has no more than 17 digits.
        if (short_exponent <= 32)
            return WriteFixed(negative, short_significand << short_exponent, 0, out);
    }
    else if (biased < kBiasedGeneralLimit)
    {
        const size_t written = FormatGeneral(negative, significand, exponent, out);
        if (written != 0)
            return written;
    }
    return FormatFixed6Reference(value, out);
}

size_t FormatFixed6Reference(double value, char* out)
{
    const auto bits = std::bit_cast<uint64_t>(value);
    if (((bits >> 52) & kExponentAllOnes) == kExponentAllOnes || value == 0)
        return WriteZero(false, out);
    const bool negative = value < 0;
    const double magnitude = negative ? -value : value;

    // One leading zero takes any carry; then every exact digit (at most 309
    // before the point and 1074 after it), and room to pad six decimals.
    char text[1 + 309 + 1 + 1074 + 8];
    text[0] = '0';
    const auto result = std::to_chars(text + 1, text + sizeof(text) - 8, magnitude,
                                      std::chars_format::fixed, ExactDecimalCount(magnitude));
    // The digits without the point.
    char digits[sizeof(text)];
    size_t count = 0;
    size_t integer_count = 0;
    for (const char* p = text; p != result.ptr; ++p)
    {
        if (*p == '.')
            integer_count = count;
        else
            digits[count++] = *p;
    }
    if (integer_count == 0)
        integer_count = count; // no point: a whole number

    // Nearest at 17 significant digits, a tie away from zero; later digits are zeros.
    size_t first = 0;
    while (digits[first] == '0')
        ++first;
    if (count - first > 17)
    {
        const bool round_up = digits[first + 17] >= '5';
        std::memset(digits + first + 17, '0', count - first - 17);
        if (round_up)
            IncrementDigits(digits, first + 16);
    }

    // Six decimals, a half away from zero.
    while (count < integer_count + 7)
        digits[count++] = '0';
    const size_t last = integer_count + 5;
    if (digits[last + 1] >= '5')
        IncrementDigits(digits, last);

    size_t start = 0;
    while (start + 1 < integer_count && digits[start] == '0')
        ++start;
    char* p = out;
    if (negative)
        *p++ = '-';
    std::memcpy(p, digits + start, integer_count - start);
    p += integer_count - start;
    *p++ = '.';
    std::memcpy(p, digits + integer_count, 6);
    return static_cast<size_t>(p + 6 - out);
}

size_t FormatInt32(int32_t value, char* out)
{
    char* p = out;
    auto magnitude = static_cast<uint32_t>(value);
    if (value < 0)
    {
        *p++ = '-';
        magnitude = 0u - magnitude; // INT32_MIN too
    }
    return static_cast<size_t>(WriteUnsigned(magnitude, p) - out);
}

std::string Fixed6(double value)
{
    char text[kFixed6MaxChars];
    return std::string(text, FormatFixed6(value, text));
}

std::string Fixed6Reference(double value)
{
    char text[kFixed6MaxChars];
    return std::string(text, FormatFixed6Reference(value, text));
}
