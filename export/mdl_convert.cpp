#include "mdl_convert.h"

#include "portable_math.h"

#include <cmath>
#include <limits>

int32_t FrameToMdlTime(float t)
{
    double milliseconds = static_cast<double>(t) * 1000.0 / 24.0;
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

MdlQuaternion EulerToMdlQuaternion(Vec3 r)
{
    const double halves[3] = {static_cast<double>(r.x) / 2.0, static_cast<double>(r.y) / 2.0,
                              static_cast<double>(r.z) / 2.0};
    double sines[3];
    double cosines[3];
    PortableSinCos3(halves, sines, cosines);
    const double sx = sines[0], sy = sines[1], sz = sines[2];
    const double cx = cosines[0], cy = cosines[1], cz = cosines[2];
    double a = cy * cz;
    double b = sy * sz;
    return MdlQuaternion{
        cy * sz * cx + sy * cz * sx,
        a * sx - b * cx,
        sy * cz * cx - cy * sz * sx,
        a * cx + b * sx,
    };
}
