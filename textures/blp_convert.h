// Converting an image into a BLP1 texture with JPEG content, the format of
// the game's own textures: each side scaled to its nearest power of two (at
// most kBlpDefaultMaxSide), the full chain of smaller levels down to 1 x 1,
// alpha kept where the image has some (8 alpha bits, else 0), every level
// JPEG-compressed at one quality. See blp_layout.h for the file's layout.
#ifndef MDLEXPORT_TEXTURES_BLP_CONVERT_H
#define MDLEXPORT_TEXTURES_BLP_CONVERT_H

#include "blp_layout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The game's own model textures are at most 512 on a side, the size its
// renderer is known to take; the format itself would allow 32768.
constexpr int kBlpDefaultMaxSide = 512;

// The default quality keeps level 0 above 35 dB PSNR from the scaled image on
// real textures (tests/reader/check_blp.js measures it).
constexpr int kBlpDefaultQuality = 90;

struct BlpOptions
{
    int quality = kBlpDefaultQuality;  // 1 to 100
    int max_side = kBlpDefaultMaxSide; // a power of two, 1 to 32768
};

// What a conversion made, for reports.
struct BlpInfo
{
    TextureSize image;   // the source image's size
    TextureSize texture; // level 0's size
    int levels = 0;
    int alpha_bits = 0;
};

// Converts the image file held in `size` bytes (PNG, JPEG, BMP, TGA, ...)
// into the bytes of a BLP1 file in `blp`. False with `error` = "NAME: REASON"
// when the image cannot be read or the options are out of range; `blp` is then
// empty. Never throws.
bool ConvertImageToBlp(const uint8_t* bytes, size_t size, const std::string& name,
                       const BlpOptions& options, std::vector<uint8_t>& blp, std::string& error,
                       BlpInfo* info = nullptr);

// Whether `path`'s extension (any case) names an image format the conversion
// reads: .png, .jpg, .jpeg, .bmp, .tga, .gif or .psd.
bool IsImageFileName(const std::string& path);

// The same for the image file at `path`, named by its path.
bool ConvertImageFileToBlp(const std::string& path, const BlpOptions& options,
                           std::vector<uint8_t>& blp, std::string& error, BlpInfo* info = nullptr);

#endif
