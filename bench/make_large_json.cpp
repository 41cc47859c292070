// Writes a large model description for the command-line exporter's benchmark:
// the benchmarks' large model (bench_model.h) with MESHES meshes, every float
// in its shortest form that reads back as the same float.
//
//   make_large_json OUT.json [MESHES]
#include "bench_model.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

constexpr uint64_t kModelSeed = 0x6d646c6d6f64656cu; // the export benchmark's
constexpr int32_t kDefaultMeshes = 11;               // about 100 MB with 200 bones

class JsonWriter
{
  public:
    explicit JsonWriter(FILE* file) : file_(file) {}
    ~JsonWriter()
    {
        Flush();
    }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void Text(const char* text)
    {
        text_ += text;
        FlushIfLarge();
    }
    void Quoted(const std::string& name)
    {
        // The benchmark's names are letters, digits and underscores.
        text_ += '"';
        text_ += name;
        text_ += '"';
    }
    void Float(float value)
    {
        char digits[32];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, result.ptr);
    }
    void Int(int32_t value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, result.ptr);
    }
    // "[a,b,...]" of `count` floats.
    void FloatTuple(const float* values, size_t count)
    {
        text_ += '[';
        for (size_t i = 0; i < count; ++i)
        {
            if (i > 0)
                text_ += ',';
            Float(values[i]);
        }
        text_ += ']';
        FlushIfLarge();
    }
    void Flush()
    {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size())
            failed_ = true;
        text_.clear();
    }
    bool failed() const
    {
        return failed_;
    }

  private:
    void FlushIfLarge()
    {
        if (text_.size() > (1u << 20))
            Flush();
    }

    FILE* file_;
    std::string text_;
    bool failed_ = false;
};

void WriteMesh(JsonWriter& out, const BenchMesh& mesh)
{
    const size_t vertex_count = mesh.bone_indices.size();
    out.Text("{\"name\":\"mesh\",\n\"positions\":[");
    for (size_t v = 0; v < vertex_count; ++v)
    {
        if (v > 0)
            out.Text(",");
        out.FloatTuple(&mesh.positions[3 * v], 3);
    }
    out.Text("],\n\"uvs\":[");
    for (size_t v = 0; v < vertex_count; ++v)
    {
        if (v > 0)
            out.Text(",");
        out.FloatTuple(&mesh.uvs[2 * v], 2);
    }
    out.Text("],\n\"bone_indices\":[");
    for (size_t v = 0; v < vertex_count; ++v)
    {
        if (v > 0)
            out.Text(",");
        out.Int(mesh.bone_indices[v]);
    }
    out.Text("],\n\"triangles\":[");
    for (size_t c = 0; c < mesh.corners.size(); c += 3)
    {
        out.Text(c > 0 ? ",[" : "[");
        for (size_t i = 0; i < 3; ++i)
        {
            if (i > 0)
                out.Text(",");
            out.Int(mesh.corners[c + i]);
        }
        out.Text("]");
    }
    out.Text("]}");
}

void WriteKeys(JsonWriter& out, const std::vector<float>& keys)
{
    for (size_t k = 0; k < keys.size(); k += 4)
    {
        if (k > 0)
            out.Text(",");
        out.FloatTuple(&keys[k], 4);
    }
}

void WriteBone(JsonWriter& out, const BenchBone& bone)
{
    out.Text("{\"name\":");
    out.Quoted(bone.name);
    out.Text(",\"parent\":");
    out.Quoted(bone.parent);
    out.Text(",\"position\":");
    out.FloatTuple(bone.position, 3);
    out.Text(",\n\"position_keys\":[");
    WriteKeys(out, bone.position_keys);
    out.Text("],\n\"rotation_keys\":[");
    WriteKeys(out, bone.rotation_keys);
    out.Text("]}");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        std::fprintf(stderr, "usage: make_large_json OUT.json [MESHES]\n");
        return 2;
    }
    BenchModelShape shape;
    shape.mesh_count = argc == 3 ? std::atoi(argv[2]) : kDefaultMeshes;
    if (shape.mesh_count < 1)
    {
        std::fprintf(stderr, "make_large_json: MESHES must be at least 1\n");
        return 2;
    }
    const BenchModel model = MakeBenchModel(shape, kModelSeed);

    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    bool failed;
    {
        JsonWriter out(file);
        out.Text("{\"meshes\":[\n");
        for (size_t m = 0; m < model.meshes.size(); ++m)
        {
            out.Text(m > 0 ? ",\n" : "");
            WriteMesh(out, model.meshes[m]);
        }
        out.Text("],\n\"bones\":[\n");
        for (size_t b = 0; b < model.bones.size(); ++b)
        {
            out.Text(b > 0 ? ",\n" : "");
            WriteBone(out, model.bones[b]);
        }
        out.Text("]}\n");
        out.Flush();
        failed = out.failed();
    }
    if (std::fclose(file) != 0 || failed)
    {
        std::fprintf(stderr, "make_large_json: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
