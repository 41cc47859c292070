#include "shared_models.h"

#include "test_fixtures.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace
{

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kMinNormal = std::numeric_limits<float>::min();
constexpr float kMinSubnormal = std::numeric_limits<float>::denorm_min();

// Values chosen for the formatter and the conversions, each for a reason.
constexpr float kSpecialValues[] = {
    0.0f,
    -0.0f,         // written without a sign
    0.5f,          //
    0.0078125f,    // 2^-7: an exact half at the seventh decimal, rounds up
    -0.0078125f,   // and away from zero when negative
    0.0234375f,    // 3 * 2^-7: another exact tie
    1.0e-7f,       // below the last decimal
    -1.0e-7f,      // "-0.000000"
    5.0e-7f,       // near the rounding point, not on it
    -5.0e-7f,      //
    1.5e-6f,       //
    0.1f,          // a float that is not a short decimal
    2.675f,        //
    0.9999995f,    // carries into the units
    -999999.94f,   // carries through every digit
    123456.79f,    //
    16777216.0f,   // 2^24
    16777217.0f,   // not a float: rounds to 2^24
    1.0e17f,       // at and above 17 significant digits
    1.2345679e17f, //
    3.0e17f,       //
    -4.5e18f,      //
    1.0e20f,       //
    1.0e30f,       //
    kMax,          // 39 integer digits
    -kMax,         //
    kMinNormal,    //
    kMinSubnormal, //
    kInf,          // written as zero
    -kInf,         //
    kNaN,          //
    -kNaN,         //
};
constexpr int32_t kSpecialCount = static_cast<int32_t>(std::size(kSpecialValues));

float Special(int32_t index)
{
    return kSpecialValues[index % kSpecialCount];
}

// Angles in radians: ordinary ones, whole turns, and arguments whose
// reduction by 2π needs many bits of π.
constexpr float kAngles[] = {
    0.0f,   -0.0f,  0.5f,    -0.5f,   1.5707964f, 3.1415927f, 6.2831855f, -6.2831855f,
    100.0f, 1.0e6f, -1.0e6f, 1.0e10f, 1.0e20f,    3.0e38f,    -3.0e38f,   kMax,
    1e-30f, kNaN,   kInf,    -kInf,   88.0f,      355.0f,     710.0f,     103993.0f,
};
constexpr int32_t kAngleCount = static_cast<int32_t>(std::size(kAngles));

// Key times in frames: whole, negative, halves, and ones beyond the int32
// range of milliseconds.
constexpr float kTimes[] = {
    0.0f,  1.0f,     -1.0f,   2.5f,    -2.5f,  0.024f,      1.0e30f, -1.0e30f,
    kNaN,  kInf,     -kInf,   24.0f,   1.0e9f, 51539608.0f, 0.023f,  -0.023f,
    -0.0f, 1.0e-30f, 1000.0f, 3.0e38f, 12.3f,  51539604.0f,
};
constexpr int32_t kTimeCount = static_cast<int32_t>(std::size(kTimes));

// A fixed generator, so that both sides build the same pseudo-random values.
struct Generator
{
    uint32_t state;

    uint32_t Next()
    {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }

    // Any float bit pattern: every exponent, subnormals, infinities, NaNs.
    float AnyBits()
    {
        return std::bit_cast<float>(Next());
    }

    // A dyadic value m / 2^e with |m| < 2^20 and e in [0, 23]: many of them
    // end in an exact 5 at the seventh decimal.
    float Dyadic()
    {
        uint32_t bits = Next();
        int32_t mantissa = static_cast<int32_t>(bits & 0xfffffu);
        uint32_t exponent = (bits >> 20) % 24u;
        float value = static_cast<float>(mantissa) / static_cast<float>(1u << exponent);
        return (bits & 0x80000000u) != 0 ? -value : value;
    }

    // A value of ordinary size: a random mantissa scaled by 2^-20 .. 2^20.
    float Ordinary()
    {
        uint32_t bits = Next();
        uint32_t exponent = 127u - 20u + (bits >> 24) % 41u;
        return std::bit_cast<float>((bits & 0x807fffffu) | (exponent << 23));
    }
};

void FillOneTriangle(ModelHandle model)
{
    BuildOneTriangleModel(model);
}

// Every special value in every coordinate of positions and texture
// coordinates, in triangles whose normals overflow, vanish or are not numbers.
void FillSpecialPositions(ModelHandle model)
{
    MeshHandle mesh = StandIn_AddMesh(model, "special");
    int32_t count = kSpecialCount * 3;
    for (int32_t v = 0; v < count; ++v)
        StandIn_AddVertex(mesh, Special(v), Special(v + 1), Special(v + 2), Special(v + 3),
                          Special(v + 5), v % 7 - 1);
    for (int32_t v = 0; v + 2 < count; ++v)
        StandIn_AddTriangle(mesh, static_cast<uint16_t>(v), static_cast<uint16_t>(v + 1),
                            static_cast<uint16_t>(v + 2));
    StandIn_AddTriangle(mesh, 0, 0, 0);           // zero area
    StandIn_AddTriangle(mesh, 0, 1, 65535);       // a corner outside the mesh
    StandIn_AddMesh(model, "no vertices at all"); // empty blocks
    MeshHandle small = StandIn_AddMesh(model, "small");
    StandIn_AddVertex(small, 1.0e-20f, 0.0f, 0.0f, 0.0f, 0.0f, 0);
    StandIn_AddVertex(small, 0.0f, 1.0e-20f, 0.0f, 0.0f, 0.0f, 0);
    StandIn_AddVertex(small, 0.0f, 0.0f, 1.0e-20f, 0.0f, 0.0f, 0);
    StandIn_AddTriangle(small, 0, 1, 2); // a face vector of 1e-40: below float, not below double
}

// Bones whose offsets, keys and rotations take the special values, angles and
// times; parents in a chain, so that the pivot sums meet large and small.
void FillSpecialBones(ModelHandle model)
{
    MeshHandle mesh = StandIn_AddMesh(model, "anchor");
    StandIn_AddVertex(mesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0);
    char name[16];
    char parent[16] = "";
    for (int32_t b = 0; b < kSpecialCount; ++b)
    {
        std::memcpy(name, "bone", 4);
        name[4] = static_cast<char>('A' + b % 26);
        name[5] = static_cast<char>('a' + b / 26);
        name[6] = '\0';
        BoneHandle bone =
            StandIn_AddBone(model, name, parent, Special(b), Special(b + 7), Special(b + 13));
        std::memcpy(parent, name, sizeof name);
        for (int32_t k = 0; k < kTimeCount; ++k)
            StandIn_AddPositionKey(bone, kTimes[k], Special(b + k), Special(b + 2 * k),
                                   Special(b + 3 * k));
        for (int32_t k = 0; k < kAngleCount; ++k)
            StandIn_AddRotationKey(bone, kTimes[(b + k) % kTimeCount], kAngles[k],
                                   kAngles[(k + b) % kAngleCount],
                                   kAngles[(k + 2 * b + 1) % kAngleCount]);
    }
}

// Names at the edges: 31 bytes, longer ones cut, a name left unterminated by
// the host, duplicates (the last one wins as parent), a loop of parents and a
// parent that no bone bears.
void FillNamesAndParents(ModelHandle model)
{
    MeshHandle mesh = StandIn_AddMesh(model, nullptr);
    StandIn_AddVertex(mesh, 1.0f, 2.0f, 3.0f, 0.25f, 0.75f, 3);
    const char* long_name = "0123456789012345678901234567890123456789";
    StandIn_AddBone(model, long_name, "", 1.0f, 0.0f, 0.0f);
    StandIn_AddBone(model, "child of the long one", "0123456789012345678901234567890", 0.0f, 1.0f,
                    0.0f);
    StandIn_AddBone(model, "twin", "child of the long one", 0.0f, 0.0f, 1.0f);
    StandIn_AddBone(model, "twin", "", 2.0f, 0.0f, 0.0f);
    StandIn_AddBone(model, "of a twin", "twin", 0.0f, 2.0f, 0.0f);
    StandIn_AddBone(model, "loop a", "loop b", 0.5f, 0.0f, 0.0f);
    StandIn_AddBone(model, "loop b", "loop a", 0.0f, 0.5f, 0.0f);
    StandIn_AddBone(model, "orphan", "nobody", 0.0f, 0.0f, 0.5f);
    BoneHandle raw = StandIn_AddBone(model, "raw", "", 0.0f, 0.0f, 0.0f);
    char unterminated[32];
    std::memset(unterminated, 'x', sizeof unterminated);
    StandIn_SetRawName(raw, unterminated);
    StandIn_AddBone(model, "", "", 0.0f, 0.0f, 0.0f);
    StandIn_AddBone(model, "of the nameless", "", -0.0f, -0.0f, -0.0f);
}

// Float bit patterns of every kind, in positions, texture coordinates, bone
// offsets, keys and angles.
void FillAnyBits(ModelHandle model)
{
    Generator random{0x2545f491u};
    MeshHandle mesh = StandIn_AddMesh(model, "any bits");
    constexpr int32_t kVertices = 1200;
    StandIn_ReserveMesh(mesh, kVertices, kVertices);
    for (int32_t v = 0; v < kVertices; ++v)
    {
        float x = random.AnyBits();
        float y = random.AnyBits();
        float z = random.AnyBits();
        float u = random.AnyBits();
        float w = random.AnyBits();
        StandIn_AddVertex(mesh, x, y, z, u, w, static_cast<int32_t>(random.Next() % 40u) - 1);
    }
    for (int32_t t = 0; t < kVertices; ++t)
    {
        uint32_t corners = random.Next();
        StandIn_AddTriangle(mesh, static_cast<uint16_t>(corners % kVertices),
                            static_cast<uint16_t>((corners >> 11) % kVertices),
                            static_cast<uint16_t>((corners >> 21) % kVertices));
    }
    for (int32_t b = 0; b < 40; ++b)
    {
        char name[8] = {'b', static_cast<char>('0' + b / 10), static_cast<char>('0' + b % 10)};
        char parent[8] = {'b', static_cast<char>('0' + b / 20), static_cast<char>('0' + b % 7)};
        float x = random.AnyBits();
        float y = random.AnyBits();
        float z = random.AnyBits();
        BoneHandle bone = StandIn_AddBone(model, name, parent, x, y, z);
        for (int32_t k = 0; k < 12; ++k)
        {
            float time = random.AnyBits();
            float a = random.AnyBits();
            float c = random.AnyBits();
            float d = random.AnyBits();
            StandIn_AddPositionKey(bone, time, a, c, d);
            time = random.AnyBits();
            a = random.AnyBits();
            c = random.AnyBits();
            d = random.AnyBits();
            StandIn_AddRotationKey(bone, time, a, c, d);
        }
    }
}

// Values of ordinary size and dyadic values with ties at the seventh decimal:
// the rounding paths that typical models take, many times over.
void FillOrdinaryValues(ModelHandle model)
{
    Generator random{0x9e3779b9u};
    MeshHandle mesh = StandIn_AddMesh(model, "ordinary");
    constexpr int32_t kVertices = 1500;
    StandIn_ReserveMesh(mesh, kVertices, kVertices - 2);
    for (int32_t v = 0; v < kVertices; ++v)
    {
        float x = random.Ordinary();
        float y = random.Dyadic();
        float z = random.Ordinary();
        float u = random.Dyadic();
        float w = random.Dyadic();
        StandIn_AddVertex(mesh, x, y, z, u, w, 0);
    }
    for (int32_t t = 0; t + 2 < kVertices; ++t)
        StandIn_AddTriangle(mesh, static_cast<uint16_t>(t), static_cast<uint16_t>(t + 1),
                            static_cast<uint16_t>(t + 2));
    for (int32_t b = 0; b < 30; ++b)
    {
        char name[8] = {'o', static_cast<char>('0' + b / 10), static_cast<char>('0' + b % 10)};
        char parent[8] = {'o', static_cast<char>('0' + (b - 1) / 10),
                          static_cast<char>('0' + (b - 1) % 10)};
        float x = random.Dyadic();
        float y = random.Ordinary();
        float z = random.Dyadic();
        BoneHandle bone = StandIn_AddBone(model, name, b > 0 ? parent : "", x, y, z);
        for (int32_t k = 0; k < 20; ++k)
        {
            float time = random.Dyadic();
            float a = random.Dyadic();
            float c = random.Ordinary();
            float d = random.Dyadic();
            StandIn_AddPositionKey(bone, time, a, c, d);
            time = random.Ordinary();
            a = random.Ordinary();
            c = random.Dyadic();
            d = random.Ordinary();
            StandIn_AddRotationKey(bone, time, a, c, d);
        }
    }
}

constexpr SharedModel kSharedModels[] = {
    {"one_triangle", FillOneTriangle},   {"special_positions", FillSpecialPositions},
    {"special_bones", FillSpecialBones}, {"names_and_parents", FillNamesAndParents},
    {"any_bits", FillAnyBits},           {"ordinary_values", FillOrdinaryValues},
};

} // namespace

std::span<const SharedModel> SharedModels()
{
    return kSharedModels;
}
