#include "image_read.h"

#include "jpeg_read.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <png.h>
#include <stb_image.h>

namespace
{

struct StbiFree
{
    void operator()(stbi_uc* pixels) const
    {
        stbi_image_free(pixels);
    }
};

// stb_image's reasons are terse ("bad png sig"); these say what they mean
// for the common ones and keep the decoder's word otherwise.
std::string Reason(const char* stb_reason)
{
    if (stb_reason == nullptr)
        return "cannot decode the image";
    if (std::strcmp(stb_reason, "unknown image type") == 0)
        return "not an image format that can be read (PNG, JPEG, BMP, TGA, GIF, PSD, HDR, PNM)";
    if (std::strcmp(stb_reason, "outofmem") == 0)
        return "out of memory";
    if (std::strcmp(stb_reason, "outofdata") == 0)
        return "the image data is cut short";
    return std::string("cannot decode the image: ") + stb_reason;
}

bool AnyTranslucent(const std::vector<uint8_t>& pixels)
{
    for (size_t i = 3; i < pixels.size(); i += 4)
        if (pixels[i] != 255)
            return true;
    return false;
}

bool IsPng(const uint8_t* bytes, size_t size)
{
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= sizeof kSignature && std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

bool SizeTooLarge(int width, int height, const std::string& name, std::string& error)
{
    if (width <= kMaxImageSide && height <= kMaxImageSide)
        return false;
    error = name + ": " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels is more than the " + std::to_string(kMaxImageSide) +
            " on a side that can be converted";
    return true;
}

std::string PngReason(const char* message)
{
    if (std::strcmp(message, "read beyond end of data") == 0)
        return "the image data is cut short";
    return std::string("cannot decode the image: ") + message;
}

// libpng's own reading of PNG: every colour type and depth, transparency
// chunks and gamma, and about twice stb_image's speed on large images.
bool ReadPng(const uint8_t* bytes, size_t size, const std::string& name, RgbaImage& image,
             bool& has_alpha, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, bytes, size) == 0)
    {
        error = name + ": " + PngReason(png.message);
        return false;
    }
    if (SizeTooLarge(static_cast<int>(png.width), static_cast<int>(png.height), name, error))
    {
        png_image_free(&png);
        return false;
    }
    const bool alpha_channel = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = PNG_FORMAT_RGBA;
    try
    {
        image.pixels.resize(PNG_IMAGE_SIZE(png));
    }
    catch (const std::bad_alloc&)
    {
        png_image_free(&png);
        error = name + ": out of memory";
        return false;
    }
    if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0)
    {
        error = name + ": " + PngReason(png.message);
        image = RgbaImage{};
        return false;
    }
    image.width = image.file_width = static_cast<int>(png.width);
    image.height = image.file_height = static_cast<int>(png.height);
    has_alpha = alpha_channel && AnyTranslucent(image.pixels);
    return true;
}

} // namespace

bool ReadImage(const uint8_t* bytes, size_t size, const std::string& name, RgbaImage& image,
               bool& has_alpha, std::string& error, int least_side)
{
    image = RgbaImage{};
    has_alpha = false;
    if (size == 0)
    {
        error = name + ": the file is empty";
        return false;
    }
    if (size > static_cast<size_t>(INT_MAX))
    {
        error = name + ": the file is larger than 2 GiB";
        return false;
    }
    if (IsPng(bytes, size))
        return ReadPng(bytes, size, name, image, has_alpha, error);
    const JpegRead jpeg = ReadJpeg(bytes, size, name, least_side, image, error);
    if (jpeg != JpegRead::NotHandled)
        return jpeg == JpegRead::Done;
    const int length = static_cast<int>(size);
    int width = 0;
    int height = 0;
    int channels = 0;
    // The header first, so that a hostile size is refused before any
    // allocation.
    if (stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0)
    {
        error = name + ": " + Reason(stbi_failure_reason());
        return false;
    }
    if (SizeTooLarge(width, height, name, error))
        return false;
    std::unique_ptr<stbi_uc, StbiFree> decoded(
        stbi_load_from_memory(bytes, length, &width, &height, &channels, 4));
    if (!decoded || width <= 0 || height <= 0)
    {
        error = name + ": " + Reason(stbi_failure_reason());
        return false;
    }
    try
    {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        image.pixels.assign(decoded.get(), decoded.get() + count);
    }
    catch (const std::bad_alloc&)
    {
        error = name + ": out of memory";
        return false;
    }
    image.width = image.file_width = width;
    image.height = image.file_height = height;
    // One and three channels are grey and RGB: no alpha.
    has_alpha = (channels == 2 || channels == 4) && AnyTranslucent(image.pixels);
    return true;
}

bool ReadImageFile(const std::string& path, RgbaImage& image, bool& has_alpha, std::string& error,
                   int least_side)
{
    image = RgbaImage{};
    has_alpha = false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    try
    {
        uint8_t chunk[1 << 16];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
    }
    catch (const std::bad_alloc&)
    {
        std::fclose(file);
        error = path + ": out of memory";
        return false;
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    std::fclose(file);
    if (failed)
    {
        error = path + ": cannot read: " + std::strerror(read_errno);
        return false;
    }
    return ReadImage(bytes.data(), bytes.size(), path, image, has_alpha, error, least_side);
}
