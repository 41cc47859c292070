// The BLP1 texture file's layout: the sizes of its levels and its header.
//
// A BLP1 file with JPEG content is, all numbers 32-bit little-endian:
//
//   0   "BLP1"
//   4   content: 0, JPEG
//   8   alpha bits: 8, or 0 when the texture is opaque
//   12  width, 16 height (of level 0, each a power of two)
//   20  type: 5, as the game's own JPEG textures carry (readers ignore it)
//   24  has mipmaps: 1
//   28  16 offsets of the levels' data from the file's start (0 when unused)
//   92  16 sizes of the levels' data (0 when unused)
//   156 the size of the JPEG header shared by every level
//   160 that header, then the levels' data in order
//
// A level's JPEG stream is the shared header followed by the level's data.
#ifndef MDLEXPORT_TEXTURES_BLP_LAYOUT_H
#define MDLEXPORT_TEXTURES_BLP_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct TextureSize
{
    int width = 0;
    int height = 0;

    bool operator==(const TextureSize&) const = default;
};

// The format has room for 16 levels: sides up to 32768.
constexpr int kBlpMaxLevels = 16;
constexpr size_t kBlpHeaderBytes = 160;

// The power of two nearest to `side` (the larger on a tie, 384 gives 512), at
// most `max_side` (itself a power of two). `side` and `max_side` are >= 1.
int NearestPowerOfTwo(int side, int max_side);

// Level 0's size for an image of `image`'s size: each side on its own to its
// nearest power of two, at most `max_side`.
TextureSize BlpTopSize(TextureSize image, int max_side);

// Every level from `top` down to 1 x 1, each side halved until it is 1.
// `top`'s sides are powers of two of at most 32768.
std::vector<TextureSize> MipChain(TextureSize top);

// The whole file: the header for `top` and `alpha_bits`, the shared
// `jpeg_header`, and each level's data in `levels` (level 0 first, at most
// kBlpMaxLevels). Throws only std::bad_alloc.
std::vector<uint8_t> AssembleBlp(TextureSize top, int alpha_bits,
                                 const std::vector<uint8_t>& jpeg_header,
                                 const std::vector<std::vector<uint8_t>>& levels);

#endif
