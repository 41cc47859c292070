#include "vertex_normals.h"

#include <cmath>
#include <cstring>

namespace
{

// Adds one face vector, formed in double, onto an accumulator entry; only the
// sum is stored in single precision.
void Accumulate(Vec3& sum, double fx, double fy, double fz)
{
    sum.x = static_cast<float>(static_cast<double>(sum.x) + fx);
    sum.y = static_cast<float>(static_cast<double>(sum.y) + fy);
    sum.z = static_cast<float>(static_cast<double>(sum.z) + fz);
}

} // namespace

void ComputeVertexNormals(const VertexIndexTriple* triangles, int32_t triangle_count,
                          const Vec3* positions, Vec3* normals, int32_t vertex_count)
{
    if (vertex_count <= 0)
        return;
    std::memset(normals, 0, sizeof(Vec3) * static_cast<size_t>(vertex_count));

    for (int32_t t = 0; t < triangle_count; ++t)
    {
        const VertexIndexTriple& corners = triangles[t];
        int32_t i0 = corners.corner[0];
        int32_t i1 = corners.corner[1];
        int32_t i2 = corners.corner[2];
        // A corner outside the mesh names no vertex: the triangle has no
        // normal to give. Its indices are still written as reported.
        if (i0 >= vertex_count || i1 >= vertex_count || i2 >= vertex_count)
            continue;

        const Vec3& p0 = positions[i0];
        const Vec3& p1 = positions[i1];
        const Vec3& p2 = positions[i2];
        float e1x = p1.x - p0.x, e1y = p1.y - p0.y, e1z = p1.z - p0.z;
        float e2x = p2.x - p0.x, e2y = p2.y - p0.y, e2z = p2.z - p0.z;
        double fx = static_cast<double>(e1y) * e2z - static_cast<double>(e2y) * e1z;
        double fy = static_cast<double>(e1z) * e2x - static_cast<double>(e1x) * e2z;
        double fz = static_cast<double>(e1x) * e2y - static_cast<double>(e2x) * e1y;

        Accumulate(normals[i0], fx, fy, fz);
        Accumulate(normals[i1], fx, fy, fz);
        Accumulate(normals[i2], fx, fy, fz);
    }

    for (int32_t v = 0; v < vertex_count; ++v)
    {
        Vec3& n = normals[v];
        double x = n.x, y = n.y, z = n.z;
        float length = static_cast<float>(std::sqrt(x * x + y * y + z * z));
        if (length == 0.0f)
        {
            // No face gave this vertex a direction.
            n = Vec3{0.0f, 0.0f, 0.0f};
            continue;
        }
        n.x = n.x / length;
        n.y = n.y / length;
        n.z = n.z / length;
    }
}
