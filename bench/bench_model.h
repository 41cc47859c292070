// The models the benchmarks export: fixed pseudo-random data from a seed, the
// same on every machine (own generator, own conversions to float), held as
// plain arrays so that one description can be built on the stand-in library
// or written out as a model description file.
#ifndef MDLEXPORT_BENCH_BENCH_MODEL_H
#define MDLEXPORT_BENCH_BENCH_MODEL_H

#include "host_model_lib.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// splitmix64: small, fast, and the same sequence everywhere.
class BenchRandom
{
  public:
    explicit BenchRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform in [0, 1) with 53 random bits.
    double Unit();
    // Uniform in [-limit, limit), rounded to the nearest float.
    float Symmetric(float limit);
    // Uniform in [0, count).
    uint32_t Below(uint32_t count);

  private:
    uint64_t state_;
};

// The size of a model. Each mesh is a grid of 256 columns wrapped into a torus,
// so that every vertex has six neighbours and the triangle count is twice the
// vertex count; vertices_per_mesh is a multiple of 256 and at most 65,536. The
// bones form chains of chain_depth bones (the first of each chain a root).
struct BenchModelShape
{
    int32_t mesh_count = 8;
    int32_t vertices_per_mesh = 65536;
    int32_t bone_count = 200;
    int32_t chain_depth = 10;
    int32_t position_keys = 2000;
    int32_t rotation_keys = 2000;
};

struct BenchMesh
{
    std::vector<float> positions; // x, y, z per vertex, within +-1,000
    std::vector<float> uvs;       // u, v per vertex, within [0, 1)
    std::vector<int32_t> bone_indices;
    std::vector<uint16_t> corners; // three per triangle
};

struct BenchBone
{
    std::string name;
    std::string parent;
    float position[3];
    std::vector<float> position_keys; // time, x, y, z per key; offsets within +-100
    std::vector<float> rotation_keys; // time, rx, ry, rz per key; angles within +-pi
};

struct BenchModel
{
    std::vector<BenchMesh> meshes;
    std::vector<BenchBone> bones;
};

BenchModel MakeBenchModel(const BenchModelShape& shape, uint64_t seed);

// A stand-in model holding `model`; the caller frees it with StandIn_FreeModel.
ModelHandle MakeStandInModel(const BenchModel& model);

// The data rows that an export of `model` writes: per vertex a position, a
// normal, a texture coordinate and a vertex group; per triangle its corners;
// per mesh and bone a matrix group; per key one row; per bone a pivot.
uint64_t ExportRowCount(const BenchModel& model);

#endif
