#include "scene_import.h"

#include "animation_timing.h"
#include "bone_choice.h"
#include "bone_tracks.h"
#include "host_names.h"
#include "mdl_convert.h"
#include "node_animation.h"
#include "scene_importer.h"
#include "scene_pose.h"
#include "stand_in_model.h"
#include "up_axis.h"
#include "vertex_weights.h"

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <string>
#include <vector>

namespace
{

// More samples than this, over all animations, is not an animation anyone
// meant (an hour at 24 per second, with room to spare): the file is refused
// rather than the memory exhausted.
constexpr size_t kMaxSamples = 100000;
// Likewise for the keys held while sampling (two per bone and sample, 16
// bytes each): 20 million is 640 MB.
constexpr size_t kMaxSampledKeys = 20000000;

} // namespace

std::string Quoted(const std::string& text)
{
    std::string quoted(1, '\'');
    quoted += CleanName(text);
    quoted += '\'';
    return quoted;
}

bool IsTriangle(const aiFace& face)
{
    return face.mNumIndices == 3 && face.mIndices != nullptr;
}

std::string ShortNumber(double value)
{
    char text[32];
    std::to_chars_result done =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
    return done.ec == std::errc() ? std::string(text, done.ptr) : std::string("?");
}

float ToFiniteFloat(double value, size_t& replaced)
{
    float f = static_cast<float>(value);
    if (std::isfinite(f))
        return f;
    ++replaced;
    return 0.0f;
}

void SceneImporter::ChooseAxes()
{
    UpAxis up;
    if (options_.up == UpAxisChoice::kZ)
        up.axis = 2;
    else if (options_.up == UpAxisChoice::kFromFile && !RecordedUpAxis(scene_, up))
        up = UpAxis{};
    Mat3 r = UpRotation(up);
    up_ = FromLinear(r);
    if (up.axis != 1 || up.sign != 1)
        Note(std::string("the up axis is ") + (up.sign < 0 ? "-" : "+") + "xyz"[up.axis] +
             ": turned so that it is +y");
}

void SceneImporter::FindInstances()
{
    std::vector<bool> placed(scene_.mNumMeshes, false);
    for (size_t n = 0; n < nodes_.nodes.size(); ++n)
    {
        const aiNode* node = nodes_.nodes[n].node;
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

std::vector<SkinBone> SceneImporter::SkinBonesOf(const MeshInstance& instance) const
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    Affine mesh_global = NodeRest(instance.node);
    std::vector<SkinBone> skin;
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
    {
        const aiBone* bone = mesh.mBones[b];
        if (bone == nullptr)
            continue;
        SkinBone& read = skin.emplace_back();
        read.bone = bone;
        read.node = nodes_.Find(NameOf(bone->mName));
        if (read.node >= 0)
        {
            read.bind = NodeRest(read.node);
            read.placement = SkinPlacement(read.bind, AffineFromAssimp(bone->mOffsetMatrix),
                                           mesh_global, read.singular);
        }
        for (unsigned w = 0; w < bone->mNumWeights && !read.skins; ++w)
            read.skins = WeightCounts(bone->mWeights[w].mVertexId, bone->mWeights[w].mWeight,
                                      mesh.mNumVertices);
    }
    return skin;
}

bool SceneImporter::HasUnskinnedVertices(const MeshInstance& instance) const
{
    const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
    std::vector<VertexWeight> weights;
    for (const SkinBone& skin : SkinBonesOf(instance))
        for (unsigned w = 0; skin.node >= 0 && w < skin.bone->mNumWeights; ++w)
            weights.push_back(VertexWeight{skin.bone->mWeights[w].mVertexId, skin.node,
                                           skin.bone->mWeights[w].mWeight});
    std::vector<int32_t> bone_of_vertex(mesh.mNumVertices);
    HeaviestBones(weights.data(), weights.size(), mesh.mNumVertices, bone_of_vertex.data());
    return std::find(bone_of_vertex.begin(), bone_of_vertex.end(), -1) != bone_of_vertex.end();
}

void SceneImporter::FindBones()
{
    std::vector<NodeNeeds> needs(nodes_.nodes.size());
    for (size_t n = 0; n < needs.size(); ++n)
    {
        needs[n].parent = nodes_.nodes[n].parent;
        needs[n].rest = NodeRest(static_cast<int32_t>(n));
    }
    for (const MeshInstance& instance : instances_)
    {
        const aiMesh& mesh = *scene_.mMeshes[instance.mesh];
        for (const SkinBone& skin : SkinBonesOf(instance))
        {
            if (!skin.skins)
                continue;
            if (skin.node < 0)
            {
                Note("bone " + Quoted(NameOf(skin.bone->mName)) + " of mesh " +
                     Quoted(NameOf(mesh.mName)) +
                     " names no node: its vertices follow the mesh's node");
                continue;
            }
            if (skin.singular)
                Note("bone " + Quoted(NameOf(skin.bone->mName)) + " of mesh " +
                     Quoted(NameOf(mesh.mName)) +
                     " has a singular bind matrix: its vertices stand where the mesh's node "
                     "places them");
            AddBind(needs[static_cast<size_t>(skin.node)].binds, skin.bind);
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
            int32_t node = nodes_.Find(NameOf(channel->mNodeName));
            if (node < 0)
                Note("animation " + Quoted(NameOf(animation->mName)) + " moves node " +
                     Quoted(NameOf(channel->mNodeName)) + ", which the scene lacks: ignored");
            else
                needs[static_cast<size_t>(node)].animated = true;
        }
    }
    for (const MeshInstance& instance : instances_)
        if (HasUnskinnedVertices(instance))
            needs[static_cast<size_t>(instance.node)].carries_unskinned = true;

    bones_ = ChooseBones(needs.data(), needs.size());
    for (size_t n = 0; n < needs.size(); ++n)
    {
        size_t count = BoneCount(bones_, static_cast<int32_t>(n));
        if (count > 1)
            Note("node " + Quoted(NameOf(nodes_.nodes[n].node->mName)) + " is bound " +
                 std::to_string(count) + " ways: one bone for each");
    }
}

void SceneImporter::AddHostBones(ImportSummary& summary)
{
    const std::vector<BoneRecord>& bones = bones_.bones;
    if (bones.empty())
    {
        host_bones_.push_back(StandIn_AddBone(model_, "Root", "", 0.0f, 0.0f, 0.0f));
        summary.bones.push_back(ImportSummary::BoneOrigin{});
        return;
    }
    std::vector<std::string> wanted;
    for (const BoneRecord& bone : bones)
        wanted.push_back(NameOf(nodes_.nodes[static_cast<size_t>(bone.node)].node->mName));
    std::vector<std::string> names = UniqueHostNames(wanted, "Bone");
    for (size_t b = 0; b < bones.size(); ++b)
    {
        std::string cleaned = ReadableName(CutName(CleanName(wanted[b]), 31));
        if (!wanted[b].empty() && names[b] != wanted[b] && cleaned == wanted[b])
            Note("bone " + Quoted(wanted[b]) + " is named " + Quoted(names[b]) +
                 ": another bone has its name");
        else if (!wanted[b].empty() && names[b] != wanted[b])
            Note("bone " + Quoted(wanted[b]) + " is named " + Quoted(names[b]) +
                 " (31 bytes at most, no quotes or control characters, unique)");
    }

    for (size_t b = 0; b < bones.size(); ++b)
    {
        const BoneRecord& bone = bones[b];
        // The pivot on the bind-pose joint: the offset from the parent's.
        Vec3d pivot = Translation(bone.bind);
        Vec3d offset = pivot;
        std::string parent_name;
        if (bone.parent >= 0)
        {
            offset = Subtract(pivot, Translation(bones[static_cast<size_t>(bone.parent)].bind));
            parent_name = names[static_cast<size_t>(bone.parent)];
        }
        host_bones_.push_back(StandIn_AddBone(model_, names[b].c_str(), parent_name.c_str(),
                                              ToFiniteFloat(offset.x, replaced_values_),
                                              ToFiniteFloat(offset.y, replaced_values_),
                                              ToFiniteFloat(offset.z, replaced_values_)));
        ImportSummary::BoneOrigin origin;
        origin.node = bone.node;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                origin.bind[i][j] = bone.bind.m[i][j];
        summary.bones.push_back(origin);
    }
}

namespace
{

// The name after an FBX take's "Object|" prefix (Blender names its takes
// "Armature|Stand"), or the whole name where it has none.
std::string WithoutTakePrefix(const std::string& name)
{
    size_t bar = name.find_last_of('|');
    return bar == std::string::npos || bar + 1 == name.size() ? name : name.substr(bar + 1);
}

template <typename Key> bool SameKeys(const Key* a, const Key* b, unsigned count)
{
    for (unsigned k = 0; k < count; ++k)
        if (a[k].mTime != b[k].mTime || !(a[k].mValue == b[k].mValue))
            return false;
    return true;
}

// True when two animations move the same nodes with the same keys, exactly.
bool SameAnimation(const aiAnimation& a, const aiAnimation& b)
{
    if (a.mDuration != b.mDuration || a.mTicksPerSecond != b.mTicksPerSecond ||
        a.mNumChannels != b.mNumChannels || a.mNumMeshChannels != b.mNumMeshChannels ||
        a.mNumMorphMeshChannels != b.mNumMorphMeshChannels)
        return false;
    for (unsigned c = 0; c < a.mNumChannels; ++c)
    {
        const aiNodeAnim* x = a.mChannels[c];
        const aiNodeAnim* y = b.mChannels[c];
        if (x == nullptr || y == nullptr)
        {
            if (x != y)
                return false;
            continue;
        }
        if (!(x->mNodeName == y->mNodeName) || x->mNumPositionKeys != y->mNumPositionKeys ||
            x->mNumRotationKeys != y->mNumRotationKeys ||
            x->mNumScalingKeys != y->mNumScalingKeys ||
            !SameKeys(x->mPositionKeys, y->mPositionKeys, x->mNumPositionKeys) ||
            !SameKeys(x->mRotationKeys, y->mRotationKeys, x->mNumRotationKeys) ||
            !SameKeys(x->mScalingKeys, y->mScalingKeys, x->mNumScalingKeys))
            return false;
    }
    return true;
}

} // namespace

std::vector<std::pair<unsigned, std::string>> SceneImporter::NameAnimations()
{
    std::vector<unsigned> kept;
    for (unsigned a = 0; a < scene_.mNumAnimations; ++a)
    {
        const aiAnimation* animation = scene_.mAnimations[a];
        if (animation == nullptr)
            continue;
        std::string name = NameOf(animation->mName);
        bool duplicate = false;
        for (unsigned k : kept)
        {
            const aiAnimation& other = *scene_.mAnimations[k];
            if (WithoutTakePrefix(NameOf(other.mName)) == WithoutTakePrefix(name) &&
                SameAnimation(other, *animation))
            {
                Note("animation " + Quoted(name) + " is the same as " +
                     Quoted(NameOf(other.mName)) + ": dropped");
                duplicate = true;
                break;
            }
        }
        if (!duplicate)
            kept.push_back(a);
    }
    std::vector<std::pair<unsigned, std::string>> named;
    for (unsigned a : kept)
    {
        std::string name = NameOf(scene_.mAnimations[a]->mName);
        std::string short_name = WithoutTakePrefix(name);
        for (unsigned other : kept)
        {
            std::string other_name = NameOf(scene_.mAnimations[other]->mName);
            if (other != a &&
                (other_name == short_name || WithoutTakePrefix(other_name) == short_name))
                short_name = name; // the rest is not unique: the whole name stays
        }
        named.emplace_back(a, short_name);
    }
    return named;
}

bool SceneImporter::ApplySize(std::string& error, size_t notes_of_bones)
{
    if (options_.height == 0.0 && options_.scale == 1.0 && !options_.ground)
        return true;
    if (!(options_.scale > 0.0) || !std::isfinite(options_.scale) ||
        !std::isfinite(options_.height) || options_.height < 0.0)
    {
        error = source_ + ": the scale and the height must be finite and above 0";
        return false;
    }
    // The rest pose as it stands now (this look's notes are the real one's).
    size_t notes_before = notes_.size();
    double low = 0.0, high = 0.0;
    bool any = RestHeightRange(low, high);
    notes_.resize(notes_before);
    double factor = options_.scale;
    if (options_.height > 0.0)
    {
        if (!any || !(high - low > 0.0))
        {
            error = source_ + ": the model is flat: it has no height to scale";
            return false;
        }
        factor = options_.height / (high - low);
    }
    Mat3 uniform;
    for (int i = 0; i < 3; ++i)
        uniform.m[i][i] = factor;
    Affine size = FromLinear(uniform);
    if (options_.ground && any)
        size = Multiply(FromTranslation(Vec3d{0.0, -low * factor, 0.0}), size);
    up_ = Multiply(size, up_);
    // The bones' binds are their nodes at rest in model space: chosen again.
    notes_.resize(notes_of_bones);
    FindBones();
    return true;
}

bool SceneImporter::LayOutSequences(std::string& error, ImportSummary& summary)
{
    std::vector<unsigned> animations; // those the scene holds, in order, less duplicates
    std::vector<std::string> names;
    std::vector<double> seconds;
    for (const auto& [a, name] : NameAnimations())
    {
        const aiAnimation* animation = scene_.mAnimations[a];
        animations.push_back(a);
        names.push_back(name);
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
        if (samples * std::max<size_t>(bones_.bones.size(), 1) > kMaxSampledKeys)
        {
            error = source_ + ": " + std::to_string(bones_.bones.size()) + " bones over " +
                    std::to_string(samples) + " frames are more keys than the importer holds";
            return false;
        }
        if (animation->mNumMeshChannels > 0 || animation->mNumMorphMeshChannels > 0)
            Note("animation " + Quoted(NameOf(animation->mName)) +
                 ": vertex and morph animation dropped");

        ImportedSequence sequence;
        sequence.animation = static_cast<int32_t>(a);
        sequence.name = ReadableName(names[i]);
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

void SceneImporter::SampleAnimations(ImportSummary& summary)
{
    const std::vector<BoneRecord>& bones = bones_.bones;
    if (bones.empty())
        return;
    std::vector<TrackBone> track_bones;
    for (size_t b = 0; b < bones.size(); ++b)
    {
        // The pivot as the export sums it: the bone's own float offset first,
        // then each ancestor's, in float.
        Vec3 sum{0.0f, 0.0f, 0.0f};
        msBone_GetPosition(host_bones_[b], &sum);
        for (int32_t p = bones[b].parent; p >= 0; p = bones[static_cast<size_t>(p)].parent)
        {
            Vec3 offset{0.0f, 0.0f, 0.0f};
            msBone_GetPosition(host_bones_[static_cast<size_t>(p)], &offset);
            sum.x = sum.x + offset.x;
            sum.y = sum.y + offset.y;
            sum.z = sum.z + offset.z;
        }
        track_bones.push_back(TrackBone{bones[b].parent, Vec3d{sum.x, sum.y, sum.z}});
    }
    TrackSettings settings;
    double size = model_size_ > 0.0 ? model_size_ : 1.0;
    settings.translation_tolerance = 1e-5 * size;
    settings.rotation_tolerance = 1e-5;
    settings.keep_all_keys = options_.keep_all_keys;
    TrackBuilder builder(std::move(track_bones), settings);

    // The host vertices and their bones, to pose for each sequence's extents:
    // every vertex, or every so many where all of them over every sample would
    // take long.
    std::vector<Vec3d> positions;
    std::vector<int32_t> bone_of;
    for (int32_t m = 0; m < msModel_GetMeshCount(model_); ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model_, m);
        for (int32_t v = 0; v < msMesh_GetVertexCount(mesh); ++v)
        {
            VertexHandle vertex = msMesh_GetVertexAt(mesh, v);
            Vec3 p{0.0f, 0.0f, 0.0f};
            msVertex_GetVertex(vertex, &p);
            positions.push_back(Vec3d{p.x, p.y, p.z});
            bone_of.push_back(msVertex_GetBoneIndex(vertex));
        }
    }
    size_t samples = 0;
    for (const ImportedSequence& sequence : summary.sequences)
        samples +=
            sequence.animation < 0
                ? 1
                : MostSamples((static_cast<double>(sequence.end_frame) - sequence.start_frame) /
                              kFramesPerSecond);
    constexpr double kMostPosedVertices = 1e8;
    size_t stride = static_cast<size_t>(std::ceil(
        static_cast<double>(positions.size()) * static_cast<double>(samples) / kMostPosedVertices));
    stride = std::max<size_t>(stride, 1);
    const size_t posed = options_.sequence_extents ? positions.size() : 0;
    std::vector<ImportedSequence> sequences = summary.sequences; // with their extents
    size_t sampled = 0;
    SamplePoses(scene_, nodes_, up_, bones, summary.sequences,
                [&](float frame, int32_t sequence, const std::vector<Affine>& skinning)
                {
                    builder.AddSample(frame, sequence, skinning);
                    ImportedSequence& extent = sequences[static_cast<size_t>(sequence)];
                    for (size_t v = 0; v < posed; v += stride)
                    {
                        int32_t bone = bone_of[v];
                        Vec3d p = bone >= 0 && static_cast<size_t>(bone) < skinning.size()
                                      ? Apply(skinning[static_cast<size_t>(bone)], positions[v])
                                      : positions[v];
                        const double mdl[3] = {p.z, p.x, p.y};
                        if (!std::isfinite(mdl[0]) || !std::isfinite(mdl[1]) ||
                            !std::isfinite(mdl[2]))
                            continue;
                        for (int i = 0; i < 3; ++i)
                        {
                            extent.minimum[i] =
                                extent.has_extent ? std::fmin(extent.minimum[i], mdl[i]) : mdl[i];
                            extent.maximum[i] =
                                extent.has_extent ? std::fmax(extent.maximum[i], mdl[i]) : mdl[i];
                        }
                        extent.has_extent = true;
                    }
                    if (options_.progress && samples > 0)
                        options_.progress("sampling", static_cast<double>(++sampled) /
                                                          static_cast<double>(samples));
                });
    summary.sequences = sequences;

    std::vector<BoneKeys> keys = builder.Finish();
    std::string scaled;
    std::string broken;
    for (size_t b = 0; b < bones.size(); ++b)
    {
        char name[kNameBufferSize] = {};
        msBone_GetName(host_bones_[b], name, kNameBufferSize);
        if (keys[b].scaled)
            scaled += (scaled.empty() ? "" : ", ") + std::string(name);
        if (keys[b].non_finite)
            broken += (broken.empty() ? "" : ", ") + std::string(name);
        StandIn_ReserveKeys(host_bones_[b], static_cast<int32_t>(keys[b].translation.size()),
                            static_cast<int32_t>(keys[b].rotation.size()));
        for (const PositionKey& key : keys[b].translation)
            StandIn_AddPositionKey(host_bones_[b], key.time, key.position.x, key.position.y,
                                   key.position.z);
        for (const RotationKey& key : keys[b].rotation)
            StandIn_AddRotationKey(host_bones_[b], key.time, key.rotation.x, key.rotation.y,
                                   key.rotation.z);
    }
    if (!scaled.empty())
        Note("scale dropped from the animation of bones: " + scaled);
    if (!broken.empty())
        Note("poses that were not finite held at rest for bones: " + broken);
}

namespace
{

// A file name made of the image's own name: its folders dropped, and every
// byte but letters, digits, '-', '_' and '.' made '_', so that it names a file
// beside the output on every system; "texture" when nothing is left.
std::string ImageFileStem(const std::string& name)
{
    std::string stem = name.substr(name.find_last_of("/\\") + 1);
    size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        stem.erase(dot);
    for (char& c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            c = '_';
    while (!stem.empty() && stem[0] == '.')
        stem.erase(0, 1);
    return stem.empty() ? std::string("texture") : CutName(stem, 60);
}

// Repeats unless the sampler clamps; a mode the file leaves unset repeats.
bool Repeats(const aiMaterial& material, aiTextureType type, bool along_u)
{
    int mode = aiTextureMapMode_Wrap;
    if (along_u)
        material.Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode);
    else
        material.Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode);
    return mode != aiTextureMapMode_Clamp && mode != aiTextureMapMode_Decal;
}

} // namespace

void SceneImporter::FindTexture(ImportSummary& summary)
{
    for (unsigned m = 0; m < scene_.mNumMaterials; ++m)
    {
        const aiMaterial* material = scene_.mMaterials[m];
        if (material == nullptr)
            continue;
        aiString path;
        aiTextureType type = aiTextureType_DIFFUSE;
        if (material->GetTexture(type, 0, &path) != AI_SUCCESS)
        {
            type = aiTextureType_BASE_COLOR;
            if (material->GetTexture(type, 0, &path) != AI_SUCCESS)
                continue;
        }
        std::string file = NameOf(path);
        if (file.empty())
            continue;
        summary.wrap_width = Repeats(*material, type, true);
        summary.wrap_height = Repeats(*material, type, false);
        const aiTexture* embedded = scene_.GetEmbeddedTexture(file.c_str());
        if (file[0] == '*' || embedded != nullptr)
        {
            std::string hint = embedded != nullptr ? std::string(embedded->achFormatHint) : "";
            if (embedded == nullptr || embedded->mHeight != 0 || embedded->pcData == nullptr ||
                (hint != "png" && hint != "jpg"))
            {
                Note("texture " + Quoted(file) +
                     " is inside the file in a form not written out: a plain white texture "
                     "stands in");
                summary.wrap_width = summary.wrap_height = false;
                return;
            }
            std::string name = NameOf(embedded->mFilename);
            summary.texture_path = ImageFileStem(name.empty() ? file : name) + "." + hint;
            summary.embedded_image.assign(reinterpret_cast<const char*>(embedded->pcData),
                                          embedded->mWidth);
            return;
        }
        summary.texture_path = ReadableName(file);
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
    ChooseAxes();
    nodes_ = CollectNodes(scene_.mRootNode);
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

    size_t notes_of_bones = notes_.size();
    FindBones();
    if (!ApplySize(error, notes_of_bones))
        return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            summary.to_model[i][j] = up_.m[i][j];
    AddHostBones(summary);
    AddHostMeshes(summary);
    MeasureBounds(summary);
    double tall = summary.maximum[2] - summary.minimum[2];
    if (tall > 0.0 && (tall < 10.0 || tall > 2000.0))
        Note("the model is " + ShortNumber(tall) +
             " units tall, and a game figure about 100 to 200: --height sets its height");
    if (!LayOutSequences(error, summary))
        return false;
    SampleAnimations(summary);
    FindTexture(summary);
    NoteDroppedContent();
    if (replaced_values_ > 0)
        Note(std::to_string(replaced_values_) + " values that were not finite replaced by 0");
    return true;
}

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
    // Collada nodes (and so bones) by their names, not their ids.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
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

namespace
{

// Assimp's reading progress, passed on as the step "reading".
class ReadingProgress : public Assimp::ProgressHandler
{
  public:
    explicit ReadingProgress(std::function<void(const char*, double)> report)
        : report_(std::move(report))
    {
    }
    bool Update(float percentage) override
    {
        if (report_ && percentage >= 0.0f)
            report_("reading", static_cast<double>(percentage));
        return true; // never abort
    }

  private:
    std::function<void(const char*, double)> report_;
};

} // namespace

bool ImportScene(const std::string& path, const ImportOptions& options, ModelHandle model,
                 std::string& error, std::vector<std::string>& notes, ImportSummary* summary)
{
    try
    {
        ReadingProgress progress(options.progress);
        Assimp::Importer importer;
        if (options.progress)
            importer.SetProgressHandler(&progress);
        const aiScene* scene = ReadSceneFile(importer, path);
        // The handler stays ours: the importer goes back to one of its own
        // (only after ours, or its first one would be lost).
        if (options.progress)
            importer.SetProgressHandler(nullptr);
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
