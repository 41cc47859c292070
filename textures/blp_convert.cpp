#include "blp_convert.h"

#include "blp_jpeg.h"
#include "image_read.h"
#include "mipmaps.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace
{

bool ValidOptions(const BlpOptions& options, const std::string& name, std::string& error)
{
    if (options.quality < 1 || options.quality > 100)
    {
        error = name + ": texture quality " + std::to_string(options.quality) +
                " is not between 1 and 100";
        return false;
    }
    const int side = options.max_side;
    if (side < 1 || side > (1 << (kBlpMaxLevels - 1)) || (side & (side - 1)) != 0)
    {
        error = name + ": largest texture side " + std::to_string(side) +
                " is not a power of two up to 32768";
        return false;
    }
    return true;
}

// The least side of the decoded pixels: twice the largest texture side, so
// that the filter that makes level 0 still has two pixels or more for each
// of its own.
int LeastSide(const BlpOptions& options)
{
    return 2 * options.max_side;
}

// The image in memory to the file's bytes.
bool Convert(const RgbaImage& image, bool has_alpha, const std::string& name,
             const BlpOptions& options, std::vector<uint8_t>& blp, std::string& error,
             BlpInfo* info)
{
    try
    {
        const TextureSize top = BlpTopSize({image.file_width, image.file_height}, options.max_side);
        const std::vector<TextureSize> chain = MipChain(top);
        std::vector<RgbaImage> levels;
        if (!BuildMipmaps(image, has_alpha, chain, levels))
            throw std::bad_alloc();
        std::vector<std::vector<uint8_t>> streams(levels.size());
        for (size_t i = 0; i < levels.size(); ++i)
            if (!EncodeBlpJpeg(levels[i], options.quality, streams[i]))
                throw std::bad_alloc();
        // Every level shares level 0's tables; its data is the rest.
        const size_t shared = JpegSharedHeaderLength(streams[0]);
        const std::vector<uint8_t> header(streams[0].begin(),
                                          streams[0].begin() + static_cast<ptrdiff_t>(shared));
        for (auto& stream : streams)
        {
            const bool same = shared > 0 && JpegSharedHeaderLength(stream) == shared &&
                              std::equal(header.begin(), header.end(), stream.begin());
            if (!same)
            {
                error = name + ": the JPEG levels do not share their tables";
                return false;
            }
            stream.erase(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(shared));
        }
        const int alpha_bits = has_alpha ? 8 : 0;
        blp = AssembleBlp(top, alpha_bits, header, streams);
        if (info != nullptr)
            *info = {{image.file_width, image.file_height},
                     top,
                     static_cast<int>(levels.size()),
                     alpha_bits};
        return true;
    }
    catch (const std::bad_alloc&)
    {
        blp.clear();
        error = name + ": out of memory";
        return false;
    }
}

} // namespace

bool IsImageFileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* image : {"png", "jpg", "jpeg", "bmp", "tga", "gif", "psd"})
        if (extension == image)
            return true;
    return false;
}

bool ConvertImageToBlp(const uint8_t* bytes, size_t size, const std::string& name,
                       const BlpOptions& options, std::vector<uint8_t>& blp, std::string& error,
                       BlpInfo* info)
{
    blp.clear();
    if (!ValidOptions(options, name, error))
        return false;
    RgbaImage image;
    bool has_alpha = false;
    if (!ReadImage(bytes, size, name, image, has_alpha, error, LeastSide(options)))
        return false;
    return Convert(image, has_alpha, name, options, blp, error, info);
}

bool ConvertImageFileToBlp(const std::string& path, const BlpOptions& options,
                           std::vector<uint8_t>& blp, std::string& error, BlpInfo* info)
{
    blp.clear();
    if (!ValidOptions(options, path, error))
        return false;
    RgbaImage image;
    bool has_alpha = false;
    if (!ReadImageFile(path, image, has_alpha, error, LeastSide(options)))
        return false;
    return Convert(image, has_alpha, path, options, blp, error, info);
}
