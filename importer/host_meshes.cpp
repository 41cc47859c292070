#include "host_model_lib.h"
#include "mdl_convert.h"
#include "scene_importer.h"
#include "stand_in_model.h"
#include "vertex_weights.h"

#include <algorithm>
#include <assimp/scene.h>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace
{

// The corners of the mesh's triangles, three each: its faces of three corners
// that all name a vertex of the mesh. Returns how many other faces (points,
// lines or broken faces) it has.
size_t TriangleCorners(const aiMesh& mesh, std::vector<uint32_t>& corners)
{
    size_t other_faces = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f)
    {
        const aiFace& face = mesh.mFaces[f];
        if (!IsTriangle(face) || face.mIndices[0] >= mesh.mNumVertices ||
            face.mIndices[1] >= mesh.mNumVertices || face.mIndices[2] >= mesh.mNumVertices)
        {
            ++other_faces;
            continue;
        }
        corners.insert(corners.end(), face.mIndices, face.mIndices + 3);
    }
    return other_faces;
}

} // namespace

void SceneImporter::NoteDroppedMeshParts(const aiMesh& mesh, size_t other_faces)
{
    std::string mesh_name = Quoted(NameOf(mesh.mName));
    if (other_faces > 0)
        Note("mesh " + mesh_name + ": " + std::to_string(other_faces) +
             " points, lines or broken faces dropped");
    if (mesh.GetNumUVChannels() > 1)
        Note("mesh " + mesh_name + ": " + std::to_string(mesh.GetNumUVChannels() - 1) +
             " further texture coordinate sets dropped");
    if (mesh.GetNumColorChannels() > 0)
        Note("mesh " + mesh_name + ": vertex colours dropped");
    if (mesh.mNumAnimMeshes > 0)
        Note("mesh " + mesh_name + ": " + std::to_string(mesh.mNumAnimMeshes) +
             " morph targets dropped");
}

// The host bone of each vertex of the instance's mesh: its heaviest bone, or
// the mesh node's own bone where no bone skins it. The vertex stands where
// the skin bone of that weight puts it at rest, or where the mesh's node does.
std::vector<int32_t> SceneImporter::BonesOfVertices(const MeshInstance& instance,
                                                    std::vector<Affine>& placements,
                                                    std::vector<uint32_t>& placement_of_vertex)
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    std::vector<VertexWeight> weights;
    std::vector<SkinBone> skin = SkinBonesOf(instance);
    placements.clear();
    std::vector<int32_t> placement_of_bone(bones_.bones.size(), -1);
    for (const SkinBone& read : skin)
    {
        int32_t bone = FindBone(bones_, read.node, read.bind);
        if (bone < 0)
            continue;
        // A node that two skin bones of one mesh name: the first one's offset.
        if (placement_of_bone[static_cast<size_t>(bone)] < 0)
        {
            placement_of_bone[static_cast<size_t>(bone)] = static_cast<int32_t>(placements.size());
            placements.push_back(read.placement);
        }
        for (unsigned w = 0; w < read.bone->mNumWeights; ++w)
            weights.push_back(VertexWeight{read.bone->mWeights[w].mVertexId, bone,
                                           read.bone->mWeights[w].mWeight});
    }
    Affine mesh_global = NodeRest(instance.node);
    uint32_t own_placement = static_cast<uint32_t>(placements.size());
    placements.push_back(mesh_global);

    std::vector<int32_t> bone_of_vertex(mesh.mNumVertices);
    size_t shared =
        HeaviestBones(weights.data(), weights.size(), mesh.mNumVertices, bone_of_vertex.data());
    if (shared > 0)
        Note("mesh " + Quoted(NameOf(mesh.mName)) + ": " + std::to_string(shared) +
             " vertices had more than one bone weight; each follows its heaviest bone");
    // The mesh node's own bone (FindBones gave it one wherever a vertex
    // needs it), or the added "Root" when the scene has no bones.
    int32_t own_bone = 0;
    if (!bones_.bones.empty())
        own_bone = std::max(0, FindBone(bones_, instance.node, mesh_global));
    placement_of_vertex.assign(mesh.mNumVertices, own_placement);
    bool moved = false;
    for (size_t v = 0; v < bone_of_vertex.size(); ++v)
    {
        int32_t& bone = bone_of_vertex[v];
        if (bone < 0)
        {
            bone = own_bone;
            continue;
        }
        uint32_t placement = static_cast<uint32_t>(placement_of_bone[static_cast<size_t>(bone)]);
        placement_of_vertex[v] = placement;
        moved = moved || !SameBind(placements[placement], mesh_global);
    }
    if (moved)
        Note("mesh " + Quoted(NameOf(mesh.mName)) +
             ": its skin at rest places it elsewhere than its node does; it stands where the "
             "skin puts it, as in every animated frame");
    return bone_of_vertex;
}

void SceneImporter::AddHostMeshes(ImportSummary& summary)
{
    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        std::vector<uint32_t> corners;
        size_t other_faces = TriangleCorners(mesh, corners);
        if (corners.empty())
        {
            Note("mesh " + Quoted(NameOf(mesh.mName)) + " has no triangles (" +
                 ((mesh.mPrimitiveTypes & aiPrimitiveType_POINT) != 0  ? "points"
                  : (mesh.mPrimitiveTypes & aiPrimitiveType_LINE) != 0 ? "lines"
                                                                       : "nothing") +
                 "): skipped");
            continue;
        }
        NoteDroppedMeshParts(mesh, other_faces);
        std::vector<Affine> placements;
        std::vector<uint32_t> placement_of_vertex;
        std::vector<int32_t> bone_of_vertex =
            BonesOfVertices(instance, placements, placement_of_vertex);
        // A mirroring placement turns the winding (the first vertex's stands for all).
        bool reverse =
            Determinant(LinearPart(
                placements[placement_of_vertex.empty() ? placements.size() - 1
                                                       : placement_of_vertex[corners[0]]])) < 0.0;
        size_t limit = std::clamp<size_t>(options_.geoset_vertex_limit, 3, kMaxHostVertices);
        std::vector<MeshPiece> pieces =
            SplitMesh(corners.data(), corners.size() / 3, mesh.mNumVertices, limit);
        for (const MeshPiece& piece : pieces)
            AddHostMesh(instance, piece, bone_of_vertex, placements, placement_of_vertex, reverse,
                        summary);
        if (pieces.size() > 1)
        {
            size_t total = 0;
            for (const MeshPiece& piece : pieces)
                total += piece.vertices.size();
            Note("mesh " + Quoted(NameOf(mesh.mName)) + " has " +
                 std::to_string(mesh.mNumVertices) + " vertices: split into " +
                 std::to_string(pieces.size()) + " host meshes of at most " +
                 std::to_string(limit) + " (" + std::to_string(total) +
                 " vertices with those the cuts repeat)");
        }
    }
}

// One host mesh of the instance's mesh: the piece's vertices in the rest pose
// in model space, and its triangles.
void SceneImporter::AddHostMesh(const MeshInstance& instance, const MeshPiece& piece,
                                const std::vector<int32_t>& bone_of_vertex,
                                const std::vector<Affine>& placements,
                                const std::vector<uint32_t>& placement_of_vertex, bool reverse,
                                ImportSummary& summary)
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    std::string name = NameOf(mesh.mName);
    MeshHandle host = StandIn_AddMesh(model_, name.c_str());
    StandIn_ReserveMesh(host, static_cast<int32_t>(piece.vertices.size()),
                        static_cast<int32_t>(piece.corners.size() / 3));
    const aiVector3D* uvs = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0] : nullptr;
    size_t& replaced = replaced_values_;
    for (uint32_t v : piece.vertices)
    {
        const aiVector3D& source = mesh.mVertices[v];
        // Cleaned before the transform, which would spread a NaN to every axis.
        Vec3d p = Apply(placements[placement_of_vertex[v]],
                        Vec3d{ToFiniteFloat(source.x, replaced), ToFiniteFloat(source.y, replaced),
                              ToFiniteFloat(source.z, replaced)});
        float u = 0.0f;
        float t = 0.0f;
        if (uvs != nullptr)
        {
            u = ToFiniteFloat(uvs[v].x, replaced);
            t = ToFiniteFloat(1.0 - static_cast<double>(uvs[v].y), replaced);
        }
        StandIn_AddVertex(host, ToFiniteFloat(p.x, replaced), ToFiniteFloat(p.y, replaced),
                          ToFiniteFloat(p.z, replaced), u, t, bone_of_vertex[v]);
    }
    for (size_t c = 0; c < piece.corners.size(); c += 3)
    {
        const uint32_t* corners = piece.corners.data() + c;
        // A mirroring node turns the winding; reversing the corners turns it back.
        if (reverse)
            StandIn_AddTriangle(host, static_cast<uint16_t>(corners[0]),
                                static_cast<uint16_t>(corners[2]),
                                static_cast<uint16_t>(corners[1]));
        else
            StandIn_AddTriangle(host, static_cast<uint16_t>(corners[0]),
                                static_cast<uint16_t>(corners[1]),
                                static_cast<uint16_t>(corners[2]));
    }
    ImportSummary::MeshOrigin origin;
    origin.source_mesh = static_cast<int32_t>(instance.mesh);
    origin.node = instance.node;
    origin.source_vertex = piece.vertices;
    origin.reversed = reverse;
    summary.meshes.push_back(std::move(origin));
}

bool SceneImporter::RestHeightRange(double& low, double& high)
{
    bool any = false;
    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        std::vector<Affine> placements;
        std::vector<uint32_t> placement_of_vertex;
        BonesOfVertices(instance, placements, placement_of_vertex);
        for (uint32_t v = 0; v < mesh.mNumVertices; ++v)
        {
            const aiVector3D& source = mesh.mVertices[v];
            if (!std::isfinite(source.x) || !std::isfinite(source.y) || !std::isfinite(source.z))
                continue;
            double y =
                Apply(placements[placement_of_vertex[v]], Vec3d{source.x, source.y, source.z}).y;
            low = any ? std::fmin(low, y) : y;
            high = any ? std::fmax(high, y) : y;
            any = true;
        }
    }
    return any;
}

// The rest pose's bounds in MDL axis order, and the model's size.
void SceneImporter::MeasureBounds(ImportSummary& summary)
{
    bool first = true;
    for (int32_t m = 0; m < msModel_GetMeshCount(model_); ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model_, m);
        for (int32_t v = 0; v < msMesh_GetVertexCount(mesh); ++v)
        {
            Vec3 p{0.0f, 0.0f, 0.0f};
            msVertex_GetVertex(msMesh_GetVertexAt(mesh, v), &p);
            MdlAxes a = ToMdlAxes(p);
            const double mdl[3] = {a.first, a.second, a.third};
            for (int i = 0; i < 3; ++i)
            {
                summary.minimum[i] = first ? mdl[i] : std::fmin(summary.minimum[i], mdl[i]);
                summary.maximum[i] = first ? mdl[i] : std::fmax(summary.maximum[i], mdl[i]);
            }
            first = false;
        }
    }
    model_size_ = Length(Vec3d{summary.maximum[0] - summary.minimum[0],
                               summary.maximum[1] - summary.minimum[1],
                               summary.maximum[2] - summary.minimum[2]});
}
