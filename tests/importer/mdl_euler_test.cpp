// The host angles found for a rotation must give that rotation back through
// the export's own conversion (EulerToMdlQuaternion), which is what the game
// will see. Rotations are built here with Assimp's matrices, not the
// importer's.
#include "mdl_convert.h"
#include "mdl_euler.h"

#include <assimp/scene.h> // the vector, matrix and quaternion templates, defined
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>

namespace
{

using Matrix3 = aiMatrix3x3t<double>;
using Quaternion = aiQuaterniont<double>;
constexpr double kPi = std::numbers::pi;

Mat3 ToMat3(const Matrix3& m)
{
    Mat3 r;
    const double rows[3][3] = {{m.a1, m.a2, m.a3}, {m.b1, m.b2, m.b3}, {m.c1, m.c2, m.c3}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = rows[i][j];
    return r;
}

// Rx(a) * Rz(c) * Ry(b): a point turns about y first, then z, then x.
Matrix3 FromAngles(double a, double b, double c)
{
    Matrix3 x, y, z;
    Matrix3::Rotation(a, aiVector3t<double>(1, 0, 0), x);
    Matrix3::Rotation(b, aiVector3t<double>(0, 1, 0), y);
    Matrix3::Rotation(c, aiVector3t<double>(0, 0, 1), z);
    return x * z * y;
}

// The export's quaternion of `angles` as (w, x, y, z) in host axes.
Quaternion ExportQuaternion(Vec3 angles)
{
    MdlQuaternion q = EulerToMdlQuaternion(angles);
    return Quaternion(q.fourth, q.second, q.third, q.first);
}

// How far apart two rotations are, as the larger entry difference of their
// quaternions taken on the same side.
double Distance(const Quaternion& p, const Quaternion& q)
{
    double same = 0.0, opposite = 0.0;
    const double a[4] = {p.w, p.x, p.y, p.z};
    const double b[4] = {q.w, q.x, q.y, q.z};
    for (int i = 0; i < 4; ++i)
    {
        same = std::fmax(same, std::fabs(a[i] - b[i]));
        opposite = std::fmax(opposite, std::fabs(a[i] + b[i]));
    }
    return std::fmin(same, opposite);
}

double RoundTripError(const Matrix3& rotation)
{
    Vec3 angles = HostAnglesNear(ToMat3(rotation), nullptr);
    return Distance(ExportQuaternion(angles), Quaternion(rotation).Normalize());
}

} // namespace

TEST(HostAnglesFromRotation, FindsAnglesWorkedOutByHand)
{
    // A quarter turn about one axis is that axis's angle alone.
    Vec3d about_x = HostAnglesFromRotation(ToMat3(FromAngles(kPi / 2, 0, 0)));
    EXPECT_NEAR(about_x.x, kPi / 2, 1e-15);
    EXPECT_NEAR(about_x.y, 0.0, 1e-15);
    EXPECT_NEAR(about_x.z, 0.0, 1e-15);
    Vec3d about_y = HostAnglesFromRotation(ToMat3(FromAngles(0, kPi / 2, 0)));
    EXPECT_NEAR(about_y.y, kPi / 2, 1e-15);
    Vec3d about_z = HostAnglesFromRotation(ToMat3(FromAngles(0, 0, -kPi / 2)));
    EXPECT_NEAR(about_z.z, -kPi / 2, 1e-15);

    // Inside the ranges (c within ±pi/2) the angles are unique.
    Vec3d mixed = HostAnglesFromRotation(ToMat3(FromAngles(0.3, -0.7, 1.1)));
    EXPECT_NEAR(mixed.x, 0.3, 1e-14);
    EXPECT_NEAR(mixed.y, -0.7, 1e-14);
    EXPECT_NEAR(mixed.z, 1.1, 1e-14);
    Vec3d wide = HostAnglesFromRotation(ToMat3(FromAngles(-3.0, 2.9, -1.5)));
    EXPECT_NEAR(wide.x, -3.0, 1e-13);
    EXPECT_NEAR(wide.y, 2.9, 1e-13);
    EXPECT_NEAR(wide.z, -1.5, 1e-13);
}

TEST(HostAnglesFromRotation, AHalfTurnAboutZIsSplitWithinRange)
{
    // c = pi is outside [-pi/2, pi/2]: the same rotation is a = b = pi, c = 0.
    Vec3d angles = HostAnglesFromRotation(ToMat3(FromAngles(0, 0, kPi)));
    EXPECT_LE(std::fabs(angles.z), kPi / 2);
    Matrix3 back = FromAngles(angles.x, angles.y, angles.z);
    Matrix3 expected = FromAngles(0, 0, kPi);
    EXPECT_NEAR(back.a1, expected.a1, 1e-15);
    EXPECT_NEAR(back.b2, expected.b2, 1e-15);
    EXPECT_NEAR(back.c3, expected.c3, 1e-15);
}

TEST(HostAnglesNear, RandomRotationsRoundTripThroughTheExport)
{
    std::mt19937 random(20240611);
    std::normal_distribution<double> normal;
    double worst = 0.0;
    for (int i = 0; i < 20000; ++i)
    {
        // Uniform over rotations: a normalized four-dimensional Gaussian.
        Quaternion q(normal(random), normal(random), normal(random), normal(random));
        q.Normalize();
        worst = std::fmax(worst, RoundTripError(q.GetMatrix()));
    }
    EXPECT_LE(worst, 1e-6);
}

TEST(HostAnglesNear, GimbalLockRoundTripsThroughTheExport)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(-kPi, kPi);
    // At c = ±pi/2 only a - b (or a + b) is determined; near it both are
    // poorly determined one by one. Every one must still give the rotation.
    const double offsets[] = {0.0, 1e-15, -1e-12, 1e-9, -1e-7, 1e-6, 1e-4, -1e-3};
    double worst = 0.0;
    for (double side : {kPi / 2, -kPi / 2})
    {
        for (double offset : offsets)
        {
            for (int i = 0; i < 500; ++i)
                worst = std::fmax(
                    worst, RoundTripError(FromAngles(angle(random), angle(random), side + offset)));
        }
    }
    // Exactly locked, with nothing about the other axes.
    worst = std::fmax(worst, RoundTripError(FromAngles(0, 0, kPi / 2)));
    worst = std::fmax(worst, RoundTripError(FromAngles(kPi, kPi, -kPi / 2)));
    EXPECT_LE(worst, 1e-6);
}

TEST(HostAnglesNear, KeepsTheQuaternionOnThePreviousSide)
{
    std::mt19937 random(99);
    std::normal_distribution<double> normal;
    for (int i = 0; i < 2000; ++i)
    {
        Quaternion target(normal(random), normal(random), normal(random), normal(random));
        target.Normalize();
        Mat3 rotation = ToMat3(target.GetMatrix());
        Vec3 plain = HostAnglesNear(rotation, nullptr);
        Quatd plain_q = HostQuaternion(plain);
        // Ask for the other side from the one the plain angles land on.
        Quatd previous{-plain_q.x, -plain_q.y, -plain_q.z, -plain_q.w};
        Vec3 flipped = HostAnglesNear(rotation, &previous);
        Quatd flipped_q = HostQuaternion(flipped);
        EXPECT_GE(Dot(flipped_q, previous), 0.99999);
        // Only the x angle moved, by a whole turn, and stays within 2π.
        EXPECT_NEAR(std::fabs(static_cast<double>(flipped.x) - plain.x), 2 * kPi, 1e-6);
        EXPECT_EQ(flipped.y, plain.y);
        EXPECT_EQ(flipped.z, plain.z);
        EXPECT_LE(std::fabs(flipped.x), 2 * kPi + 1e-6);
        EXPECT_LE(Distance(ExportQuaternion(flipped), target), 1e-6);
        // Asked for the side it is on already, nothing changes.
        Vec3 same = HostAnglesNear(rotation, &plain_q);
        EXPECT_EQ(same.x, plain.x);
    }
}
