// Whole exports through ExportRunWith, and the bone section alone.
//
// BM_Export/q exports the large model scaled to q quarters (vertices per mesh
// and keys per track scale, the 8 meshes and 200 bones stay). Each repetition
// is one export into a file on /tmp, timed from the call to its return; the
// model is built before and freed after, untimed, because the run destroys it.
// The reported time is wall-clock; since colleagues' builds share the
// machine's cores, the counters also give the thread's CPU time (user and
// system), which a busy machine inflates far less:
//   cpu_s         CPU time of the run
//   bytes         the file's size
//   write_s       time spent inside the write seam (the file's fwrite calls),
//   write_cpu_s   wall-clock and CPU
//   format_s      time to format the same numbers, in the same order, with
//   format_cpu_s  the same two formatters, into a reused 64 KiB buffer: the
//                 numbers are recorded once from the model by the conversions
//                 the writers use, and checked once against the file's text
//   rows          data rows written (bench_model.h)
// so that the share of the run outside number formatting and writing is
// (cpu_s - format_cpu_s - write_cpu_s) / cpu_s. The formatting measured alone
// runs with warm caches and trained branches, so it is if anything an
// underestimate, and the share outside an overestimate.
//
// BM_BoneSection/n writes the Bone blocks and PivotPoints of n bones (chains of
// 10, 10 translation and 10 rotation keys each) through the writers into a file
// opened once, as the run does after the geosets.
#include "bench_model.h"
#include "bone_writer.h"
#include "export_run.h"
#include "mdl_convert.h"
#include "number_format.h"
#include "pivot_writer.h"
#include "stand_in_model.h"
#include "stand_in_ui.h"
#include "thread_cpu.h"
#include "vertex_normals.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace
{

constexpr uint64_t kModelSeed = 0x6d646c6d6f64656cu;
constexpr size_t kBufferSize = kMdlStreamBufferSize;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall-clock and CPU time from its construction.
struct Stopwatch
{
    Clock::time_point wall = Clock::now();
    double cpu = ThreadCpuSeconds();

    double WallSeconds() const
    {
        return SecondsSince(wall);
    }
    double CpuSeconds() const
    {
        return ThreadCpuSeconds() - cpu;
    }
};

struct Seconds
{
    double wall = 0.0;
    double cpu = 0.0;

    void Add(const Stopwatch& since)
    {
        cpu += since.CpuSeconds();
        wall += since.WallSeconds();
    }
};

std::string TempPath(const char* what)
{
    return "/tmp/mdlexport-bench-" + std::to_string(getpid()) + "-" + what + ".mdl";
}

const BenchModel& ModelOfQuarters(int64_t quarters)
{
    static std::map<int64_t, BenchModel> models;
    auto found = models.find(quarters);
    if (found == models.end())
    {
        BenchModelShape shape;
        shape.vertices_per_mesh = static_cast<int32_t>(shape.vertices_per_mesh * quarters / 4);
        shape.position_keys = static_cast<int32_t>(shape.position_keys * quarters / 4);
        shape.rotation_keys = static_cast<int32_t>(shape.rotation_keys * quarters / 4);
        found = models.emplace(quarters, MakeBenchModel(shape, kModelSeed)).first;
    }
    return found->second;
}

// Every number an export of the model formats, in file order.
struct ExportNumbers
{
    std::vector<double> reals; // through FormatFixed6
    std::vector<int32_t> ints; // through FormatInt32
    bool checked = false;
};

void AddAxes(std::vector<double>& reals, Vec3 v)
{
    const MdlAxes a = ToMdlAxes(v);
    reals.insert(reals.end(), {a.first, a.second, a.third});
}

// Follows the writers' order; the normals come from the same function the
// geoset writer calls, on a stand-in copy of the model.
ExportNumbers RecordExportNumbers(const BenchModel& model)
{
    ExportNumbers numbers;
    std::vector<double>& reals = numbers.reals;
    std::vector<int32_t>& ints = numbers.ints;
    const auto bone_count = static_cast<int32_t>(model.bones.size());
    ModelHandle handle = MakeStandInModel(model);

    ints.push_back(static_cast<int32_t>(model.meshes.size()));
    ints.push_back(bone_count);
    for (size_t m = 0; m < model.meshes.size(); ++m)
    {
        const BenchMesh& mesh = model.meshes[m];
        const auto vertex_count = static_cast<int32_t>(mesh.bone_indices.size());
        ints.push_back(vertex_count);
        for (size_t v = 0; v < mesh.bone_indices.size(); ++v)
            AddAxes(reals, Vec3{mesh.positions[3 * v], mesh.positions[3 * v + 1],
                                mesh.positions[3 * v + 2]});
        ints.push_back(vertex_count);
        std::vector<Vec3> positions(mesh.bone_indices.size());
        for (size_t v = 0; v < positions.size(); ++v)
            positions[v] =
                Vec3{mesh.positions[3 * v], mesh.positions[3 * v + 1], mesh.positions[3 * v + 2]};
        std::vector<Vec3> normals(mesh.bone_indices.size());
        MeshHandle host_mesh = msModel_GetMeshAt(handle, static_cast<int32_t>(m));
        std::vector<VertexIndexTriple> triangles(
            static_cast<size_t>(msMesh_GetTriangleCount(host_mesh)));
        for (size_t t = 0; t < triangles.size(); ++t)
            msTriangle_GetVertexIndices(msMesh_GetTriangleAt(host_mesh, static_cast<int32_t>(t)),
                                        &triangles[t]);
        ComputeVertexNormals(triangles.data(), static_cast<int32_t>(triangles.size()),
                             positions.data(), normals.data(), vertex_count);
        for (const Vec3& n : normals)
            AddAxes(reals, n);
        ints.push_back(vertex_count);
        for (size_t v = 0; v < mesh.bone_indices.size(); ++v)
            reals.insert(reals.end(), {static_cast<double>(mesh.uvs[2 * v]),
                                       static_cast<double>(mesh.uvs[2 * v + 1])});
        ints.insert(ints.end(), mesh.bone_indices.begin(), mesh.bone_indices.end());
        ints.push_back(static_cast<int32_t>(mesh.corners.size()));
        ints.insert(ints.end(), mesh.corners.begin(), mesh.corners.end());
        ints.insert(ints.end(), {bone_count, bone_count});
        for (int32_t b = 0; b < bone_count; ++b)
            ints.push_back(b);
    }
    StandIn_FreeModel(handle);

    // Parents by name, the last bone of a name winning, as the bone writer does.
    std::unordered_map<std::string, int32_t> by_name;
    for (int32_t b = 0; b < bone_count; ++b)
        by_name[model.bones[static_cast<size_t>(b)].name] = b;
    std::vector<int32_t> parents;
    for (int32_t b = 0; b < bone_count; ++b)
    {
        const BenchBone& bone = model.bones[static_cast<size_t>(b)];
        auto parent = by_name.find(bone.parent);
        parents.push_back(parent == by_name.end() ? -1 : parent->second);
        ints.push_back(b);
        if (parents.back() > -1)
            ints.push_back(parents.back());
        if (!bone.position_keys.empty())
            ints.push_back(static_cast<int32_t>(bone.position_keys.size() / 4));
        for (size_t k = 0; k < bone.position_keys.size(); k += 4)
        {
            const float* key = &bone.position_keys[k];
            ints.push_back(FrameToMdlTime(key[0]));
            AddAxes(reals, Vec3{key[1], key[2], key[3]});
        }
        if (!bone.rotation_keys.empty())
            ints.push_back(static_cast<int32_t>(bone.rotation_keys.size() / 4));
        for (size_t k = 0; k < bone.rotation_keys.size(); k += 4)
        {
            const float* key = &bone.rotation_keys[k];
            ints.push_back(FrameToMdlTime(key[0]));
            const MdlQuaternion q = EulerToMdlQuaternion(Vec3{key[1], key[2], key[3]});
            reals.insert(reals.end(), {q.first, q.second, q.third, q.fourth});
        }
    }
    ints.push_back(bone_count);
    for (int32_t p = 0; p < bone_count; ++p)
    {
        const float* offset = model.bones[static_cast<size_t>(p)].position;
        Vec3 sum{offset[0], offset[1], offset[2]};
        for (int32_t q = parents[static_cast<size_t>(p)]; q > -1 && q != p;
             q = parents[static_cast<size_t>(q)])
        {
            const float* up = model.bones[static_cast<size_t>(q)].position;
            sum.x = sum.x + up[0];
            sum.y = sum.y + up[1];
            sum.z = sum.z + up[2];
        }
        AddAxes(reals, sum);
    }
    return numbers;
}

ExportNumbers& NumbersOfQuarters(int64_t quarters)
{
    static std::map<int64_t, ExportNumbers> recorded;
    auto found = recorded.find(quarters);
    if (found == recorded.end())
        found = recorded.emplace(quarters, RecordExportNumbers(ModelOfQuarters(quarters))).first;
    return found->second;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares every six-decimal number in the file, in order, with the recorded
// values formatted; the file's other text holds no point. Returns "" or what
// differs.
std::string CheckAgainstFile(const std::vector<double>& reals, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return "cannot read " + path;
    std::string text;
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);

    size_t next = 0;
    for (size_t point = text.find('.'); point != std::string::npos;
         point = text.find('.', point + 1))
    {
        size_t start = point;
        while (start > 0 && IsDigit(text[start - 1]))
            --start;
        if (start > 0 && text[start - 1] == '-')
            --start;
        if (next == reals.size())
            return "the file has more numbers than recorded";
        char expected[kFixed6MaxChars];
        const size_t length = FormatFixed6(reals[next], expected);
        if (text.compare(start, point + 7 - start, expected, length) != 0)
            return "number " + std::to_string(next) + " differs: file " +
                   text.substr(start, point + 7 - start) + ", recorded " +
                   std::string(expected, length);
        ++next;
    }
    if (next != reals.size())
        return "the file has fewer numbers than recorded";
    return "";
}

// Formats the recorded numbers as the stream would, into a reused buffer.
void TimeFormatting(const ExportNumbers& numbers, Seconds& total)
{
    static char buffer[kBufferSize];
    const Stopwatch start;
    size_t used = 0;
    for (double value : numbers.reals)
    {
        if (used + kFixed6MaxChars > kBufferSize)
            used = 0;
        used += FormatFixed6(value, buffer + used);
    }
    for (int32_t value : numbers.ints)
    {
        if (used + kInt32MaxChars > kBufferSize)
            used = 0;
        used += FormatInt32(value, buffer + used);
    }
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
    total.Add(start);
}

Seconds g_write_seconds;

size_t TimedWrite(const void* data, size_t size, FILE* file)
{
    const Stopwatch start;
    const size_t written = DefaultExportSeams().write_file(data, size, file);
    g_write_seconds.Add(start);
    return written;
}

long FileSize(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return -1;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

void BM_Export(benchmark::State& state)
{
    const int64_t quarters = state.range(0);
    const BenchModel& model = ModelOfQuarters(quarters);
    ExportNumbers& numbers = NumbersOfQuarters(quarters);
    const std::string path = TempPath("export");
    ExportSeams seams = DefaultExportSeams();
    seams.write_file = TimedWrite;

    Seconds run_seconds;
    Seconds write_seconds;
    Seconds format_seconds;
    long bytes = 0;
    for (auto _ : state)
    {
        ModelHandle handle = MakeStandInModel(model);
        std::remove(path.c_str()); // a new file each time, not a truncation
        StandInUi_AnswerWithPath(path);
        g_write_seconds = Seconds();
        const Stopwatch start;
        const ExportStatus status = ExportRunWith(handle, seams);
        const Seconds run{start.WallSeconds(), start.CpuSeconds()};
        StandIn_FreeModel(handle);
        if (status != kExportDone)
        {
            state.SkipWithError("the export failed");
            break;
        }
        state.SetIterationTime(run.wall);
        run_seconds.wall += run.wall;
        run_seconds.cpu += run.cpu;
        write_seconds.wall += g_write_seconds.wall;
        write_seconds.cpu += g_write_seconds.cpu;
        bytes = FileSize(path);
        if (!numbers.checked)
        {
            const std::string difference = CheckAgainstFile(numbers.reals, path);
            if (!difference.empty())
            {
                state.SkipWithError(difference.c_str());
                break;
            }
            numbers.checked = true;
        }
        TimeFormatting(numbers, format_seconds);
    }
    std::remove(path.c_str());

    const auto iterations = static_cast<double>(state.iterations());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["cpu_s"] = run_seconds.cpu / iterations;
    state.counters["write_s"] = write_seconds.wall / iterations;
    state.counters["write_cpu_s"] = write_seconds.cpu / iterations;
    state.counters["format_s"] = format_seconds.wall / iterations;
    state.counters["format_cpu_s"] = format_seconds.cpu / iterations;
    state.counters["reals"] = static_cast<double>(numbers.reals.size());
    state.counters["ints"] = static_cast<double>(numbers.ints.size());
    state.counters["rows"] = static_cast<double>(ExportRowCount(model));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// The bone section of `bone_count` bones on the stand-in library, kept for
// every iteration (the writers leave the model as it is).
struct BoneSectionModel
{
    explicit BoneSectionModel(int32_t bone_count)
    {
        BenchModelShape shape;
        shape.mesh_count = 0;
        shape.bone_count = bone_count;
        shape.position_keys = 10;
        shape.rotation_keys = 10;
        description = MakeBenchModel(shape, kModelSeed);
        handle = MakeStandInModel(description);
    }
    ~BoneSectionModel()
    {
        StandIn_FreeModel(handle);
    }
    BoneSectionModel(const BoneSectionModel&) = delete;
    BoneSectionModel& operator=(const BoneSectionModel&) = delete;

    BenchModel description;
    ModelHandle handle;
};

void BM_BoneSection(benchmark::State& state)
{
    const auto bone_count = static_cast<int32_t>(state.range(0));
    BoneSectionModel model(bone_count);
    const std::string path = TempPath("bones");
    FILE* file = DefaultExportSeams().open_file(path.c_str());
    if (file == nullptr)
    {
        state.SkipWithError("cannot create the output file");
        return;
    }
    auto out = std::make_unique<MdlStream>();
    std::vector<int32_t> parents(static_cast<size_t>(bone_count));
    uint64_t bytes = 0;
    for (auto _ : state)
    {
        std::fseek(file, 0, SEEK_SET);
        *out = MdlStream();
        out->file = file;
        out->write = DefaultExportSeams().write_file;
        out->allocate = std::malloc;
        out->release = std::free;
        parents.assign(parents.size(), -1);
        ParentTable table{parents.data(), static_cast<int32_t>(parents.size())};
        WriteBones(*out, model.handle, table);
        WritePivotPoints(*out, model.handle, table);
        if (!MdlFlush(*out))
        {
            state.SkipWithError("writing the bone section failed");
            break;
        }
        bytes = out->bytes_written;
    }
    std::fclose(file);
    std::remove(path.c_str());
    state.counters["bones"] = bone_count;
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * bone_count);
}

} // namespace

BENCHMARK(BM_Export)->Arg(1)->Arg(2)->Arg(4)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_BoneSection)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
