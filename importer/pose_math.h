// Double-precision rigid and affine transforms for the importer: what it needs
// to compose node transforms, invert bind matrices and take a pose apart.
// Column vectors: a transform maps p to linear * p + translation.
#ifndef MDLEXPORT_IMPORTER_POSE_MATH_H
#define MDLEXPORT_IMPORTER_POSE_MATH_H

#include <cmath>

struct Vec3d
{
    double x = 0.0, y = 0.0, z = 0.0;
};

// A unit quaternion (x, y, z vector part, w scalar part) in host axes.
struct Quatd
{
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
};

// A 3x3 matrix, rows first.
struct Mat3
{
    double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
};

// An affine transform: the linear part in columns 0..2 of each row, the
// translation in column 3. Default: the identity.
struct Affine
{
    double m[3][4] = {{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}};
};

// The small ones inline: the bone-group choice and the extents call them
// for every vertex at every sampled frame.
inline Vec3d Add(Vec3d a, Vec3d b)
{
    return Vec3d{a.x + b.x, a.y + b.y, a.z + b.z};
}

inline Vec3d Subtract(Vec3d a, Vec3d b)
{
    return Vec3d{a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Vec3d Scale(Vec3d a, double s)
{
    return Vec3d{a.x * s, a.y * s, a.z * s};
}

inline double Length(Vec3d a)
{
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

// The product a * b: b applied first, then a.
Affine Multiply(const Affine& a, const Affine& b);

inline Vec3d Apply(const Affine& a, Vec3d p)
{
    return Vec3d{
        a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z + a.m[0][3],
        a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z + a.m[1][3],
        a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z + a.m[2][3],
    };
}
Vec3d Translation(const Affine& a);
Affine FromTranslation(Vec3d t);
Affine FromLinear(const Mat3& linear);
Mat3 LinearPart(const Affine& a);
double Determinant(const Mat3& a);
// The inverse, or false (and `out` untouched) when the linear part is
// singular or not finite.
bool Invert(const Affine& a, Affine& out);
bool IsFinite(const Affine& a);
// The largest difference between corresponding entries.
double MaxDifference(const Affine& a, const Affine& b);

Mat3 RotationMatrix(Quatd q); // q need not be normalized
// The unit quaternion of an orthonormal matrix with determinant +1.
Quatd QuaternionFromRotation(const Mat3& r);
Quatd Normalized(Quatd q);
double Dot(Quatd a, Quatd b);
Quatd Negated(Quatd q);
// Shortest-arc spherical interpolation; u = 0 gives a, u = 1 gives b.
Quatd Slerp(Quatd a, Quatd b, double u);
// Normalized linear interpolation on the side of a.
Quatd Nlerp(Quatd a, Quatd b, double u);
// The angle, in radians, of the rotation that takes a to b (0 to pi).
double AngleBetween(Quatd a, Quatd b);

// The rotation nearest to `a` (the orthonormal factor of its polar
// decomposition), with determinant +1: a mirroring linear part gives the
// rotation of its negation. `scaled` tells whether `a` differed from that
// rotation by more than `tolerance` in any entry of a^T a - I.
Mat3 NearestRotation(const Mat3& a, double tolerance, bool& scaled);

#endif
