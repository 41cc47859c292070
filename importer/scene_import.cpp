#include "scene_import.h"

#include "animation_timing.h"
#include "bone_tracks.h"
#include "host_names.h"
#include "mdl_convert.h"
#include "node_animation.h"
#include "stand_in_model.h"

#include <algorithm>
#include <array>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cmath>
#include <exception>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{

constexpr uint32_t kMaxHostVertices = 65536; // corner indices are 16-bit
// More samples than this, over all animations, is not an animation anyone
// meant (an hour at 24 per second, with room to spare): the file is refused
// rather than the memory exhausted.
constexpr size_t kMaxSamples = 100000;
// Likewise for the keys held while sampling (two per bone and sample, 16
// bytes each): 20 million is 640 MB.
constexpr size_t kMaxSampledKeys = 20000000;

struct NodeInfo
{
    const aiNode* node = nullptr;
    int32_t parent = -1;
    Affine rest_global; // source space, the scene root's transform included
};

struct MeshInstance
{
    int32_t node = -1;
    uint32_t mesh = 0;
};

// One host bone: a node and the bind transform (model space) its skinning
// inverts.
struct BoneRecord
{
    int32_t node = -1;
    Affine bind;
    Affine inverse_bind;
    int32_t parent = -1;
};

// A source name in a note: one line, whatever the file holds.
std::string Quoted(const std::string& text)
{
    std::string quoted(1, '\'');
    quoted += CleanName(text);
    quoted += '\'';
    return quoted;
}

std::string NameOf(const aiString& name)
{
    return std::string(name.C_Str(), name.length);
}

// The up axis a file records: "UpAxis" (0, 1, 2 for x, y, z) and
// "UpAxisSign" (+1 or -1) in the scene's metadata. False when it records none.
bool RecordedUpAxis(const aiScene& scene, int& axis, int& sign)
{
    const aiMetadata* meta = scene.mMetaData;
    if (meta == nullptr)
        return false;
    auto read = [&](const char* key, int& value)
    {
        for (unsigned i = 0; i < meta->mNumProperties; ++i)
        {
            if (std::string(meta->mKeys[i].C_Str()) != key || meta->mValues[i].mData == nullptr)
                continue;
            const aiMetadataEntry& entry = meta->mValues[i];
            switch (entry.mType)
            {
            case AI_INT32:
                value = *static_cast<const int32_t*>(entry.mData);
                return true;
            case AI_UINT64:
                value = static_cast<int>(*static_cast<const uint64_t*>(entry.mData) & 0xff);
                return true;
            case AI_FLOAT:
                value = static_cast<int>(std::lround(*static_cast<const float*>(entry.mData)));
                return true;
            case AI_DOUBLE:
                value = static_cast<int>(std::lround(*static_cast<const double*>(entry.mData)));
                return true;
            default:
                return false;
            }
        }
        return false;
    };
    if (!read("UpAxis", axis) || axis < 0 || axis > 2)
        return false;
    sign = 1;
    if (read("UpAxisSign", sign) && sign < 0)
        sign = -1;
    else
        sign = 1;
    return true;
}

// The rotation that takes the up axis (axis, sign) to +Y by the shortest turn.
Mat3 UpRotation(int axis, int sign)
{
    Mat3 r; // +Y: nothing to turn
    auto set = [&r](std::array<double, 9> v)
    {
        for (int i = 0; i < 9; ++i)
            r.m[i / 3][i % 3] = v[static_cast<size_t>(i)];
    };
    if (axis == 2 && sign > 0)
        set({1, 0, 0, 0, 0, 1, 0, -1, 0}); // (x, y, z) -> (x, z, -y)
    else if (axis == 2)
        set({1, 0, 0, 0, 0, -1, 0, 1, 0}); // (x, y, z) -> (x, -z, y)
    else if (axis == 1 && sign < 0)
        set({1, 0, 0, 0, -1, 0, 0, 0, -1}); // half a turn about x
    else if (axis == 0 && sign > 0)
        set({0, -1, 0, 1, 0, 0, 0, 0, 1}); // (x, y, z) -> (-y, x, z)
    else if (axis == 0)
        set({0, 1, 0, -1, 0, 0, 0, 0, 1}); // (x, y, z) -> (y, -x, z)
    return r;
}

// The scene's nodes in preorder, each with its parent and rest transform.
// A node met twice (a malformed graph) is not followed again.
std::vector<NodeInfo> CollectNodes(const aiNode* root)
{
    std::vector<NodeInfo> nodes;
    std::unordered_map<const aiNode*, bool> seen;
    std::vector<std::pair<const aiNode*, int32_t>> stack{{root, -1}};
    while (!stack.empty())
    {
        auto [node, parent] = stack.back();
        stack.pop_back();
        if (node == nullptr || seen[node])
            continue;
        seen[node] = true;
        NodeInfo info;
        info.node = node;
        info.parent = parent;
        Affine local = AffineFromAssimp(node->mTransformation);
        info.rest_global =
            parent >= 0 ? Multiply(nodes[static_cast<size_t>(parent)].rest_global, local) : local;
        int32_t index = static_cast<int32_t>(nodes.size());
        nodes.push_back(info);
        for (unsigned c = node->mNumChildren; c > 0; --c)
            stack.emplace_back(node->mChildren[c - 1], index);
    }
    return nodes;
}

double Scale1(const Affine& a)
{
    double largest = 1.0;
    for (const auto& row : a.m)
        for (double v : row)
            largest = std::fmax(largest, std::fabs(v));
    return largest;
}

bool SameBind(const Affine& a, const Affine& b)
{
    return MaxDifference(a, b) <= 1e-5 * std::fmax(Scale1(a), Scale1(b));
}

bool IsTriangle(const aiFace& face)
{
    return face.mNumIndices == 3 && face.mIndices != nullptr;
}

float Finite(double value, size_t& replaced)
{
    float f = static_cast<float>(value);
    if (std::isfinite(f))
        return f;
    ++replaced;
    return 0.0f;
}

// Everything one import works on.
class SceneImporter
{
  public:
    SceneImporter(const aiScene& scene, const std::string& source_name,
                  const ImportOptions& options, ModelHandle model, std::vector<std::string>& notes)
        : scene_(scene), source_(source_name), options_(options), model_(model), notes_(notes)
    {
    }

    bool Run(std::string& error, ImportSummary& summary);

  private:
    void ChooseAxes(ImportSummary& summary);
    void FindInstances();
    void FindBones();
    int32_t FindBind(int32_t node, const Affine& bind) const;
    bool HasUnskinnedVertices(const MeshInstance& instance) const;
    void AddHostBones(ImportSummary& summary);
    void AddHostMeshes(ImportSummary& summary);
    void AddMeshChunk(const MeshInstance& instance, const std::vector<uint32_t>& vertices,
                      const std::vector<std::array<uint32_t, 3>>& triangles,
                      const std::vector<int32_t>& bone_of_vertex, bool reverse,
                      ImportSummary& summary);
    bool LayOutSequences(std::string& error, ImportSummary& summary);
    void SampleAnimations(const ImportSummary& summary);
    void FindTexture(ImportSummary& summary);
    void NoteDroppedContent();
    int32_t NodeByName(const std::string& name) const;
    Affine ModelGlobal(const Affine& source_global) const
    {
        return Multiply(up_, source_global);
    }
    void Note(const std::string& text)
    {
        notes_.push_back(text);
    }

    const aiScene& scene_;
    std::string source_;
    ImportOptions options_;
    ModelHandle model_;
    std::vector<std::string>& notes_;

    Affine up_;
    std::vector<NodeInfo> nodes_;
    std::unordered_map<std::string, int32_t> node_by_name_; // the first in preorder
    std::vector<MeshInstance> instances_;
    std::vector<bool> is_bone_node_;
    std::vector<std::vector<int32_t>> records_of_node_;
    std::vector<BoneRecord> records_;
    std::vector<BoneHandle> host_bones_;
    double model_size_ = 0.0;
    size_t replaced_values_ = 0;
};

int32_t SceneImporter::NodeByName(const std::string& name) const
{
    auto found = node_by_name_.find(name);
    return found == node_by_name_.end() ? -1 : found->second;
}

void SceneImporter::ChooseAxes(ImportSummary& summary)
{
    int axis = 1;
    int sign = 1;
    if (options_.up == UpAxisChoice::kZ)
        axis = 2;
    else if (options_.up == UpAxisChoice::kFromFile && !RecordedUpAxis(scene_, axis, sign))
        axis = 1;
    Mat3 r = UpRotation(axis, sign);
    up_ = FromLinear(r);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            summary.up_rotation[i][j] = r.m[i][j];
    if (axis != 1 || sign != 1)
        Note(std::string("the up axis is ") + (sign < 0 ? "-" : "+") + "xyz"[axis] +
             ": turned so that it is +y");
}

void SceneImporter::FindInstances()
{
    std::vector<bool> placed(scene_.mNumMeshes, false);
    for (size_t n = 0; n < nodes_.size(); ++n)
    {
        const aiNode* node = nodes_[n].node;
        for (unsigned i = 0; i < node->mNumMeshes; ++i)
        {
            unsigned mesh = node->mMeshes[i];
            if (mesh >= scene_.mNumMeshes || scene_.mMeshes[mesh] == nullptr)
                continue;
            placed[mesh] = true;
            instances_.push_back(MeshInstance{static_cast<int32_t>(n), mesh});
        }
    }
    for (unsigned m = 0; m < scene_.mNumMeshes; ++m)
        if (!placed[m] && scene_.mMeshes[m] != nullptr)
            Note("mesh " + Quoted(NameOf(scene_.mMeshes[m]->mName)) +
                 " is placed by no node: skipped");
}

int32_t SceneImporter::FindBind(int32_t node, const Affine& bind) const
{
    for (int32_t r : records_of_node_[static_cast<size_t>(node)])
        if (SameBind(records_[static_cast<size_t>(r)].bind, bind))
            return r;
    return -1;
}

bool SceneImporter::HasUnskinnedVertices(const MeshInstance& instance) const
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    std::vector<bool> weighted(mesh.mNumVertices, false);
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
    {
        const aiBone* bone = mesh.mBones[b];
        if (bone == nullptr || NodeByName(NameOf(bone->mName)) < 0)
            continue;
        for (unsigned w = 0; w < bone->mNumWeights; ++w)
            if (bone->mWeights[w].mVertexId < mesh.mNumVertices && bone->mWeights[w].mWeight > 0.0f)
                weighted[bone->mWeights[w].mVertexId] = true;
    }
    return std::find(weighted.begin(), weighted.end(), false) != weighted.end();
}

void SceneImporter::FindBones()
{
    // Per node, the binds that skinning asks of it, in the order met.
    std::vector<std::vector<Affine>> binds(nodes_.size());
    std::vector<bool> wanted(nodes_.size(), false);
    std::vector<bool> wants_rest(nodes_.size(), false);
    auto add_bind = [&](int32_t node, const Affine& bind)
    {
        auto& list = binds[static_cast<size_t>(node)];
        for (const Affine& known : list)
            if (SameBind(known, bind))
                return;
        list.push_back(bind);
    };

    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        Affine mesh_global = ModelGlobal(nodes_[static_cast<size_t>(instance.node)].rest_global);
        for (unsigned b = 0; b < mesh.mNumBones; ++b)
        {
            const aiBone* bone = mesh.mBones[b];
            if (bone == nullptr)
                continue;
            bool skins = false;
            for (unsigned w = 0; w < bone->mNumWeights && !skins; ++w)
                skins = bone->mWeights[w].mVertexId < mesh.mNumVertices &&
                        bone->mWeights[w].mWeight > 0.0f;
            if (!skins)
                continue;
            int32_t node = NodeByName(NameOf(bone->mName));
            if (node < 0)
            {
                Note("bone " + Quoted(NameOf(bone->mName)) + " of mesh " +
                     Quoted(NameOf(mesh.mName)) +
                     " names no node: its vertices follow the mesh's node");
                continue;
            }
            Affine offset_inverse;
            if (!Invert(AffineFromAssimp(bone->mOffsetMatrix), offset_inverse))
            {
                Note("bone " + Quoted(NameOf(bone->mName)) + " of mesh " +
                     Quoted(NameOf(mesh.mName)) + " has a singular bind matrix: taken as its node");
                add_bind(node, ModelGlobal(nodes_[static_cast<size_t>(node)].rest_global));
            }
            else
                add_bind(node, Multiply(mesh_global, offset_inverse));
            wanted[static_cast<size_t>(node)] = true;
        }
    }
    for (unsigned a = 0; a < scene_.mNumAnimations; ++a)
    {
        const aiAnimation* animation = scene_.mAnimations[a];
        for (unsigned c = 0; animation != nullptr && c < animation->mNumChannels; ++c)
        {
            const aiNodeAnim* channel = animation->mChannels[c];
            if (channel == nullptr)
                continue;
            int32_t node = NodeByName(NameOf(channel->mNodeName));
            if (node < 0)
                Note("animation " + Quoted(NameOf(animation->mName)) + " moves node " +
                     Quoted(NameOf(channel->mNodeName)) + ", which the scene lacks: ignored");
            else
                wanted[static_cast<size_t>(node)] = true;
        }
    }
    bool any_bone = std::find(wanted.begin(), wanted.end(), true) != wanted.end();
    if (any_bone)
    {
        for (const MeshInstance& instance : instances_)
        {
            if (HasUnskinnedVertices(instance))
            {
                wanted[static_cast<size_t>(instance.node)] = true;
                wants_rest[static_cast<size_t>(instance.node)] = true;
            }
        }
    }

    // Ancestors below the root; preorder puts every parent before its child.
    is_bone_node_.assign(nodes_.size(), false);
    for (size_t n = nodes_.size(); n > 0; --n)
    {
        size_t node = n - 1;
        if (!wanted[node] && !is_bone_node_[node])
            continue;
        is_bone_node_[node] = true;
        for (int32_t p = nodes_[node].parent; p > 0 && !is_bone_node_[static_cast<size_t>(p)];
             p = nodes_[static_cast<size_t>(p)].parent)
            is_bone_node_[static_cast<size_t>(p)] = true;
    }

    records_of_node_.assign(nodes_.size(), {});
    for (size_t n = 0; n < nodes_.size(); ++n)
    {
        if (!is_bone_node_[n])
            continue;
        std::vector<Affine> list = binds[n];
        Affine rest = ModelGlobal(nodes_[n].rest_global);
        if (list.empty() || wants_rest[n])
        {
            bool known = false;
            for (const Affine& bind : list)
                known = known || SameBind(bind, rest);
            if (!known)
                list.push_back(rest);
        }
        int32_t parent = -1;
        for (int32_t p = nodes_[n].parent; p >= 0 && parent < 0;
             p = nodes_[static_cast<size_t>(p)].parent)
            if (is_bone_node_[static_cast<size_t>(p)])
                parent = records_of_node_[static_cast<size_t>(p)].front();
        for (const Affine& bind : list)
        {
            BoneRecord record;
            record.node = static_cast<int32_t>(n);
            record.bind = bind;
            record.parent = parent;
            if (!Invert(bind, record.inverse_bind))
            {
                // Only a node's own singular transform gets here; its
                // vertices have collapsed anyway, so only its place is kept.
                record.inverse_bind = FromTranslation(Scale(Translation(bind), -1.0));
            }
            records_of_node_[n].push_back(static_cast<int32_t>(records_.size()));
            records_.push_back(record);
        }
        if (list.size() > 1)
            Note("node " + Quoted(NameOf(nodes_[n].node->mName)) + " is bound " +
                 std::to_string(list.size()) + " ways: one bone for each");
    }
}

void SceneImporter::AddHostBones(ImportSummary& summary)
{
    if (records_.empty())
    {
        host_bones_.push_back(StandIn_AddBone(model_, "Root", "", 0.0f, 0.0f, 0.0f));
        summary.bones.push_back(ImportSummary::BoneOrigin{});
        return;
    }
    std::vector<std::string> wanted;
    for (const BoneRecord& record : records_)
        wanted.push_back(NameOf(nodes_[static_cast<size_t>(record.node)].node->mName));
    std::vector<std::string> names = UniqueHostNames(wanted, "Bone");
    for (size_t r = 0; r < records_.size(); ++r)
    {
        std::string cleaned = CutName(CleanName(wanted[r]), 31);
        if (!wanted[r].empty() && names[r] != wanted[r] && cleaned == wanted[r])
            Note("bone " + Quoted(wanted[r]) + " is named " + Quoted(names[r]) +
                 ": another bone has its name");
        else if (!wanted[r].empty() && names[r] != wanted[r])
            Note("bone " + Quoted(wanted[r]) + " is named " + Quoted(names[r]) +
                 " (31 bytes at most, no quotes or control characters, unique)");
    }

    for (size_t r = 0; r < records_.size(); ++r)
    {
        const BoneRecord& record = records_[r];
        Vec3d pivot = Translation(record.bind);
        Vec3d offset = pivot;
        std::string parent_name;
        if (record.parent >= 0)
        {
            offset =
                Subtract(pivot, Translation(records_[static_cast<size_t>(record.parent)].bind));
            parent_name = names[static_cast<size_t>(record.parent)];
        }
        host_bones_.push_back(StandIn_AddBone(
            model_, names[r].c_str(), parent_name.c_str(), Finite(offset.x, replaced_values_),
            Finite(offset.y, replaced_values_), Finite(offset.z, replaced_values_)));
        ImportSummary::BoneOrigin origin;
        origin.node = record.node;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                origin.bind[i][j] = record.bind.m[i][j];
        summary.bones.push_back(origin);
    }
}

void SceneImporter::AddHostMeshes(ImportSummary& summary)
{
    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        std::string mesh_name = Quoted(NameOf(mesh.mName));
        std::vector<std::array<uint32_t, 3>> triangles;
        size_t other_faces = 0;
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
        {
            const aiFace& face = mesh.mFaces[f];
            if (!IsTriangle(face))
            {
                ++other_faces;
                continue;
            }
            std::array<uint32_t, 3> corners{face.mIndices[0], face.mIndices[1], face.mIndices[2]};
            if (corners[0] >= mesh.mNumVertices || corners[1] >= mesh.mNumVertices ||
                corners[2] >= mesh.mNumVertices)
            {
                ++other_faces;
                continue;
            }
            triangles.push_back(corners);
        }
        if (triangles.empty())
        {
            Note("mesh " + mesh_name + " has no triangles (" +
                 ((mesh.mPrimitiveTypes & aiPrimitiveType_POINT) != 0  ? "points"
                  : (mesh.mPrimitiveTypes & aiPrimitiveType_LINE) != 0 ? "lines"
                                                                       : "nothing") +
                 "): skipped");
            continue;
        }
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

        // Each vertex's bone: the heaviest weight, ties to the lower host index.
        std::vector<int32_t> bone_of_vertex(mesh.mNumVertices, -1);
        std::vector<float> best(mesh.mNumVertices, 0.0f);
        std::vector<uint8_t> weights_seen(mesh.mNumVertices, 0);
        Affine mesh_global = ModelGlobal(nodes_[static_cast<size_t>(instance.node)].rest_global);
        for (unsigned b = 0; b < mesh.mNumBones; ++b)
        {
            const aiBone* bone = mesh.mBones[b];
            if (bone == nullptr)
                continue;
            int32_t node = NodeByName(NameOf(bone->mName));
            if (node < 0)
                continue;
            Affine offset_inverse;
            Affine bind = Invert(AffineFromAssimp(bone->mOffsetMatrix), offset_inverse)
                              ? Multiply(mesh_global, offset_inverse)
                              : ModelGlobal(nodes_[static_cast<size_t>(node)].rest_global);
            int32_t record = FindBind(node, bind);
            if (record < 0)
                continue; // weighs nothing anywhere
            for (unsigned w = 0; w < bone->mNumWeights; ++w)
            {
                unsigned v = bone->mWeights[w].mVertexId;
                float weight = bone->mWeights[w].mWeight;
                if (v >= mesh.mNumVertices || !(weight > 0.0f))
                    continue;
                if (weights_seen[v] < 2)
                    ++weights_seen[v];
                if (weight > best[v] || (weight == best[v] && record < bone_of_vertex[v]))
                {
                    best[v] = weight;
                    bone_of_vertex[v] = record;
                }
            }
        }
        size_t shared =
            static_cast<size_t>(std::count(weights_seen.begin(), weights_seen.end(), 2));
        if (shared > 0)
            Note("mesh " + mesh_name + ": " + std::to_string(shared) +
                 " vertices had more than one bone weight; each follows its heaviest bone");
        // The mesh node's own bone (FindBones gave it one wherever a vertex
        // needs it), or the added "Root" when the scene has no bones.
        int32_t own_bone = 0;
        if (!records_.empty())
            own_bone = std::max(0, FindBind(instance.node, mesh_global));
        for (int32_t& bone : bone_of_vertex)
            if (bone < 0)
                bone = own_bone;

        bool reverse = Determinant(LinearPart(mesh_global)) < 0.0;
        if (mesh.mNumVertices <= kMaxHostVertices)
        {
            std::vector<uint32_t> all(mesh.mNumVertices);
            for (uint32_t v = 0; v < mesh.mNumVertices; ++v)
                all[v] = v;
            AddMeshChunk(instance, all, triangles, bone_of_vertex, reverse, summary);
            continue;
        }

        // Too many vertices for 16-bit corners: host meshes of whole
        // triangles, each with at most 65,536 vertices.
        std::vector<int32_t> local(mesh.mNumVertices, -1);
        std::vector<uint32_t> vertices;
        std::vector<std::array<uint32_t, 3>> chunk;
        size_t chunks = 0;
        auto flush = [&]()
        {
            AddMeshChunk(instance, vertices, chunk, bone_of_vertex, reverse, summary);
            for (uint32_t v : vertices)
                local[v] = -1;
            vertices.clear();
            chunk.clear();
            ++chunks;
        };
        for (const auto& corners : triangles)
        {
            size_t fresh = 0;
            for (size_t k = 0; k < 3; ++k)
            {
                bool repeated =
                    (k > 0 && corners[k] == corners[0]) || (k > 1 && corners[k] == corners[1]);
                if (local[corners[k]] < 0 && !repeated)
                    ++fresh;
            }
            if (vertices.size() + fresh > kMaxHostVertices)
                flush();
            std::array<uint32_t, 3> mapped{};
            for (size_t k = 0; k < 3; ++k)
            {
                if (local[corners[k]] < 0)
                {
                    local[corners[k]] = static_cast<int32_t>(vertices.size());
                    vertices.push_back(corners[k]);
                }
                mapped[k] = static_cast<uint32_t>(local[corners[k]]);
            }
            chunk.push_back(mapped);
        }
        if (!chunk.empty())
            flush();
        Note("mesh " + mesh_name + " has " + std::to_string(mesh.mNumVertices) +
             " vertices: split into " + std::to_string(chunks) + " host meshes");
    }
}

// `triangles` index `vertices`, which index the source mesh.
void SceneImporter::AddMeshChunk(const MeshInstance& instance,
                                 const std::vector<uint32_t>& vertices,
                                 const std::vector<std::array<uint32_t, 3>>& triangles,
                                 const std::vector<int32_t>& bone_of_vertex, bool reverse,
                                 ImportSummary& summary)
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    std::string name = NameOf(mesh.mName);
    MeshHandle host = StandIn_AddMesh(model_, name.c_str());
    StandIn_ReserveMesh(host, static_cast<int32_t>(vertices.size()),
                        static_cast<int32_t>(triangles.size()));
    Affine global = ModelGlobal(nodes_[static_cast<size_t>(instance.node)].rest_global);
    const aiVector3D* uvs = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0] : nullptr;
    for (uint32_t v : vertices)
    {
        const aiVector3D& source = mesh.mVertices[v];
        // Cleaned before the transform, which would spread a NaN to every axis.
        Vec3d p = Apply(global, Vec3d{Finite(source.x, replaced_values_),
                                      Finite(source.y, replaced_values_),
                                      Finite(source.z, replaced_values_)});
        float u = 0.0f;
        float t = 0.0f;
        if (uvs != nullptr)
        {
            u = Finite(uvs[v].x, replaced_values_);
            t = Finite(1.0 - static_cast<double>(uvs[v].y), replaced_values_);
        }
        StandIn_AddVertex(host, Finite(p.x, replaced_values_), Finite(p.y, replaced_values_),
                          Finite(p.z, replaced_values_), u, t, bone_of_vertex[v]);
    }
    for (const auto& corners : triangles)
    {
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
    origin.source_vertex = vertices;
    origin.reversed = reverse;
    summary.meshes.push_back(std::move(origin));
}

bool SceneImporter::LayOutSequences(std::string& error, ImportSummary& summary)
{
    std::vector<unsigned> animations; // those the scene holds, in order
    std::vector<double> seconds;
    for (unsigned a = 0; a < scene_.mNumAnimations; ++a)
    {
        const aiAnimation* animation = scene_.mAnimations[a];
        if (animation == nullptr)
            continue;
        animations.push_back(a);
        seconds.push_back(AnimationSeconds(animation->mDuration, LastKeyTime(*animation),
                                           TicksPerSecond(animation->mTicksPerSecond)));
    }
    std::vector<SequenceFrames> placed = PlaceSequences(seconds.data(), seconds.size());

    size_t samples = 0;
    for (size_t i = 0; i < animations.size(); ++i)
    {
        unsigned a = animations[i];
        const aiAnimation* animation = scene_.mAnimations[a];
        samples += MostSamples(seconds[i]);
        if (samples > kMaxSamples)
        {
            error = source_ + ": the animations last longer than the " +
                    std::to_string(kMaxSamples) + " frames the importer samples";
            return false;
        }
        if (samples * std::max<size_t>(records_.size(), 1) > kMaxSampledKeys)
        {
            error = source_ + ": " + std::to_string(records_.size()) + " bones over " +
                    std::to_string(samples) + " frames are more keys than the importer holds";
            return false;
        }
        if (animation->mNumMeshChannels > 0 || animation->mNumMorphMeshChannels > 0)
            Note("animation " + Quoted(NameOf(animation->mName)) +
                 ": vertex and morph animation dropped");

        ImportedSequence sequence;
        sequence.animation = static_cast<int32_t>(a);
        sequence.name = CleanName(NameOf(animation->mName));
        if (sequence.name.empty())
            sequence.name = "Animation " + std::to_string(a + 1);
        sequence.start_frame = static_cast<float>(placed[i].start);
        sequence.end_frame = static_cast<float>(placed[i].end);
        sequence.start_ms = FrameToMdlTime(sequence.start_frame);
        sequence.end_ms = FrameToMdlTime(sequence.end_frame);
        summary.sequences.push_back(sequence);
    }
    if (summary.sequences.empty())
    {
        ImportedSequence still;
        still.name = "Stand";
        still.end_frame = static_cast<float>(kFramesPerSecond);
        still.end_ms = FrameToMdlTime(still.end_frame);
        summary.sequences.push_back(still);
    }
    return true;
}

void SceneImporter::SampleAnimations(const ImportSummary& summary)
{
    if (records_.empty())
        return;
    std::vector<TrackBone> track_bones;
    for (size_t r = 0; r < records_.size(); ++r)
    {
        // The pivot as the export sums it: the bone's own float offset first,
        // then each ancestor's, in float.
        Vec3 sum{0.0f, 0.0f, 0.0f};
        msBone_GetPosition(host_bones_[r], &sum);
        for (int32_t p = records_[r].parent; p >= 0; p = records_[static_cast<size_t>(p)].parent)
        {
            Vec3 offset{0.0f, 0.0f, 0.0f};
            msBone_GetPosition(host_bones_[static_cast<size_t>(p)], &offset);
            sum.x = sum.x + offset.x;
            sum.y = sum.y + offset.y;
            sum.z = sum.z + offset.z;
        }
        track_bones.push_back(TrackBone{records_[r].parent, Vec3d{sum.x, sum.y, sum.z}});
    }
    TrackSettings settings;
    double size = model_size_ > 0.0 ? model_size_ : 1.0;
    settings.translation_tolerance = 1e-5 * size;
    settings.rotation_tolerance = 1e-5;
    settings.keep_all_keys = options_.keep_all_keys;
    TrackBuilder builder(std::move(track_bones), settings);

    std::vector<Affine> global(nodes_.size());
    std::vector<Affine> skinning(records_.size());
    std::vector<const aiNodeAnim*> channel_of_node(nodes_.size());
    for (size_t s = 0; s < summary.sequences.size(); ++s)
    {
        const ImportedSequence& sequence = summary.sequences[s];
        // The still sequence of a scene without animations holds its nodes'
        // own pose, which need not be the bind pose.
        const aiAnimation* animation =
            sequence.animation >= 0 ? scene_.mAnimations[static_cast<size_t>(sequence.animation)]
                                    : nullptr;
        std::fill(channel_of_node.begin(), channel_of_node.end(), nullptr);
        std::vector<SampleTime> times{SampleTime{0.0, sequence.start_frame}};
        if (animation != nullptr)
        {
            for (unsigned c = 0; c < animation->mNumChannels; ++c)
            {
                const aiNodeAnim* channel = animation->mChannels[c];
                int32_t node = channel != nullptr ? NodeByName(NameOf(channel->mNodeName)) : -1;
                if (node >= 0 && channel_of_node[static_cast<size_t>(node)] == nullptr)
                    channel_of_node[static_cast<size_t>(node)] = channel;
            }
            double ticks_per_second = TicksPerSecond(animation->mTicksPerSecond);
            times = SampleTimes(
                AnimationSeconds(animation->mDuration, LastKeyTime(*animation), ticks_per_second),
                ticks_per_second, sequence.start_frame, sequence.end_frame);
        }

        for (const auto& [ticks, frame] : times)
        {
            for (size_t n = 0; n < nodes_.size(); ++n)
            {
                const aiNode* node = nodes_[n].node;
                Affine local =
                    channel_of_node[n] != nullptr
                        ? ChannelTransformAt(*channel_of_node[n], ticks, node->mTransformation)
                        : AffineFromAssimp(node->mTransformation);
                int32_t parent = nodes_[n].parent;
                global[n] =
                    parent >= 0 ? Multiply(global[static_cast<size_t>(parent)], local) : local;
            }
            for (size_t r = 0; r < records_.size(); ++r)
                skinning[r] = Multiply(ModelGlobal(global[static_cast<size_t>(records_[r].node)]),
                                       records_[r].inverse_bind);
            builder.AddSample(static_cast<float>(frame), static_cast<int32_t>(s), skinning);
        }
    }

    std::vector<BoneKeys> keys = builder.Finish();
    std::string scaled;
    std::string broken;
    for (size_t r = 0; r < records_.size(); ++r)
    {
        char name[kNameBufferSize] = {};
        msBone_GetName(host_bones_[r], name, kNameBufferSize);
        if (keys[r].scaled)
            scaled += (scaled.empty() ? "" : ", ") + std::string(name);
        if (keys[r].non_finite)
            broken += (broken.empty() ? "" : ", ") + std::string(name);
        StandIn_ReserveKeys(host_bones_[r], static_cast<int32_t>(keys[r].translation.size()),
                            static_cast<int32_t>(keys[r].rotation.size()));
        for (const PositionKey& key : keys[r].translation)
            StandIn_AddPositionKey(host_bones_[r], key.time, key.position.x, key.position.y,
                                   key.position.z);
        for (const RotationKey& key : keys[r].rotation)
            StandIn_AddRotationKey(host_bones_[r], key.time, key.rotation.x, key.rotation.y,
                                   key.rotation.z);
    }
    if (!scaled.empty())
        Note("scale dropped from the animation of bones: " + scaled);
    if (!broken.empty())
        Note("poses that were not finite held at rest for bones: " + broken);
}

void SceneImporter::FindTexture(ImportSummary& summary)
{
    for (unsigned m = 0; m < scene_.mNumMaterials; ++m)
    {
        const aiMaterial* material = scene_.mMaterials[m];
        if (material == nullptr)
            continue;
        aiString path;
        if (material->GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS &&
            material->GetTexture(aiTextureType_BASE_COLOR, 0, &path) != AI_SUCCESS)
            continue;
        std::string file = NameOf(path);
        if (file.empty())
            continue;
        if (file[0] == '*' || scene_.GetEmbeddedTexture(file.c_str()) != nullptr)
        {
            Note("texture " + Quoted(file) +
                 " is inside the file: a plain white texture stands in");
            return;
        }
        summary.texture_path = CleanName(file);
        return;
    }
}

void SceneImporter::NoteDroppedContent()
{
    if (scene_.mNumCameras > 0)
        Note(std::to_string(scene_.mNumCameras) + " cameras dropped");
    if (scene_.mNumLights > 0)
        Note(std::to_string(scene_.mNumLights) + " lights dropped");
    std::vector<bool> used(scene_.mNumMaterials, false);
    for (const MeshInstance& instance : instances_)
        if (scene_.mMeshes[instance.mesh]->mMaterialIndex < scene_.mNumMaterials)
            used[scene_.mMeshes[instance.mesh]->mMaterialIndex] = true;
    size_t count = static_cast<size_t>(std::count(used.begin(), used.end(), true));
    if (count > 1)
        Note(std::to_string(count) + " materials: every mesh gets the one material");
}

bool SceneImporter::Run(std::string& error, ImportSummary& summary)
{
    if (scene_.mRootNode == nullptr)
    {
        error = source_ + ": the scene has no nodes";
        return false;
    }
    ChooseAxes(summary);
    nodes_ = CollectNodes(scene_.mRootNode);
    for (size_t n = 0; n < nodes_.size(); ++n)
        node_by_name_.emplace(NameOf(nodes_[n].node->mName), static_cast<int32_t>(n));
    FindInstances();

    bool any_triangle = false;
    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        for (unsigned f = 0; f < mesh.mNumFaces && !any_triangle; ++f)
            any_triangle = IsTriangle(mesh.mFaces[f]);
    }
    if (!any_triangle)
    {
        error = source_ + ": the scene has no triangles to export";
        return false;
    }

    FindBones();
    AddHostBones(summary);
    AddHostMeshes(summary);

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

    if (!LayOutSequences(error, summary))
        return false;
    SampleAnimations(summary);
    FindTexture(summary);
    NoteDroppedContent();
    if (replaced_values_ > 0)
        Note(std::to_string(replaced_values_) + " values that were not finite replaced by 0");
    return true;
}

} // namespace

bool IsSceneFileName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    Assimp::Importer importer;
    return importer.IsExtensionSupported(path.substr(dot));
}

const aiScene* ReadSceneFile(Assimp::Importer& importer, const std::string& path)
{
    // Pivots and offsets folded into one node each, where the FBX reader can,
    // rather than kept as helper nodes: fewer bones, and their own names.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    return importer.ReadFile(path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                       aiProcess_SortByPType | aiProcess_ValidateDataStructure);
}

bool ImportAssimpScene(const aiScene& scene, const std::string& source_name,
                       const ImportOptions& options, ModelHandle model, std::string& error,
                       std::vector<std::string>& notes, ImportSummary* summary)
{
    if (model == nullptr)
    {
        error = source_name + ": no model to fill";
        return false;
    }
    try
    {
        ImportSummary local;
        SceneImporter importer(scene, source_name, options, model, notes);
        bool done = importer.Run(error, summary != nullptr ? *summary : local);
        return done;
    }
    catch (const std::exception& failure)
    {
        error = source_name + ": " + failure.what();
    }
    catch (...)
    {
        error = source_name + ": the import failed";
    }
    return false;
}

bool ImportScene(const std::string& path, const ImportOptions& options, ModelHandle model,
                 std::string& error, std::vector<std::string>& notes, ImportSummary* summary)
{
    try
    {
        Assimp::Importer importer;
        const aiScene* scene = ReadSceneFile(importer, path);
        if (scene == nullptr)
        {
            std::string reason = importer.GetErrorString();
            error = "cannot read " + path + ": " + (reason.empty() ? "unknown error" : reason);
            return false;
        }
        return ImportAssimpScene(*scene, path, options, model, error, notes, summary);
    }
    catch (const std::exception& failure)
    {
        error = "cannot read " + path + ": " + failure.what();
    }
    catch (...)
    {
        error = "cannot read " + path;
    }
    return false;
}
