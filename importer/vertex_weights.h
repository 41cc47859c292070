// Skin weights as plain arrays: which weights count, and the one bone each
// vertex follows. Nothing here reads a scene or a host model.
#ifndef MDLEXPORT_IMPORTER_VERTEX_WEIGHTS_H
#define MDLEXPORT_IMPORTER_VERTEX_WEIGHTS_H

#include <cstddef>
#include <cstdint>

// A weight counts when it names one of the mesh's `vertex_count` vertices and
// is above zero (a NaN is not).
inline bool WeightCounts(uint32_t vertex, float weight, size_t vertex_count)
{
    return vertex < vertex_count && weight > 0.0f;
}

// One weight of one bone on one vertex, as the source lists it.
struct VertexWeight
{
    uint32_t vertex = 0;
    int32_t bone = 0; // not negative
    float weight = 0.0f;
};

// Fills `bone_of_vertex` (`vertex_count` entries) with the bone each vertex
// follows: the bone of its heaviest weight that counts, ties to the lower
// bone, whatever the order of `weights`; -1 where no weight counts. Returns
// how many vertices have more than one weight that counts.
size_t HeaviestBones(const VertexWeight* weights, size_t weight_count, size_t vertex_count,
                     int32_t* bone_of_vertex);

#endif
