#include "node_animation.h"

#include <cmath>

namespace
{

// The index of the last key at or before `ticks` (0 when none is), and the
// fraction of the way to the next key. Keys are taken as sorted by time.
template <typename Key>
unsigned FindSpan(const Key* keys, unsigned count, double ticks, double& fraction)
{
    fraction = 0.0;
    if (count == 0 || !(ticks > keys[0].mTime))
        return 0;
    if (ticks >= keys[count - 1].mTime)
        return count - 1;
    unsigned low = 0;
    unsigned high = count - 1; // keys[low].mTime < ticks < keys[high].mTime
    while (high - low > 1)
    {
        unsigned middle = low + (high - low) / 2;
        if (keys[middle].mTime <= ticks)
            low = middle;
        else
            high = middle;
    }
    double span = keys[high].mTime - keys[low].mTime;
    fraction = span > 0.0 ? (ticks - keys[low].mTime) / span : 0.0;
    return low;
}

Vec3d ToVec(const aiVector3D& v)
{
    return Vec3d{v.x, v.y, v.z};
}

Vec3d VectorAt(const aiVectorKey* keys, unsigned count, double ticks)
{
    double u = 0.0;
    unsigned k = FindSpan(keys, count, ticks, u);
    Vec3d a = ToVec(keys[k].mValue);
    if (u == 0.0)
        return a;
    Vec3d b = ToVec(keys[k + 1].mValue);
    return Add(a, Scale(Subtract(b, a), u));
}

Quatd ToQuat(const aiQuaternion& q)
{
    return Quatd{q.x, q.y, q.z, q.w};
}

Quatd RotationAt(const aiQuatKey* keys, unsigned count, double ticks)
{
    double u = 0.0;
    unsigned k = FindSpan(keys, count, ticks, u);
    Quatd a = Normalized(ToQuat(keys[k].mValue));
    if (u == 0.0)
        return a;
    return Slerp(a, Normalized(ToQuat(keys[k + 1].mValue)), u);
}

} // namespace

Affine AffineFromAssimp(const aiMatrix4x4& m)
{
    Affine r;
    const double rows[3][4] = {
        {m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = rows[i][j];
    return r;
}

Affine ChannelTransformAt(const aiNodeAnim& channel, double ticks, const aiMatrix4x4& rest)
{
    aiVector3D rest_scaling;
    aiQuaternion rest_rotation;
    aiVector3D rest_position;
    rest.Decompose(rest_scaling, rest_rotation, rest_position);

    Vec3d position = channel.mNumPositionKeys > 0
                         ? VectorAt(channel.mPositionKeys, channel.mNumPositionKeys, ticks)
                         : ToVec(rest_position);
    Quatd rotation = channel.mNumRotationKeys > 0
                         ? RotationAt(channel.mRotationKeys, channel.mNumRotationKeys, ticks)
                         : Normalized(ToQuat(rest_rotation));
    Vec3d scaling = channel.mNumScalingKeys > 0
                        ? VectorAt(channel.mScalingKeys, channel.mNumScalingKeys, ticks)
                        : ToVec(rest_scaling);

    Mat3 r = RotationMatrix(rotation);
    Affine local;
    const double s[3] = {scaling.x, scaling.y, scaling.z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            local.m[i][j] = r.m[i][j] * s[j];
    local.m[0][3] = position.x;
    local.m[1][3] = position.y;
    local.m[2][3] = position.z;
    return local;
}

double LastKeyTime(const aiAnimation& animation)
{
    double last = 0.0;
    for (unsigned c = 0; c < animation.mNumChannels; ++c)
    {
        const aiNodeAnim* channel = animation.mChannels[c];
        if (channel == nullptr)
            continue;
        if (channel->mNumPositionKeys > 0)
            last = std::fmax(last, channel->mPositionKeys[channel->mNumPositionKeys - 1].mTime);
        if (channel->mNumRotationKeys > 0)
            last = std::fmax(last, channel->mRotationKeys[channel->mNumRotationKeys - 1].mTime);
        if (channel->mNumScalingKeys > 0)
            last = std::fmax(last, channel->mScalingKeys[channel->mNumScalingKeys - 1].mTime);
    }
    return last;
}
