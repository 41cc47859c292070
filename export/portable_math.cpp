// The sine and cosine kernels (KernelSin, KernelCos: their coefficients and
// their expressions) and the three-piece split of pi/2 of the small-argument
// reduction are those of fdlibm's k_sin.c, k_cos.c and e_rem_pio2.c, as
// FreeBSD's msun carries them. Their notice:
//
//   Copyright (C) 1993 by Sun Microsystems, Inc. All rights reserved.
//
//   Developed at SunPro, a Sun Microsystems, Inc. business.
//   Permission to use, copy, modify, and distribute this
//   software is freely granted, provided that this notice
//   is preserved.
//
// The exact reduction of large arguments, the choice between the two
// reductions, the quadrant placement and the paired lanes are this project's.
#include "portable_math.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <limits>

// Everything here is plain double arithmetic, rounded to nearest after every
// operation, and 32- or 64-bit integer arithmetic, so every conforming build
// gives the same bits. The build must keep the compiler from fusing a multiply
// and an add (-ffp-contract=off) and, on 32-bit x86, use SSE2 rather than the
// x87 unit (-msse2 -mfpmath=sse): both change roundings that the exact
// two-term sums and products below rely on.

namespace
{

// Printed by scripts/gen-two-over-pi, which computes pi to 1200 digits with
// two different arctangent formulas and checks that they agree.

// Bits of 2/pi after the binary point, 32 to a word, most significant first.
constexpr uint32_t kTwoOverPiBits[37] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046,
};

// pi/2 split for the reduction of small arguments (fdlibm's pio2_1, pio2_2
// and pio2_2t): the first two pieces have
// 33 significant bits, so their product with a quadrant count below 2^20 is
// exact; the three add up to pi/2 within 2^-122.
constexpr double kPio2Part1 = 0x1.921fb54400000p+0;
constexpr double kPio2Part2 = 0x1.0b4611a600000p-34;
constexpr double kPio2Part3 = 0x1.3198a2e037073p-69;
// pi/2 as an unevaluated sum of two doubles, within 2^-109 of it.
constexpr double kPio2High = 0x1.921fb54442d18p+0;
constexpr double kPio2Low = 0x1.1a62633145c07p-54;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// fdlibm's minimax polynomials on [-pi/4, pi/4]: sin(x) = x + x^3 (S1 + x^2 S2
// + ...) within 2^-57.8 relative, cos(x) = 1 - x^2/2 + x^4 (C1 + x^2 C2 + ...)
// within 2^-59.8.
constexpr double kS1 = -0x1.5555555555549p-3;
constexpr double kS2 = 0x1.111111110f8a6p-7;
constexpr double kS3 = -0x1.a01a019c161d5p-13;
constexpr double kS4 = 0x1.71de357b1fe7dp-19;
constexpr double kS5 = -0x1.ae5e68a2b9cebp-26;
constexpr double kS6 = 0x1.5d93a5acfd57cp-33;
constexpr double kC1 = 0x1.555555555554cp-5;
constexpr double kC2 = -0x1.6c16c16c15177p-10;
constexpr double kC3 = 0x1.a01a019cb1590p-16;
constexpr double kC4 = -0x1.27e4f809c52adp-22;
constexpr double kC5 = 0x1.1ee9ebdb4b1c4p-29;
constexpr double kC6 = -0x1.8fae9be8838d4p-37;

// Below this, sin(x) rounds to x and cos(x) to 1: x^3/6 and x^2/2 are less
// than half an ulp.
constexpr double kTiny = 0x1p-27;
// Arguments below this use the three-piece reduction.
constexpr double kSmallLimit = 0x1p20;
// The three-piece reduction is within 2^-99 of the exact remainder (the
// rounding of n * part3 and of the sum of the small terms, and n times the
// error of the three pieces), so a remainder of at least this much has 79
// correct bits; a smaller one is redone exactly from the bits of 2/pi.
constexpr double kSmallRemainderMin = 0x1p-20;

// x reduced to quadrant * pi/2 + (high + low), |high + low| <= pi/4 (plus a few
// ulps where the quadrant is decided by rounding), |low| <= ulp(high).
struct Reduced
{
    unsigned quadrant; // modulo 4
    double high;
    double low;
};

constexpr double PowerOfTwo(int exponent)
{
    assert(exponent > -1023 && exponent < 1024);
    return std::bit_cast<double>(static_cast<uint64_t>(exponent + 1023) << 52);
}

// a * b == product + error exactly (Dekker). Needs |a|, |b| well inside the
// range of doubles, which holds for the values below 2 that it is given.
void TwoProduct(double a, double b, double& product, double& error)
{
    constexpr double kSplit = 0x1p27 + 1.0;
    double ca = kSplit * a;
    double a_high = ca - (ca - a);
    double a_low = a - a_high;
    double cb = kSplit * b;
    double b_high = cb - (cb - b);
    double b_low = b - b_high;
    product = a * b;
    error = ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low;
}

// 64 bits of the little-endian number `limbs`, starting at bit `position`
// (which may be negative or past the end: missing bits are zero).
uint64_t Bits64(const uint32_t* limbs, int count, int position)
{
    int word = position >> 5; // rounds down for negative positions too
    int shift = position & 31;
    auto limb = [&](int i) -> uint64_t { return i >= 0 && i < count ? limbs[i] : 0; };
    uint64_t low = limb(word) | limb(word + 1) << 32;
    if (shift == 0)
        return low;
    return low >> shift | limb(word + 2) << (64 - shift);
}

// Exact reduction of a finite ax >= 1/2 (Payne and Hanek): the product of
// ax's 53-bit integer significand with the 224 bits of 2/pi that matter for
// ax * 2/pi modulo 4. The bits before them add only multiples of 4; the ones
// after them add less than 2^-138, while no double is nearer than 2^-61.5 to a
// whole number of quadrants (6381956970095103 * 2^797 is the nearest), so at
// least 76 bits of the remainder are right.
Reduced ReduceLarge(double ax)
{
    constexpr int kWindow = 7;
    uint64_t bits = std::bit_cast<uint64_t>(ax);
    int exponent = static_cast<int>(bits >> 52) - 1075; // ax = significand * 2^exponent
    uint64_t significand = (bits & ((uint64_t{1} << 52) - 1)) | uint64_t{1} << 52;
    assert(exponent >= -53 && exponent <= 971);

    // Word k of the table is worth significand * 2^(exponent - 32 (k + 1))
    // times an integer; it is a multiple of 4 while exponent - 32 (k + 1) >= 2.
    int first = exponent >= 2 ? (exponent - 2) / 32 : 0;
    static_assert((971 - 2) / 32 + kWindow <= sizeof kTwoOverPiBits / sizeof kTwoOverPiBits[0]);
    uint32_t window[kWindow];
    for (int i = 0; i < kWindow; i++)
        window[i] = kTwoOverPiBits[first + kWindow - 1 - i];

    // product = significand * window, in 32-bit limbs, least significant first.
    uint32_t product[kWindow + 2] = {};
    const uint32_t halves[2] = {static_cast<uint32_t>(significand),
                                static_cast<uint32_t>(significand >> 32)};
    for (int j = 0; j < 2; j++)
    {
        uint64_t carry = 0;
        for (int i = 0; i < kWindow; i++)
        {
            // At most (2^32 - 1)^2 + 2 (2^32 - 1) = 2^64 - 1: no overflow.
            uint64_t sum = uint64_t{window[i]} * halves[j] + product[i + j] + carry;
            product[i + j] = static_cast<uint32_t>(sum);
            carry = sum >> 32;
        }
        product[kWindow + j] = static_cast<uint32_t>(carry);
    }

    // ax * 2/pi = product * 2^-point modulo 4.
    int point = 32 * (first + kWindow) - exponent;
    unsigned quadrant = static_cast<unsigned>(Bits64(product, kWindow + 2, point) & 3);
    uint64_t f1 = Bits64(product, kWindow + 2, point - 64);
    uint64_t f2 = Bits64(product, kWindow + 2, point - 128);
    uint64_t f3 = Bits64(product, kWindow + 2, point - 192);

    // A fraction of 1/2 or more belongs to the next quadrant: take 1 - f
    // and negate the result.
    bool negative = f1 >> 63 != 0;
    if (negative)
    {
        quadrant++;
        f1 = ~f1;
        f2 = ~f2;
        f3 = ~f3 + 1;
        if (f3 == 0 && ++f2 == 0)
            f1++;
    }

    // Normalise the fraction so that its first 1 bit leads `high_bits`.
    int shift = 0;
    for (int i = 0; i < 2 && f1 == 0; i++)
    {
        f1 = f2;
        f2 = f3;
        f3 = 0;
        shift += 64;
    }
    assert(f1 != 0);
    int leading = std::countl_zero(f1);
    if (leading != 0)
    {
        f1 = f1 << leading | f2 >> (64 - leading);
        f2 = f2 << leading | f3 >> (64 - leading);
    }
    shift += leading;

    // fraction = f1 * 2^-(64 + shift) + f2 * 2^-(128 + shift): 106 bits of it
    // as two doubles (integers below 2^53 convert exactly everywhere).
    uint64_t high_bits = f1 >> 11;
    uint64_t low_bits = (f1 & 0x7FF) << 42 | f2 >> 22;
    double scale = PowerOfTwo(-53 - shift);
    double fraction_high = static_cast<double>(high_bits) * scale;
    double fraction_low = static_cast<double>(low_bits) * (scale * 0x1p-53);

    // times pi/2, in double-double arithmetic.
    double product_high;
    double product_error;
    TwoProduct(fraction_high, kPio2High, product_high, product_error);
    double tail = product_error + (fraction_high * kPio2Low + fraction_low * kPio2High);
    double high = product_high + tail;
    double low = tail - (high - product_high);
    if (negative)
    {
        high = -high;
        low = -low;
    }
    return {quadrant & 3, high, low};
}

// Cody and Waite's reduction of 0 <= ax < 2^20 to n * pi/2 + (high + low). n
// is below 2^20, so n * part1 and n * part2 are exact, and ax - n * part1 is
// exact because n * part1 is within a factor 2 of ax. For ax <= pi/4 it gives
// n = 0, high = ax and low = 0 exactly. T is double, or Lanes of them (the
// same operations, lane by lane).
template <typename T> struct SmallReduction
{
    T shifted; // n + 1.5 * 2^52, exactly: its last significand bits are n's
    T n;
    T high;
    T low;
};

template <typename T> [[gnu::always_inline]] inline SmallReduction<T> ReduceSmall(T ax)
{
    const T shifted = ax * kTwoOverPi + 0x1.8p52;
    const T n = shifted - 0x1.8p52; // the nearest integer
    const T t = ax - n * kPio2Part1;
    const T p2 = n * kPio2Part2;
    const T s = t - p2;
    const T s_part = s - t;
    const T s_error = (t - (s - s_part)) - (p2 + s_part); // t - p2 == s + s_error
    const T w = s_error - n * kPio2Part3;
    const T high = s + w;
    return {shifted, n, high, w - (high - s)};
}

// The one rule for which reduction an argument takes, given its three-piece
// reduction `r`: the exact one (nonzero) when ax is 2^20 or more or not a
// number, or when the remainder is too near a nonzero multiple of pi/2 for
// three pieces. T is double (the result then converts to bool), or Lanes (a
// mask per lane).
template <typename T>
[[gnu::always_inline]] inline auto NeedsExactReduction(T ax, const SmallReduction<T>& r)
{
    return ((ax < kSmallLimit) == 0) |
           ((r.n != 0.0) & (r.high < kSmallRemainderMin) & (r.high > -kSmallRemainderMin));
}

// Reduction of a finite ax >= 0. For ax <= pi/4 the three-piece reduction
// gives quadrant 0 and exactly ax.
Reduced Reduce(double ax)
{
    const SmallReduction<double> r = ReduceSmall(ax);
    if (NeedsExactReduction(ax, r))
        return ReduceLarge(ax);
    return {static_cast<unsigned>(r.n) & 3, r.high, r.low};
}

// sin(x + y) for |x| <= pi/4, |y| <= ulp(x). T is double, or Lanes of them
// (the same operations, lane by lane).
template <typename T> [[gnu::always_inline]] inline T KernelSin(T x, T y)
{
    T z = x * x;
    T v = z * x;
    T r = kS2 + z * (kS3 + z * (kS4 + z * (kS5 + z * kS6)));
    // x + v (S1 + z r) + y (1 - x^2/2), with the small terms summed first.
    return x - ((z * (0.5 * y - v * r) - y) - v * kS1);
}

// cos(x + y) for |x| <= pi/4, |y| <= ulp(x).
template <typename T> [[gnu::always_inline]] inline T KernelCos(T x, T y)
{
    T z = x * x;
    T r = z * (kC1 + z * (kC2 + z * (kC3 + z * (kC4 + z * (kC5 + z * kC6)))));
    T hz = 0.5 * z;
    T w = 1.0 - hz;
    // 1 - hz rounds; ((1 - w) - hz) is exactly what the rounding lost.
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// Places the kernel's sine and cosine bits `s` and `c` in `quadrant` (0..3):
// odd quadrants swap the two and negate the new cosine, quadrants 2 and 3
// negate both; then `sign` (a sign bit, or 0) goes onto the sine. Bits is
// uint64_t, or LaneBits.
template <typename Bits>
[[gnu::always_inline]] inline void PlaceInQuadrant(Bits s, Bits c, Bits quadrant, Bits sign,
                                                   Bits& sine, Bits& cosine)
{
    constexpr uint64_t kSignBit = uint64_t{1} << 63;
    const Bits swap = -(quadrant & 1);
    const Bits negate = (quadrant >> 1) << 63;
    sine = ((s & ~swap) | (c & swap)) ^ negate ^ sign;
    cosine = ((c & ~swap) | ((s ^ kSignBit) & swap)) ^ negate;
}

bool IsFinite(double x)
{
    return (std::bit_cast<uint64_t>(x) >> 52 & 0x7FF) != 0x7FF;
}

} // namespace

double PortableSin(double x)
{
    if (!IsFinite(x))
        return std::numeric_limits<double>::quiet_NaN(); // one NaN, the same bits everywhere
    double ax = x < 0.0 ? -x : x;
    if (ax < kTiny)
        return x; // keeps the sign of zero
    Reduced r = Reduce(ax);
    double result;
    switch (r.quadrant)
    {
    case 0:
        result = KernelSin(r.high, r.low);
        break;
    case 1:
        result = KernelCos(r.high, r.low);
        break;
    case 2:
        result = -KernelSin(r.high, r.low);
        break;
    default:
        result = -KernelCos(r.high, r.low);
        break;
    }
    return x < 0.0 ? -result : result;
}

double PortableCos(double x)
{
    if (!IsFinite(x))
        return std::numeric_limits<double>::quiet_NaN();
    double ax = x < 0.0 ? -x : x;
    if (ax < kTiny)
        return 1.0;
    Reduced r = Reduce(ax);
    switch (r.quadrant)
    {
    case 0:
        return KernelCos(r.high, r.low);
    case 1:
        return -KernelSin(r.high, r.low);
    case 2:
        return -KernelCos(r.high, r.low);
    default:
        return KernelSin(r.high, r.low);
    }
}

// The export calls this for every rotation key, on angles whose signs and
// quadrants follow no pattern, so the common case takes no branch that
// depends on them: the quadrant and the sign pick their results by masks.
// The arithmetic is the same as PortableSin's and PortableCos's, operation for
// operation, so the bits are too.
void PortableSinCos(double x, double& sine, double& cosine)
{
    constexpr uint64_t kSignBit = uint64_t{1} << 63;
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const double ax = std::bit_cast<double>(bits & ~kSignBit);
    if (!IsFinite(x))
    {
        sine = cosine = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    if (ax < kTiny)
    {
        sine = x;
        cosine = 1.0;
        return;
    }
    const Reduced r = Reduce(ax);

    uint64_t sine_bits;
    uint64_t cosine_bits;
    PlaceInQuadrant(std::bit_cast<uint64_t>(KernelSin(r.high, r.low)),
                    std::bit_cast<uint64_t>(KernelCos(r.high, r.low)), uint64_t{r.quadrant},
                    bits & kSignBit, sine_bits, cosine_bits);
    sine = std::bit_cast<double>(sine_bits);
    cosine = std::bit_cast<double>(cosine_bits);
}

namespace
{

// Two doubles side by side, as one SSE2 register holds them, and their bits.
// The compiler pairs the operations; each lane rounds exactly as the scalar
// operation would.
using Lanes = double __attribute__((vector_size(16)));
using LaneBits = uint64_t __attribute__((vector_size(16)));

LaneBits Mask(decltype(Lanes{} < Lanes{}) comparison)
{
    return std::bit_cast<LaneBits>(comparison);
}

// PortableSinCos of x[0] and x[1] at once, with the same operations in each
// lane. A lane that the three-piece reduction cannot take sends both the
// scalar way.
[[gnu::always_inline]] inline void SinCosLanes(const double* x, double* sine, double* cosine)
{
    constexpr uint64_t kSignBit = uint64_t{1} << 63;
    const LaneBits bits = {std::bit_cast<uint64_t>(x[0]), std::bit_cast<uint64_t>(x[1])};
    const Lanes ax = std::bit_cast<Lanes>(bits & ~kSignBit);
    const SmallReduction<Lanes> r = ReduceSmall(ax);

    const LaneBits slow = Mask(NeedsExactReduction(ax, r));
    if ((slow[0] | slow[1]) != 0)
    {
        PortableSinCos(x[0], sine[0], cosine[0]);
        PortableSinCos(x[1], sine[1], cosine[1]);
        return;
    }

    LaneBits sine_bits;
    LaneBits cosine_bits;
    PlaceInQuadrant(std::bit_cast<LaneBits>(KernelSin(r.high, r.low)),
                    std::bit_cast<LaneBits>(KernelCos(r.high, r.low)),
                    std::bit_cast<LaneBits>(r.shifted) & 3, bits & kSignBit, sine_bits,
                    cosine_bits);
    // Below 2^-27 the sine is the argument itself and the cosine 1.
    const LaneBits tiny = Mask(ax < kTiny);
    sine_bits = (sine_bits & ~tiny) | (bits & tiny);
    cosine_bits = (cosine_bits & ~tiny) | (std::bit_cast<uint64_t>(1.0) & tiny);
    for (int i = 0; i < 2; ++i)
    {
        sine[i] = std::bit_cast<double>(sine_bits[i]);
        cosine[i] = std::bit_cast<double>(cosine_bits[i]);
    }
}

} // namespace

void PortableSinCosN(const double* x, double* sine, double* cosine, size_t count)
{
    size_t i = 0;
    for (; i + 2 <= count; i += 2)
        SinCosLanes(x + i, sine + i, cosine + i);
    if (i < count)
        PortableSinCos(x[i], sine[i], cosine[i]);
}
