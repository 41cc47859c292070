#include "bone_choice.h"

#include <cassert>
#include <cmath>

namespace
{

// The largest magnitude among the entries of `a`, and at least 1: the scale
// against which two binds are compared.
double LargestEntryOrOne(const Affine& a)
{
    double largest = 1.0;
    for (const auto& row : a.m)
        for (double v : row)
            largest = std::fmax(largest, std::fabs(v));
    return largest;
}

} // namespace

Affine SkinPlacement(const Affine& node_rest, const Affine& offset, const Affine& mesh_global,
                     bool& singular)
{
    Affine offset_inverse;
    singular = !Invert(offset, offset_inverse);
    return singular ? mesh_global : Multiply(node_rest, offset);
}

bool SameBind(const Affine& a, const Affine& b)
{
    return MaxDifference(a, b) <= 1e-5 * std::fmax(LargestEntryOrOne(a), LargestEntryOrOne(b));
}

void AddBind(std::vector<Affine>& binds, const Affine& bind)
{
    for (const Affine& known : binds)
        if (SameBind(known, bind))
            return;
    binds.push_back(bind);
}

BoneChoice ChooseBones(const NodeNeeds* nodes, size_t count)
{
    bool any_bone = false;
    for (size_t n = 0; n < count; ++n)
        any_bone = any_bone || !nodes[n].binds.empty() || nodes[n].animated;
    auto wanted = [&](size_t n)
    {
        return !nodes[n].binds.empty() || nodes[n].animated ||
               (any_bone && nodes[n].carries_unskinned);
    };

    // Ancestors below the root; preorder puts every parent before its child.
    std::vector<bool> is_bone(count, false);
    for (size_t n = count; n > 0; --n)
    {
        size_t node = n - 1;
        if (!wanted(node) && !is_bone[node])
            continue;
        is_bone[node] = true;
        for (int32_t p = nodes[node].parent; p > 0 && !is_bone[static_cast<size_t>(p)];
             p = nodes[static_cast<size_t>(p)].parent)
            is_bone[static_cast<size_t>(p)] = true;
    }

    BoneChoice choice;
    choice.first_bone.assign(count, -1);
    for (size_t n = 0; n < count; ++n)
    {
        if (!is_bone[n])
            continue;
        assert(nodes[n].parent < static_cast<int32_t>(n));
        std::vector<Affine> binds = nodes[n].binds;
        if (binds.empty() || (any_bone && nodes[n].carries_unskinned))
            AddBind(binds, nodes[n].rest);
        int32_t parent = -1;
        for (int32_t p = nodes[n].parent; p >= 0 && parent < 0;
             p = nodes[static_cast<size_t>(p)].parent)
            parent = choice.first_bone[static_cast<size_t>(p)];
        choice.first_bone[n] = static_cast<int32_t>(choice.bones.size());
        for (const Affine& bind : binds)
        {
            BoneRecord bone;
            bone.node = static_cast<int32_t>(n);
            bone.bind = bind;
            bone.parent = parent;
            if (!Invert(bind, bone.inverse_bind))
                bone.inverse_bind = FromTranslation(Scale(Translation(bind), -1.0));
            choice.bones.push_back(bone);
        }
    }
    return choice;
}

size_t BoneCount(const BoneChoice& choice, int32_t node)
{
    if (node < 0 || static_cast<size_t>(node) >= choice.first_bone.size() ||
        choice.first_bone[static_cast<size_t>(node)] < 0)
        return 0;
    size_t first = static_cast<size_t>(choice.first_bone[static_cast<size_t>(node)]);
    size_t count = 0;
    while (first + count < choice.bones.size() && choice.bones[first + count].node == node)
        ++count;
    return count;
}

int32_t FindBone(const BoneChoice& choice, int32_t node, const Affine& bind)
{
    size_t count = BoneCount(choice, node);
    for (size_t i = 0; i < count; ++i)
    {
        size_t b = static_cast<size_t>(choice.first_bone[static_cast<size_t>(node)]) + i;
        if (SameBind(choice.bones[b].bind, bind))
            return static_cast<int32_t>(b);
    }
    return -1;
}
