#include "mdl_convert.h"

#include "portable_math.h"

MdlQuaternion EulerToMdlQuaternion(Vec3 r)
{
    MdlQuaternion q;
    EulerToMdlQuaternions(&r, &q, 1);
    return q;
}

void EulerToMdlQuaternions(const Vec3* rotations, MdlQuaternion* quaternions, int32_t count)
{
    // The sines and cosines of a block of keys' half angles are taken
    // together, two at a time.
    double halves[3 * kRotationKeyBlock];
    double sines[3 * kRotationKeyBlock];
    double cosines[3 * kRotationKeyBlock];
    ForEachRotationKeyBlock(count,
                            [&](int32_t first, int32_t n)
                            {
                                for (int32_t k = 0; k < n; ++k)
                                {
                                    const Vec3& r = rotations[first + k];
                                    halves[3 * k] = static_cast<double>(r.x) / 2.0;
                                    halves[3 * k + 1] = static_cast<double>(r.y) / 2.0;
                                    halves[3 * k + 2] = static_cast<double>(r.z) / 2.0;
                                }
                                PortableSinCosN(halves, sines, cosines, 3 * static_cast<size_t>(n));
                                for (int32_t k = 0; k < n; ++k)
                                {
                                    const double sx = sines[3 * k], sy = sines[3 * k + 1],
                                                 sz = sines[3 * k + 2];
                                    const double cx = cosines[3 * k], cy = cosines[3 * k + 1],
                                                 cz = cosines[3 * k + 2];
                                    const double a = cy * cz;
                                    const double b = sy * sz;
                                    quaternions[first + k] = MdlQuaternion{
                                        cy * sz * cx + sy * cz * sx,
                                        a * sx - b * cx,
                                        sy * cz * cx - cy * sz * sx,
                                        a * cx + b * sx,
                                    };
                                }
                            });
}
