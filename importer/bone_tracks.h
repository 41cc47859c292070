// The host's key tracks from sampled poses: each bone's skinning transform at
// each sample, taken apart into the translation and the rotation about its
// pivot that the MDL applies, relative to what its parent's keys make of the
// parent at the same sample.
//
// The MDL moves bind-pose vertices by the bone's world transform
//   W(bone) = W(parent) · T(pivot) · T(translation) · R(rotation) · T(-pivot),
// so the local part L = W(parent)^-1 · S (S the skinning transform) gives
//   rotation = the rotation nearest to L's linear part,
//   translation = L · pivot - pivot,
// which puts the pivot exactly where the source puts it even when L scales
// (the scale itself is dropped and reported).
#ifndef MDLEXPORT_IMPORTER_BONE_TRACKS_H
#define MDLEXPORT_IMPORTER_BONE_TRACKS_H

#include "host_model_lib.h"
#include "pose_math.h"

#include <cstdint>
#include <vector>

struct TrackBone
{
    int32_t parent = -1; // an earlier bone, or -1
    Vec3d pivot;         // as the export computes it from the host offsets
};

struct TrackSettings
{
    // Keys are dropped where interpolating their neighbours (linearly in the
    // game's milliseconds; spherically and normalized-linearly for rotations)
    // stays within these: a length in model units, an angle in radians.
    double translation_tolerance = 1e-5;
    double rotation_tolerance = 1e-5;
    bool keep_all_keys = false;
};

struct BoneKeys
{
    std::vector<PositionKey> translation;
    std::vector<RotationKey> rotation;
    // Per rotation key, the sampled rotation itself as a quaternion (host
    // axes), each on the side of the one before: what a model that stores
    // quaternions writes, without the angles' round trip.
    std::vector<Quatd> quaternions;
    bool scaled = false;     // some sample had scale or mirroring, dropped
    bool non_finite = false; // some sample was not finite and was held at rest
};

// Collects samples in time order and turns them into keys.
class TrackBuilder
{
  public:
    TrackBuilder(std::vector<TrackBone> bones, TrackSettings settings);

    // One sample: its host frame, the sequence it belongs to (samples of one
    // sequence are consecutive) and each bone's skinning transform in model
    // space. `skinning` has one entry per bone.
    void AddSample(float frame, int32_t sequence, const std::vector<Affine>& skinning);

    // The keys of every bone. Each sequence keeps its first and last sample;
    // a track whose every key is the rest pose is left empty.
    std::vector<BoneKeys> Finish() const;

  private:
    struct Sample
    {
        float frame;
        int32_t sequence;
    };
    std::vector<TrackBone> bones_;
    TrackSettings settings_;
    std::vector<Sample> samples_;
    std::vector<BoneKeys> raw_; // every sample's keys
    std::vector<Affine> world_;
};

// The MDL's world transform of a bone from its own key values and its
// parent's world transform.
Affine MdlBoneWorld(const Affine& parent_world, Vec3d pivot, Vec3 translation, Vec3 angles);

#endif
