#include "scene_pose.h"

#include "animation_timing.h"
#include "node_animation.h"

#include <assimp/scene.h>

std::string NameOf(const aiString& name)
{
    return std::string(name.C_Str(), name.length);
}

int32_t SceneNodes::Find(const std::string& name) const
{
    auto found = by_name.find(name);
    return found == by_name.end() ? -1 : found->second;
}

SceneNodes CollectNodes(const aiNode* root)
{
    SceneNodes result;
    std::vector<SceneNode>& nodes = result.nodes;
    std::unordered_map<const aiNode*, bool> seen;
    std::vector<std::pair<const aiNode*, int32_t>> stack{{root, -1}};
    while (!stack.empty())
    {
        auto [node, parent] = stack.back();
        stack.pop_back();
        if (node == nullptr || seen[node])
            continue;
        seen[node] = true;
        SceneNode info;
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
    for (size_t n = 0; n < nodes.size(); ++n)
        result.by_name.emplace(NameOf(nodes[n].node->mName), static_cast<int32_t>(n));
    return result;
}

std::vector<const aiNodeAnim*> ChannelsOfNodes(const SceneNodes& nodes,
                                               const aiAnimation& animation)
{
    std::vector<const aiNodeAnim*> channels(nodes.nodes.size(), nullptr);
    for (unsigned c = 0; c < animation.mNumChannels; ++c)
    {
        const aiNodeAnim* channel = animation.mChannels[c];
        int32_t node = channel != nullptr ? nodes.Find(NameOf(channel->mNodeName)) : -1;
        if (node >= 0 && channels[static_cast<size_t>(node)] == nullptr)
            channels[static_cast<size_t>(node)] = channel;
    }
    return channels;
}

void NodeGlobalsAt(const SceneNodes& nodes, const aiNodeAnim* const* channels, double ticks,
                   Affine* globals)
{
    for (size_t n = 0; n < nodes.nodes.size(); ++n)
    {
        const aiNode* node = nodes.nodes[n].node;
        Affine local = channels[n] != nullptr
                           ? ChannelTransformAt(*channels[n], ticks, node->mTransformation)
                           : AffineFromAssimp(node->mTransformation);
        int32_t parent = nodes.nodes[n].parent;
        globals[n] = parent >= 0 ? Multiply(globals[static_cast<size_t>(parent)], local) : local;
    }
}

void SamplePoses(const aiScene& scene, const SceneNodes& nodes, const Affine& up,
                 const std::vector<BoneRecord>& bones,
                 const std::vector<ImportedSequence>& sequences, const PoseVisitor& visit)
{
    std::vector<Affine> globals(nodes.nodes.size());
    std::vector<Affine> skinning(bones.size());
    std::vector<const aiNodeAnim*> channels(nodes.nodes.size(), nullptr);
    for (size_t s = 0; s < sequences.size(); ++s)
    {
        const ImportedSequence& sequence = sequences[s];
        std::vector<SampleTime> times{SampleTime{0.0, sequence.start_frame}};
        if (sequence.animation >= 0)
        {
            const aiAnimation& animation =
                *scene.mAnimations[static_cast<size_t>(sequence.animation)];
            channels = ChannelsOfNodes(nodes, animation);
            double ticks_per_second = TicksPerSecond(animation.mTicksPerSecond);
            times = SampleTimes(
                AnimationSeconds(animation.mDuration, LastKeyTime(animation), ticks_per_second),
                ticks_per_second, sequence.start_frame, sequence.end_frame);
        }
        else
            channels.assign(nodes.nodes.size(), nullptr);

        for (const SampleTime& time : times)
        {
            NodeGlobalsAt(nodes, channels.data(), time.ticks, globals.data());
            for (size_t b = 0; b < bones.size(); ++b)
                skinning[b] = Multiply(Multiply(up, globals[static_cast<size_t>(bones[b].node)]),
                                       bones[b].inverse_bind);
            visit(static_cast<float>(time.frame), static_cast<int32_t>(s), skinning);
        }
    }
}
