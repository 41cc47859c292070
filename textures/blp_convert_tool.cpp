// Converts one image file into a BLP1 texture:
//
//   blp-convert IMAGE OUT.blp [QUALITY] [--max-side N] [--reference LEVEL0.rgba]
//
// Prints what it made as one JSON line on standard output. --max-side sets
// the largest texture side (default 512). --reference also
// writes level 0 before compression (RGBA bytes, rows top to bottom), which
// the reader check compares the decoded texture with. OUT is written beside
// its name and renamed into place, so it is complete or absent. Exit status:
// 0 done, 2 bad usage or an image that cannot be read, 3 a write failure.
#include "blp_convert.h"
#include "image_read.h"
#include "mipmaps.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size, std::string& error)
{
    const std::string temporary = path + ".part" + std::to_string(getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
    {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const int write_errno = errno;
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0)
    {
        error = path + ": cannot write: " + std::strerror(written ? errno : write_errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// Level 0 as the conversion makes it: the same reading and scaling.
bool WriteReference(const std::string& image_path, int max_side, const std::string& path,
                    std::string& error)
{
    RgbaImage image;
    bool has_alpha = false;
    if (!ReadImageFile(image_path, image, has_alpha, error, 2 * max_side))
        return false;
    std::vector<RgbaImage> levels;
    const TextureSize top = BlpTopSize({image.file_width, image.file_height}, max_side);
    if (!BuildMipmaps(image, has_alpha, {top}, levels))
    {
        error = image_path + ": out of memory";
        return false;
    }
    return WriteWhole(path, levels[0].pixels.data(), levels[0].pixels.size(), error);
}

// A whole decimal number, or 0 (which the conversion refuses with its range).
int Number(const std::string& text)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= 1 && value <= 65536 ? static_cast<int>(value) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    std::string reference;
    BlpOptions options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else if (arg == "--max-side" && i + 1 < argc)
            options.max_side = Number(argv[++i]);
        else
            positional.push_back(arg);
    }
    if (positional.size() == 3)
        options.quality = Number(positional[2]);
    if (positional.size() < 2 || positional.size() > 3)
    {
        std::fprintf(stderr, "usage: blp-convert IMAGE OUT.blp [QUALITY] [--max-side N] "
                             "[--reference FILE]\n");
        return 2;
    }
    std::vector<uint8_t> blp;
    std::string error;
    BlpInfo info;
    if (!ConvertImageFileToBlp(positional[0], options, blp, error, &info))
    {
        std::fprintf(stderr, "blp-convert: %s\n", error.c_str());
        return 2;
    }
    if (!WriteWhole(positional[1], blp.data(), blp.size(), error) ||
        (!reference.empty() && !WriteReference(positional[0], options.max_side, reference, error)))
    {
        std::fprintf(stderr, "blp-convert: %s\n", error.c_str());
        return 3;
    }
    std::printf("{\"image\":[%d,%d],\"texture\":[%d,%d],\"levels\":%d,\"alpha_bits\":%d,"
                "\"quality\":%d,\"bytes\":%zu}\n",
                info.image.width, info.image.height, info.texture.width, info.texture.height,
                info.levels, info.alpha_bits, options.quality, blp.size());
    return 0;
}
