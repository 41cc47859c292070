#include "skin_groups.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <set>

namespace
{

// The most bones whose groups are tried: 56 groups of one to four of six.
constexpr size_t kMaxCandidates = 6;

} // namespace

SkinGroup ChooseSkinGroup(Vec3d position, const BoneWeight* weights, size_t weight_count,
                          const SkinFrames& frames)
{
    // The weights that count, one per bone (a bone listed twice adds up).
    // Scratch kept between calls: the choice runs for every vertex.
    thread_local std::vector<BoneWeight> counted;
    thread_local std::vector<Vec3d> points;
    counted.clear();
    double total = 0.0;
    for (size_t i = 0; i < weight_count; ++i)
    {
        if (!(weights[i].weight > 0.0f))
            continue;
        total += weights[i].weight;
        auto same = std::find_if(counted.begin(), counted.end(),
                                 [&](const BoneWeight& w) { return w.bone == weights[i].bone; });
        if (same == counted.end())
            counted.push_back(weights[i]);
        else
            same->weight += weights[i].weight;
    }
    SkinGroup group;
    group.position = position;
    if (counted.empty())
        return group;
    std::sort(counted.begin(), counted.end(),
              [](const BoneWeight& a, const BoneWeight& b)
              { return a.weight != b.weight ? a.weight > b.weight : a.bone < b.bone; });
    group.bones = {counted[0].bone};
    if (counted.size() == 1 || frames.frame_count == 0)
        return group;

    const size_t candidates = std::min(counted.size(), kMaxCandidates);
    // The two places the vertex may stand: where it stands (its heaviest
    // bone's), and where the source's weighted skin puts it at rest.
    Vec3d places[2] = {position, Vec3d{}};
    for (size_t i = 0; i < weight_count; ++i)
        if (weights[i].weight > 0.0f)
            places[1] = Add(places[1], Scale(weights[i].at, weights[i].weight / total));
    // Where the bind pose is the rest pose the two are one (but for rounding),
    // and every bone's own place is the vertex's.
    const double near = 1e-6 * (1.0 + Length(position));
    bool one_place = true;
    for (size_t i = 0; i < weight_count && one_place; ++i)
        one_place =
            !(weights[i].weight > 0.0f) || Length(Subtract(weights[i].at, position)) <= near;
    const size_t place_count = one_place ? 1 : 2;
    const double frame_count = static_cast<double>(frames.frame_count);

    // Two bones, one place (the usual blend at a joint): with d_f the
    // distance between where the two bones put the vertex at frame f, the
    // source is w1 d_f from the heavier bone's point and |1/2 - w0| d_f from
    // the pair's middle, the lighter bone alone w0 d_f away. So the pair
    // wins exactly where |1/2 - w0| < w1, and the frames only scale the
    // errors.
    if (one_place && counted.size() == 2)
    {
        double spread = 0.0;
        for (size_t f = 0; f < frames.frame_count; ++f)
            spread += Length(Subtract(Apply(frames.At(f, counted[0].bone), position),
                                      Apply(frames.At(f, counted[1].bone), position)));
        const double w0 = counted[0].weight / total;
        const double w1 = counted[1].weight / total;
        group.heaviest_error = w1 * spread / frame_count;
        group.error = group.heaviest_error;
        const double pair = std::fabs(0.5 - w0) * spread / frame_count;
        if (pair < group.heaviest_error * (1.0 - 1e-9))
        {
            group.error = pair;
            group.bones = {std::min(counted[0].bone, counted[1].bone),
                           std::max(counted[0].bone, counted[1].bone)};
        }
        return group;
    }
    // Per frame: where the source puts the vertex, then where each candidate
    // bone alone puts it from each place.
    const size_t stride = place_count * candidates + 1;
    points.resize(frames.frame_count * stride);
    for (size_t f = 0; f < frames.frame_count; ++f)
    {
        Vec3d* at = &points[f * stride];
        for (size_t c = 0; c < candidates; ++c)
            for (size_t k = 0; k < place_count; ++k)
                at[1 + k * candidates + c] = Apply(frames.At(f, counted[c].bone), places[k]);
        // With one place and every bone a candidate, the source's point is
        // the weighted sum of the candidates' own.
        Vec3d source;
        if (one_place && candidates == counted.size())
            for (size_t c = 0; c < candidates; ++c)
                source = Add(source, Scale(at[1 + c], counted[c].weight / total));
        else
            for (size_t i = 0; i < weight_count; ++i)
                if (weights[i].weight > 0.0f)
                    source = Add(source, Scale(Apply(frames.At(f, weights[i].bone), weights[i].at),
                                               weights[i].weight / total));
        at[0] = source;
    }

    // Every group of one to four candidates, fewer bones first; bit c stands
    // for candidate c, so among groups of a size the heavier bones come first.
    unsigned best_mask = 1;
    size_t best_place = 0;
    double best = -1.0;
    for (size_t k = 0; k < place_count; ++k)
        for (int size = 1; size <= static_cast<int>(kMaxGroupBones); ++size)
        {
            for (unsigned mask = 1; mask < (1u << candidates); ++mask)
            {
                if (std::popcount(mask) != size)
                    continue;
                double error = 0.0;
                for (size_t f = 0; f < frames.frame_count; ++f)
                {
                    Vec3d sum;
                    for (size_t c = 0; c < candidates; ++c)
                        if (mask & (1u << c))
                            sum = Add(sum, points[f * stride + 1 + k * candidates + c]);
                    error += Length(Subtract(Scale(sum, 1.0 / size), points[f * stride]));
                }
                if (mask == 1 && k == 0)
                    group.heaviest_error = error;
                // A group must do clearly better than a smaller or heavier
                // one, a move than staying.
                if (best < 0.0 || error < best * (1.0 - 1e-9))
                {
                    best = error;
                    best_mask = mask;
                    best_place = k;
                }
            }
        }
    group.position = places[best_place];
    group.bones.clear();
    for (size_t c = 0; c < candidates; ++c)
        if (best_mask & (1u << c))
            group.bones.push_back(counted[c].bone);
    std::sort(group.bones.begin(), group.bones.end());
    group.error = best / frame_count;
    group.heaviest_error /= frame_count;
    return group;
}

Affine AverageTransform(const SkinFrames& frames, size_t frame, const std::vector<int32_t>& bones)
{
    if (bones.empty())
        return Affine();
    Affine sum = frames.At(frame, bones[0]);
    for (size_t b = 1; b < bones.size(); ++b)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                sum.m[i][j] += frames.At(frame, bones[b]).m[i][j];
    const double share = 1.0 / static_cast<double>(bones.size());
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            sum.m[i][j] *= share;
    return sum;
}

uint32_t GroupTable::Add(const std::vector<int32_t>& bones)
{
    auto [place, added] = index_.try_emplace(bones, static_cast<uint32_t>(groups_.size()));
    if (added)
        groups_.push_back(bones);
    return place->second;
}

std::vector<std::vector<size_t>> SplitByGroups(const std::vector<uint16_t>& faces,
                                               const std::vector<uint32_t>& group_of, size_t limit)
{
    std::vector<std::vector<size_t>> runs(1);
    std::set<uint32_t> used;
    for (size_t t = 0; t < faces.size() / 3; ++t)
    {
        std::set<uint32_t> with = used;
        for (size_t c = 0; c < 3; ++c)
            with.insert(group_of[faces[3 * t + c]]);
        if (with.size() > limit)
        {
            runs.emplace_back();
            with.clear();
            for (size_t c = 0; c < 3; ++c)
                with.insert(group_of[faces[3 * t + c]]);
        }
        used = std::move(with);
        runs.back().push_back(t);
    }
    return runs;
}
