// Scaling an image to a texture's size and building its chain of smaller
// levels, with stb_image_resize: Mitchell filter when shrinking, Catmull-Rom
// when enlarging, in sRGB space (colours are blended as light adds up, so
// that small levels keep the image's brightness), edges clamped, and colours
// weighted by their alpha so that transparent pixels do not bleed into
// visible ones.
#ifndef MDLEXPORT_TEXTURES_MIPMAPS_H
#define MDLEXPORT_TEXTURES_MIPMAPS_H

#include "blp_layout.h"
#include "image_read.h"

#include <vector>

// Level 0 is `image` scaled to `chain[0]` (or copied when it has that size);
// each further level is the one before scaled to the next size of `chain`.
// `has_alpha` false treats the alpha channel as opaque (and leaves it 255).
// False only when memory runs out (`levels` then empty). Never throws.
bool BuildMipmaps(const RgbaImage& image, bool has_alpha, const std::vector<TextureSize>& chain,
                  std::vector<RgbaImage>& levels);

#endif
