// Reading JPEG images with libjpeg-turbo, at full size or, when the pixels
// are to be scaled down a long way anyway, at 1/2, 1/4 or 1/8 of it: the
// decoder then leaves out the high frequencies of each block instead of
// computing them, several times faster than decoding everything.
#ifndef MDLEXPORT_TEXTURES_JPEG_READ_H
#define MDLEXPORT_TEXTURES_JPEG_READ_H

#include "image_read.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class JpegRead
{
    Done,
    Failed,     // `error` says why
    NotHandled, // not a JPEG, or CMYK: for another decoder
};

// Decodes the JPEG in `size` bytes into `image` (alpha all 255), as small as
// keeps each side at least the smaller of its full size and `least_side`
// (0: full size). A file cut short is refused ("NAME: the image data is cut
// short"); other damage the decoder reports as a warning is decoded as it can.
// Never throws.
JpegRead ReadJpeg(const uint8_t* bytes, size_t size, const std::string& name, int least_side,
                  RgbaImage& image, std::string& error);

#endif
