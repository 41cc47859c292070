#include "number_format.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <locale>
#include <random>
#include <stdexcept>
#include <string>

namespace
{

// Both routes must write `text` for `value`.
#define EXPECT_FIXED6(value, text)                                                                 \
    do                                                                                             \
    {                                                                                              \
        EXPECT_EQ(Fixed6(value), text);                                                            \
        EXPECT_EQ(Fixed6Reference(value), text);                                                   \
    } while (false)

std::string Int32Text(int32_t value)
{
    char text[kInt32MaxChars];
    return std::string(text, FormatInt32(value, text));
}

double FromBits(uint64_t bits)
{
    return std::bit_cast<double>(bits);
}

double FloatFromBits(uint32_t bits)
{
    return static_cast<double>(std::bit_cast<float>(bits));
}

// The exhaustive comparisons are cut down under AddressSanitizer, which slows
// the reference route by an order of magnitude, or when MDL_QUICK_SWEEP is set.
bool QuickSweep()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return std::getenv("MDL_QUICK_SWEEP") != nullptr;
}

// Compares the fast route with the reference, counting differences and
// describing the first few.
class RouteComparison
{
  public:
    void Check(double value)
    {
        char fast[kFixed6MaxChars];
        char reference[kFixed6MaxChars];
        const size_t fast_count = FormatFixed6(value, fast);
        const size_t reference_count = FormatFixed6Reference(value, reference);
        if (fast_count == reference_count && std::memcmp(fast, reference, fast_count) == 0)
            return;
        if (++mismatches_ <= 10)
        {
            char bits[32];
            std::snprintf(bits, sizeof(bits), "0x%016llx",
                          static_cast<unsigned long long>(std::bit_cast<uint64_t>(value)));
            ADD_FAILURE() << "bits " << bits << ": fast \"" << std::string(fast, fast_count)
                          << "\", reference \"" << std::string(reference, reference_count) << "\"";
        }
    }

    size_t mismatches() const
    {
        return mismatches_;
    }

  private:
    size_t mismatches_ = 0;
};

// Sets a locale whose decimal separator is a comma for the life of the object,
// in C and, where the C++ library has named locales (not MinGW's), in C++ too;
// then puts the previous ones back.
class CommaLocale
{
  public:
    CommaLocale()
    {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        previous_c_ = previous != nullptr ? previous : "C";
        for (const char* name : {"de_DE.UTF-8", "German_Germany.1252"})
        {
            if (std::setlocale(LC_ALL, name) == nullptr)
                continue;
            active_ = true;
            try
            {
                previous_cpp_ = std::locale::global(std::locale(name));
            }
            catch (const std::runtime_error&)
            {
                // The C locale alone is in force.
            }
            return;
        }
    }

    ~CommaLocale()
    {
        std::locale::global(previous_cpp_);
        std::setlocale(LC_ALL, previous_c_.c_str());
    }

    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool active() const
    {
        return active_;
    }

  private:
    std::string previous_c_;
    std::locale previous_cpp_;
    bool active_ = false;
};

} // namespace

TEST(FormatFixed6, RoundsExactHalvesAwayFromZero)
{
    // A double is an exact half of the sixth decimal only when it is an odd
    // multiple of 2^-7; "%f" in glibc would round these to even.
    EXPECT_FIXED6(0.0078125, "0.007813");
    EXPECT_FIXED6(-0.0078125, "-0.007813");
    EXPECT_FIXED6(0.0390625, "0.039063");
    EXPECT_FIXED6(1234.5078125, "1234.507813");
    EXPECT_FIXED6(-1234.5078125, "-1234.507813");
    EXPECT_FIXED6(-0.9921875, "-0.992188");
    EXPECT_FIXED6(131071.9921875, "131071.992188"); // (2^24 - 1) / 128, a float
}

TEST(FormatFixed6, SignsEveryNonZeroNegative)
{
    EXPECT_FIXED6(0.0, "0.000000");
    EXPECT_FIXED6(-0.0, "0.000000");
    EXPECT_FIXED6(1e-7, "0.000000");
    EXPECT_FIXED6(-0.0000001, "-0.000000");
    EXPECT_FIXED6(-0.0000004, "-0.000000");
    EXPECT_FIXED6(-1.0, "-1.000000");
}

TEST(FormatFixed6, WritesPlainValues)
{
    EXPECT_FIXED6(1.0, "1.000000");
    EXPECT_FIXED6(1234.5, "1234.500000");
    EXPECT_FIXED6(-1000.0, "-1000.000000");
    EXPECT_FIXED6(0.5, "0.500000");
    EXPECT_FIXED6(4.35, "4.350000"); // 4.34999999999999964...: only 17 digits count
    // 0.100000001490116119384765625
    EXPECT_FIXED6(static_cast<double>(0.1f), "0.100000");
    EXPECT_FIXED6(static_cast<double>(-0.1f), "-0.100000");
    EXPECT_FIXED6(static_cast<double>(16777216.0f), "16777216.000000");
    EXPECT_FIXED6(static_cast<double>(1e10f), "10000000000.000000"); // 2^10 * 5^10, exact
}

TEST(FormatFixed6, DecidesNearHalvesOnTheDouble)
{
    // 0.499999499999999985622...: below the half at 17 digits too (0.49999949999999999).
    EXPECT_FIXED6(0.4999995, "0.499999");
    // 4.99999999999999977374e-7: 4.9999999999999998e-7 at 17 digits, below the half.
    EXPECT_FIXED6(0.0000005, "0.000000");
    // 4.99999998737621353939e-7, the float nearest 5e-7.
    EXPECT_FIXED6(static_cast<double>(5e-7f), "0.000000");
    EXPECT_FIXED6(0.000000476837158203125, "0.000000"); // 2^-21
    EXPECT_FIXED6(0.000001430511474609375, "0.000001"); // 3 * 2^-21
    // 0.00000150000000000000003800...: above.
    EXPECT_FIXED6(0.0000015, "0.000002");
    // 0.00000250000000000000020450...: above.
    EXPECT_FIXED6(0.0000025, "0.000003");
    EXPECT_FIXED6(-0.0000025, "-0.000003");
    // 0.00000349999999999999994749...: 0.0000034999999999999999 at 17 digits, below.
    EXPECT_FIXED6(0.0000035, "0.000003");
    // 1.00000050000000006988...: above.
    EXPECT_FIXED6(1.0000005, "1.000001");
    // 0.50000049999999995886...: 0.50000049999999996 at 17 digits, below.
    EXPECT_FIXED6(0.5000005, "0.500000");
    // 1234.00000049999994189...: 1234.0000004999999 at 17 digits, below.
    EXPECT_FIXED6(1234.0000005, "1234.000000");
    // 9.99999949999999948602...: 9.9999994999999995 at 17 digits, below.
    EXPECT_FIXED6(9.9999995, "9.999999");
}

TEST(FormatFixed6, RoundsToSeventeenDigitsBeforeSixDecimals)
{
    // Each double lies just below the half, within half a unit of the 17th
    // digit: the 17-digit form is the half itself, which then rounds up.
    // 0.0000194999999999999996469837...: 0.000019500000000000000 at 17 digits.
    EXPECT_FIXED6(0.0000195, "0.000020");
    // 0.0000314999999999999999509940...: 0.000031500000000000000.
    EXPECT_FIXED6(0.0000315, "0.000032");
    EXPECT_FIXED6(-0.0000315, "-0.000032");
    // 0.000112499999999999996920865...: 0.00011250000000000000.
    EXPECT_FIXED6(0.0001125, "0.000113");
    // 0.123456499999999996797228...: 0.12345650000000000.
    EXPECT_FIXED6(0.1234565, "0.123457");
    // 999999.999999499996192753...: 999999.99999950000, and the carry runs
    // through every digit.
    EXPECT_FIXED6(999999.9999995, "1000000.000000");
    // The nearest double to 0.00781249999999999996 is 2^-7 itself: the next
    // one down, 2^-7 - 2^-60, is 8.7e-19 away against 4e-20.
    EXPECT_FIXED6(0.00781249999999999996, "0.007813");
    // 2^-7 - 2^-60 = 0.00781249999999999913...: 0.0078124999999999991.
    EXPECT_FIXED6(0.0078124999999999991, "0.007812");
}

TEST(FormatFixed6, BreaksSeventeenDigitTiesAwayFromZero)
{
    // Exactly 18 significant digits ending in 5 (the spacing of doubles is
    // 1/4 here): 1234567890123456.3 at 17 digits where ties-to-even gives .2.
    EXPECT_FIXED6(1234567890123456.25, "1234567890123456.300000");
    EXPECT_FIXED6(-1234567890123456.25, "-1234567890123456.300000");
    // 999999999999999.875 (spacing 1/8): 999999999999999.88.
    EXPECT_FIXED6(999999999999999.875, "999999999999999.880000");
    // 2^-25 = 2.98023223876953125e-8 is such a tie too (2.9802322387695313e-8),
    // far below the sixth decimal.
    EXPECT_FIXED6(0.0000000298023223876953125, "0.000000");
    EXPECT_FIXED6(-0.0000000298023223876953125, "-0.000000");
}

TEST(FormatFixed6, CarriesIntoANewIntegerDigit)
{
    // 0.99999950000000004113...: above the half.
    EXPECT_FIXED6(0.9999995, "1.000000");
    // 1 - 2^-53 = 0.99999999999999988897...: 0.99999999999999989 at 17 digits.
    EXPECT_FIXED6(0.99999999999999988897769753748434595763683319091796875, "1.000000");
    // The literal 0.99999999999999999 is the double 1.0: 1 - 2^-53 is farther.
    EXPECT_FIXED6(0.99999999999999999, "1.000000");
    EXPECT_FIXED6(-9.9999999, "-10.000000");
}

TEST(FormatFixed6, WritesZerosAfterTheSeventeenthDigit)
{
    EXPECT_FIXED6(1e17, "100000000000000000.000000");
    EXPECT_FIXED6(72057594037927936.0, "72057594037927936.000000"); // 2^56, 17 digits
    // 2^57 = 144115188075855872: the 18th digit 2 is dropped.
    EXPECT_FIXED6(144115188075855872.0, "144115188075855870.000000");
    // 2^60 = 1152921504606846976: ...469|76 rounds up to ...470.
    EXPECT_FIXED6(1152921504606846976.0, "1152921504606847000.000000");
    // 2^64 = 18446744073709551616: ...551|616 rounds up to ...552.
    EXPECT_FIXED6(18446744073709551616.0, "18446744073709552000.000000");
    // The nearest double is 123456789012345683968: ...568|3968.
    EXPECT_FIXED6(123456789012345678901.0, "123456789012345680000.000000");
    EXPECT_FIXED6(-123456789012345678901.0, "-123456789012345680000.000000");
    // FLT_MAX = 340282346638528859811704183484516925440: ...885|98... rounds up.
    EXPECT_FIXED6(static_cast<double>(FLT_MAX), "340282346638528860000000000000000000000.000000");
    // DBL_MAX = 17976931348623157|0814527... * 10^291: 309 digits in all.
    const std::string dbl_max = "17976931348623157" + std::string(292, '0') + ".000000";
    EXPECT_FIXED6(DBL_MAX, dbl_max);
    EXPECT_FIXED6(-DBL_MAX, "-" + dbl_max);
}

TEST(FormatFixed6, WritesNonFiniteAsZero)
{
    EXPECT_FIXED6(std::numeric_limits<double>::quiet_NaN(), "0.000000");
    EXPECT_FIXED6(-std::numeric_limits<double>::quiet_NaN(), "0.000000");
    EXPECT_FIXED6(std::numeric_limits<double>::signaling_NaN(), "0.000000");
    EXPECT_FIXED6(FromBits(0xfff0000000000001), "0.000000"); // negative NaN, payload 1
    EXPECT_FIXED6(std::numeric_limits<double>::infinity(), "0.000000");
    EXPECT_FIXED6(-std::numeric_limits<double>::infinity(), "0.000000");
}

TEST(FormatFixed6, WritesTinyValuesAsZero)
{
    EXPECT_FIXED6(std::numeric_limits<double>::denorm_min(), "0.000000");
    EXPECT_FIXED6(-std::numeric_limits<double>::denorm_min(), "-0.000000");
    EXPECT_FIXED6(FromBits(0x000fffffffffffff), "0.000000"); // largest subnormal
    EXPECT_FIXED6(DBL_MIN, "0.000000");
    EXPECT_FIXED6(-DBL_MIN, "-0.000000");
    EXPECT_FIXED6(static_cast<double>(std::numeric_limits<float>::denorm_min()), "0.000000");
}

TEST(FormatFixed6, ReturnsTheLengthAndWritesNothingBeyondIt)
{
    for (const double value : {0.0, -0.0078125, 1234.5, -DBL_MAX, 0.0000195})
    {
        char text[kFixed6MaxChars + 8];
        std::memset(text, '#', sizeof(text));
        const size_t count = FormatFixed6(value, text);
        ASSERT_LE(count, kFixed6MaxChars);
        EXPECT_EQ(std::string(text, count), Fixed6Reference(value));
        EXPECT_EQ(std::string(text + count, sizeof(text) - count),
                  std::string(sizeof(text) - count, '#'));
    }
    char text[kFixed6MaxChars];
    EXPECT_EQ(FormatFixed6(-DBL_MAX, text), 317u); // sign, 309 digits, point, 6 decimals
    EXPECT_EQ(FormatFixed6Reference(-DBL_MAX, text), 317u);
    EXPECT_EQ(FormatFixed6(-0.0000001, text), 9u);
}

TEST(FormatFixed6, IgnoresTheLocale)
{
    CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << "no comma-decimal locale (de_DE.UTF-8, German_Germany.1252) is installed";
    char probe[16];
    std::snprintf(probe, sizeof(probe), "%.1f", 0.5);
    ASSERT_STREQ(probe, "0,5"); // the locale is in force

    EXPECT_FIXED6(1234.5, "1234.500000");
    EXPECT_FIXED6(-0.0078125, "-0.007813");
    EXPECT_FIXED6(1234567890123456.25, "1234567890123456.300000");
    EXPECT_FIXED6(123456789012345678901.0, "123456789012345680000.000000");
    EXPECT_EQ(Int32Text(-1234567), "-1234567");
}

TEST(FormatFixed6, MatchesTheReferenceOnEveryFloatOfChosenExponents)
{
    // Biased float exponents: the binade spans [2^(e-127), 2^(e-126)).
    const uint32_t exponents[] = {
        105, // just below 2^-21, always zero
        106, // around the first half, 5e-7
        107, // 1.5e-6
        111, // 1.2e-5..2.4e-5
        116, // 0.00049..0.00098
        120, // 2^-7, where the exact halves begin
        124, // 0.0625..0.125
        126, // 0.5..1, normals and texture coordinates
        127, // 1..2
        130, // 8..16
        136, // 512..1024, positions
        137, // 1024..2048
        146, // 2^19.., the last binade with more than 3 fractional bits
        149, // 2^22.., halves and whole numbers only
        150, // 2^23.., whole numbers
        160, // 2^33.., around 10^10
        183, // 2^56.., across 10^17
        184, // 2^57.., 18 digits
        254, // up to FLT_MAX
    };
    const uint32_t stride = QuickSweep() ? 61 : 1;
    RouteComparison comparison;
    for (const uint32_t exponent : exponents)
    {
        for (uint32_t mantissa = 0; mantissa < (1u << 23); mantissa += stride)
        {
            const uint32_t sign = (mantissa & 1) << 31;
            comparison.Check(FloatFromBits(sign | (exponent << 23) | mantissa));
        }
    }
    EXPECT_EQ(comparison.mismatches(), 0u);
}

TEST(FormatFixed6, MatchesTheReferenceOnFloatsOfEveryExponent)
{
    const uint32_t stride = QuickSweep() ? 4099 : 127;
    RouteComparison comparison;
    for (uint32_t exponent = 0; exponent < 255; ++exponent)
    {
        for (uint32_t mantissa = 0; mantissa < (1u << 23); mantissa += stride)
        {
            const uint32_t bits = (exponent << 23) | mantissa;
            comparison.Check(FloatFromBits(bits));
            comparison.Check(FloatFromBits(bits | 0x80000000u));
        }
    }
    EXPECT_EQ(comparison.mismatches(), 0u);
}

TEST(FormatFixed6, MatchesTheReferenceOnRandomDoubles)
{
    const int count = QuickSweep() ? 100000 : 2000000;
    std::mt19937_64 random(20240611);
    RouteComparison comparison;
    for (int i = 0; i < count; ++i)
    {
        const uint64_t bits = random();
        const uint64_t sign = bits & 0x8000000000000000u;
        const uint64_t mantissa = bits & 0x000fffffffffffffu;
        // Magnitudes 2^-27..2^67, about 7e-9..1.5e20.
        const uint64_t magnitude_exponent = 996 + (bits >> 52) % 94;
        comparison.Check(FromBits(sign | (magnitude_exponent << 52) | mantissa));
        // Quaternion components: uniform in [-1, 1), and full doubles 2^-30..1.
        const uint64_t more = random();
        comparison.Check(static_cast<double>(more >> 11) * 0x1p-52 - 1.0);
        const uint64_t unit_exponent = 993 + (more & 31);
        comparison.Check(FromBits(sign | (unit_exponent << 52) | (more >> 12)));
    }
    EXPECT_EQ(comparison.mismatches(), 0u);
}

TEST(FormatFixed6, MatchesTheReferenceNearHalvesOfTheSixthDecimal)
{
    // The doubles around (k + 1/2) / 10^6, where the 17-digit step decides.
    const int count = QuickSweep() ? 100000 : 1000000;
    std::mt19937_64 random(7);
    RouteComparison comparison;
    for (int i = 0; i < count; ++i)
    {
        const uint64_t bits = random();
        const unsigned width = static_cast<unsigned>(bits >> 58) % 54; // k up to 2^53
        const uint64_t k = (bits & 0x003fffffffffffffu) >> (53 - width);
        const double half = (static_cast<double>(k) + 0.5) / 1e6;
        const uint64_t middle = std::bit_cast<uint64_t>(half) | (bits & 0x8000000000000000u);
        for (uint64_t step = 0; step < 7; ++step)
            comparison.Check(FromBits(middle + step - 3));
    }
    EXPECT_EQ(comparison.mismatches(), 0u);
}

TEST(FormatFixed6, MatchesTheReferenceOnRandomBitPatterns)
{
    const int count = QuickSweep() ? 20000 : 200000;
    std::mt19937_64 random(99);
    RouteComparison comparison;
    for (int i = 0; i < count; ++i)
        comparison.Check(FromBits(random()));
    EXPECT_EQ(comparison.mismatches(), 0u);
}

TEST(FormatInt32, WritesEveryDigitCount)
{
    EXPECT_EQ(Int32Text(0), "0");
    EXPECT_EQ(Int32Text(7), "7");
    EXPECT_EQ(Int32Text(10), "10");
    EXPECT_EQ(Int32Text(99), "99");
    EXPECT_EQ(Int32Text(100), "100");
    EXPECT_EQ(Int32Text(1001), "1001");
    EXPECT_EQ(Int32Text(123456789), "123456789");
    EXPECT_EQ(Int32Text(999999999), "999999999");
    EXPECT_EQ(Int32Text(1000000000), "1000000000");
}

TEST(FormatInt32, AgreesWithToCharsOnBothSidesOfEveryPowerOfTen)
{
    // The digit count comes from the bit length: these are where it changes.
    std::vector<int64_t> values;
    for (int64_t power = 1; power <= 1000000000; power *= 10)
        for (int64_t near = -2; near <= 2; ++near)
            values.insert(values.end(), {power + near, -(power + near)});
    for (int bits = 1; bits < 31; ++bits)
        for (int64_t near = -1; near <= 1; ++near)
            values.insert(values.end(),
                          {(int64_t{1} << bits) + near, -(int64_t{1} << bits) - near});
    for (int64_t value : values)
    {
        const auto v = static_cast<int32_t>(value);
        char expected[16];
        const auto result = std::to_chars(expected, expected + sizeof(expected), v);
        EXPECT_EQ(Int32Text(v), std::string(expected, result.ptr)) << v;
    }
}

TEST(FormatInt32, WritesTheExtremes)
{
    EXPECT_EQ(Int32Text(INT32_MAX), "2147483647");
    EXPECT_EQ(Int32Text(INT32_MIN), "-2147483648"); // its magnitude is no int32
    EXPECT_EQ(Int32Text(INT32_MIN + 1), "-2147483647");
    EXPECT_EQ(Int32Text(-1), "-1");
    EXPECT_EQ(Int32Text(-10), "-10");

    char text[kInt32MaxChars + 4];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(FormatInt32(INT32_MIN, text), kInt32MaxChars);
    EXPECT_EQ(std::string(text + kInt32MaxChars, 4), "####");
}
