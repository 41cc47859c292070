// The JPEG content of BLP1 textures, with libjpeg-turbo: each level is a
// baseline JPEG of four components holding the pixels' B, G, R and A bytes as
// they are, with no colour transform and no subsampling (no JFIF or Adobe
// marker either, which would ask a decoder to transform), all components on
// the same quantisation table; Huffman tables optimised per level; the
// integer DCT, so the bytes are the same on every platform.
#ifndef MDLEXPORT_TEXTURES_BLP_JPEG_H
#define MDLEXPORT_TEXTURES_BLP_JPEG_H

#include "image_read.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Compresses `image` (RGBA) at `quality` (1 to 100, libjpeg's scale) into a
// whole JPEG stream in `jpeg`. False only when memory runs out. Never throws.
bool EncodeBlpJpeg(const RgbaImage& image, int quality, std::vector<uint8_t>& jpeg);

// The length of the part of `jpeg` before its frame header (SOF marker): the
// start of image and the quantisation tables, which every level at the same
// quality shares. 0 when `jpeg` has no frame header.
size_t JpegSharedHeaderLength(const std::vector<uint8_t>& jpeg);

#endif
