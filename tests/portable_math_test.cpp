#include "portable_math.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{

// sinl and cosl are the reference where long double has a 64-bit significand
// and the C library reduces every argument exactly, as glibc does on x86_64.
// The 32-bit Windows library uses the x87 instruction, which reduces with a
// 66-bit pi and gives up past 2^63: there the comparisons are skipped, and the
// cases worked out in decimal arithmetic below still run.
#if defined(__x86_64__) && defined(__GLIBC__)
constexpr bool kHaveReference = true;
#else
constexpr bool kHaveReference = false;
#endif

constexpr const char* kNoReference = "no accurate long double sinl and cosl here";

using Function = double (*)(double);
using ReferenceFunction = long double (*)(long double);

long double ReferenceSin(long double x)
{
    return sinl(x);
}

long double ReferenceCos(long double x)
{
    return cosl(x);
}

uint64_t Bits(double x)
{
    return std::bit_cast<uint64_t>(x);
}

double FromBits(uint64_t bits)
{
    return std::bit_cast<double>(bits);
}

std::string Hex(double x)
{
    char text[40];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

// How many steps apart two finite doubles are in the ordered sequence of all
// doubles (+0 and -0 count as one step apart).
uint64_t UlpDistance(double a, double b)
{
    auto ordered = [](double x)
    {
        int64_t i = std::bit_cast<int64_t>(x);
        return i < 0 ? std::numeric_limits<int64_t>::min() - i : i;
    };
    int64_t i = ordered(a);
    int64_t j = ordered(b);
    return i > j ? static_cast<uint64_t>(i) - static_cast<uint64_t>(j)
                 : static_cast<uint64_t>(j) - static_cast<uint64_t>(i);
}

// |got - exact| in units in the last place of the doubles next to `exact`.
// Below 1, got is one of the two doubles around exact, and so within one ulp
// of exact rounded to double.
long double UlpError(double got, long double exact)
{
    int exponent = std::max(ilogbl(exact) - 52, -1074);
    return fabsl(got - exact) / ldexpl(1.0L, exponent);
}

// Checks that f(x) is within one ulp of reference(x), for every x, and that it
// is odd (sine) or even (cosine) and within [-1, 1]. Reports the first few
// failures and the number of them.
void ExpectWithinOneUlp(Function f, ReferenceFunction reference, bool odd,
                        const std::vector<double>& arguments)
{
    int failures = 0;
    for (double x : arguments)
    {
        double got = f(x);
        long double want = reference(x);
        long double error = UlpError(got, want);
        double mirrored = odd ? -f(-x) : f(-x);
        bool ok = error < 1.0L && Bits(mirrored) == Bits(got) && got >= -1.0 && got <= 1.0;
        if (!ok && ++failures <= 5)
            ADD_FAILURE() << "x = " << Hex(x) << ": got " << Hex(got) << ", "
                          << static_cast<double>(error) << " ulp from the reference, from -x "
                          << Hex(mirrored);
    }
    EXPECT_EQ(failures, 0) << "of " << arguments.size() << " arguments";
}

// Float32 angles of any finite value, halved in double as the export does.
std::vector<double> HalvedFloatAngles(int count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<double> result;
    while (static_cast<int>(result.size()) < count)
    {
        float angle = std::bit_cast<float>(static_cast<uint32_t>(random()));
        if (std::isfinite(angle))
            result.push_back(static_cast<double>(angle) / 2.0);
    }
    return result;
}

// Doubles whose magnitude is spread evenly over the binades 2^low .. 2^high,
// with random significand and sign.
std::vector<double> LogUniformDoubles(int count, int low, int high, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::vector<double> result;
    for (int i = 0; i < count; i++)
    {
        uint64_t r = random();
        uint64_t binades = static_cast<uint64_t>(high - low);
        uint64_t exponent = static_cast<uint64_t>(low + 1023) + (r >> 1) % binades;
        uint64_t sign = r << 63;
        uint64_t significand = random() >> 12;
        result.push_back(FromBits(sign | exponent << 52 | significand));
    }
    return result;
}

// Doubles in [-limit, limit], uniform: the angles a model usually has.
std::vector<double> UniformDoubles(int count, double limit, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::vector<double> result;
    for (int i = 0; i < count; i++)
    {
        double unit = static_cast<double>(random() >> 11) * 0x1p-53; // [0, 1)
        result.push_back((2.0 * unit - 1.0) * limit);
    }
    return result;
}

// The doubles nearest k pi/2 for k = 1 .. count, and the three on each side:
// their remainder is a few ulps of the argument, so almost all of its bits
// come from the reduction. long double pi/2 is close enough to find them.
std::vector<double> NearMultiplesOfHalfPi(int count)
{
    const long double half_pi = 1.570796326794896619231321691639751442L;
    std::vector<double> result;
    for (int k = 1; k <= count; k++)
    {
        double x = static_cast<double>(static_cast<long double>(k) * half_pi);
        double below = x;
        double above = x;
        result.push_back(x);
        for (int i = 0; i < 3; i++)
        {
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, 1e300);
            result.push_back(below);
            result.push_back(above);
        }
    }
    return result;
}

// Half-angles (float32 values) nearest to a multiple of pi/2, found by a
// search over all float32 values with a 128-bit product by the bits of 2/pi;
// the quadrant fraction of each is below 2^-27 (2^-29.9 for the first). They
// lose the most bits in the reduction.
constexpr uint32_t kHardFloatHalfAngles[] = {
    0x6F79BE45, // 0x1.f37c8ap+95, the nearest of all
    0x50A3E87F, // 0x1.47d0fep+34
    0x6FF9BE45, // 0x1.f37c8ap+96
    0x5123E87F, // 0x1.47d0fep+35
    0x7079BE45, // 0x1.f37c8ap+97
    0x6A1976F1, // 0x1.32ede2p+85
    0x53B146A6, // 0x1.628d4cp+40
    0x65898498, // 0x1.13093p+76
    0x51A3E87F, // 0x1.47d0fep+36
    0x77584625, // 0x1.b08c4ap+111
};

// The same below 2^20, where the fast reduction runs: its remainder is not
// accurate enough below 2^-20 and these take the exact one instead.
constexpr uint32_t kHardSmallFloatHalfAngles[] = {
    0x437CE5F1, // 0x1.f9cbe2p+7, the nearest below 2^20
    0x43FCE5F1, // 0x1.f9cbe2p+8
    0x4096CBE4, // 0x1.2d97c8p+2
    0x474D246F, // 0x1.9a48dep+15
    0x4882665E, // 0x1.04ccbcp+18
    0x416231D6, // 0x1.c463acp+3
    0x3FC90FDB, // 0x1.921fb6p+0, float32 pi/2
    0x450BE628, // 0x1.17cc5p+11
    0x41BC7EDD, // 0x1.78fdbap+4
    0x3FC90FDA, // 0x1.921fb4p+0
    0x40490FDB, // 0x1.921fb6p+1, float32 pi
    0x4943998D, // 0x1.87331ap+19
};

// Doubles below 2^20 nearest a multiple of pi/2, found by a search over the
// doubles next to k pi/2 with sinl and cosl. All take the exact reduction: the
// fast one alone would be 1.06 ulp off on 0x1.93c05c9ed3cbcp+18.
constexpr double kHardSmallDoubles[] = {
    0x1.6c6cbc45dc8dep+5, // 6.2e-19 from 29 pi/2, the nearest
    0x1.6c6cbc45dc8dep+11, 0x1.39c6fd67805a7p+18, 0x1.39c6fd67805a7p+19, 0x1.65a1dd290660fp+16,
    0x1.93c05c9ed3cbcp+18, 0x1.93c05c9ed3cbcp+19, 0x1.67e57cdd4dc54p+16,
};

std::vector<double> FromFloatBits(const uint32_t* bits, size_t count)
{
    std::vector<double> result;
    for (size_t i = 0; i < count; i++)
        result.push_back(static_cast<double>(std::bit_cast<float>(bits[i])));
    return result;
}

// Correctly rounded sin and cos, as bit patterns, from
// `scripts/gen-two-over-pi --reference X`: it reduces the exact decimal value
// of x by a 1200-digit pi and sums the Taylor series to 60 digits. They do not
// depend on any C library.
struct Expected
{
    uint64_t x;
    uint64_t sin;
    uint64_t cos;
};

constexpr Expected kExpected[] = {
    // The float32 half-angles nearest a multiple of pi/2, above.
    {0x45EF37C8A0000000, 0x3FF0000000000000, 0xBE1BBDD52A58EAFB},
    {0x42147D0FE0000000, 0x3FF0000000000000, 0xBE2149DAFD6B8987},
    {0x45432EDE20000000, 0x3FF0000000000000, 0xBE3BC77BE4E3B960},
    {0x46EB08C4A0000000, 0xBFF0000000000000, 0xBE45F52EA84F120D},
    {0x406F9CBE20000000, 0x3FF0000000000000, 0xBE31FA3BB9A07E78},
    {0x4012D97C80000000, 0xBFEFFFFFFFFFFFFF, 0x3E499BC5B961B1AD},
    {0x40E9A48DE0000000, 0x3FEFFFFFFFFFFFFF, 0xBE516AE29144D3B2},
    {0x3FF921FB60000000, 0x3FEFFFFFFFFFFFF7, 0xBE6777A5CF72CECC},
    // Doubles below 2^20 nearest a multiple of pi/2, from kHardSmallDoubles.
    {0x4046C6CBC45DC8DE, 0x3FF0000000000000, 0xBC26D61B58C99C43},
    {0x41139C6FD67805A7, 0xBFF0000000000000, 0xBC8988EFE18FF83F},
    {0x41239C6FD67805A7, 0x3C9988EFE18FF83F, 0xBFF0000000000000},
    {0x40F65A1DD290660F, 0x3FF0000000000000, 0x3CB049C6E4971285},
    {0x41193C05C9ED3CBC, 0x3FF0000000000000, 0xBCB065D73720C4F9},
    {0x41293C05C9ED3CBC, 0xBCC065D73720C4F9, 0xBFF0000000000000},
    // The largest float32 angle, halved.
    {0x47DFFFFFE0000000, 0x3FD159877D11C7D1, 0xBFEECD3E643BC274},
    // 6381956970095103 * 2^797, the double nearest a multiple of pi/2
    // (4.7e-19 away).
    {0x7506AC5B262CA1FF, 0x3FF0000000000000, 0xBC214AE72E6BA22F},
    // The largest double, 2^1023 and 1e22.
    {0x7FEFFFFFFFFFFFFF, 0x3F7452FC98B34E97, 0xBFEFFFE62ECFAB75},
    {0x7FE0000000000000, 0x3FE205248CBDB760, 0xBFEA719F26C232BF},
    {0x4480F0CF064DD592, 0xBFEB453AB76BF397, 0x3FE0BE2CEF01C8F4},
    // The doubles nearest pi/2 and pi.
    {0x3FF921FB54442D18, 0x3FF0000000000000, 0x3C91A62633145C07},
    {0x400921FB54442D18, 0x3CA1A62633145C07, 0xBFF0000000000000},
    // Both sides of 2^20, where the reduction changes method.
    {0x4130000000000000, 0x3FD526CCB2FC8656, 0x3FEE33ADA92FE2AE},
    {0x412FFFFFFFFFFFFF, 0x3FD526CCB2DE52A8, 0x3FEE33ADA9352C61},
};

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kSmallestSubnormal = std::numeric_limits<double>::denorm_min();

// FNV-1a over the result bits of f for 100,000 halved float32 angles.
uint64_t Fingerprint(Function f)
{
    uint64_t hash = 0xCBF29CE484222325;
    for (double x : HalvedFloatAngles(100000, 2024))
    {
        uint64_t bits = Bits(f(x));
        for (int i = 0; i < 8; i++)
        {
            hash ^= (bits >> (8 * i)) & 0xFF;
            hash *= 0x100000001B3;
        }
    }
    return hash;
}

TEST(PortableSin, IsExactAtZeroAndKeepsItsSign)
{
    EXPECT_EQ(Bits(PortableSin(0.0)), Bits(0.0));
    EXPECT_EQ(Bits(PortableSin(-0.0)), Bits(-0.0));
    // sin x rounds to x while x^3/6 is under half an ulp of x.
    EXPECT_EQ(PortableSin(kSmallestSubnormal), kSmallestSubnormal);
    EXPECT_EQ(PortableSin(-1e-300), -1e-300);
    EXPECT_EQ(PortableSin(0x1p-27), 0x1p-27);
    EXPECT_EQ(PortableSin(-0x1.fffffffffffffp-28), -0x1.fffffffffffffp-28);
}

TEST(PortableSin, GivesNanForNanAndInfinity)
{
    EXPECT_TRUE(std::isnan(PortableSin(kNan)));
    EXPECT_TRUE(std::isnan(PortableSin(-kNan)));
    EXPECT_TRUE(std::isnan(PortableSin(FromBits(0x7FF0000000000001)))); // signalling
    EXPECT_TRUE(std::isnan(PortableSin(kInfinity)));
    EXPECT_TRUE(std::isnan(PortableSin(-kInfinity)));
}

TEST(PortableSin, IsWithinOneUlpOfCorrectlyRoundedDecimalValues)
{
    for (const Expected& e : kExpected)
    {
        double x = FromBits(e.x);
        EXPECT_LE(UlpDistance(PortableSin(x), FromBits(e.sin)), 1u) << Hex(x);
        EXPECT_LE(UlpDistance(PortableSin(-x), -FromBits(e.sin)), 1u) << Hex(-x);
    }
}

TEST(PortableSin, IsWithinOneUlpOnHalvedFloatAngles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true, HalvedFloatAngles(1000000, 1));
}

TEST(PortableSin, IsWithinOneUlpOnSmallDoubles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true, UniformDoubles(300000, 8.0, 2));
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true, LogUniformDoubles(300000, -30, 21, 3));
}

TEST(PortableSin, IsWithinOneUlpOnHugeDoubles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true, LogUniformDoubles(100000, 20, 1024, 4));
}

TEST(PortableSin, IsWithinOneUlpNearMultiplesOfHalfPi)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true, NearMultiplesOfHalfPi(20000));
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true,
                       FromFloatBits(kHardFloatHalfAngles, std::size(kHardFloatHalfAngles)));
    ExpectWithinOneUlp(
        PortableSin, ReferenceSin, true,
        FromFloatBits(kHardSmallFloatHalfAngles, std::size(kHardSmallFloatHalfAngles)));
    ExpectWithinOneUlp(PortableSin, ReferenceSin, true,
                       {std::begin(kHardSmallDoubles), std::end(kHardSmallDoubles)});
}

// The value was printed by the x86_64 build and matched by the 32-bit Windows
// build run under wine. A change here changes the rotations in exported files.
TEST(PortableSin, GivesTheSameBitsOnEveryPlatform)
{
    EXPECT_EQ(Fingerprint(PortableSin), 0x7B54D317433C3EBCu);
}

TEST(PortableCos, IsExactAtZero)
{
    EXPECT_EQ(Bits(PortableCos(0.0)), Bits(1.0));
    EXPECT_EQ(Bits(PortableCos(-0.0)), Bits(1.0));
    // cos x rounds to 1 while x^2/2 is under half an ulp of 1 (2^-54).
    EXPECT_EQ(PortableCos(kSmallestSubnormal), 1.0);
    EXPECT_EQ(PortableCos(-0x1p-27), 1.0);
    EXPECT_EQ(PortableCos(0x1p-26), 0x1.fffffffffffffp-1); // 1 - 2^-53 is nearer than 1
}

TEST(PortableCos, GivesNanForNanAndInfinity)
{
    EXPECT_TRUE(std::isnan(PortableCos(kNan)));
    EXPECT_TRUE(std::isnan(PortableCos(-kNan)));
    EXPECT_TRUE(std::isnan(PortableCos(FromBits(0x7FF0000000000001))));
    EXPECT_TRUE(std::isnan(PortableCos(kInfinity)));
    EXPECT_TRUE(std::isnan(PortableCos(-kInfinity)));
}

TEST(PortableCos, IsWithinOneUlpOfCorrectlyRoundedDecimalValues)
{
    for (const Expected& e : kExpected)
    {
        double x = FromBits(e.x);
        EXPECT_LE(UlpDistance(PortableCos(x), FromBits(e.cos)), 1u) << Hex(x);
        EXPECT_LE(UlpDistance(PortableCos(-x), FromBits(e.cos)), 1u) << Hex(-x);
    }
}

TEST(PortableCos, IsWithinOneUlpOnHalvedFloatAngles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false, HalvedFloatAngles(1000000, 5));
}

TEST(PortableCos, IsWithinOneUlpOnSmallDoubles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false, UniformDoubles(300000, 8.0, 6));
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false, LogUniformDoubles(300000, -30, 21, 7));
}

TEST(PortableCos, IsWithinOneUlpOnHugeDoubles)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false, LogUniformDoubles(100000, 20, 1024, 8));
}

TEST(PortableCos, IsWithinOneUlpNearMultiplesOfHalfPi)
{
    if (!kHaveReference)
        GTEST_SKIP() << kNoReference;
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false, NearMultiplesOfHalfPi(20000));
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false,
                       FromFloatBits(kHardFloatHalfAngles, std::size(kHardFloatHalfAngles)));
    ExpectWithinOneUlp(
        PortableCos, ReferenceCos, false,
        FromFloatBits(kHardSmallFloatHalfAngles, std::size(kHardSmallFloatHalfAngles)));
    ExpectWithinOneUlp(PortableCos, ReferenceCos, false,
                       {std::begin(kHardSmallDoubles), std::end(kHardSmallDoubles)});
}

TEST(PortableCos, GivesTheSameBitsOnEveryPlatform)
{
    EXPECT_EQ(Fingerprint(PortableCos), 0x4022B5186EA15971u);
}

TEST(PortableSinCos, GivesTheBitsOfTheSeparateFunctions)
{
    std::vector<double> values = HalvedFloatAngles(50000, 99);
    for (const std::vector<double>& more :
         {LogUniformDoubles(20000, -30, 1024, 5), NearMultiplesOfHalfPi(5000),
          std::vector<double>{0.0, -0.0, 1e-300, -1e-300, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()}})
        values.insert(values.end(), more.begin(), more.end());
    for (double x : values)
    {
        for (double v : {x, -x})
        {
            double sine = 0.0, cosine = 0.0;
            PortableSinCos(v, sine, cosine);
            ASSERT_EQ(std::bit_cast<uint64_t>(sine), std::bit_cast<uint64_t>(PortableSin(v))) << v;
            ASSERT_EQ(std::bit_cast<uint64_t>(cosine), std::bit_cast<uint64_t>(PortableCos(v)))
                << v;
        }
    }
}

TEST(PortableSinCosN, GivesTheBitsOfPortableSinCosInEveryLane)
{
    // Lanes of every kind side by side: ordinary angles, zeros and tiny ones
    // (answered in the lane), huge, infinite and NaN ones and those near a
    // multiple of pi/2 (each sends its pair of lanes the scalar way), so that
    // every mixture of the two ways meets in one call; and odd counts, whose
    // last value has no partner.
    std::vector<double> values = HalvedFloatAngles(30000, 7);
    for (const std::vector<double>& more :
         {UniformDoubles(30000, 4.0, 11), LogUniformDoubles(20000, -1074, 1024, 12),
          LogUniformDoubles(10000, -40, 21, 13), NearMultiplesOfHalfPi(3000),
          std::vector<double>{0.0, -0.0, kSmallestSubnormal, -kSmallestSubnormal, 0x1p-27,
                              0x1.fffffffffffffp-28, 0x1p20, 0x1.fffffffffffffp19, kInfinity,
                              -kInfinity, kNan, 0x1.921fb54442d18p-1, 0x1.921fb54442d19p-1}})
        values.insert(values.end(), more.begin(), more.end());
    std::mt19937 random(3);
    std::shuffle(values.begin(), values.end(), random);
    for (size_t i = 1; i < values.size(); i += 2)
        values[i] = -values[i];

    std::vector<double> sines(values.size() + 1, 7.0);
    std::vector<double> cosines(values.size() + 1, 7.0);
    int mismatches = 0;
    for (size_t first = 0, count = 1; first < values.size(); first += count, count = count % 7 + 1)
    {
        count = std::min(count, values.size() - first);
        PortableSinCosN(values.data() + first, sines.data() + first, cosines.data() + first, count);
        EXPECT_EQ(sines[first + count], 7.0) << "written past the end";
        for (size_t i = first; i < first + count; ++i)
        {
            double sine = 0.0, cosine = 0.0;
            PortableSinCos(values[i], sine, cosine);
            if ((Bits(sines[i]) != Bits(sine) || Bits(cosines[i]) != Bits(cosine)) &&
                ++mismatches <= 5)
                ADD_FAILURE() << "value " << i - first << " of " << count << ": " << Hex(values[i]);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
