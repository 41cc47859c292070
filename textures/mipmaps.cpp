#include "mipmaps.h"

#include <cassert>
#include <new>
#include <stb_image_resize.h>

namespace
{

bool Scale(const RgbaImage& from, bool has_alpha, TextureSize size, RgbaImage& to)
{
    to.width = size.width;
    to.height = size.height;
    to.pixels.resize(static_cast<size_t>(size.width) * static_cast<size_t>(size.height) * 4);
    if (from.width == size.width && from.height == size.height)
    {
        to.pixels = from.pixels;
        return true;
    }
    return stbir_resize_uint8_generic(from.pixels.data(), from.width, from.height, from.width * 4,
                                      to.pixels.data(), size.width, size.height, size.width * 4, 4,
                                      has_alpha ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                      STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_SRGB, nullptr) != 0;
}

} // namespace

bool BuildMipmaps(const RgbaImage& image, bool has_alpha, const std::vector<TextureSize>& chain,
                  std::vector<RgbaImage>& levels)
{
    assert(!chain.empty());
    levels.clear();
    try
    {
        levels.resize(chain.size());
        for (size_t i = 0; i < chain.size(); ++i)
            if (!Scale(i == 0 ? image : levels[i - 1], has_alpha, chain[i], levels[i]))
                throw std::bad_alloc();
    }
    catch (const std::bad_alloc&)
    {
        levels.clear();
        return false;
    }
    return true;
}
