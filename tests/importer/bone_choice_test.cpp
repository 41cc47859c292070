// The bind rule and the choice of bones over plain node arrays, each case
// worked out by hand.
#include "bone_choice.h"

#include <gtest/gtest.h>

namespace
{

Affine Moved(double x, double y, double z)
{
    return FromTranslation(Vec3d{x, y, z});
}

void ExpectNear(const Affine& a, const Affine& b)
{
    EXPECT_LE(MaxDifference(a, b), 1e-12);
}

} // namespace

TEST(SkinPlacement, IsTheNodeAtRestTimesTheOffsetElseTheMeshNode)
{
    bool singular = true;
    // A joint at rest 9 along each axis, an offset that takes the mesh 1 to the
    // left: its vertices stand at (8, 9, 9); the mesh node (5 up) plays no part.
    ExpectNear(SkinPlacement(Moved(9, 9, 9), Moved(-1, 0, 0), Moved(0, 0, 5), singular),
               Moved(8, 9, 9));
    EXPECT_FALSE(singular);
    Affine flat = Moved(-1, 0, 0);
    flat.m[2][2] = 0.0; // no inverse
    ExpectNear(SkinPlacement(Moved(9, 9, 9), flat, Moved(0, 0, 5), singular), Moved(0, 0, 5));
    EXPECT_TRUE(singular);
}

TEST(SameBind, AllowsOneHundredThousandthOfTheLargerScale)
{
    EXPECT_TRUE(SameBind(Moved(0, 0, 0), Moved(9e-6, 0, 0)));
    EXPECT_FALSE(SameBind(Moved(0, 0, 0), Moved(2e-5, 0, 0)));
    EXPECT_TRUE(SameBind(Moved(1000, 0, 0), Moved(1000.009, 0, 0))); // 1e-5 of 1000
    EXPECT_FALSE(SameBind(Moved(1000, 0, 0), Moved(1000.02, 0, 0)));
}

TEST(ChooseBones, OneBonePerBindOfEveryNodeThatSkinsMovesOrCarriesAndTheirAncestors)
{
    // 0 root
    // ├ 1 Body: carries unskinned vertices, and is bound at rest by a skin too
    // ├ 2 Hip: bound by skin
    // │ └ 3 Knee: bound two ways
    // └ 4 Group: nothing of its own
    //   └ 5 Leaf: animated
    std::vector<NodeNeeds> nodes(6);
    const int32_t parents[] = {-1, 0, 0, 2, 0, 4};
    for (size_t n = 0; n < nodes.size(); ++n)
    {
        nodes[n].parent = parents[n];
        nodes[n].rest = Moved(static_cast<double>(n), 0, 0);
    }
    nodes[1].carries_unskinned = true;
    AddBind(nodes[1].binds, Moved(1, 0, 0)); // its rest: no second bone
    AddBind(nodes[2].binds, Moved(2, 1, 0));
    AddBind(nodes[3].binds, Moved(3, 1, 0));
    AddBind(nodes[3].binds, Moved(3, 1, 0.000001)); // the SameBind of the one before
    AddBind(nodes[3].binds, Moved(3, 2, 0));
    nodes[5].animated = true;

    BoneChoice choice = ChooseBones(nodes.data(), nodes.size());
    struct Expected
    {
        int32_t node;
        Affine bind;
        int32_t parent;
    };
    const Expected expected[] = {
        {1, Moved(1, 0, 0), -1}, {2, Moved(2, 1, 0), -1}, {3, Moved(3, 1, 0), 1},
        {3, Moved(3, 2, 0), 1},  {4, Moved(4, 0, 0), -1}, {5, Moved(5, 0, 0), 4},
    };
    ASSERT_EQ(choice.bones.size(), 6u);
    for (size_t b = 0; b < choice.bones.size(); ++b)
    {
        SCOPED_TRACE(b);
        EXPECT_EQ(choice.bones[b].node, expected[b].node);
        EXPECT_EQ(choice.bones[b].parent, expected[b].parent);
        ExpectNear(choice.bones[b].bind, expected[b].bind);
        ExpectNear(Multiply(choice.bones[b].inverse_bind, choice.bones[b].bind), Affine{});
    }
    EXPECT_EQ(choice.first_bone, (std::vector<int32_t>{-1, 0, 1, 2, 4, 5}));
    EXPECT_EQ(BoneCount(choice, 3), 2u);
    EXPECT_EQ(BoneCount(choice, 0), 0u);
    EXPECT_EQ(FindBone(choice, 3, Moved(3, 2, 0.000001)), 3);
    EXPECT_EQ(FindBone(choice, 3, Moved(3, 3, 0)), -1);
    EXPECT_EQ(FindBone(choice, 0, Affine{}), -1);

    // Unskinned vertices alone ask for no bone: the scene has none. A bone
    // that cannot be inverted keeps only its place.
    std::vector<NodeNeeds> still(2);
    still[1].parent = 0;
    still[1].carries_unskinned = true;
    EXPECT_TRUE(ChooseBones(still.data(), still.size()).bones.empty());
    still[1].animated = true;
    still[1].rest = Moved(1, 2, 3);
    still[1].rest.m[0][0] = 0.0;
    BoneChoice collapsed = ChooseBones(still.data(), still.size());
    ASSERT_EQ(collapsed.bones.size(), 1u);
    ExpectNear(collapsed.bones[0].inverse_bind, Moved(-1, -2, -3));
}
