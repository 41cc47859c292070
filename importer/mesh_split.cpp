#include "mesh_split.h"

#include <cassert>
#include <numeric>
#include <utility>

std::vector<MeshPiece> SplitMesh(const uint32_t* corners, size_t triangle_count,
                                 size_t vertex_count, size_t vertex_limit)
{
    assert(vertex_limit >= 3);
    std::vector<MeshPiece> pieces;
    if (triangle_count == 0)
        return pieces;
    if (vertex_count <= vertex_limit)
    {
        MeshPiece& whole = pieces.emplace_back();
        whole.vertices.resize(vertex_count);
        std::iota(whole.vertices.begin(), whole.vertices.end(), 0u);
        whole.corners.assign(corners, corners + 3 * triangle_count);
        return pieces;
    }

    constexpr uint32_t kNone = UINT32_MAX;
    std::vector<uint32_t> local(vertex_count, kNone); // in the current piece
    MeshPiece piece;
    for (size_t t = 0; t < triangle_count; ++t)
    {
        const uint32_t* triangle = corners + 3 * t;
        assert(triangle[0] < vertex_count && triangle[1] < vertex_count &&
               triangle[2] < vertex_count);
        size_t fresh = 0;
        for (size_t k = 0; k < 3; ++k)
        {
            bool repeated =
                (k > 0 && triangle[k] == triangle[0]) || (k > 1 && triangle[k] == triangle[1]);
            if (local[triangle[k]] == kNone && !repeated)
                ++fresh;
        }
        if (piece.vertices.size() + fresh > vertex_limit)
        {
            for (uint32_t v : piece.vertices)
                local[v] = kNone;
            pieces.push_back(std::move(piece));
            piece = MeshPiece{};
        }
        for (size_t k = 0; k < 3; ++k)
        {
            if (local[triangle[k]] == kNone)
            {
                local[triangle[k]] = static_cast<uint32_t>(piece.vertices.size());
                piece.vertices.push_back(triangle[k]);
            }
            piece.corners.push_back(local[triangle[k]]);
        }
    }
    pieces.push_back(std::move(piece));
    return pieces;
}
