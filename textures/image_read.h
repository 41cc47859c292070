// Reading a texture image into 8-bit RGBA pixels, from a file or from bytes
// in memory such as an image embedded in a scene: PNG with libpng, JPEG with
// libjpeg-turbo, BMP, TGA and the other formats stb_image reads (and CMYK
// JPEG) with stb_image.
#ifndef MDLEXPORT_TEXTURES_IMAGE_READ_H
#define MDLEXPORT_TEXTURES_IMAGE_READ_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Rows top to bottom, 4 bytes a pixel in R, G, B, A order, no padding.
struct RgbaImage
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    // The size the file gives, larger than the pixels' when a JPEG was
    // decoded at a fraction of it.
    int file_width = 0;
    int file_height = 0;
};

// The largest side we read: the largest texture side graphics cards take,
// and it keeps a hostile header from asking for gigabytes.
constexpr int kMaxImageSide = 16384;

// Decodes `size` bytes of an image file. `has_alpha` is true when the image
// has an alpha channel and some pixel is not fully opaque (an alpha channel
// that is opaque everywhere carries nothing). Grey, 16-bit and paletted images
// come out as 8-bit RGBA; an animated image gives its first frame. False with
// `error` = "NAME: REASON" (REASON as the decoder gives it, or a side over
// kMaxImageSide); `image` is then empty. Never throws.
//
// `least_side` > 0 lets a JPEG come at 1/2, 1/4 or 1/8 of its size where each
// side stays at least the smaller of its full size and `least_side`: for
// pixels that are to be scaled down to half of that or less anyway.
bool ReadImage(const uint8_t* bytes, size_t size, const std::string& name, RgbaImage& image,
               bool& has_alpha, std::string& error, int least_side = 0);

// The same for the image file at `path`, named by its path; a file that
// cannot be opened or read gives "PATH: cannot open: REASON" or
// "PATH: cannot read: REASON".
bool ReadImageFile(const std::string& path, RgbaImage& image, bool& has_alpha, std::string& error,
                   int least_side = 0);

#endif
