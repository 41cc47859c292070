// The three conversions between the host's terms and the MDL's: axes, key
// times and rotations. Pure functions, used by every writer.
#ifndef MDLEXPORT_EXPORT_MDL_CONVERT_H
#define MDLEXPORT_EXPORT_MDL_CONVERT_H

#include "host_model_lib.h"

#include <cmath>
#include <cstdint>
#include <limits>

// A position or direction in the order the MDL writes it: the host's z, x, y,
// each widened exactly to double. The reorder is cyclic: it keeps handedness
// and the winding of triangles, and no component changes sign.
struct MdlAxes
{
    double first, second, third;
};
// Inline: every vertex, normal, key and pivot row passes through it.
inline MdlAxes ToMdlAxes(Vec3 v)
{
    return MdlAxes{v.z, v.x, v.y};
}

// A host key time (frames at 24 per second) in milliseconds: t * 1000 / 24 in
// double precision, multiplied first, truncated toward zero. Saturates to the
// int32 range; a NaN time gives 0.
// Inline: every key row calls it.
inline int32_t FrameToMdlTime(float t)
{
    const double milliseconds = static_cast<double>(t) * 1000.0 / 24.0;
    if (std::isnan(milliseconds))
        return 0;
    // Truncation toward zero; out-of-range times stop at the int32 limits
    // instead of being undefined.
    if (milliseconds >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (milliseconds <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(milliseconds);
}

// The rotation of three host angles (radians about x, y, z) as the MDL's
// quaternion, in the order written: the vector part in MDL axis order (host z,
// x, y), then the scalar part. The quaternion is q(x)·q(z)·q(y): about fixed
// axes a point turns about y first, then z, then x.
struct MdlQuaternion
{
    double first, second, third, fourth;
};
MdlQuaternion EulerToMdlQuaternion(Vec3 r);
// The same for `count` rotations at once, faster over many.
void EulerToMdlQuaternions(const Vec3* rotations, MdlQuaternion* quaternions, int32_t count);

// Rotation keys are converted in blocks of this many: their sines and cosines
// are taken together, from arrays that fit on the stack.
constexpr int32_t kRotationKeyBlock = 32;

// Calls each(first, n) for the consecutive blocks of at most
// kRotationKeyBlock that make up `count` items.
template <typename Each> void ForEachRotationKeyBlock(int32_t count, Each each)
{
    for (int32_t first = 0; first < count; first += kRotationKeyBlock)
        each(first, count - first < kRotationKeyBlock ? count - first : kRotationKeyBlock);
}

#endif
