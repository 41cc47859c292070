// The group choice on transforms worked out by hand, and the promise that no
// vertex does worse than with its heaviest bone on random poses.
#include "skin_groups.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace
{

Affine Moved(double x, double y, double z)
{
    return FromTranslation(Vec3d{x, y, z});
}

} // namespace

TEST(ChooseSkinGroup, TakesTheGroupWhoseAverageIsNearestTheWeightedSkin)
{
    // Four bones, one frame: 0 stays, 1 moves 3 along x, 2 moves 3 along y,
    // 3 moves 2 along x. The vertex is at (1, 1, 1), and so is every bone's
    // own rest place for it unless the case says otherwise.
    const std::vector<Affine> frame = {Affine(), Moved(3, 0, 0), Moved(0, 3, 0), Moved(2, 0, 0)};
    const SkinFrames frames{frame.data(), 1, frame.size()};
    const float nan = std::nanf("");
    auto W = [](int32_t bone, float weight) { return BoneWeight{bone, weight, {1, 1, 1}}; };
    struct Case
    {
        const char* what;
        std::vector<BoneWeight> weights;
        std::vector<int32_t> group;
        double error;
        double heaviest_error;
    };
    const std::vector<Case> cases = {
        {"one bone keeps it", {W(2, 1.0f)}, {2}, 0.0, 0.0},
        {"halves: the pair is exact", {W(3, 0.5f), W(0, 0.5f)}, {0, 3}, 0.0, 1.0},
        {"9:1 stays with the heavier", {W(0, 0.9f), W(3, 0.1f)}, {0}, 0.2, 0.2},
        {"thirds: the three", {W(0, 1.0f), W(1, 1.0f), W(2, 1.0f)}, {0, 1, 2}, 0.0, std::sqrt(2.0)},
        // 3:1 between 0 and 1 puts it 0.75 along x: bone 0 alone is off by
        // 0.75, the pair by 0.75 too, so the smaller group stays.
        {"no better: the smaller", {W(0, 0.75f), W(1, 0.25f)}, {0}, 0.75, 0.75},
        // Bone 1 at 2/3 goes 2: bone 3 alone is exact but not the vertex's.
        {"2:1, the pair", {W(1, 2.0f), W(0, 1.0f)}, {0, 1}, 0.5, 1.0},
        {"zero and NaN do not count", {W(2, 0.0f), W(1, 1.0f), W(3, nan)}, {1}, 0.0, 0.0},
        // Bone 3 at 0.5 of 0.8 puts it 1.25 along x.
        {"a bone listed twice adds up", {W(0, 0.3f), W(3, 0.2f), W(3, 0.3f)}, {0, 3}, 0.25, 0.75},
        {"nothing counts: no group", {W(1, 0.0f)}, {}, 0.0, 0.0},
        // Bone 1's skin puts the vertex at (-1, 1, 1) at rest: the source
        // goes to (1.5, 1, 1). From (1, 1, 1) bone 0 alone is off by 0.5 and
        // the pair by 1; from the weighted rest place (0, 1, 1) the pair is
        // exact.
        {"bind pose not the rest", {W(0, 0.5f), {1, 0.5f, {-1, 1, 1}}}, {0, 1}, 0.0, 0.5},
    };
    for (const Case& c : cases)
    {
        SkinGroup group = ChooseSkinGroup({1, 1, 1}, c.weights.data(), c.weights.size(), frames);
        EXPECT_EQ(group.bones, c.group) << c.what;
        EXPECT_EQ(Length(Subtract(group.position, {1, 1, 1})),
                  c.group.size() > 1 && c.what[0] == 'b' ? 1.0 : 0.0)
            << c.what;
        EXPECT_NEAR(group.error, c.error, 1e-6) << c.what;
        EXPECT_NEAR(group.heaviest_error, c.heaviest_error, 1e-6) << c.what;
    }
    // Without frames the heaviest bone alone (ties: the lower bone).
    const std::vector<BoneWeight> tie = {W(3, 0.5f), W(1, 0.5f)};
    EXPECT_EQ(ChooseSkinGroup({}, tie.data(), tie.size(), {frame.data(), 0, 4}).bones,
              std::vector<int32_t>{1});
}

TEST(ChooseSkinGroup, IsNeverWorseThanTheHeaviestBoneOnRandomPoses)
{
    std::mt19937 random(14);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const size_t bone_count = 8, frame_count = 5;
    for (int trial = 0; trial < 200; ++trial)
    {
        std::vector<Affine> transforms(bone_count * frame_count);
        for (Affine& t : transforms)
        {
            Quatd q = Normalized({unit(random), unit(random), unit(random), unit(random)});
            t = Multiply(Moved(unit(random), unit(random), unit(random)),
                         FromLinear(RotationMatrix(q)));
        }
        const Vec3d p{unit(random), unit(random), unit(random)};
        // Every other trial each bone's skin puts the vertex a little apart.
        std::vector<BoneWeight> weights;
        for (int32_t b = 0; b < 1 + trial % 7; ++b)
        {
            Vec3d apart = Scale(Vec3d{unit(random), unit(random), unit(random)}, 0.1 * (trial % 2));
            weights.push_back({b, static_cast<float>(unit(random) + 1.0), Add(p, apart)});
        }
        // The model's vertex stands where its heaviest bone puts it.
        std::max_element(weights.begin(), weights.end(),
                         [](const BoneWeight& a, const BoneWeight& b)
                         { return a.weight < b.weight; })
            ->at = p;
        const SkinFrames frames{transforms.data(), frame_count, bone_count};
        SkinGroup group = ChooseSkinGroup(p, weights.data(), weights.size(), frames);
        ASSERT_GE(group.bones.size(), 1u);
        ASSERT_LE(group.bones.size(), kMaxGroupBones);
        EXPECT_LE(group.error, group.heaviest_error) << trial;
        // The error is the group's own, as the game poses it.
        double total = 0.0, error = 0.0;
        for (const BoneWeight& w : weights)
            total += w.weight;
        for (size_t f = 0; f < frame_count; ++f)
        {
            Vec3d source;
            for (const BoneWeight& w : weights)
                source = Add(source, Scale(Apply(transforms[f * bone_count + size_t(w.bone)], w.at),
                                           w.weight / total));
            error += Length(
                Subtract(Apply(AverageTransform(frames, f, group.bones), group.position), source));
        }
        EXPECT_NEAR(group.error, error / static_cast<double>(frame_count), 1e-9) << trial;
    }
}

TEST(GroupTable, SharesIdenticalGroups)
{
    GroupTable table;
    EXPECT_EQ(table.Add({0, 1}), 0u);
    EXPECT_EQ(table.Add({2}), 1u);
    EXPECT_EQ(table.Add({0, 1}), 0u);
    EXPECT_EQ(table.Add({1, 0}), 2u); // the caller sorts
    EXPECT_EQ(table.Groups(), (std::vector<std::vector<int32_t>>{{0, 1}, {2}, {1, 0}}));
}

TEST(SplitByGroups, StartsANewRunWhereATriangleWouldPassTheLimit)
{
    // Vertices 0..5 in groups 0, 1, 2, 3, 0, 4.
    const std::vector<uint32_t> group_of = {0, 1, 2, 3, 0, 4};
    const std::vector<uint16_t> faces = {0,      1, 2, /**/ 0, 2, 4, /**/ 1, 3, 4, /**/ 5, 5, 5,
                                         /**/ 2, 3, 0};
    struct Case
    {
        size_t limit;
        std::vector<std::vector<size_t>> runs;
    };
    const Case cases[] = {
        // {0,1,2}; +3 is four: {0,1,3}; +4 is four: {4}; +2,3,0 is four: {0,2,3}.
        {3, {{0, 1}, {2}, {3}, {4}}},
        {4, {{0, 1, 2}, {3, 4}}}, // {0,1,2,3}; +4 is five: {4} and {2,3,0}
        {5, {{0, 1, 2, 3, 4}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitByGroups(faces, group_of, c.limit), c.runs) << c.limit;
}
