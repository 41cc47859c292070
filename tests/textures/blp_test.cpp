#include "blp_convert.h"
#include "blp_layout.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace
{

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// An uncompressed TGA, rows top down; 32 bits a pixel with `alpha`'s values,
// else 24.
std::vector<uint8_t> Tga(int width, int height, const std::function<int(int, int)>& alpha = {})
{
    std::vector<uint8_t> tga(18);
    tga[2] = 2;
    tga[12] = static_cast<uint8_t>(width);
    tga[13] = static_cast<uint8_t>(width >> 8);
    tga[14] = static_cast<uint8_t>(height);
    tga[15] = static_cast<uint8_t>(height >> 8);
    tga[16] = alpha ? 32 : 24;
    tga[17] = alpha ? 0x28 : 0x20;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            tga.push_back(static_cast<uint8_t>(x * 7));
            tga.push_back(static_cast<uint8_t>(y * 5));
            tga.push_back(static_cast<uint8_t>(x + y));
            if (alpha)
                tga.push_back(static_cast<uint8_t>(alpha(x, y)));
        }
    return tga;
}

TEST(NearestPowerOfTwo, TakesTheNearerAndTheLargerOnATieUpToTheLimit)
{
    EXPECT_EQ(NearestPowerOfTwo(1, 512), 1);
    EXPECT_EQ(NearestPowerOfTwo(3, 512), 4); // 2 and 4 both 1 away
    EXPECT_EQ(NearestPowerOfTwo(5, 512), 4);
    EXPECT_EQ(NearestPowerOfTwo(211, 512), 256);
    EXPECT_EQ(NearestPowerOfTwo(383, 512), 256);
    EXPECT_EQ(NearestPowerOfTwo(384, 512), 512); // 128 from each
    EXPECT_EQ(NearestPowerOfTwo(16384, 512), 512);
    EXPECT_EQ(NearestPowerOfTwo(300, 128), 128);
}

TEST(AssembleBlp, PutsTheSharedHeaderThenEachLevelAtItsOffset)
{
    // Header 160 bytes, shared JPEG header 3 bytes: level 0 at 163 (5 bytes),
    // level 1 at 168 (7 bytes), 175 bytes in all.
    const std::vector<uint8_t> blp =
        AssembleBlp({2, 1}, 8, {0xFF, 0xD8, 0x01}, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 11, 12}});
    ASSERT_EQ(blp.size(), 175u);
    EXPECT_EQ(std::string(blp.begin(), blp.begin() + 4), "BLP1");
    const uint32_t fields[] = {0, 8, 2, 1, 5, 1, 163, 168};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(U32(blp, 4 + 4 * i), fields[i]) << "field at " << 4 + 4 * i;
    for (size_t i = 2; i < 16; ++i)
        EXPECT_EQ(U32(blp, 28 + 4 * i), 0u) << "unused offset " << i;
    EXPECT_EQ(U32(blp, 92), 5u);
    EXPECT_EQ(U32(blp, 96), 7u);
    for (size_t i = 2; i < 16; ++i)
        EXPECT_EQ(U32(blp, 92 + 4 * i), 0u) << "unused size " << i;
    EXPECT_EQ(U32(blp, 156), 3u);
    EXPECT_EQ(blp[160], 0xFF);
    EXPECT_EQ(blp[163], 1);
    EXPECT_EQ(blp[168], 6);
    EXPECT_EQ(blp[174], 12);
}

TEST(ConvertImageToBlp, WritesEveryLevelOfTheSizeAndAlphaTheImageCallsFor)
{
    const auto translucent_pixel = [](int x, int y) { return x == 1 && y == 0 ? 128 : 255; };
    const auto opaque = [](int, int) { return 255; };
    const struct
    {
        int width, height;
        std::function<int(int, int)> alpha;
        uint32_t texture_width, texture_height, levels, alpha_bits;
    } cases[] = {
        {300, 75, translucent_pixel, 256, 64, 9, 8}, // 256x64 ... 4x1, 2x1, 1x1
        {300, 75, opaque, 256, 64, 9, 0},            // an opaque alpha channel carries nothing
        {1, 1, {}, 1, 1, 1, 0},
        {3, 5, {}, 4, 4, 3, 0},
        {1000, 20, {}, 512, 16, 10, 0}, // at most 512: 512x16 ... 32x1, then 16x1 to 1x1
        {384, 96, {}, 512, 128, 10, 0}, // both ties go up
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::vector<uint8_t> tga = Tga(c.width, c.height, c.alpha);
        std::vector<uint8_t> blp;
        std::string error;
        BlpInfo info;
        ASSERT_TRUE(ConvertImageToBlp(tga.data(), tga.size(), "test.tga", {}, blp, error, &info))
            << error;
        ASSERT_GT(blp.size(), kBlpHeaderBytes);
        EXPECT_EQ(U32(blp, 4), 0u);
        EXPECT_EQ(U32(blp, 8), c.alpha_bits);
        EXPECT_EQ(U32(blp, 12), c.texture_width);
        EXPECT_EQ(U32(blp, 16), c.texture_height);
        EXPECT_EQ(U32(blp, 24), 1u);
        EXPECT_EQ(info.levels, static_cast<int>(c.levels));
        // The shared header: start of image and the tables, no JFIF or
        // Adobe marker (either would ask a decoder for a colour transform).
        const uint32_t shared = U32(blp, 156);
        ASSERT_GE(shared, 4u);
        EXPECT_EQ(blp[160], 0xFF);
        EXPECT_EQ(blp[161], 0xD8);
        EXPECT_EQ(blp[162], 0xFF);
        EXPECT_EQ(blp[163], 0xDB); // the quantisation table
        // Levels follow one another; each is a frame, from its header (SOF0)
        // to the end of image.
        size_t next = kBlpHeaderBytes + shared;
        for (uint32_t i = 0; i < 16; ++i)
        {
            const uint32_t offset = U32(blp, 28 + 4 * i);
            const uint32_t size = U32(blp, 92 + 4 * i);
            if (i >= c.levels)
            {
                EXPECT_EQ(offset, 0u);
                EXPECT_EQ(size, 0u);
                continue;
            }
            ASSERT_EQ(offset, next) << "level " << i;
            ASSERT_GE(size, 4u);
            ASSERT_LE(offset + size, blp.size());
            EXPECT_EQ(blp[offset], 0xFF);
            EXPECT_EQ(blp[offset + 1], 0xC0);
            EXPECT_EQ(blp[offset + size - 2], 0xFF);
            EXPECT_EQ(blp[offset + size - 1], 0xD9);
            // The frame's height and width, then four components.
            const uint32_t side_w = std::max(c.texture_width >> i, 1u);
            const uint32_t side_h = std::max(c.texture_height >> i, 1u);
            EXPECT_EQ(static_cast<uint32_t>(blp[offset + 5] << 8 | blp[offset + 6]), side_h);
            EXPECT_EQ(static_cast<uint32_t>(blp[offset + 7] << 8 | blp[offset + 8]), side_w);
            EXPECT_EQ(blp[offset + 9], 4);
            next = offset + size;
        }
        EXPECT_EQ(next, blp.size());
    }
}

TEST(ConvertImageToBlp, RefusesWithTheImagesNameAndTheReasonAndLeavesNothing)
{
    const std::string text = "not an image";
    const std::vector<uint8_t> not_image(text.begin(), text.end());
    // Real files cut short inside their compressed pixels.
    std::ifstream png(MDL_ASSIMP_MODELS "/glTF2/textureTransform/Arrow.png", std::ios::binary);
    std::vector<uint8_t> cut_png((std::istreambuf_iterator<char>(png)), {});
    ASSERT_EQ(cut_png.size(), 867u);
    cut_png.resize(400);
    std::ifstream jpeg(MDL_ASSIMP_MODELS "/OBJ/engineflare1.jpg", std::ios::binary);
    std::vector<uint8_t> cut_jpeg((std::istreambuf_iterator<char>(jpeg)), {});
    ASSERT_EQ(cut_jpeg.size(), 3630u);
    cut_jpeg.resize(2000);
    std::vector<uint8_t> tga = Tga(4, 4);
    std::vector<uint8_t> huge_tga = Tga(1, 1);
    huge_tga[12] = 0xFF; // 65535 pixels wide
    huge_tga[13] = 0xFF;
    BlpOptions bad_quality;
    bad_quality.quality = 101;
    BlpOptions bad_side;
    bad_side.max_side = 300;
    const struct
    {
        std::vector<uint8_t> bytes;
        BlpOptions options;
        std::string error;
    } cases[] = {
        {not_image,
         {},
         "hero.glb image 0: not an image format that can be read (PNG, JPEG, BMP, "
         "TGA, GIF, PSD, HDR, PNM)"},
        {{}, {}, "hero.glb image 0: the file is empty"},
        {cut_png, {}, "hero.glb image 0: the image data is cut short"},
        {cut_jpeg, {}, "hero.glb image 0: the image data is cut short"},
        {huge_tga,
         {},
         "hero.glb image 0: 65535 x 1 pixels is more than the 16384 on a side "
         "that can be converted"},
        {tga, bad_quality, "hero.glb image 0: texture quality 101 is not between 1 and 100"},
        {tga, bad_side,
         "hero.glb image 0: largest texture side 300 is not a power of two up "
         "to 32768"},
    };
    for (const auto& c : cases)
    {
        std::vector<uint8_t> blp = {1, 2, 3};
        std::string error;
        EXPECT_FALSE(ConvertImageToBlp(c.bytes.data(), c.bytes.size(), "hero.glb image 0",
                                       c.options, blp, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(blp.empty());
    }
    std::vector<uint8_t> blp = {1};
    std::string error;
    EXPECT_FALSE(ConvertImageFileToBlp("/nonexistent/hero.png", {}, blp, error));
    EXPECT_EQ(error, "/nonexistent/hero.png: cannot open: No such file or directory");
    EXPECT_TRUE(blp.empty());
}

} // namespace
