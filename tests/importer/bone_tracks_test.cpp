// Poses taken apart into the MDL's translation and rotation about the pivot,
// with the expected keys worked out by hand from
//   W = W(parent) · T(pivot) · T(translation) · R · T(-pivot).
#include "bone_tracks.h"
#include "mdl_convert.h"
#include "mdl_euler.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>

namespace
{

constexpr double kPi = std::numbers::pi;

// Quarter turns, written out: about y, x' = z and z' = -x; about z, x' = -y
// and y' = x; about x, y' = -z and z' = y.
Affine QuarterTurnY()
{
    Affine a;
    double m[3][3] = {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a.m[i][j] = m[i][j];
    return a;
}

Affine QuarterTurnZ()
{
    Affine a;
    double m[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a.m[i][j] = m[i][j];
    return a;
}

Affine QuarterTurnX()
{
    Affine a;
    double m[3][3] = {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a.m[i][j] = m[i][j];
    return a;
}

Affine AboutPivot(const Affine& turn, Vec3d pivot)
{
    return Multiply(FromTranslation(pivot), Multiply(turn, FromTranslation(Scale(pivot, -1.0))));
}

// A turn of `angle` about x, from its sine and cosine.
Affine TurnX(double angle)
{
    Affine a;
    a.m[1][1] = std::cos(angle);
    a.m[1][2] = -std::sin(angle);
    a.m[2][1] = std::sin(angle);
    a.m[2][2] = std::cos(angle);
    return a;
}

void ExpectVec(Vec3 actual, double x, double y, double z, double tolerance = 1e-6)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

// The keys of one sample of one bone.
BoneKeys OneSample(std::vector<TrackBone> bones, std::vector<Affine> skinning, size_t bone)
{
    TrackSettings settings;
    settings.keep_all_keys = true;
    TrackBuilder builder(std::move(bones), settings);
    builder.AddSample(0.0f, 0, skinning);
    return builder.Finish()[bone];
}

} // namespace

TEST(TrackBuilder, ATurnAboutThePivotIsARotationAlone)
{
    Vec3d pivot{1, 2, 3};
    BoneKeys keys = OneSample({{-1, pivot}}, {AboutPivot(QuarterTurnY(), pivot)}, 0);
    ExpectVec(keys.translation[0].position, 0, 0, 0);
    ExpectVec(keys.rotation[0].rotation, 0, kPi / 2, 0);
    EXPECT_FALSE(keys.scaled);
}

TEST(TrackBuilder, AMoveIsATranslationAlone)
{
    BoneKeys keys = OneSample({{-1, Vec3d{4, 4, 4}}}, {FromTranslation(Vec3d{5, -1, 0.5})}, 0);
    ExpectVec(keys.translation[0].position, 5, -1, 0.5);
    ExpectVec(keys.rotation[0].rotation, 0, 0, 0);
}

TEST(TrackBuilder, ATurnAboutTheOriginMovesAPivotOffIt)
{
    // The pivot (1, 0, 0) goes to (0, 1, 0): translation (-1, 1, 0).
    BoneKeys keys = OneSample({{-1, Vec3d{1, 0, 0}}}, {QuarterTurnZ()}, 0);
    ExpectVec(keys.translation[0].position, -1, 1, 0);
    ExpectVec(keys.rotation[0].rotation, 0, 0, kPi / 2);
}

TEST(TrackBuilder, AChildIsKeyedRelativeToItsParent)
{
    Vec3d child_pivot{1, 0, 0};
    // Carried rigidly by its parent: nothing of its own.
    BoneKeys carried =
        OneSample({{-1, Vec3d{}}, {0, child_pivot}}, {QuarterTurnZ(), QuarterTurnZ()}, 1);
    ExpectVec(carried.translation[0].position, 0, 0, 0);
    ExpectVec(carried.rotation[0].rotation, 0, 0, 0);
    // And turning about its own pivot on top of that.
    Affine own = Multiply(QuarterTurnZ(), AboutPivot(QuarterTurnX(), child_pivot));
    BoneKeys turning = OneSample({{-1, Vec3d{}}, {0, child_pivot}}, {QuarterTurnZ(), own}, 1);
    ExpectVec(turning.translation[0].position, 0, 0, 0);
    ExpectVec(turning.rotation[0].rotation, kPi / 2, 0, 0);
}

TEST(TrackBuilder, ScaleIsDroppedButThePivotLandsWhereTheSourcePutsIt)
{
    Affine twice;
    for (int i = 0; i < 3; ++i)
        twice.m[i][i] = 2.0;
    // The pivot (1, 0, 0) goes to (2, 0, 0).
    BoneKeys keys = OneSample({{-1, Vec3d{1, 0, 0}}}, {twice}, 0);
    EXPECT_TRUE(keys.scaled);
    ExpectVec(keys.translation[0].position, 1, 0, 0);
    ExpectVec(keys.rotation[0].rotation, 0, 0, 0);

    Affine mirror;
    mirror.m[0][0] = -1.0;
    EXPECT_TRUE(OneSample({{-1, Vec3d{}}}, {mirror}, 0).scaled);
    // Rounding-sized differences are not scale.
    Affine almost;
    almost.m[0][0] = 1.0 + 1e-7;
    EXPECT_FALSE(OneSample({{-1, Vec3d{}}}, {almost}, 0).scaled);
}

TEST(TrackBuilder, APoseThatIsNotFiniteIsHeldAtRest)
{
    Affine broken = FromTranslation(Vec3d{std::numeric_limits<double>::quiet_NaN(), 0, 0});
    BoneKeys keys = OneSample({{-1, Vec3d{}}}, {broken}, 0);
    EXPECT_TRUE(keys.non_finite);
    ExpectVec(keys.translation[0].position, 0, 0, 0);
    ExpectVec(keys.rotation[0].rotation, 0, 0, 0);
}

TEST(TrackBuilder, KeepsOnlyTheKeysInterpolationCannotRebuild)
{
    auto run = [](bool keep_all, auto pose_at, int frames, int sequences)
    {
        TrackSettings settings;
        settings.keep_all_keys = keep_all;
        TrackBuilder builder({{-1, Vec3d{}}}, settings);
        for (int s = 0; s < sequences; ++s)
            for (int f = 0; f < frames; ++f)
                builder.AddSample(static_cast<float>(s * 24 * 100 + 3 * f), s, {pose_at(s, f)});
        return builder.Finish()[0];
    };
    auto steady = [](int, int f) { return FromTranslation(Vec3d{0.5 * f, 0, 0}); };
    auto speeding = [](int, int f) { return FromTranslation(Vec3d{0.5 * f * f, 0, 0}); };
    auto still = [](int, int) { return FromTranslation(Vec3d{3, 0, 0}); };
    auto at_rest = [](int, int) { return Affine{}; };

    // Steady motion: its two ends. Every key when asked. (Keys 3 frames
    // apart fall on whole milliseconds, 125 apart, so the game's times are
    // steady too.)
    BoneKeys keys = run(false, steady, 11, 1);
    ASSERT_EQ(keys.translation.size(), 2u);
    EXPECT_EQ(keys.translation[1].time, 30.0f);
    EXPECT_TRUE(keys.rotation.empty()); // never turns
    EXPECT_EQ(run(true, steady, 11, 1).translation.size(), 11u);
    // Speeding up: no key lies on the line through its neighbours.
    EXPECT_EQ(run(false, speeding, 11, 1).translation.size(), 11u);
    // Steady in frames is not steady in the game's truncated milliseconds
    // (frame 1 plays at 41 ms, not 41.67): those keys stay.
    auto every_frame = [&](int, int f) { return FromTranslation(Vec3d{f / 3.0, 0, 0}); };
    TrackBuilder one_by_one({{-1, Vec3d{}}}, TrackSettings{});
    for (int f = 0; f <= 24; ++f)
        one_by_one.AddSample(static_cast<float>(f), 0, {every_frame(0, f)});
    EXPECT_GT(one_by_one.Finish()[0].translation.size(), 12u);
    // Still for longer than one run of kept keys may span: still two.
    EXPECT_EQ(run(false, still, 300, 1).translation.size(), 2u);
    // Each sequence keeps its own ends: nothing interpolates across them.
    EXPECT_EQ(run(false, steady, 11, 3).translation.size(), 6u);
    // The rest pose throughout needs no track at all.
    BoneKeys rest = run(false, at_rest, 50, 2);
    EXPECT_TRUE(rest.translation.empty());
    EXPECT_TRUE(rest.rotation.empty());
}

TEST(TrackBuilder, DroppedRotationKeysAreRebuiltByBothInterpolations)
{
    // A turn about x that slows down: some keys can go, not all.
    TrackSettings settings;
    TrackBuilder builder({{-1, Vec3d{}}}, settings);
    std::vector<double> angles;
    for (int f = 0; f <= 96; ++f)
    {
        angles.push_back(2.0 * std::sin(f / 96.0 * kPi / 2));
        builder.AddSample(static_cast<float>(f), 0, {TurnX(angles.back())});
    }
    BoneKeys keys = builder.Finish()[0];
    ASSERT_GT(keys.rotation.size(), 2u);
    ASSERT_LT(keys.rotation.size(), angles.size());
    // Between kept keys the turn is about x alone; the angle at a frame,
    // interpolated either way, must be within the tolerance of the source.
    size_t k = 0;
    for (int f = 0; f <= 96; ++f)
    {
        while (k + 1 < keys.rotation.size() && keys.rotation[k + 1].time <= static_cast<float>(f))
            ++k;
        if (k + 1 == keys.rotation.size())
            break;
        const RotationKey& a = keys.rotation[k];
        const RotationKey& b = keys.rotation[k + 1];
        Quatd qa = HostQuaternion(a.rotation);
        Quatd qb = HostQuaternion(b.rotation);
        ASSERT_GE(Dot(qa, qb), 0.0); // the game goes the short way
        int32_t ta = FrameToMdlTime(a.time), tb = FrameToMdlTime(b.time);
        double u = double(FrameToMdlTime(static_cast<float>(f)) - ta) / (tb - ta);
        // The angle about x of a quaternion (x, 0, 0, w) is 2 atan2(x, w).
        double nlerp = 2.0 * std::atan2((1 - u) * qa.x + u * qb.x, (1 - u) * qa.w + u * qb.w);
        double slerp = 2.0 * std::atan2(qa.x, qa.w) * (1 - u) + 2.0 * std::atan2(qb.x, qb.w) * u;
        EXPECT_NEAR(std::remainder(nlerp - angles[static_cast<size_t>(f)], 2 * kPi), 0.0, 2e-5)
            << "frame " << f;
        EXPECT_NEAR(std::remainder(slerp - angles[static_cast<size_t>(f)], 2 * kPi), 0.0, 2e-5)
            << "frame " << f;
    }
}

TEST(TrackBuilder, ConsecutiveRotationKeysStayOnOneSide)
{
    // 40 degrees a frame about x, past several whole turns: the plain angles
    // would flip the quaternion's sign every half turn.
    TrackSettings settings;
    settings.keep_all_keys = true;
    TrackBuilder builder({{-1, Vec3d{}}}, settings);
    for (int f = 0; f < 30; ++f)
        builder.AddSample(static_cast<float>(f), 0, {TurnX(f * 40.0 * kPi / 180.0)});
    BoneKeys keys = builder.Finish()[0];
    ASSERT_EQ(keys.rotation.size(), 30u);
    for (size_t k = 1; k < keys.rotation.size(); ++k)
    {
        Quatd before = HostQuaternion(keys.rotation[k - 1].rotation);
        Quatd after = HostQuaternion(keys.rotation[k].rotation);
        // 40 degrees apart: a quaternion dot product of cos(20 degrees).
        EXPECT_NEAR(Dot(before, after), std::cos(20.0 * kPi / 180.0), 1e-6) << "key " << k;
        EXPECT_LE(std::fabs(keys.rotation[k].rotation.x), 2 * kPi + 1e-5);
    }
    // The sampled quaternions themselves: the same turns, on the same side
    // as the angles' (half of 40 degrees a frame about x).
    ASSERT_EQ(keys.quaternions.size(), 30u);
    for (size_t k = 0; k < keys.quaternions.size(); ++k)
    {
        const Quatd& q = keys.quaternions[k];
        double half = static_cast<double>(k) * 20.0 * kPi / 180.0;
        EXPECT_NEAR(q.x, std::sin(half), 1e-12) << "key " << k;
        EXPECT_NEAR(q.w, std::cos(half), 1e-12) << "key " << k;
        EXPECT_NEAR(Dot(q, HostQuaternion(keys.rotation[k].rotation)), 1.0, 1e-6) << "key " << k;
    }
}
