#include "mipmaps.h"

#include <algorithm>
#include <cassert>
#include <new>
#include <stb_image_resize.h>

namespace
{

bool Scale(const RgbaImage& from, bool has_alpha, TextureSize size, RgbaImage& to,
           stbir_filter filter = STBIR_FILTER_DEFAULT)
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
                                      filter, STBIR_COLORSPACE_SRGB, nullptr) != 0;
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
        // An image four times the texture's side or more is first averaged
        // down to twice it, where the filter that follows still has two
        // pixels for each of its own: the same result to the eye for a
        // fraction of the work.
        const TextureSize top = chain[0];
        const TextureSize twice{std::min(image.width, 2 * top.width),
                                std::min(image.height, 2 * top.height)};
        RgbaImage averaged;
        const bool average = image.width >= 4 * top.width || image.height >= 4 * top.height;
        if (average && !Scale(image, has_alpha, twice, averaged, STBIR_FILTER_BOX))
            throw std::bad_alloc();
        for (size_t i = 0; i < chain.size(); ++i)
        {
            const RgbaImage& from = i > 0 ? levels[i - 1] : average ? averaged : image;
            if (!Scale(from, has_alpha, chain[i], levels[i]))
                throw std::bad_alloc();
        }
    }
    catch (const std::bad_alloc&)
    {
        levels.clear();
        return false;
    }
    return true;
}
