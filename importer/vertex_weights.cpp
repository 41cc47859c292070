#include "vertex_weights.h"

#include <cassert>
#include <vector>

size_t HeaviestBones(const VertexWeight* weights, size_t weight_count, size_t vertex_count,
                     int32_t* bone_of_vertex)
{
    std::vector<float> heaviest(vertex_count, 0.0f);
    std::vector<bool> seen_twice(vertex_count, false);
    size_t shared = 0; // vertices with a second weight that counts
    for (size_t v = 0; v < vertex_count; ++v)
        bone_of_vertex[v] = -1;
    for (size_t w = 0; w < weight_count; ++w)
    {
        const VertexWeight& weight = weights[w];
        assert(weight.bone >= 0);
        if (!WeightCounts(weight.vertex, weight.weight, vertex_count))
            continue;
        uint32_t v = weight.vertex;
        if (bone_of_vertex[v] >= 0 && !seen_twice[v])
        {
            seen_twice[v] = true;
            ++shared;
        }
        if (weight.weight > heaviest[v] ||
            (weight.weight == heaviest[v] && weight.bone < bone_of_vertex[v]))
        {
            heaviest[v] = weight.weight;
            bone_of_vertex[v] = weight.bone;
        }
    }
    return shared;
}
