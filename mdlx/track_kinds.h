// Which tracks each block holds: shared by the readers, the writers and the
// validation, so that all of them agree on the tags and their MDL names.
#ifndef MDLEXPORT_MDLX_TRACK_KINDS_H
#define MDLEXPORT_MDLX_TRACK_KINDS_H

#include "model.h"

#include <cstdint>
#include <span>
#include <string>

namespace mdlx
{

// The holders of tracks. Every node kind holds KGTR, KGRT and KGSC besides its
// own; kNode stands for bones, helpers, event objects and collision shapes,
// which hold nothing else.
enum class TrackOwner
{
    kLayer,
    kTextureAnimation,
    kGeosetAnimation,
    kNode,
    kLight,
    kAttachment,
    kParticleEmitter,
    kParticleEmitter2,
    kRibbonEmitter,
    kCamera,
};

// The owner's own tags (not the node's three), in the order the MDL writer
// writes them.
std::span<const uint32_t> OwnTracks(TrackOwner owner);
// Whether a track with `tag` belongs in a block of `owner`.
bool OwnerHolds(TrackOwner owner, uint32_t tag);
// KGTR, KGRT and KGSC: written inside the MDX's node part.
bool IsNodeTrack(uint32_t tag);
// The tag's four characters for messages (non-printable bytes as '?').
std::string TagText(uint32_t tag);

} // namespace mdlx

#endif
