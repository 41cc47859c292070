#include "up_axis.h"

#include <array>
#include <assimp/scene.h>
#include <cmath>
#include <cstdint>
#include <string>

namespace
{

// The integer value of the metadata entry `key`; false when the scene has
// none or holds it in a type that is not a number.
bool ReadInteger(const aiMetadata& meta, const char* key, int& value)
{
    for (unsigned i = 0; i < meta.mNumProperties; ++i)
    {
        if (std::string(meta.mKeys[i].C_Str()) != key || meta.mValues[i].mData == nullptr)
            continue;
        const aiMetadataEntry& entry = meta.mValues[i];
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
}

} // namespace

bool RecordedUpAxis(const aiScene& scene, UpAxis& up)
{
    const aiMetadata* meta = scene.mMetaData;
    if (meta == nullptr)
        return false;
    if (!ReadInteger(*meta, "UpAxis", up.axis) || up.axis < 0 || up.axis > 2)
        return false;
    up.sign = 1;
    if (ReadInteger(*meta, "UpAxisSign", up.sign) && up.sign < 0)
        up.sign = -1;
    else
        up.sign = 1;
    return true;
}

Mat3 UpRotation(UpAxis up)
{
    Mat3 r; // +Y: nothing to turn
    auto set = [&r](std::array<double, 9> v)
    {
        for (int i = 0; i < 9; ++i)
            r.m[i / 3][i % 3] = v[static_cast<size_t>(i)];
    };
    if (up.axis == 2 && up.sign > 0)
        set({1, 0, 0, 0, 0, 1, 0, -1, 0}); // (x, y, z) -> (x, z, -y)
    else if (up.axis == 2)
        set({1, 0, 0, 0, 0, -1, 0, 1, 0}); // (x, y, z) -> (x, -z, y)
    else if (up.axis == 1 && up.sign < 0)
        set({1, 0, 0, 0, -1, 0, 0, 0, -1}); // half a turn about x
    else if (up.axis == 0 && up.sign > 0)
        set({0, -1, 0, 1, 0, 0, 0, 0, 1}); // (x, y, z) -> (-y, x, z)
    else if (up.axis == 0)
        set({0, 1, 0, -1, 0, 0, 0, 0, 1}); // (x, y, z) -> (y, -x, z)
    return r;
}
