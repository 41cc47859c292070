// Fuzz target: the importer on mutated scene files of every format it is
// seeded with. The first byte picks the format (its extension, which is how
// the reader is chosen); the rest is the file, written to a scratch folder
// and imported as mdlexport imports it, into a stand-in model that is then
// freed. A scene that imports is also built as a whole game model: what the
// model library writes of it as MDX (or refuses with a reason, such as a
// name too long for its field) it must read back.
//
// Run with the import budget on: scripts/test-fuzz gives this target a
// resident memory limit (-rss_limit_mb) equal to the budget of a file of the
// seeds' size (import_budget.h), so that a reader that grows without end, as
// one FBX reader did on a single changed key, fails the run instead of
// taking the machine. The seeds are Debian's small test scenes
// (scripts/test-fuzz copies them in with the format byte).
#include "mdx_reader.h"
#include "mdx_writer.h"
#include "scene_import.h"
#include "stand_in_model.h"
#include "whole_model.h"

#include <assimp/Importer.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

// The formats by the first byte (mod the count); scripts/test-fuzz writes
// the seeds with the same order.
const char* const kExtensions[] = {".gltf", ".glb", ".fbx", ".obj", ".dae",
                                   ".ply",  ".stl", ".x",   ".3ds", ".smd"};
constexpr size_t kFormatCount = sizeof kExtensions / sizeof kExtensions[0];

std::string g_folder;

void RemoveFolder()
{
    rmdir(g_folder.c_str());
}

// The import budget of a file the seeds' size (cli/import_budget.h).
constexpr size_t kBudgetBytes = size_t{1152} << 20;

void* Allocate(size_t size)
{
    if (size > kBudgetBytes)
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

// One allocation past the budget is refused as the command line's budget
// refuses it (std::bad_alloc; there the child then ends with the budget's
// message), where the sanitizer would end the run at once on one it cannot
// map. Assimp's own allocations come here too: an executable's operator new
// takes the place of every other.
void* operator new(size_t size)
{
    if (void* memory = Allocate(size))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, size_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/fuzz-scene-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    g_folder = pattern;
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string path = g_folder + "/scene" + kExtensions[data[0] % kFormatCount];
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    ModelHandle model = StandIn_CreateModel();
    std::string error;
    std::vector<std::string> notes;
    ImportSummary summary;
    try
    {
        Assimp::Importer importer;
        const aiScene* scene = ReadSceneFile(importer, path);
        mdlx::Model whole;
        std::vector<WholeModelTexture> textures;
        if (scene != nullptr &&
            ImportAssimpScene(*scene, path, ImportOptions{}, model, error, notes, &summary) &&
            BuildWholeModel(*scene, path, summary, model, ImportOptions{}, "scene", whole, textures,
                            notes, error))
        {
            std::string bytes;
            mdlx::Status written = mdlx::WriteMdx(whole, bytes, "scene.mdx");
            mdlx::Model back;
            mdlx::Status read =
                written.ok ? mdlx::ReadMdx(bytes.data(), bytes.size(), "scene.mdx", back) : written;
            if (written.ok ? !read.ok : written.message.empty())
            {
                std::fprintf(stderr, "the whole model does not go through MDX: %s\n",
                             read.message.c_str());
                std::abort();
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        // Past the budget: the command line reports it and goes on.
    }
    StandIn_FreeModel(model);
    unlink(path.c_str());
    return 0;
}
