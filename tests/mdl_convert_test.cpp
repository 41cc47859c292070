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

TEST(EulerToMdlQuaternion, IsTheProductOfTheTurnsAboutXThenZThenY)
{
    // An independent composition from the platform's sine and cosine: the
    // Hamilton product q(x)·q(z)·q(y) of the three turns. Any other order, a
    // sign or a misplaced axis differs from it by far more than rounding.
    struct Q
    {
        double w, x, y, z;
    };
    auto times = [](Q a, Q b)
    {
        return Q{a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
                 a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                 a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                 a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
    };
    auto turn = [](float angle, int axis)
    {
        const double h = static_cast<double>(angle) / 2.0;
        Q q{std::cos(h), 0.0, 0.0, 0.0};
        (axis == 0 ? q.x : axis == 1 ? q.y : q.z) = std::sin(h);
        return q;
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-10.0f, 10.0f);
    for (int i = 0; i < 20000; ++i)
    {
        const Vec3 r{angle(random), angle(random), angle(random)};
        const Q want = times(times(turn(r.x, 0), turn(r.z, 2)), turn(r.y, 1));
        const MdlQuaternion q = EulerToMdlQuaternion(r);
        ASSERT_NEAR(q.first, want.z, 1e-12) << r.x << " " << r.y << " " << r.z;
        ASSERT_NEAR(q.second, want.x, 1e-12) << r.x << " " << r.y << " " << r.z;
        ASSERT_NEAR(q.third, want.y, 1e-12) << r.x << " " << r.y << " " << r.z;
        ASSERT_NEAR(q.fourth, want.w, 1e-12) << r.x << " " << r.y << " " << r.z;
    }
}
