#include "mdl_euler.h"

#include "mdl_convert.h"

#include <cmath>
#include <numbers>

Vec3d HostAnglesFromRotation(const Mat3& rotation)
{
    const auto& r = rotation.m;
    // Rx(a)·Rz(c)·Ry(b) =
    //   [ cc cb,               -sc,    cc sb              ]
    //   [ ca sc cb + sa sb,    ca cc,  ca sc sb - sa cb   ]
    //   [ sa sc cb - ca sb,    sa cc,  sa sc sb + ca cb   ]
    double a = std::atan2(r[2][1], r[1][1]);
    double c = std::atan2(-r[0][1], std::hypot(r[0][0], r[0][2]));
    // b from Rx(-a)·R = Rz(c)·Ry(b), whose last row [-sb, 0, cb] never
    // vanishes: near gimbal lock, where a is poorly determined, b takes up
    // whatever a left.
    double sa = std::sin(a);
    double ca = std::cos(a);
    double b = std::atan2(sa * r[1][0] - ca * r[2][0], ca * r[2][2] - sa * r[1][2]);
    return Vec3d{a, b, c};
}

Quatd HostQuaternion(Vec3 angles)
{
    MdlQuaternion q = EulerToMdlQuaternion(angles);
    return Quatd{q.second, q.third, q.first, q.fourth};
}

Vec3 HostAnglesNear(const Mat3& rotation, const Quatd* previous)
{
    Vec3d exact = HostAnglesFromRotation(rotation);
    Vec3 angles{static_cast<float>(exact.x), static_cast<float>(exact.y),
                static_cast<float>(exact.z)};
    if (previous != nullptr && Dot(HostQuaternion(angles), *previous) < 0.0)
    {
        // Either way round flips the sign; this one keeps |a| within 2π.
        double turn = exact.x <= 0.0 ? 2.0 * std::numbers::pi : -2.0 * std::numbers::pi;
        angles.x = static_cast<float>(exact.x + turn);
    }
    return angles;
}
