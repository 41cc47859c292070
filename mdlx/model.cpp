#include "model.h"

#include "track_kinds.h"

namespace mdlx
{

namespace
{

constexpr TrackKind kKinds[] = {
    {Tag("KMTF"), "TextureID", 1, true},
    {Tag("KMTA"), "Alpha", 1, false},
    {Tag("KTAT"), "Translation", 3, false},
    {Tag("KTAR"), "Rotation", 4, false},
    {Tag("KTAS"), "Scaling", 3, false},
    {Tag("KGAO"), "Alpha", 1, false},
    {Tag("KGAC"), "Color", 3, false},
    {Tag("KGTR"), "Translation", 3, false},
    {Tag("KGRT"), "Rotation", 4, false},
    {Tag("KGSC"), "Scaling", 3, false},
    {Tag("KLAS"), "AttenuationStart", 1, false},
    {Tag("KLAE"), "AttenuationEnd", 1, false},
    {Tag("KLAC"), "Color", 3, false},
    {Tag("KLAI"), "Intensity", 1, false},
    {Tag("KLBI"), "AmbIntensity", 1, false},
    {Tag("KLBC"), "AmbColor", 3, false},
    {Tag("KLAV"), "Visibility", 1, false},
    {Tag("KATV"), "Visibility", 1, false},
    {Tag("KPEE"), "EmissionRate", 1, false},
    {Tag("KPEG"), "Gravity", 1, false},
    {Tag("KPLN"), "Longitude", 1, false},
    {Tag("KPLT"), "Latitude", 1, false},
    {Tag("KPEL"), "LifeSpan", 1, false},
    {Tag("KPES"), "InitVelocity", 1, false},
    {Tag("KPEV"), "Visibility", 1, false},
    {Tag("KP2S"), "Speed", 1, false},
    {Tag("KP2R"), "Variation", 1, false},
    {Tag("KP2L"), "Latitude", 1, false},
    {Tag("KP2G"), "Gravity", 1, false},
    {Tag("KP2E"), "EmissionRate", 1, false},
    {Tag("KP2N"), "Width", 1, false},
    {Tag("KP2W"), "Length", 1, false},
    {Tag("KP2V"), "Visibility", 1, false},
    {Tag("KRHA"), "HeightAbove", 1, false},
    {Tag("KRHB"), "HeightBelow", 1, false},
    {Tag("KRAL"), "Alpha", 1, false},
    {Tag("KRCO"), "Color", 3, false},
    {Tag("KRTX"), "TextureSlot", 1, true},
    {Tag("KRVS"), "Visibility", 1, false},
    {Tag("KCTR"), "Translation", 3, false},
    {Tag("KCRL"), "Rotation", 1, false},
    {Tag("KTTR"), "Translation", 3, false},
};

constexpr uint32_t kNodeTags[] = {Tag("KGTR"), Tag("KGRT"), Tag("KGSC")};
constexpr uint32_t kLayerTags[] = {Tag("KMTF"), Tag("KMTA")};
constexpr uint32_t kTextureAnimationTags[] = {Tag("KTAT"), Tag("KTAR"), Tag("KTAS")};
constexpr uint32_t kGeosetAnimationTags[] = {Tag("KGAO"), Tag("KGAC")};
constexpr uint32_t kLightTags[] = {Tag("KLAS"), Tag("KLAE"), Tag("KLAI"), Tag("KLAC"),
                                   Tag("KLBI"), Tag("KLBC"), Tag("KLAV")};
constexpr uint32_t kAttachmentTags[] = {Tag("KATV")};
constexpr uint32_t kEmitterTags[] = {Tag("KPEE"), Tag("KPEG"), Tag("KPLN"), Tag("KPLT"),
                                     Tag("KPEV"), Tag("KPEL"), Tag("KPES")};
constexpr uint32_t kEmitter2Tags[] = {Tag("KP2S"), Tag("KP2R"), Tag("KP2L"), Tag("KP2G"),
                                      Tag("KP2V"), Tag("KP2E"), Tag("KP2N"), Tag("KP2W")};
constexpr uint32_t kRibbonTags[] = {Tag("KRHA"), Tag("KRHB"), Tag("KRAL"),
                                    Tag("KRCO"), Tag("KRTX"), Tag("KRVS")};
constexpr uint32_t kCameraTags[] = {Tag("KCTR"), Tag("KCRL"), Tag("KTTR")};

} // namespace

const TrackKind* TrackKindOf(uint32_t tag)
{
    for (const TrackKind& kind : kKinds)
    {
        if (kind.tag == tag)
            return &kind;
    }
    return nullptr;
}

const Track* FindTrack(const std::vector<Track>& tracks, uint32_t tag)
{
    for (const Track& track : tracks)
    {
        if (track.tag == tag)
            return &track;
    }
    return nullptr;
}

bool IsNodeTrack(uint32_t tag)
{
    return tag == kNodeTags[0] || tag == kNodeTags[1] || tag == kNodeTags[2];
}

std::span<const uint32_t> OwnTracks(TrackOwner owner)
{
    switch (owner)
    {
    case TrackOwner::kLayer:
        return kLayerTags;
    case TrackOwner::kTextureAnimation:
        return kTextureAnimationTags;
    case TrackOwner::kGeosetAnimation:
        return kGeosetAnimationTags;
    case TrackOwner::kLight:
        return kLightTags;
    case TrackOwner::kAttachment:
        return kAttachmentTags;
    case TrackOwner::kParticleEmitter:
        return kEmitterTags;
    case TrackOwner::kParticleEmitter2:
        return kEmitter2Tags;
    case TrackOwner::kRibbonEmitter:
        return kRibbonTags;
    case TrackOwner::kCamera:
        return kCameraTags;
    case TrackOwner::kNode:
        return {};
    }
    return {};
}

bool OwnerHolds(TrackOwner owner, uint32_t tag)
{
    if (owner != TrackOwner::kLayer && owner != TrackOwner::kTextureAnimation &&
        owner != TrackOwner::kGeosetAnimation && owner != TrackOwner::kCamera && IsNodeTrack(tag))
        return true;
    for (uint32_t own : OwnTracks(owner))
    {
        if (own == tag)
            return true;
    }
    return false;
}

std::string TagText(uint32_t tag)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
    {
        const char c = char(tag >> (8 * i));
        text[size_t(i)] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

} // namespace mdlx
