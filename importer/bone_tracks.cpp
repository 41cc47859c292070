#include "bone_tracks.h"

#include "mdl_convert.h"
#include "mdl_euler.h"

#include <cassert>
#include <cmath>
#include <numbers>
#include <utility>

namespace
{

// The longest run of samples one pair of kept keys may span: it bounds the
// work of checking a run, and costs a key only on long still stretches.
constexpr size_t kMaxSpan = 48;

Vec3d ToVec(Vec3 v)
{
    return Vec3d{v.x, v.y, v.z};
}

Vec3 ToFloat(Vec3d v)
{
    return Vec3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

bool IsFinite(Vec3 v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Indices of the samples kept between `first` and `last` (both kept): each
// run from one kept key to the next must reproduce every key inside it.
template <typename Fits> std::vector<size_t> KeepBetween(size_t first, size_t last, Fits fits)
{
    // A track that moves evenly, or not at all, from end to end needs its
    // ends only, however long it is.
    bool even = true;
    for (size_t k = first + 1; k < last && even; ++k)
        even = fits(first, k, last);
    if (even)
        return first == last ? std::vector<size_t>{first} : std::vector<size_t>{first, last};

    std::vector<size_t> kept{first};
    size_t i = first;
    while (i < last)
    {
        size_t j = i + 1;
        while (j < last && j + 1 - i <= kMaxSpan)
        {
            bool all = true;
            for (size_t k = i + 1; k <= j && all; ++k)
                all = fits(i, k, j + 1);
            if (!all)
                break;
            ++j;
        }
        kept.push_back(j);
        i = j;
    }
    return kept;
}

} // namespace

Affine MdlBoneWorld(const Affine& parent_world, Vec3d pivot, Vec3 translation, Vec3 angles)
{
    Affine local = FromLinear(RotationMatrix(HostQuaternion(angles)));
    // T(pivot) · T(translation) · R · T(-pivot): R about the pivot, then moved.
    Vec3d turned_pivot = Apply(local, pivot);
    Vec3d t = ToVec(translation);
    local.m[0][3] = pivot.x + t.x - turned_pivot.x;
    local.m[1][3] = pivot.y + t.y - turned_pivot.y;
    local.m[2][3] = pivot.z + t.z - turned_pivot.z;
    return Multiply(parent_world, local);
}

TrackBuilder::TrackBuilder(std::vector<TrackBone> bones, TrackSettings settings)
    : bones_(std::move(bones)), settings_(settings), raw_(bones_.size()), world_(bones_.size())
{
}

void TrackBuilder::AddSample(float frame, int32_t sequence, const std::vector<Affine>& skinning)
{
    assert(skinning.size() == bones_.size());
    samples_.push_back(Sample{frame, sequence});
    for (size_t b = 0; b < bones_.size(); ++b)
    {
        const TrackBone& bone = bones_[b];
        assert(bone.parent < static_cast<int32_t>(b));
        Affine parent_world =
            bone.parent >= 0 ? world_[static_cast<size_t>(bone.parent)] : Affine{};
        BoneKeys& keys = raw_[b];

        Vec3 translation{0.0f, 0.0f, 0.0f};
        Vec3 angles{0.0f, 0.0f, 0.0f};
        Quatd quaternion;
        Affine parent_inverse;
        bool usable = Invert(parent_world, parent_inverse) && IsFinite(skinning[b]);
        if (usable)
        {
            Affine local = Multiply(parent_inverse, skinning[b]);
            bool scaled = false;
            Mat3 rotation = NearestRotation(LinearPart(local), 1e-4, scaled);
            keys.scaled = keys.scaled || scaled;
            translation = ToFloat(Subtract(Apply(local, bone.pivot), bone.pivot));
            Quatd previous;
            bool has_previous = !keys.rotation.empty();
            if (has_previous)
                previous = HostQuaternion(keys.rotation.back().rotation);
            angles = HostAnglesNear(rotation, has_previous ? &previous : nullptr);
            quaternion = QuaternionFromRotation(rotation);
            usable = IsFinite(translation) && IsFinite(angles);
        }
        if (!usable)
        {
            keys.non_finite = true;
            translation = Vec3{0.0f, 0.0f, 0.0f};
            angles = Vec3{0.0f, 0.0f, 0.0f};
            if (!keys.rotation.empty() &&
                Dot(HostQuaternion(angles), HostQuaternion(keys.rotation.back().rotation)) < 0.0)
                angles.x = static_cast<float>(2.0 * std::numbers::pi);
        }
        if (!keys.quaternions.empty() && Dot(quaternion, keys.quaternions.back()) < 0.0)
            quaternion = Negated(quaternion);
        keys.quaternions.push_back(quaternion);
        keys.translation.push_back(PositionKey{frame, translation});
        keys.rotation.push_back(RotationKey{frame, angles});
        world_[b] = MdlBoneWorld(parent_world, bone.pivot, translation, angles);
    }
}

std::vector<BoneKeys> TrackBuilder::Finish() const
{
    std::vector<BoneKeys> result(bones_.size());
    std::vector<int32_t> times(samples_.size());
    for (size_t s = 0; s < samples_.size(); ++s)
        times[s] = FrameToMdlTime(samples_[s].frame);

    for (size_t b = 0; b < bones_.size(); ++b)
    {
        const BoneKeys& raw = raw_[b];
        BoneKeys& out = result[b];
        out.scaled = raw.scaled;
        out.non_finite = raw.non_finite;
        if (settings_.keep_all_keys)
        {
            out.translation = raw.translation;
            out.rotation = raw.rotation;
            out.quaternions = raw.quaternions;
            continue;
        }

        std::vector<Quatd> rotations(raw.rotation.size());
        for (size_t s = 0; s < rotations.size(); ++s)
            rotations[s] = HostQuaternion(raw.rotation[s].rotation);

        bool translation_at_rest = true;
        bool rotation_at_rest = true;
        for (size_t s = 0; s < samples_.size(); ++s)
        {
            translation_at_rest =
                translation_at_rest &&
                Length(ToVec(raw.translation[s].position)) <= settings_.translation_tolerance;
            rotation_at_rest = rotation_at_rest &&
                               AngleBetween(rotations[s], Quatd{}) <= settings_.rotation_tolerance;
        }

        auto fraction = [&](size_t i, size_t k, size_t j)
        {
            double span = static_cast<double>(times[j]) - static_cast<double>(times[i]);
            return span > 0.0 ? (static_cast<double>(times[k]) - times[i]) / span : 0.0;
        };
        auto translation_fits = [&](size_t i, size_t k, size_t j)
        {
            Vec3d a = ToVec(raw.translation[i].position);
            Vec3d c = ToVec(raw.translation[j].position);
            Vec3d between = Add(a, Scale(Subtract(c, a), fraction(i, k, j)));
            return Length(Subtract(between, ToVec(raw.translation[k].position))) <=
                   settings_.translation_tolerance;
        };
        auto rotation_fits = [&](size_t i, size_t k, size_t j)
        {
            // The game interpolates the stored quaternions as they are: a pair
            // on opposite sides would take the long way.
            if (Dot(rotations[i], rotations[j]) < 0.0)
                return false;
            double u = fraction(i, k, j);
            return AngleBetween(Slerp(rotations[i], rotations[j], u), rotations[k]) <=
                       settings_.rotation_tolerance &&
                   AngleBetween(Nlerp(rotations[i], rotations[j], u), rotations[k]) <=
                       settings_.rotation_tolerance;
        };

        for (size_t first = 0; first < samples_.size();)
        {
            size_t last = first;
            while (last + 1 < samples_.size() &&
                   samples_[last + 1].sequence == samples_[first].sequence)
                ++last;
            if (!translation_at_rest)
                for (size_t s : KeepBetween(first, last, translation_fits))
                    out.translation.push_back(raw.translation[s]);
            if (!rotation_at_rest)
                for (size_t s : KeepBetween(first, last, rotation_fits))
                {
                    out.rotation.push_back(raw.rotation[s]);
                    out.quaternions.push_back(raw.quaternions[s]);
                }
            first = last + 1;
        }
    }
    return result;
}
