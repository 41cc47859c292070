#include "blp_layout.h"

#include <cassert>

namespace
{

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
    out[at + 2] = static_cast<uint8_t>(value >> 16);
    out[at + 3] = static_cast<uint8_t>(value >> 24);
}

} // namespace

int NearestPowerOfTwo(int side, int max_side)
{
    assert(side >= 1 && max_side >= 1);
    int below = 1;
    while (below <= side / 2)
        below *= 2;
    // below <= side < 2 * below; the nearer wins, the larger on a tie.
    const int nearest = (side - below < 2 * below - side) ? below : 2 * below;
    return nearest < max_side ? nearest : max_side;
}

TextureSize BlpTopSize(TextureSize image, int max_side)
{
    return {NearestPowerOfTwo(image.width, max_side), NearestPowerOfTwo(image.height, max_side)};
}

std::vector<TextureSize> MipChain(TextureSize top)
{
    std::vector<TextureSize> chain{top};
    while (top.width > 1 || top.height > 1)
    {
        top = {top.width > 1 ? top.width / 2 : 1, top.height > 1 ? top.height / 2 : 1};
        chain.push_back(top);
    }
    assert(chain.size() <= static_cast<size_t>(kBlpMaxLevels));
    return chain;
}

std::vector<uint8_t> AssembleBlp(TextureSize top, int alpha_bits,
                                 const std::vector<uint8_t>& jpeg_header,
                                 const std::vector<std::vector<uint8_t>>& levels)
{
    assert(levels.size() <= static_cast<size_t>(kBlpMaxLevels));
    size_t total = kBlpHeaderBytes + jpeg_header.size();
    for (const auto& level : levels)
        total += level.size();
    std::vector<uint8_t> out(kBlpHeaderBytes);
    out.reserve(total);
    out[0] = 'B';
    out[1] = 'L';
    out[2] = 'P';
    out[3] = '1';
    PutU32(out, 4, 0);
    PutU32(out, 8, static_cast<uint32_t>(alpha_bits));
    PutU32(out, 12, static_cast<uint32_t>(top.width));
    PutU32(out, 16, static_cast<uint32_t>(top.height));
    PutU32(out, 20, 5);
    PutU32(out, 24, 1);
    PutU32(out, 156, static_cast<uint32_t>(jpeg_header.size()));
    out.insert(out.end(), jpeg_header.begin(), jpeg_header.end());
    for (size_t i = 0; i < levels.size(); ++i)
    {
        PutU32(out, 28 + 4 * i, static_cast<uint32_t>(out.size()));
        PutU32(out, 92 + 4 * i, static_cast<uint32_t>(levels[i].size()));
        out.insert(out.end(), levels[i].begin(), levels[i].end());
    }
    return out;
}
