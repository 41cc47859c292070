#include "pose_math.h"

#include <cmath>

Affine Multiply(const Affine& a, const Affine& b)
{
    Affine r;
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 4; ++j)
        {
            double sum = j == 3 ? a.m[i][3] : 0.0;
            for (int k = 0; k < 3; ++k)
                sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return r;
}

Vec3d Translation(const Affine& a)
{
    return Vec3d{a.m[0][3], a.m[1][3], a.m[2][3]};
}

Affine FromTranslation(Vec3d t)
{
    Affine r;
    r.m[0][3] = t.x;
    r.m[1][3] = t.y;
    r.m[2][3] = t.z;
    return r;
}

Affine FromLinear(const Mat3& linear)
{
    Affine r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = linear.m[i][j];
    return r;
}

Mat3 LinearPart(const Affine& a)
{
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][j];
    return r;
}

double Determinant(const Mat3& a)
{
    const auto& m = a.m;
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

namespace
{

// The inverse of a 3x3 matrix by its adjugate; false when singular.
bool InvertLinear(const Mat3& a, Mat3& out)
{
    const auto& m = a.m;
    double det = Determinant(a);
    if (!std::isfinite(det) || det == 0.0)
        return false;
    // Relative to the entries' size, a determinant this small leaves nothing
    // of the inverse worth using.
    double size = 0.0;
    for (const auto& row : m)
        for (double v : row)
            size = std::fmax(size, std::fabs(v));
    if (std::fabs(det) <= 1e-12 * size * size * size)
        return false;
    double inv = 1.0 / det;
    out.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
    out.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
    out.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
    out.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
    out.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
    out.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
    out.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
    out.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
    out.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
    return true;
}

Mat3 Transposed(const Mat3& a)
{
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[j][i];
    return r;
}

} // namespace

bool Invert(const Affine& a, Affine& out)
{
    if (!IsFinite(a))
        return false;
    Mat3 inverse;
    if (!InvertLinear(LinearPart(a), inverse))
        return false;
    Affine r = FromLinear(inverse);
    Vec3d t = Apply(r, Translation(a));
    r.m[0][3] = -t.x;
    r.m[1][3] = -t.y;
    r.m[2][3] = -t.z;
    out = r;
    return true;
}

bool IsFinite(const Affine& a)
{
    for (const auto& row : a.m)
        for (double v : row)
            if (!std::isfinite(v))
                return false;
    return true;
}

double MaxDifference(const Affine& a, const Affine& b)
{
    double largest = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            largest = std::fmax(largest, std::fabs(a.m[i][j] - b.m[i][j]));
    return largest;
}

Mat3 RotationMatrix(Quatd q)
{
    q = Normalized(q);
    double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    double wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    Mat3 r;
    r.m[0][0] = 1.0 - 2.0 * (yy + zz);
    r.m[0][1] = 2.0 * (xy - wz);
    r.m[0][2] = 2.0 * (xz + wy);
    r.m[1][0] = 2.0 * (xy + wz);
    r.m[1][1] = 1.0 - 2.0 * (xx + zz);
    r.m[1][2] = 2.0 * (yz - wx);
    r.m[2][0] = 2.0 * (xz - wy);
    r.m[2][1] = 2.0 * (yz + wx);
    r.m[2][2] = 1.0 - 2.0 * (xx + yy);
    return r;
}

Quatd QuaternionFromRotation(const Mat3& r)
{
    const auto& m = r.m;
    // The largest of the four squares decides which formula divides by the
    // least rounding.
    double trace = m[0][0] + m[1][1] + m[2][2];
    Quatd q;
    if (trace >= m[0][0] && trace >= m[1][1] && trace >= m[2][2])
    {
        double s = std::sqrt(1.0 + trace) * 2.0;
        q = Quatd{(m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s,
                  0.25 * s};
    }
    else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2])
    {
        double s = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 2.0;
        q = Quatd{0.25 * s, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s,
                  (m[2][1] - m[1][2]) / s};
    }
    else if (m[1][1] >= m[2][2])
    {
        double s = std::sqrt(1.0 - m[0][0] + m[1][1] - m[2][2]) * 2.0;
        q = Quatd{(m[0][1] + m[1][0]) / s, 0.25 * s, (m[1][2] + m[2][1]) / s,
                  (m[0][2] - m[2][0]) / s};
    }
    else
    {
        double s = std::sqrt(1.0 - m[0][0] - m[1][1] + m[2][2]) * 2.0;
        q = Quatd{(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, 0.25 * s,
                  (m[1][0] - m[0][1]) / s};
    }
    return Normalized(q);
}

Quatd Normalized(Quatd q)
{
    double length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 0.0) || !std::isfinite(length))
        return Quatd{};
    return Quatd{q.x / length, q.y / length, q.z / length, q.w / length};
}

double Dot(Quatd a, Quatd b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Quatd Negated(Quatd q)
{
    return Quatd{-q.x, -q.y, -q.z, -q.w};
}

Quatd Slerp(Quatd a, Quatd b, double u)
{
    double cosine = Dot(a, b);
    if (cosine < 0.0)
    {
        b = Negated(b);
        cosine = -cosine;
    }
    double wa = 1.0 - u;
    double wb = u;
    if (cosine < 0.9999)
    {
        double angle = std::acos(cosine);
        double s = std::sin(angle);
        wa = std::sin((1.0 - u) * angle) / s;
        wb = std::sin(u * angle) / s;
    }
    return Normalized(
        Quatd{wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w});
}

Quatd Nlerp(Quatd a, Quatd b, double u)
{
    if (Dot(a, b) < 0.0)
        b = Negated(b);
    double wa = 1.0 - u;
    return Normalized(
        Quatd{wa * a.x + u * b.x, wa * a.y + u * b.y, wa * a.z + u * b.z, wa * a.w + u * b.w});
}

double AngleBetween(Quatd a, Quatd b)
{
    a = Normalized(a);
    b = Normalized(b);
    // The chord between the nearer pair of antipodes: accurate for small
    // angles, where acos of the dot product is not.
    double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z, dw = a.w - b.w;
    double sx = a.x + b.x, sy = a.y + b.y, sz = a.z + b.z, sw = a.w + b.w;
    double chord = std::fmin(std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw),
                             std::sqrt(sx * sx + sy * sy + sz * sz + sw * sw));
    return 4.0 * std::asin(std::fmin(1.0, chord / 2.0));
}

Mat3 NearestRotation(const Mat3& a, double tolerance, bool& scaled)
{
    Mat3 ata;
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
        {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += a.m[k][i] * a.m[k][j];
            ata.m[i][j] = sum;
        }
    }
    double deviation = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            deviation = std::fmax(deviation, std::fabs(ata.m[i][j] - (i == j ? 1.0 : 0.0)));
    double det = Determinant(a);
    scaled = !(deviation <= tolerance) || !(det > 0.0);

    Mat3 x = a;
    if (det < 0.0)
        for (auto& row : x.m)
            for (double& v : row)
                v = -v;
    // Averaging a matrix with its inverse transpose converges to the
    // orthonormal factor of its polar decomposition, quadratically.
    for (int iteration = 0; iteration < 60; ++iteration)
    {
        Mat3 inverse;
        if (!InvertLinear(x, inverse))
            return Mat3{}; // singular: no rotation is nearer than another
        Mat3 inverse_t = Transposed(inverse);
        double change = 0.0;
        for (int i = 0; i < 3; ++i)
        {
            for (int j = 0; j < 3; ++j)
            {
                double next = 0.5 * (x.m[i][j] + inverse_t.m[i][j]);
                change = std::fmax(change, std::fabs(next - x.m[i][j]));
                x.m[i][j] = next;
            }
        }
        if (change < 1e-14)
            break;
    }
    // A last orthonormalization keeps the result a rotation to the last bit.
    return RotationMatrix(QuaternionFromRotation(x));
}
