#include "mdl_convert.h"
#include "number_format.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr float kHalfPi = 1.57079637f; // the float nearest to pi/2

std::string Written(const MdlAxes& a)
{
    return Fixed6(a.first) + ", " + Fixed6(a.second) + ", " + Fixed6(a.third);
}

std::string Written(const MdlQuaternion& q)
{
    return Fixed6(q.first) + ", " + Fixed6(q.second) + ", " + Fixed6(q.third) + ", " +
           Fixed6(q.fourth);
}

} // namespace

TEST(ToMdlAxes, WritesHostZThenXThenY)
{
    EXPECT_EQ(Written(ToMdlAxes(Vec3{1.0f, 2.0f, 3.0f})), "3.000000, 1.000000, 2.000000");
}

TEST(ToMdlAxes, KeepsSignsAndWidensExactly)
{
    MdlAxes a = ToMdlAxes(Vec3{-0.1f, 0.0f, -5.5f});
    EXPECT_EQ(a.first, -5.5);
    EXPECT_EQ(a.second, static_cast<double>(-0.1f)); // not -0.1: the float's own value
    EXPECT_EQ(a.third, 0.0);
}

TEST(FrameToMdlTime, ConvertsFramesToMillisecondsTruncating)
{
    EXPECT_EQ(FrameToMdlTime(0.0f), 0);
    EXPECT_EQ(FrameToMdlTime(1.0f), 41);
    EXPECT_EQ(FrameToMdlTime(12.0f), 500);
    EXPECT_EQ(FrameToMdlTime(24.0f), 1000);
    EXPECT_EQ(FrameToMdlTime(25.0f), 1041);
    EXPECT_EQ(FrameToMdlTime(2.5f), 104);
    EXPECT_EQ(FrameToMdlTime(-1.0f), -41); // toward zero, not toward minus infinity
    EXPECT_EQ(FrameToMdlTime(-2.5f), -104);
}

TEST(FrameToMdlTime, MultipliesBeforeDividing)
{
    // 195 * 1000 / 24 is 8125 exactly; multiplying by a rounded 1000 / 24
    // would give 8124.999999999999 and truncate to 8124.
    EXPECT_EQ(FrameToMdlTime(195.0f), 8125);
    EXPECT_EQ(FrameToMdlTime(387.0f), 16125);
}

TEST(FrameToMdlTime, SaturatesBeyondTheInt32Range)
{
    EXPECT_EQ(FrameToMdlTime(1e30f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(FrameToMdlTime(-1e30f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(FrameToMdlTime(std::numeric_limits<float>::infinity()),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(FrameToMdlTime(-std::numeric_limits<float>::infinity()),
              std::numeric_limits<int32_t>::min());
    EXPECT_EQ(FrameToMdlTime(std::numeric_limits<float>::quiet_NaN()), 0);
    // 51539604 frames is 2147483500 ms, still inside; the next float,
    // 51539608, gives 2147483666.67 ms, past the limit.
    EXPECT_EQ(FrameToMdlTime(51539604.0f), 2147483500);
    EXPECT_EQ(FrameToMdlTime(51539608.0f), std::numeric_limits<int32_t>::max());
}

TEST(EulerToMdlQuaternion, NoTurnIsTheIdentity)
{
    MdlQuaternion q = EulerToMdlQuaternion(Vec3{0.0f, 0.0f, 0.0f});
    EXPECT_EQ(q.first, 0.0);
    EXPECT_EQ(q.second, 0.0);
    EXPECT_EQ(q.third, 0.0);
    EXPECT_EQ(q.fourth, 1.0);
}

TEST(EulerToMdlQuaternion, QuarterTurnsLandInMdlAxisOrder)
{
    // About the host's x axis: the second number (MDL order z, x, y).
    EXPECT_EQ(Written(EulerToMdlQuaternion(Vec3{kHalfPi, 0.0f, 0.0f})),
              "0.000000, 0.707107, 0.000000, 0.707107");
    // About the host's z axis: the first number.
    EXPECT_EQ(Written(EulerToMdlQuaternion(Vec3{0.0f, 0.0f, kHalfPi})),
              "0.707107, 0.000000, 0.000000, 0.707107");
    // About the host's y axis: the third number.
    EXPECT_EQ(Written(EulerToMdlQuaternion(Vec3{0.0f, kHalfPi, 0.0f})),
              "0.000000, 0.000000, 0.707107, 0.707107");
}

TEST(EulerToMdlQuaternion, ComposesXThenZThenYAboutTheBody)
{
    // Quarter turns about x and y: q(x)·q(y) = (c + s·i)(c + s·j) with
    // c = s = sqrt(1/2) is 1/2 (1 + i + j + k), so every number is 1/2.
    EXPECT_EQ(Written(EulerToMdlQuaternion(Vec3{kHalfPi, kHalfPi, 0.0f})),
              "0.500000, 0.500000, 0.500000, 0.500000");
    // A quarter turn about z and one about y: q(z)·q(y) = (c + s·k)(c + s·j)
    // = 1/2 (1 + j + k - i): host vector (-1/2, 1/2, 1/2), written z, x, y.
    EXPECT_EQ(Written(EulerToMdlQuaternion(Vec3{0.0f, kHalfPi, kHalfPi})),
              "0.500000, -0.500000, 0.500000, 0.500000");
}

TEST(EulerToMdlQuaternions, GivesTheBitsOfOneAtATimeAcrossBlocks)
{
    // 101 rotations cross the blocks of keys the conversion works in; the
    // spare entry past the end must stay untouched.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> angle(-7.0f, 7.0f);
    std::vector<Vec3> rotations(101);
    for (Vec3& r : rotations)
        r = Vec3{angle(random), angle(random), angle(random)};
    rotations[40] = Vec3{0.0f, -0.0f, std::numeric_limits<float>::infinity()};
    rotations[41] = Vec3{1e30f, std::numeric_limits<float>::quiet_NaN(), 1e-30f};
    std::vector<MdlQuaternion> batch(rotations.size() + 1, MdlQuaternion{7.0, 7.0, 7.0, 7.0});
    EulerToMdlQuaternions(rotations.data(), batch.data(), static_cast<int32_t>(rotations.size()));
    EXPECT_EQ(batch.back().first, 7.0);
    for (size_t i = 0; i < rotations.size(); ++i)
    {
        const MdlQuaternion one = EulerToMdlQuaternion(rotations[i]);
        const double got[4] = {batch[i].first, batch[i].second, batch[i].third, batch[i].fourth};
        const double want[4] = {one.first, one.second, one.third, one.fourth};
        for (int part = 0; part < 4; ++part)
            ASSERT_EQ(std::bit_cast<uint64_t>(got[part]), std::bit_cast<uint64_t>(want[part]))
                << "rotation " << i << ", part " << part;
    }
}

TEST(EulerToMdlQuaternion, AlwaysGivesAUnitQuaternion)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> small(-10.0f, 10.0f);
    std::uniform_real_distribution<float> exponent(-40.0f, 38.0f);
    for (int i = 0; i < 20000; ++i)
    {
        Vec3 r{small(random), small(random), small(random)};
        if (i % 2 == 1)
            r = Vec3{std::pow(10.0f, exponent(random)), -std::pow(10.0f, exponent(random)),
                     std::pow(10.0f, exponent(random))};
        MdlQuaternion q = EulerToMdlQuaternion(r);
        double norm =
            q.first * q.first + q.second * q.second + q.third * q.third + q.fourth * q.fourth;
        ASSERT_NEAR(norm, 1.0, 1e-12) << r.x << " " << r.y << " " << r.z;
    }
}
