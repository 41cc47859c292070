// Fuzz target: arbitrary bytes as a model description. Either the loader
// refuses them with one line that names the file and says more, or the model
// it builds on the stand-in library exports completely (into memory): status
// 0, the model destroyed once, every allocation released, and a file that
// holds exactly the description's counts, bone indices, corners, names and
// parents (output_check.h). A description without meshes gets the warning.
#include "export_run.h"
#include "memory_seams.h"
#include "model_description.h"
#include "model_json.h"
#include "output_check.h"
#include "stand_in_model.h"
#include "test_fixtures.h"

#include <cstring>
#include <memory>
#include <string>

namespace
{

const std::string kFileName = "fuzz.json";

// What the file must show, from the description alone. Bone names are never
// empty, so an empty parent name matches no bone.
HostileExpectations Expect(const ModelDescription& description)
{
    HostileExpectations expect;
    expect.mesh_count = static_cast<int32_t>(description.meshes.size());
    expect.bone_count = static_cast<int32_t>(description.bones.size());
    for (const MeshDescription& mesh : description.meshes)
    {
        HostileMeshExpectations& seen = expect.meshes.emplace_back();
        seen.vertex_count = static_cast<int32_t>(mesh.positions.size() / 3);
        seen.triangle_count = static_cast<int32_t>(mesh.corners.size() / 3);
        seen.bone_indices = mesh.bone_indices;
        if (seen.bone_indices.empty())
            seen.bone_indices.assign(static_cast<size_t>(seen.vertex_count), -1);
        for (size_t c = 0; c + 2 < mesh.corners.size(); c += 3)
            seen.corners.push_back(
                VertexIndexTriple{{mesh.corners[c], mesh.corners[c + 1], mesh.corners[c + 2]}});
    }
    for (const BoneDescription& bone : description.bones)
    {
        HostileBoneExpectations& seen = expect.bones.emplace_back();
        seen.name = bone.name;
        seen.position_key_count = static_cast<int32_t>(bone.position_keys.size() / 4);
        seen.rotation_key_count = static_cast<int32_t>(bone.rotation_keys.size() / 4);
    }
    for (size_t b = 0; b < description.bones.size(); ++b)
    {
        for (size_t other = 0; other < description.bones.size(); ++other)
        {
            if (description.bones[other].name == description.bones[b].parent)
                expect.bones[b].parent = static_cast<int32_t>(other);
        }
    }
    return expect;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the padding the loader asks for, on the heap, so that a read
    // past it is caught.
    std::unique_ptr<char[]> json(new char[size + kModelDescriptionPadding]);
    std::memcpy(json.get(), data, size);
    std::memset(json.get() + size, 0, kModelDescriptionPadding);

    ModelDescription description;
    std::string error;
    if (!ParseModelDescription(json.get(), size, kFileName, description, error))
    {
        Require(error.size() > kFileName.size() + 2 && error.rfind(kFileName + ": ", 0) == 0,
                "a refusal names the file and says why:", error);
        Require(error.find('\n') == std::string::npos, "a refusal is one line:", error);
        return 0;
    }
    HostileExpectations expect = Expect(description);

    TestModel held;
    ModelHandle model = held.handle();
    BuildStandInModel(description, model);
    MemorySeamsStart(HostileRun{});
    ExportStatus status = ExportRunWith(model, MemorySeams());
    const MemorySeamsRecord& seen = MemorySeamsSeen();
    Require(seen.live_allocations == 0, "every allocation is released");
    if (expect.mesh_count == 0)
    {
        Require(status == 0 && seen.warnings == 1 && seen.opens == 0 &&
                    StandIn_DestroyCount(model) == 0,
                "a description without meshes gets the warning and nothing else");
    }
    else
    {
        Require(status == 0 && !seen.seam_failed,
                "an accepted description exports:", std::to_string(status));
        Require(StandIn_DestroyCount(model) == 1, "the model is destroyed once");
        std::string failure = CheckCompleteOutput(seen.output, expect);
        Require(failure.empty(), "complete file:", failure);
    }
    return 0;
}
