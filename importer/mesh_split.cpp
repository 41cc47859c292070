#include "mesh_split.h"

#include <cassert>
#include <deque>
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

    // For each vertex, the triangles that use it (compressed rows).
    std::vector<uint32_t> first_use(vertex_count + 1, 0);
    for (size_t c = 0; c < 3 * triangle_count; ++c)
    {
        assert(corners[c] < vertex_count);
        ++first_use[corners[c] + 1];
    }
    for (size_t v = 0; v < vertex_count; ++v)
        first_use[v + 1] += first_use[v];
    std::vector<uint32_t> users(first_use.back());
    {
        std::vector<uint32_t> fill(first_use.begin(), first_use.end() - 1);
        for (size_t c = 0; c < 3 * triangle_count; ++c)
            users[fill[corners[c]]++] = static_cast<uint32_t>(c / 3);
    }

    constexpr uint32_t kNone = UINT32_MAX;
    std::vector<uint32_t> local(vertex_count, kNone); // in the current piece
    std::vector<bool> placed(triangle_count, false);
    std::vector<uint32_t> queued_for(triangle_count, 0); // the piece number + 1 that queued it
    std::deque<uint32_t> seeds; // triangles a full piece turned away: the next piece's start
    size_t next_in_order = 0;
    size_t remaining = triangle_count;
    while (remaining > 0)
    {
        uint32_t number = static_cast<uint32_t>(pieces.size()) + 1;
        MeshPiece piece;
        std::deque<uint32_t> queue;
        std::vector<uint32_t> turned_away;
        // A start for the piece: where the last one stopped, else the first
        // triangle not yet placed.
        auto seed = [&]() -> bool
        {
            while (!seeds.empty())
            {
                uint32_t t = seeds.front();
                seeds.pop_front();
                if (!placed[t])
                {
                    queue.push_back(t);
                    queued_for[t] = number;
                    return true;
                }
            }
            while (next_in_order < triangle_count && placed[next_in_order])
                ++next_in_order;
            if (next_in_order == triangle_count)
                return false;
            queue.push_back(static_cast<uint32_t>(next_in_order));
            queued_for[next_in_order] = number;
            return true;
        };
        while (!queue.empty() || (piece.vertices.size() + 3 <= vertex_limit && seed()))
        {
            uint32_t t = queue.front();
            queue.pop_front();
            if (placed[t])
                continue;
            const uint32_t* triangle = corners + 3 * size_t{t};
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
                turned_away.push_back(t);
                continue;
            }
            for (size_t k = 0; k < 3; ++k)
            {
                uint32_t v = triangle[k];
                if (local[v] == kNone)
                {
                    local[v] = static_cast<uint32_t>(piece.vertices.size());
                    piece.vertices.push_back(v);
                    // The triangles around a new vertex are the nearest to grow into.
                    for (uint32_t i = first_use[v]; i < first_use[v + 1]; ++i)
                    {
                        uint32_t next = users[i];
                        if (!placed[next] && queued_for[next] != number)
                        {
                            queued_for[next] = number;
                            queue.push_back(next);
                        }
                    }
                }
                piece.corners.push_back(local[v]);
            }
            placed[t] = true;
            --remaining;
        }
        for (uint32_t v : piece.vertices)
            local[v] = kNone;
        seeds.insert(seeds.end(), turned_away.begin(), turned_away.end());
        pieces.push_back(std::move(piece));
    }
    return pieces;
}
