#include "whole_model.h"

#include "attachment_points.h"
#include "auto_heading.h"
#include "bone_choice.h"
#include "bone_tracks.h"
#include "material_choice.h"
#include "mdl_convert.h"
#include "model_extents.h"
#include "node_animation.h"
#include "scene_pose.h"
#include "skin_groups.h"
#include "vertex_normals.h"

#include <algorithm>
#include <assimp/scene.h>
#include <cctype>
#include <cmath>
#include <set>
#include <unordered_map>

namespace
{

constexpr size_t kNameLimit = 79;  // the format's node and sequence names
constexpr size_t kMaxGroups = 255; // a vertex group is a byte; 255 means none

// A position in the MDL's axis order: the host's z, x, y.
Vec3d MdlOrder(Vec3d v)
{
    return Vec3d{v.z, v.x, v.y};
}

mdlx::Vec3 ToFloats(Vec3d v)
{
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

mdlx::Extent ToExtent(const Box& box)
{
    mdlx::Extent extent;
    if (box.empty)
        return extent;
    extent.bounds_radius = static_cast<float>(box.BoundsRadius());
    extent.min = ToFloats(box.minimum);
    extent.max = ToFloats(box.maximum);
    return extent;
}

std::string Cut(std::string text, size_t limit)
{
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The textures to write and the names the model gives them: each a BLP named
// after its image, made unique.
std::vector<WholeModelTexture> ResolveTextures(const aiScene& scene, const std::string& scene_path,
                                               const std::string& model_name,
                                               const std::vector<TextureUse>& uses)
{
    std::vector<WholeModelTexture> textures;
    std::set<std::string> taken;
    for (size_t i = 0; i < uses.size(); ++i)
    {
        WholeModelTexture texture;
        std::string stem;
        const aiTexture* embedded =
            uses[i].source.empty() ? nullptr : scene.GetEmbeddedTexture(uses[i].source.c_str());
        if (uses[i].source.empty())
        {
            stem = "White";
            texture.bytes = WhiteImage();
        }
        else if (embedded)
        {
            std::string own(embedded->mFilename.data, embedded->mFilename.length);
            stem = own.empty() ? model_name + " Texture " + std::to_string(i) : BaseName(own);
            if (embedded->mHeight == 0) // compressed bytes, as in the file
                texture.bytes.assign(reinterpret_cast<const uint8_t*>(embedded->pcData),
                                     reinterpret_cast<const uint8_t*>(embedded->pcData) +
                                         embedded->mWidth);
            else
                texture.bytes = WhiteImage(); // raw texels: not an image file
        }
        else
        {
            std::string source = uses[i].source;
            std::replace(source.begin(), source.end(), '\\', '/');
            texture.source =
                !source.empty() && source[0] == '/' ? source : FolderOf(scene_path) + source;
            stem = BaseName(source);
            std::string extension = source.size() >= 4 ? source.substr(source.size() - 4) : "";
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            texture.copy = extension == ".blp";
        }
        if (stem.empty())
            stem = "Texture";
        std::string name = stem + ".blp";
        for (int n = 2; taken.count(name); ++n)
            name = stem + " " + std::to_string(n) + ".blp";
        taken.insert(name);
        texture.file_name = name;
        textures.push_back(std::move(texture));
    }
    return textures;
}

// The materials that the model's meshes use, in the source's order, and
// their textures; `material_of` gets each source material's index in the
// model (those of materials no mesh uses stay 0).
void AddMaterials(const aiScene& scene, const std::string& scene_path, const std::string& name,
                  const ImportSummary& summary, mdlx::Model& model,
                  std::vector<WholeModelTexture>& textures, std::vector<uint32_t>& material_of)
{
    std::vector<bool> used(scene.mNumMaterials, false);
    for (const ImportSummary::MeshOrigin& origin : summary.meshes)
    {
        unsigned index = scene.mMeshes[origin.source_mesh]->mMaterialIndex;
        if (index < used.size())
            used[index] = true;
    }
    std::vector<SourceMaterial> materials;
    material_of.assign(scene.mNumMaterials, 0);
    for (unsigned m = 0; m < scene.mNumMaterials; ++m)
        if (used[m])
        {
            material_of[m] = static_cast<uint32_t>(materials.size());
            materials.push_back(ReadSourceMaterial(*scene.mMaterials[m]));
        }
    if (materials.empty())
        materials.emplace_back();
    std::vector<uint32_t> texture_of;
    std::vector<TextureUse> uses = ShareTextures(materials, texture_of);
    textures = ResolveTextures(scene, scene_path, name, uses);
    for (size_t t = 0; t < uses.size(); ++t)
    {
        mdlx::Texture texture;
        texture.path = textures[t].file_name;
        texture.wrap_flags =
            (uses[t].wrap_u ? mdlx::kWrapWidth : 0u) | (uses[t].wrap_v ? mdlx::kWrapHeight : 0u);
        model.textures.push_back(texture);
    }
    for (size_t m = 0; m < materials.size(); ++m)
    {
        mdlx::Layer layer;
        layer.filter_mode =
            materials[m].alpha == AlphaMode::kCutout        ? mdlx::FilterMode::kTransparent
            : materials[m].alpha == AlphaMode::kTranslucent ? mdlx::FilterMode::kBlend
                                                            : mdlx::FilterMode::kNone;
        layer.flags = materials[m].two_sided ? mdlx::kLayerTwoSided : 0u;
        layer.texture_id = static_cast<int32_t>(texture_of[m]);
        mdlx::Material material;
        material.layers.push_back(layer);
        model.materials.push_back(material);
    }
}

// What first holds a value that is not a finite float (a scene so large
// that its numbers or its normals overflow 32 bits), or empty.
std::string FirstNonFinite(const mdlx::Model& model)
{
    auto finite = [](const float* values, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            if (!std::isfinite(values[i]))
                return false;
        return true;
    };
    auto extent_finite = [&](const mdlx::Extent& e) {
        return std::isfinite(e.bounds_radius) && finite(e.min.data(), 3) && finite(e.max.data(), 3);
    };
    if (!extent_finite(model.extent))
        return "the model's extent";
    for (const mdlx::Sequence& sequence : model.sequences)
        if (!extent_finite(sequence.extent))
            return "sequence " + sequence.name;
    for (size_t g = 0; g < model.geosets.size(); ++g)
    {
        const mdlx::Geoset& geoset = model.geosets[g];
        bool ok = finite(geoset.vertices.data(), geoset.vertices.size()) &&
                  finite(geoset.normals.data(), geoset.normals.size()) &&
                  extent_finite(geoset.extent);
        for (const std::vector<float>& uvs : geoset.uv_sets)
            ok = ok && finite(uvs.data(), uvs.size());
        for (const mdlx::Extent& e : geoset.sequence_extents)
            ok = ok && extent_finite(e);
        if (!ok)
            return "geoset " + std::to_string(g);
    }
    for (const mdlx::Vec3& pivot : model.pivot_points)
        if (!finite(pivot.data(), 3))
            return "the pivot points";
    for (const mdlx::Bone& bone : model.bones)
        for (const mdlx::Track& track : bone.node.tracks)
            if (!finite(track.values.data(), track.values.size()))
                return "bone " + bone.node.name;
    for (const mdlx::Attachment& attachment : model.attachments)
        for (const mdlx::Track& track : attachment.node.tracks)
            if (!finite(track.values.data(), track.values.size()))
                return "attachment " + attachment.node.name;
    return std::string();
}

// Source space to model space, as the import placed the scene.
Affine ToModel(const ImportSummary& summary)
{
    Affine to_model;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            to_model.m[i][j] = summary.to_model[i][j];
    return to_model;
}

// The sampled skinning of every bone at every frame, and what the model's
// own bones make of it.
struct Sampling
{
    std::vector<Affine> transforms; // frame after frame, one per bone
    std::vector<size_t> sequence;   // per frame
    std::vector<BoneKeys> keys;     // per bone
    std::vector<Vec3d> pivots;      // per bone, host axes
    std::vector<int32_t> parents;   // per bone
};

Sampling SampleBones(const aiScene& scene, const ImportSummary& summary, ModelHandle host,
                     const ImportOptions& options)
{
    Sampling sampling;
    const size_t count = static_cast<size_t>(msModel_GetBoneCount(host));
    std::unordered_map<std::string, int32_t> by_name;
    std::vector<BoneHandle> handles(count);
    for (size_t b = 0; b < count; ++b)
    {
        handles[b] = msModel_GetBoneAt(host, static_cast<int32_t>(b));
        char name[kNameBufferSize] = {};
        msBone_GetName(handles[b], name, kNameBufferSize);
        by_name.emplace(name, static_cast<int32_t>(b));
    }
    for (size_t b = 0; b < count; ++b)
    {
        char parent[kNameBufferSize] = {};
        msBone_GetParentName(handles[b], parent, kNameBufferSize);
        auto found = by_name.find(parent);
        sampling.parents.push_back(
            found == by_name.end() || found->second >= int32_t(b) ? -1 : found->second);
        // The pivot as the export sums it: the bone's own float offset first.
        Vec3 sum{0.0f, 0.0f, 0.0f};
        msBone_GetPosition(handles[b], &sum);
        for (int32_t p = sampling.parents[b]; p >= 0; p = sampling.parents[size_t(p)])
        {
            Vec3 offset{0.0f, 0.0f, 0.0f};
            msBone_GetPosition(handles[size_t(p)], &offset);
            sum.x = sum.x + offset.x;
            sum.y = sum.y + offset.y;
            sum.z = sum.z + offset.z;
        }
        sampling.pivots.push_back(Vec3d{sum.x, sum.y, sum.z});
    }
    sampling.keys.resize(count);
    // A scene without bones has the one added bone, which never moves.
    if (count == 0 || summary.bones.size() != count || summary.bones[0].node < 0)
        return sampling;

    std::vector<BoneRecord> records(count);
    std::vector<TrackBone> track_bones;
    for (size_t b = 0; b < count; ++b)
    {
        BoneRecord& record = records[b];
        record.node = summary.bones[b].node;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                record.bind.m[i][j] = summary.bones[b].bind[i][j];
        if (!Invert(record.bind, record.inverse_bind))
            record.inverse_bind = FromTranslation(Scale(Translation(record.bind), -1.0));
        record.parent = sampling.parents[b];
        track_bones.push_back(TrackBone{record.parent, sampling.pivots[b]});
    }
    const Affine up = ToModel(summary);
    double size = 0.0;
    for (int i = 0; i < 3; ++i)
        size = std::max(size, summary.maximum[i] - summary.minimum[i]);
    TrackSettings settings;
    settings.translation_tolerance = 1e-5 * (size > 0.0 ? size : 1.0);
    settings.keep_all_keys = options.keep_all_keys;
    TrackBuilder builder(std::move(track_bones), settings);
    SceneNodes nodes = CollectNodes(scene.mRootNode);
    SamplePoses(scene, nodes, up, records, summary.sequences,
                [&](float frame, int32_t sequence, const std::vector<Affine>& skinning)
                {
                    builder.AddSample(frame, sequence, skinning);
                    sampling.transforms.insert(sampling.transforms.end(), skinning.begin(),
                                               skinning.end());
                    sampling.sequence.push_back(static_cast<size_t>(sequence));
                });
    sampling.keys = builder.Finish();
    return sampling;
}

void AddBones(const ImportSummary& summary, ModelHandle host, const Sampling& sampling,
              mdlx::Model& model)
{
    for (size_t b = 0; b < sampling.pivots.size(); ++b)
    {
        mdlx::Bone bone;
        char name[kNameBufferSize] = {};
        msBone_GetName(msModel_GetBoneAt(host, static_cast<int32_t>(b)), name, kNameBufferSize);
        bone.node.name = Cut(name, kNameLimit);
        bone.node.object_id = static_cast<int32_t>(b);
        bone.node.parent_id = sampling.parents[b];
        const BoneKeys& keys = sampling.keys[b];
        if (!keys.translation.empty())
        {
            mdlx::Track track;
            track.tag = mdlx::Tag("KGTR");
            track.interpolation = mdlx::Interpolation::kLinear;
            for (const PositionKey& key : keys.translation)
            {
                track.frames.push_back(FrameToMdlTime(key.time));
                mdlx::Vec3 v = ToFloats(MdlOrder({key.position.x, key.position.y, key.position.z}));
                track.values.insert(track.values.end(), v.begin(), v.end());
            }
            bone.node.tracks.push_back(std::move(track));
        }
        if (!keys.rotation.empty())
        {
            mdlx::Track track;
            track.tag = mdlx::Tag("KGRT");
            track.interpolation = mdlx::Interpolation::kLinear;
            for (size_t k = 0; k < keys.rotation.size(); ++k)
            {
                track.frames.push_back(FrameToMdlTime(keys.rotation[k].time));
                const Quatd& q = keys.quaternions[k];
                for (double part : {q.z, q.x, q.y, q.w})
                    track.values.push_back(static_cast<float>(part));
            }
            bone.node.tracks.push_back(std::move(track));
        }
        model.bones.push_back(std::move(bone));
        model.pivot_points.push_back(ToFloats(MdlOrder(sampling.pivots[b])));
    }
    (void)summary;
}

void AddAttachments(const aiScene& scene, const ImportSummary& summary, mdlx::Model& model)
{
    SceneNodes nodes = CollectNodes(scene.mRootNode);
    std::vector<AttachmentNode> list(nodes.nodes.size());
    for (size_t i = 0; i < nodes.nodes.size(); ++i)
    {
        list[i].name = NameOf(nodes.nodes[i].node->mName);
        list[i].parent = nodes.nodes[i].parent;
    }
    for (size_t b = summary.bones.size(); b-- > 0;) // the first bone of each node
        if (summary.bones[b].node >= 0 && size_t(summary.bones[b].node) < list.size())
            list[size_t(summary.bones[b].node)].bone = static_cast<int32_t>(b);
    const Affine up = ToModel(summary);
    std::vector<AttachmentPoint> points = FindAttachmentPoints(list);
    for (size_t a = 0; a < points.size(); ++a)
    {
        mdlx::Attachment attachment;
        attachment.node.name = Cut(points[a].name, kNameLimit);
        attachment.node.object_id = static_cast<int32_t>(model.pivot_points.size());
        attachment.node.parent_id = points[a].parent_bone;
        attachment.attachment_id = static_cast<int32_t>(a);
        Vec3d at;
        if (points[a].node >= 0)
            at = Translation(Multiply(up, nodes.nodes[size_t(points[a].node)].rest_global));
        model.pivot_points.push_back(ToFloats(MdlOrder(at)));
        model.attachments.push_back(std::move(attachment));
    }
}

} // namespace

std::vector<uint8_t> WhiteImage()
{
    // A 2 x 2, 24-bit BMP of white pixels: rows of 6 bytes padded to 8.
    std::vector<uint8_t> bmp = {'B', 'M'};
    auto word = [&bmp](uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            bmp.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    word(70, 4); // the file's size
    word(0, 4);
    word(54, 4); // where the pixels start
    word(40, 4); // the information header's size
    word(2, 4);  // width
    word(2, 4);  // height
    word(1, 2);  // planes
    word(24, 2); // bits per pixel
    word(0, 4);  // no compression
    word(16, 4); // the pixels' size
    for (int i = 0; i < 4; ++i)
        word(0, 4);
    for (int row = 0; row < 2; ++row)
    {
        bmp.insert(bmp.end(), 6, 255);
        bmp.insert(bmp.end(), 2, 0);
    }
    return bmp;
}

bool BuildWholeModel(const aiScene& scene, const std::string& scene_path,
                     const ImportSummary& summary, ModelHandle host, const ImportOptions& options,
                     const std::string& name, mdlx::Model& model,
                     std::vector<WholeModelTexture>& textures, std::vector<std::string>& notes,
                     std::string& error, SkinFigures* figures)
{
    model = mdlx::Model();
    model.name = Cut(name, kNameLimit);
    model.blend_time = 150;
    std::vector<uint32_t> material_of;
    AddMaterials(scene, scene_path, name, summary, model, textures, material_of);
    Sampling sampling = SampleBones(scene, summary, host, options);
    AddBones(summary, host, sampling, model);
    AddAttachments(scene, summary, model);

    const std::vector<ImportedSequence> sequences = WithStandAndDeath(summary.sequences);
    const size_t bone_count = sampling.pivots.size();
    const size_t frame_count = bone_count ? sampling.transforms.size() / bone_count : 0;
    const SkinFrames frames{sampling.transforms.data(), frame_count, bone_count};
    const size_t mesh_count = static_cast<size_t>(msModel_GetMeshCount(host));
    // Each geoset's vertices at rest and their groups, for the extents.
    struct Piece
    {
        std::vector<Vec3d> rest;
        std::vector<std::vector<int32_t>> bones;
    };
    std::vector<Piece> pieces;
    SkinFigures skin;
    size_t unbound_weights = 0;
    // A skin bone's host bone: the first bone of the node it names.
    const SceneNodes nodes = CollectNodes(scene.mRootNode);
    const Affine to_model = ToModel(summary);
    std::unordered_map<std::string, int32_t> bone_of_name;
    for (size_t h = 0; h < summary.bones.size(); ++h)
        if (summary.bones[h].node >= 0 && size_t(summary.bones[h].node) < nodes.nodes.size())
            bone_of_name.emplace(NameOf(nodes.nodes[size_t(summary.bones[h].node)].node->mName),
                                 static_cast<int32_t>(h));
    auto model_rest = [&](int32_t node)
    { return Multiply(to_model, nodes.nodes[static_cast<size_t>(node)].rest_global); };

    for (size_t g = 0; g < mesh_count && g < summary.meshes.size(); ++g)
    {
        MeshHandle mesh = msModel_GetMeshAt(host, static_cast<int32_t>(g));
        const ImportSummary::MeshOrigin& origin = summary.meshes[g];
        const aiMesh& source = *scene.mMeshes[origin.source_mesh];
        const int32_t vertex_count = msMesh_GetVertexCount(mesh);
        const size_t n = static_cast<size_t>(vertex_count);

        // The weights of each source vertex, on the host's bones, each with
        // where its bone's skin puts the vertex at rest (the import's rule):
        // vertex i's are weights[first[i]] to weights[first[i + 1]].
        std::vector<uint32_t> first(size_t(source.mNumVertices) + 1, 0);
        for (unsigned b = 0; b < source.mNumBones; ++b)
            for (unsigned w = 0; w < source.mBones[b]->mNumWeights; ++w)
            {
                const aiVertexWeight& weight = source.mBones[b]->mWeights[w];
                if (weight.mVertexId < source.mNumVertices && weight.mWeight > 0.0f)
                    ++first[weight.mVertexId + 1];
            }
        for (size_t i = 1; i < first.size(); ++i)
            first[i] += first[i - 1];
        std::vector<uint32_t> filled(first.begin(), first.end() - 1);
        std::vector<BoneWeight> weights(first.back());
        std::vector<uint32_t> bound(source.mNumVertices, 0); // weights of known bones
        const Affine mesh_global = model_rest(origin.node);
        for (unsigned b = 0; b < source.mNumBones; ++b)
        {
            const aiBone& bone = *source.mBones[b];
            auto found = bone_of_name.find(NameOf(bone.mName));
            const int32_t host_bone = found == bone_of_name.end() ? -1 : found->second;
            const int32_t node = nodes.Find(NameOf(bone.mName));
            bool singular = false;
            const Affine placement =
                node < 0 ? mesh_global
                         : SkinPlacement(model_rest(node), AffineFromAssimp(bone.mOffsetMatrix),
                                         mesh_global, singular);
            for (unsigned w = 0; w < bone.mNumWeights; ++w)
            {
                const aiVertexWeight& weight = bone.mWeights[w];
                if (weight.mVertexId >= source.mNumVertices || !(weight.mWeight > 0.0f))
                    continue;
                if (host_bone < 0)
                    ++unbound_weights;
                else
                {
                    const aiVector3D& raw = source.mVertices[weight.mVertexId];
                    weights[filled[weight.mVertexId]++] = {
                        host_bone, weight.mWeight, Apply(placement, Vec3d{raw.x, raw.y, raw.z})};
                    ++bound[weight.mVertexId];
                }
            }
        }

        std::vector<Vec3> positions(n);
        std::vector<Vec2> uvs(n);
        std::vector<Vec3d> rest(n);
        std::vector<std::vector<int32_t>> bones_of(n);
        std::vector<uint32_t> group_of(n);
        GroupTable groups;
        for (size_t v = 0; v < n; ++v)
        {
            VertexHandle vertex = msMesh_GetVertexAt(mesh, static_cast<int32_t>(v));
            msVertex_GetVertex(vertex, &positions[v]);
            msVertex_GetTexCoords(vertex, &uvs[v]);
            rest[v] = Vec3d{positions[v].x, positions[v].y, positions[v].z};
            const uint32_t from =
                v < origin.source_vertex.size() ? origin.source_vertex[v] : source.mNumVertices;
            const BoneWeight* listed =
                from < source.mNumVertices ? weights.data() + first[from] : nullptr;
            const size_t listed_count = from < source.mNumVertices ? bound[from] : 0;
            SkinGroup group = ChooseSkinGroup(rest[v], listed, listed_count, frames);
            if (group.bones.empty())
                group.bones = {std::max(0, msVertex_GetBoneIndex(vertex))};
            rest[v] = group.position;
            positions[v] = Vec3{static_cast<float>(rest[v].x), static_cast<float>(rest[v].y),
                                static_cast<float>(rest[v].z)};
            if (listed_count > 1)
            {
                ++skin.blended_vertices;
                skin.grouped_vertices += group.bones.size() > 1 ? 1 : 0;
                skin.heaviest_error += group.heaviest_error;
                skin.group_error += group.error;
                skin.worst_gain = std::max(skin.worst_gain, group.error - group.heaviest_error);
            }
            group_of[v] = groups.Add(group.bones);
            bones_of[v] = std::move(group.bones);
        }

        const int32_t triangle_count = msMesh_GetTriangleCount(mesh);
        std::vector<VertexIndexTriple> triangles(static_cast<size_t>(triangle_count));
        std::vector<uint16_t> faces;
        for (int32_t t = 0; t < triangle_count; ++t)
        {
            msTriangle_GetVertexIndices(msMesh_GetTriangleAt(mesh, t),
                                        &triangles[static_cast<size_t>(t)]);
            for (uint16_t corner : triangles[static_cast<size_t>(t)].corner)
                faces.push_back(corner);
        }
        std::vector<Vec3> normals(n);
        ComputeVertexNormals(triangles.data(), triangle_count, positions.data(), normals.data(),
                             vertex_count);

        // A vertex group is a byte: a mesh whose vertices need more groups
        // becomes several geosets, each with the vertices its triangles use.
        const bool whole = groups.Groups().size() <= kMaxGroups;
        std::vector<std::vector<size_t>> runs;
        if (whole)
            runs.emplace_back();
        else
            runs = SplitByGroups(faces, group_of, kMaxGroups);
        for (const std::vector<size_t>& run : runs)
        {
            std::vector<int32_t> local(n, whole ? 0 : -1);
            std::vector<size_t> kept;
            for (size_t v = 0; v < n; ++v)
                if (whole)
                    local[v] = static_cast<int32_t>(v);
            for (size_t t : run)
                for (size_t c = 0; c < 3; ++c)
                    local[faces[3 * t + c]] = 0; // used; numbered below
            for (size_t v = 0, next = 0; v < n; ++v)
                if (local[v] >= 0)
                {
                    local[v] = static_cast<int32_t>(next++);
                    kept.push_back(v);
                }
            mdlx::Geoset geoset;
            geoset.uv_sets.emplace_back();
            GroupTable piece_groups;
            Piece piece;
            for (size_t v : kept)
            {
                mdlx::Vec3 p = ToFloats(MdlOrder(rest[v]));
                geoset.vertices.insert(geoset.vertices.end(), p.begin(), p.end());
                for (float part : {normals[v].z, normals[v].x, normals[v].y})
                    geoset.normals.push_back(part);
                geoset.uv_sets[0].push_back(uvs[v].u);
                geoset.uv_sets[0].push_back(uvs[v].v);
                geoset.vertex_groups.push_back(static_cast<uint8_t>(piece_groups.Add(bones_of[v])));
                piece.rest.push_back(rest[v]);
                piece.bones.push_back(bones_of[v]);
            }
            for (const std::vector<int32_t>& group : piece_groups.Groups())
            {
                geoset.matrix_groups.push_back(static_cast<uint32_t>(group.size()));
                for (int32_t bone : group)
                    geoset.matrix_indices.push_back(static_cast<uint32_t>(bone));
            }
            if (whole)
                geoset.faces = faces;
            for (size_t t : run)
                for (size_t c = 0; c < 3; ++c)
                    geoset.faces.push_back(static_cast<uint16_t>(local[faces[3 * t + c]]));
            geoset.material_id = source.mMaterialIndex < material_of.size()
                                     ? material_of[source.mMaterialIndex]
                                     : 0u;
            model.geosets.push_back(std::move(geoset));
            pieces.push_back(std::move(piece));
        }
    }

    if (model.geosets.empty())
    {
        error = "the scene has no triangle mesh to convert";
        return false;
    }

    // The posed vertices: at every sampled frame, and at rest in the still
    // sequences added after the animations.
    ExtentTable extents(model.geosets.size(), sequences.size());
    for (size_t g = 0; g < pieces.size(); ++g)
    {
        const Piece& piece = pieces[g];
        // Each group's averaged transform once a frame, then one product a
        // vertex.
        GroupTable table;
        std::vector<uint32_t> group_of(piece.bones.size());
        for (size_t v = 0; v < piece.bones.size(); ++v)
            group_of[v] = table.Add(piece.bones[v]);
        std::vector<Affine> averaged(table.Groups().size());
        for (size_t f = 0; f < frame_count; ++f)
        {
            for (size_t i = 0; i < averaged.size(); ++i)
                averaged[i] = AverageTransform(frames, f, table.Groups()[i]);
            // The frame's box in host axes first, kept in registers.
            double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
            double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
            for (size_t v = 0; v < piece.rest.size(); ++v)
            {
                const Vec3d p = Apply(averaged[group_of[v]], piece.rest[v]);
                low[0] = std::min(low[0], p.x), high[0] = std::max(high[0], p.x);
                low[1] = std::min(low[1], p.y), high[1] = std::max(high[1], p.y);
                low[2] = std::min(low[2], p.z), high[2] = std::max(high[2], p.z);
            }
            if (!piece.rest.empty())
            {
                extents.Add(g, sampling.sequence[f], MdlOrder({low[0], low[1], low[2]}));
                extents.Add(g, sampling.sequence[f], MdlOrder({high[0], high[1], high[2]}));
            }
        }
        for (size_t s = 0; s < sequences.size(); ++s)
            if (s >= summary.sequences.size() || frame_count == 0)
                for (const Vec3d& at : piece.rest)
                    extents.Add(g, s, MdlOrder(at));
    }

    for (size_t g = 0; g < model.geosets.size(); ++g)
    {
        model.geosets[g].extent = ToExtent(extents.Geoset(g));
        for (size_t s = 0; s < sequences.size(); ++s)
            model.geosets[g].sequence_extents.push_back(ToExtent(extents.Of(g, s)));
    }
    for (size_t s = 0; s < sequences.size(); ++s)
    {
        mdlx::Sequence sequence;
        sequence.name = Cut(sequences[s].name, kNameLimit);
        sequence.interval = {static_cast<uint32_t>(std::max(0, sequences[s].start_ms)),
                             static_cast<uint32_t>(std::max(0, sequences[s].end_ms))};
        sequence.extent = ToExtent(extents.Sequence(s));
        model.sequences.push_back(sequence);
    }
    model.extent = ToExtent(extents.Model());
    // The importer's notes on weights and embedded textures are about the
    // plug-in's model: here the groups keep the weights, and the images are
    // written.
    std::erase_if(notes,
                  [](const std::string& note)
                  {
                      return note.find("each follows its heaviest bone") != std::string::npos ||
                             note.find("a plain white texture stands in") != std::string::npos;
                  });
    if (unbound_weights > 0)
        notes.push_back(std::to_string(unbound_weights) +
                        " weights of bones that are not the model's dropped");
    if (figures)
        *figures = skin;
    const std::string overflowing = FirstNonFinite(model);
    if (!overflowing.empty())
    {
        error = overflowing + " holds values beyond the range of the model's 32-bit floats: "
                              "the scene is too large (--scale makes it smaller)";
        return false;
    }
    return true;
}
