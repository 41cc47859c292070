// SplitMesh with small vertex limits, so that every cut can be worked out by
// hand; the real 16-bit limit is exercised through the import itself.
#include "mesh_split.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <gtest/gtest.h>

namespace
{

struct SplitCase
{
    const char* why;
    size_t vertex_count, vertex_limit;
    std::vector<uint32_t> corners;
    std::vector<MeshPiece> pieces;
};

} // namespace

TEST(SplitMesh, CutsWholeTrianglesInOrderIntoPiecesWithinTheLimit)
{
    const SplitCase cases[] = {
        {"within the limit: every vertex, used or not, as it is",
         5,
         5,
         {0, 1, 2, 2, 1, 3},
         {{{0, 1, 2, 3, 4}, {0, 1, 2, 2, 1, 3}}}},
        // Triangle 2 brings vertex 4: a fifth. The second piece repeats the
        // vertices 2 and 3 that it shares with the first.
        {"a strip, 4 vertices a piece",
         6,
         4,
         {0, 1, 2, 1, 2, 3, 2, 3, 4, 3, 4, 5},
         {{{0, 1, 2, 3}, {0, 1, 2, 1, 2, 3}}, {{2, 3, 4, 5}, {0, 1, 2, 1, 2, 3}}}},
        // A corner that repeats one before it is no new vertex: {4, 5, 5}
        // brings one vertex, and fits beside {3, 3, 4}.
        {"repeated corners count once",
         6,
         3,
         {0, 1, 2, 3, 3, 4, 4, 5, 5},
         {{{0, 1, 2}, {0, 1, 2}}, {{3, 4, 5}, {0, 0, 1, 1, 2, 2}}}},
        {"over the limit: only the vertices used", 10, 3, {7, 8, 9}, {{{7, 8, 9}, {0, 1, 2}}}},
        {"no triangles", 4, 4, {}, {}},
    };
    for (const SplitCase& c : cases)
    {
        SCOPED_TRACE(c.why);
        std::vector<MeshPiece> pieces =
            SplitMesh(c.corners.data(), c.corners.size() / 3, c.vertex_count, c.vertex_limit);
        ASSERT_EQ(pieces.size(), c.pieces.size());
        std::vector<uint32_t> source_corners; // the pieces' triangles in source indices
        for (size_t p = 0; p < pieces.size(); ++p)
        {
            EXPECT_EQ(pieces[p].vertices, c.pieces[p].vertices) << "piece " << p;
            EXPECT_EQ(pieces[p].corners, c.pieces[p].corners) << "piece " << p;
            EXPECT_LE(pieces[p].vertices.size(), c.vertex_limit);
            for (uint32_t corner : pieces[p].corners)
                source_corners.push_back(pieces[p].vertices.at(corner));
        }
        EXPECT_EQ(source_corners, c.corners);
    }
}

TEST(SplitMesh, CutsASurfaceIntoPatchesThatRepeatFewVertices)
{
    // A grid of 120 x 120 squares (14,641 vertices), its triangles row by
    // row, in pieces of at most 1,000: cutting in order would repeat a whole
    // row of 121 vertices at each of about 16 cuts (13%); patches repeat only
    // their edges.
    const uint32_t side = 121;
    std::vector<uint32_t> corners;
    for (uint32_t y = 0; y + 1 < side; ++y)
        for (uint32_t x = 0; x + 1 < side; ++x)
        {
            uint32_t a = y * side + x;
            corners.insert(corners.end(), {a, a + 1, a + side, a + 1, a + side + 1, a + side});
        }
    std::vector<MeshPiece> pieces =
        SplitMesh(corners.data(), corners.size() / 3, side * side, 1000);
    size_t vertices = 0;
    std::vector<std::array<uint32_t, 3>> triangles; // every triangle once, corners in order
    for (const MeshPiece& piece : pieces)
    {
        EXPECT_LE(piece.vertices.size(), 1000u);
        vertices += piece.vertices.size();
        for (size_t c = 0; c < piece.corners.size(); c += 3)
            triangles.push_back({piece.vertices.at(piece.corners[c]),
                                 piece.vertices.at(piece.corners[c + 1]),
                                 piece.vertices.at(piece.corners[c + 2])});
    }
    std::vector<std::array<uint32_t, 3>> expected;
    for (size_t c = 0; c < corners.size(); c += 3)
        expected.push_back({corners[c], corners[c + 1], corners[c + 2]});
    std::sort(triangles.begin(), triangles.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(triangles, expected);
    EXPECT_LE(vertices, side * side * 108 / 100) << pieces.size() << " pieces";
    std::printf("[ figures  ] %zu pieces, %zu vertices for %u\n", pieces.size(), vertices,
                side * side);
}
