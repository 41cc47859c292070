#include "pose_oracle.h"

#include "mdl_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

using Quaternion = aiQuaterniont<double>;

Matrix Translate(const Vector& v)
{
    Matrix m;
    Matrix::Translation(v, m);
    return m;
}

Matrix Rotate(const Quaternion& q)
{
    return Matrix(q.GetMatrix());
}

std::string ReadName(void (*get)(BoneHandle, char*, int32_t), BoneHandle bone)
{
    char name[kNameBufferSize] = {};
    get(bone, name, kNameBufferSize);
    name[kNameBufferSize - 1] = '\0';
    return name;
}

// The keys of one track inside [start, end], interpolated at `ms`; false
// when the sequence has none. Rotation keys are used as stored, with no
// change of side, as the game would.
template <typename Key>
bool Interpolate(const std::vector<Key>& keys, int32_t ms, int32_t start, int32_t end,
                 bool spherical, bool rotation, double (&out)[4])
{
    const Key* before = nullptr;
    const Key* after = nullptr;
    for (const Key& key : keys)
    {
        if (key.ms < start || key.ms > end)
            continue;
        if (key.ms <= ms && (before == nullptr || key.ms >= before->ms))
            before = &key;
        if (key.ms >= ms && after == nullptr)
            after = &key;
    }
    if (before == nullptr)
        before = after;
    if (after == nullptr)
        after = before;
    if (before == nullptr)
        return false;
    double u = after->ms > before->ms ? double(ms - before->ms) / (after->ms - before->ms) : 0.0;
    if (!rotation)
    {
        for (int i = 0; i < 3; ++i)
            out[i] = before->value[i] + (after->value[i] - before->value[i]) * u;
        return true;
    }
    const double* a = before->value;
    const double* b = after->value;
    double wa = 1.0 - u;
    double wb = u;
    double cosine = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (spherical && cosine < 0.99999 && cosine > -0.99999)
    {
        double angle = std::acos(cosine);
        wa = std::sin((1.0 - u) * angle) / std::sin(angle);
        wb = std::sin(u * angle) / std::sin(angle);
    }
    double length = 0.0;
    for (int i = 0; i < 4; ++i)
    {
        out[i] = wa * a[i] + wb * b[i];
        length += out[i] * out[i];
    }
    length = std::sqrt(length);
    for (double& v : out)
        v /= length;
    return true;
}

template <typename Key> Vector LerpKeys(const Key* keys, unsigned count, double ticks)
{
    if (ticks <= keys[0].mTime)
        return Vector(keys[0].mValue.x, keys[0].mValue.y, keys[0].mValue.z);
    for (unsigned k = 0; k + 1 < count; ++k)
    {
        if (ticks < keys[k + 1].mTime)
        {
            double u = (ticks - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime);
            Vector a(keys[k].mValue.x, keys[k].mValue.y, keys[k].mValue.z);
            Vector b(keys[k + 1].mValue.x, keys[k + 1].mValue.y, keys[k + 1].mValue.z);
            return a + (b - a) * u;
        }
    }
    const auto& last = keys[count - 1].mValue;
    return Vector(last.x, last.y, last.z);
}

Quaternion ToQuaternion(const aiQuaternion& q)
{
    return Quaternion(q.w, q.x, q.y, q.z);
}

Quaternion SlerpKeys(const aiQuatKey* keys, unsigned count, double ticks)
{
    if (ticks <= keys[0].mTime)
        return ToQuaternion(keys[0].mValue).Normalize();
    for (unsigned k = 0; k + 1 < count; ++k)
    {
        if (ticks < keys[k + 1].mTime)
        {
            double u = (ticks - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime);
            Quaternion out;
            Quaternion::Interpolate(out, ToQuaternion(keys[k].mValue).Normalize(),
                                    ToQuaternion(keys[k + 1].mValue).Normalize(), u);
            return out.Normalize();
        }
    }
    return ToQuaternion(keys[count - 1].mValue).Normalize();
}

Matrix ChannelAt(const aiNodeAnim& channel, double ticks, const aiMatrix4x4& rest)
{
    Matrix rest_d = rest;
    Vector scaling, position;
    Quaternion rotation;
    rest_d.Decompose(scaling, rotation, position);
    if (channel.mNumPositionKeys > 0)
        position = LerpKeys(channel.mPositionKeys, channel.mNumPositionKeys, ticks);
    if (channel.mNumRotationKeys > 0)
        rotation = SlerpKeys(channel.mRotationKeys, channel.mNumRotationKeys, ticks);
    if (channel.mNumScalingKeys > 0)
        scaling = LerpKeys(channel.mScalingKeys, channel.mNumScalingKeys, ticks);
    Matrix scale;
    Matrix::Scaling(scaling, scale);
    return Translate(position) * Rotate(rotation) * scale;
}

double EndTicks(const aiAnimation& animation)
{
    double end = animation.mDuration;
    for (unsigned c = 0; c < animation.mNumChannels; ++c)
    {
        const aiNodeAnim& ch = *animation.mChannels[c];
        if (ch.mNumPositionKeys > 0)
            end = std::max(end, ch.mPositionKeys[ch.mNumPositionKeys - 1].mTime);
        if (ch.mNumRotationKeys > 0)
            end = std::max(end, ch.mRotationKeys[ch.mNumRotationKeys - 1].mTime);
        if (ch.mNumScalingKeys > 0)
            end = std::max(end, ch.mScalingKeys[ch.mNumScalingKeys - 1].mTime);
    }
    return end;
}

} // namespace

MdlPose::MdlPose(ModelHandle model)
{
    int32_t count = msModel_GetBoneCount(model);
    std::vector<std::string> names;
    std::vector<Vec3> offsets;
    for (int32_t b = 0; b < count; ++b)
    {
        BoneHandle bone = msModel_GetBoneAt(model, b);
        names.push_back(ReadName(msBone_GetName, bone));
        Vec3 offset{0, 0, 0};
        msBone_GetPosition(bone, &offset);
        offsets.push_back(offset);

        std::vector<Key> translation;
        for (int32_t k = 0; k < msBone_GetPositionKeyCount(bone); ++k)
        {
            const PositionKey* key = msBone_GetPositionKeyAt(bone, k);
            translation.push_back(Key{FrameToMdlTime(key->time),
                                      {key->position.x, key->position.y, key->position.z, 0.0}});
        }
        translation_.push_back(translation);
        std::vector<Key> rotation;
        for (int32_t k = 0; k < msBone_GetRotationKeyCount(bone); ++k)
        {
            const RotationKey* key = msBone_GetRotationKeyAt(bone, k);
            MdlQuaternion q = EulerToMdlQuaternion(key->rotation);
            // The MDL writes host z, x, y, then w.
            rotation.push_back(
                Key{FrameToMdlTime(key->time), {q.second, q.third, q.first, q.fourth}});
        }
        rotation_.push_back(rotation);
    }
    for (int32_t b = 0; b < count; ++b)
    {
        std::string parent_name = ReadName(msBone_GetParentName, msModel_GetBoneAt(model, b));
        int32_t parent = -1;
        for (int32_t c = 0; c < count; ++c)
            if (names[static_cast<size_t>(c)] == parent_name)
                parent = c; // the last bone of that name
        parent_.push_back(parent);
    }
    // Summed in float, the bone's own offset first, as the export does.
    for (int32_t b = 0; b < count; ++b)
    {
        Vec3 sum = offsets[static_cast<size_t>(b)];
        int32_t steps = 0;
        for (int32_t p = parent_[static_cast<size_t>(b)]; p >= 0 && steps < count;
             p = parent_[static_cast<size_t>(p)], ++steps)
        {
            sum.x = sum.x + offsets[static_cast<size_t>(p)].x;
            sum.y = sum.y + offsets[static_cast<size_t>(p)].y;
            sum.z = sum.z + offsets[static_cast<size_t>(p)].z;
        }
        pivot_.push_back(Vector(sum.x, sum.y, sum.z));
    }
}

std::vector<Matrix> MdlPose::WorldAt(int32_t ms, int32_t start_ms, int32_t end_ms, bool slerp) const
{
    std::vector<Matrix> world(parent_.size());
    for (size_t b = 0; b < parent_.size(); ++b)
    {
        double t[4] = {0, 0, 0, 0};
        double r[4] = {0, 0, 0, 1};
        Interpolate(translation_[b], ms, start_ms, end_ms, slerp, false, t);
        Interpolate(rotation_[b], ms, start_ms, end_ms, slerp, true, r);
        const Vector& p = pivot_[b];
        Matrix local = Translate(p) * Translate(Vector(t[0], t[1], t[2])) *
                       Rotate(Quaternion(r[3], r[0], r[1], r[2])) * Translate(-p);
        // Parents come first in every model the importer makes.
        int32_t parent = parent_[b];
        world[b] = parent >= 0 && static_cast<size_t>(parent) < b
                       ? world[static_cast<size_t>(parent)] * local
                       : local;
    }
    return world;
}

SourcePose::SourcePose(const aiScene& scene) : scene_(scene)
{
    std::vector<std::pair<const aiNode*, int>> stack{{scene.mRootNode, -1}};
    while (!stack.empty())
    {
        auto [node, parent] = stack.back();
        stack.pop_back();
        int index = static_cast<int>(nodes_.size());
        nodes_.push_back(node);
        parent_.push_back(parent);
        for (unsigned c = node->mNumChildren; c > 0; --c)
            stack.emplace_back(node->mChildren[c - 1], index);
    }
}

int SourcePose::NodeByName(const std::string& name) const
{
    for (size_t n = 0; n < nodes_.size(); ++n)
        if (name == nodes_[n]->mName.C_Str())
            return static_cast<int>(n);
    return -1;
}

std::vector<Matrix> SourcePose::GlobalsAt(int animation, double ticks) const
{
    std::vector<Matrix> global(nodes_.size());
    for (size_t n = 0; n < nodes_.size(); ++n)
    {
        Matrix local = nodes_[n]->mTransformation;
        if (animation >= 0)
        {
            const aiAnimation& anim = *scene_.mAnimations[animation];
            for (unsigned c = 0; c < anim.mNumChannels; ++c)
            {
                if (anim.mChannels[c]->mNodeName == nodes_[n]->mName)
                {
                    local = ChannelAt(*anim.mChannels[c], ticks, nodes_[n]->mTransformation);
                    break;
                }
            }
        }
        global[n] = parent_[n] >= 0 ? global[static_cast<size_t>(parent_[n])] * local : local;
    }
    return global;
}

OracleFigures CheckPoses(const aiScene& scene, const ImportSummary& summary, ModelHandle model,
                         const Matrix& up, bool slerp)
{
    OracleFigures figures;
    SourcePose source(scene);
    MdlPose mdl(model);

    // Host vertices in bind pose, and the model's size.
    struct PlacedVertex
    {
        Vector position;
        int32_t bone;
        size_t mesh;
        uint32_t source_vertex;
    };
    std::vector<PlacedVertex> vertices;
    Vector low(1e300, 1e300, 1e300), high(-1e300, -1e300, -1e300);
    for (int32_t m = 0; m < msModel_GetMeshCount(model); ++m)
    {
        MeshHandle mesh = msModel_GetMeshAt(model, m);
        for (int32_t v = 0; v < msMesh_GetVertexCount(mesh); ++v)
        {
            VertexHandle vertex = msMesh_GetVertexAt(mesh, v);
            Vec3 p{0, 0, 0};
            msVertex_GetVertex(vertex, &p);
            PlacedVertex host{
                Vector(p.x, p.y, p.z), msVertex_GetBoneIndex(vertex), static_cast<size_t>(m),
                summary.meshes[static_cast<size_t>(m)].source_vertex[static_cast<size_t>(v)]};
            vertices.push_back(host);
            low = Vector(std::min(low.x, host.position.x), std::min(low.y, host.position.y),
                         std::min(low.z, host.position.z));
            high = Vector(std::max(high.x, host.position.x), std::max(high.y, host.position.y),
                          std::max(high.z, host.position.z));
        }
    }
    figures.vertices = vertices.size();
    figures.model_size = vertices.empty() ? 0.0 : (high - low).Length();
    double size = figures.model_size > 0.0 ? figures.model_size : 1.0;

    // Each host vertex's source: the skinning matrix (mesh space to world at
    // rest, before the node globals) of the bone its host bone stands for.
    struct Binding
    {
        int node;
        Matrix offset; // mesh space to the node's space
        bool skinned;
    };
    std::vector<Binding> bindings;
    // Per source mesh, each vertex's weights as (bone, weight).
    std::vector<std::vector<std::vector<std::pair<unsigned, float>>>> weights_of(scene.mNumMeshes);
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
    {
        const aiMesh& mesh = *scene.mMeshes[m];
        weights_of[m].resize(mesh.mNumVertices);
        for (unsigned b = 0; b < mesh.mNumBones; ++b)
            for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w)
                if (mesh.mBones[b]->mWeights[w].mVertexId < mesh.mNumVertices)
                    weights_of[m][mesh.mBones[b]->mWeights[w].mVertexId].emplace_back(
                        b, mesh.mBones[b]->mWeights[w].mWeight);
    }
    for (const PlacedVertex& host : vertices)
    {
        const ImportSummary::MeshOrigin& origin = summary.meshes[host.mesh];
        const aiMesh& mesh = *scene.mMeshes[origin.source_mesh];
        const auto& weights =
            weights_of[static_cast<size_t>(origin.source_mesh)][host.source_vertex];
        int host_node = host.bone >= 0 && static_cast<size_t>(host.bone) < summary.bones.size()
                            ? summary.bones[static_cast<size_t>(host.bone)].node
                            : -2;
        float heaviest = 0.0f;
        for (const auto& [b, weight] : weights)
            if (source.NodeByName(mesh.mBones[b]->mName.C_Str()) >= 0)
                heaviest = std::max(heaviest, weight);
        Binding binding{origin.node, Matrix(), false};
        bool found = false;
        if (heaviest > 0.0f)
        {
            for (const auto& [b, weight] : weights)
            {
                const aiBone& bone = *mesh.mBones[b];
                if (!found && weight == heaviest &&
                    source.NodeByName(bone.mName.C_Str()) == host_node)
                {
                    binding = Binding{host_node, Matrix(bone.mOffsetMatrix), true};
                    found = true;
                }
            }
        }
        else
        {
            // Unskinned: the mesh node carries it; its transform is the
            // vertex's own.
            found = host_node == origin.node || (summary.bones.size() == 1 && host_node == -1);
            binding = Binding{origin.node, Matrix(), false};
        }
        if (!found && figures.faults.size() < 10)
            figures.faults.push_back("mesh " + std::to_string(host.mesh) + " vertex " +
                                     std::to_string(host.source_vertex) +
                                     " follows a bone that is not one of its heaviest");
        bindings.push_back(binding);
    }

    auto compare = [&](const std::vector<Matrix>& globals, const std::vector<Matrix>& world,
                       const std::string& when)
    {
        for (size_t i = 0; i < vertices.size(); ++i)
        {
            const PlacedVertex& host = vertices[i];
            const ImportSummary::MeshOrigin& origin = summary.meshes[host.mesh];
            const aiVector3D& raw =
                scene.mMeshes[origin.source_mesh]->mVertices[host.source_vertex];
            const Binding& binding = bindings[i];
            Matrix placed = binding.skinned
                                ? globals[static_cast<size_t>(binding.node)] * binding.offset
                                : globals[static_cast<size_t>(origin.node)];
            Vector expected = up * (placed * Vector(raw.x, raw.y, raw.z));
            Vector actual = host.bone >= 0 && static_cast<size_t>(host.bone) < world.size()
                                ? world[static_cast<size_t>(host.bone)] * host.position
                                : host.position;
            double error = (actual - expected).Length() / size;
            ++figures.checks;
            if (!(error <= figures.worst))
            {
                figures.worst = std::isnan(error) ? 1e300 : error;
                figures.worst_where = when + ", mesh " + std::to_string(host.mesh) + " vertex " +
                                      std::to_string(host.source_vertex);
            }
        }
    };

    // The rest pose, in a still sequence after the last one (where the
    // heading puts the added "Stand" and "Death"): no key applies there.
    int32_t last_end = 0;
    for (const ImportedSequence& sequence : summary.sequences)
        last_end = std::max(last_end, sequence.end_ms);
    int32_t still_start = (last_end / 1000 + 1) * 1000;
    ++figures.poses;
    compare(source.GlobalsAt(-1, 0.0),
            mdl.WorldAt(still_start, still_start, still_start + 1000, slerp), "still");

    double next_start = 0.0;
    for (const ImportedSequence& sequence : summary.sequences)
    {
        if (sequence.animation < 0)
        {
            ++figures.poses;
            compare(source.GlobalsAt(-1, 0.0),
                    mdl.WorldAt(sequence.start_ms, sequence.start_ms, sequence.end_ms, slerp),
                    "rest");
            continue;
        }
        const aiAnimation& animation = *scene.mAnimations[sequence.animation];
        double tps = animation.mTicksPerSecond > 0 ? animation.mTicksPerSecond : 25.0;
        double end_frames = EndTicks(animation) / tps * 24.0;
        // Each animation starts on a whole second after the one before ends.
        if (sequence.start_frame != std::floor(sequence.start_frame / 24.0) * 24.0 ||
            sequence.start_frame < next_start)
            figures.faults.push_back("sequence " + sequence.name + " starts at frame " +
                                     std::to_string(sequence.start_frame));
        next_start = sequence.start_frame + end_frames + 1e-6;
        if (sequence.start_ms != FrameToMdlTime(sequence.start_frame) ||
            sequence.end_ms !=
                FrameToMdlTime(static_cast<float>(sequence.start_frame + end_frames)))
            figures.faults.push_back("sequence " + sequence.name + " has the interval " +
                                     std::to_string(sequence.start_ms) + ", " +
                                     std::to_string(sequence.end_ms));
        std::vector<double> frames;
        for (double f = 0.0; f <= end_frames + 1e-9; f += 1.0)
            frames.push_back(f);
        if (end_frames - frames.back() > 1e-3)
            frames.push_back(end_frames);
        for (double f : frames)
        {
            int32_t ms = FrameToMdlTime(static_cast<float>(sequence.start_frame + f));
            ++figures.poses;
            compare(source.GlobalsAt(sequence.animation, f / 24.0 * tps),
                    mdl.WorldAt(ms, sequence.start_ms, sequence.end_ms, slerp),
                    sequence.name + " frame " + std::to_string(f));
        }
    }
    return figures;
}
