#include "vertex_weights.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

TEST(HeaviestBones, EachVertexFollowsItsHeaviestWeightThatCounts)
{
    std::vector<VertexWeight> weights = {
        {0, 2, 0.5f},  {0, 1, 0.5f},          // a tie: the lower bone, 1
        {1, 2, 0.7f},  {1, 1, 0.3f},          // 2 is heavier
        {2, 1, 0.8f},  {2, 3, std::nanf("")}, // NaN does not count: 1 alone
        {3, 0, 0.0f},                         // zero does not count: no bone
        {9, 0, 1.0f},                         // no vertex 9 in six: ignored
        {5, 4, -1.0f}, {5, 3, 0.25f},         // a negative weight does not count
    };
    const std::vector<int32_t> expected = {1, 2, 1, -1, -1, 3};
    // The same answer whatever order the source lists the weights in.
    for (bool reversed : {false, true})
    {
        if (reversed)
            std::reverse(weights.begin(), weights.end());
        std::vector<int32_t> bones(6, 7);
        EXPECT_EQ(HeaviestBones(weights.data(), weights.size(), 6, bones.data()), 2u); // 0 and 1
        EXPECT_EQ(bones, expected);
    }
}
