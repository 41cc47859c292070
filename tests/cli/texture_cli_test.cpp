// The exporter on images: `mdlexport IMAGE -o IMAGE.blp` converts one image
// into a BLP texture, written whole or not at all, and refuses an image it
// cannot read with its name and the reason (status 2, nothing written).
#include "run_binary.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

// A real 128 x 128 PNG (RGBA, every pixel opaque), 867 bytes.
std::string ArrowPng()
{
    std::string png = ReadFile(MDL_ASSIMP_MODELS "/glTF2/textureTransform/Arrow.png");
    EXPECT_EQ(png.size(), 867u);
    return png;
}

} // namespace

TEST(MdlexportTexture, ConvertsAnImageToABlpBesideItOrWhereToldAtTheQualityGiven)
{
    // The shared JPEG header starts at byte 160 with the start of image and
    // the quantisation table: its first entry, libjpeg's 16 scaled by the
    // quality, is at byte 167: 3 at quality 90, 16 at 50, 1 at 100.
    const struct
    {
        std::vector<std::string> arguments;
        std::string output;
        int first_quantiser;
        std::string summary; // up to the byte count; empty with -q
    } cases[] = {
        {{"arrow.png"},
         "arrow.blp",
         3,
         "mdlexport: arrow.png -> arrow.blp: 128 x 128 image, 128 x 128 texture, 8 levels, "
         "0 alpha bits, quality 90, "},
        {{"arrow.png", "-o", "out/", "--texture-quality", "50", "-q"}, "out/arrow.blp", 16, ""},
        {{"ARROW.PNG", "--texture-quality=100", "-o", "arrow.BLP", "-q"}, "arrow.BLP", 1, ""},
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        WriteFile(dir.Path("arrow.png"), ArrowPng());
        WriteFile(dir.Path("ARROW.PNG"), ArrowPng());
        mkdir(dir.Path("out").c_str(), 0755);
        BinaryRun run = RunMdlexport(c.arguments, {dir.Path(""), -1});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err.substr(0, c.summary.size()), c.summary);
        EXPECT_EQ(run.err.empty(), c.summary.empty()) << run.err;
        std::string blp = ReadFile(dir.Path(c.output));
        ASSERT_GT(blp.size(), 168u) << c.output;
        EXPECT_EQ(blp.substr(0, 4), "BLP1");
        EXPECT_EQ(blp.substr(160, 4), "\xFF\xD8\xFF\xDB");
        EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(blp[167])), c.first_quantiser);
    }
}

TEST(MdlexportTexture, RefusesAnImageItCannotReadOrAnOutputThatIsNotBlp)
{
    const std::string png = ArrowPng();
    const struct
    {
        std::string name;
        std::string bytes;
        std::vector<std::string> more;
        std::string message;
    } cases[] = {
        {"bad.png",
         "hello",
         {},
         "bad.png: not an image format that can be read (PNG, JPEG, BMP, "
         "TGA, GIF, PSD, HDR, PNM)"},
        {"cut.png", png.substr(0, 400), {}, "cut.png: the image data is cut short"},
        {"empty.jpg", "", {}, "empty.jpg: the file is empty"},
        {"arrow.png",
         png,
         {"-o", "arrow.mdl"},
         "arrow.png: an image is converted to a BLP texture, and the output arrow.mdl does not "
         "end in .blp"},
        {"arrow.png",
         png,
         {"--dump-json", "a.json"},
         "arrow.png: --dump-json needs a model, not an image"},
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        WriteFile(dir.Path(c.name), c.bytes);
        std::vector<std::string> arguments{c.name};
        arguments.insert(arguments.end(), c.more.begin(), c.more.end());
        BinaryRun run = RunMdlexport(arguments, {dir.Path(""), -1});
        EXPECT_EQ(run.exit_code, 2) << c.name;
        EXPECT_EQ(run.err, "mdlexport: " + c.message + "\n");
        EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{c.name});
    }
    TempDir dir;
    BinaryRun run = RunMdlexport({"missing.png"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: missing.png: cannot open: No such file or directory\n");
    run = RunMdlexport({"missing.png", "--texture-quality", "0"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: --texture-quality takes a whole number from 1 to 100, not "
                       "\"0\" (see mdlexport --help)\n");
    EXPECT_TRUE(ListFolder(dir.Path("")).empty());
}

TEST(MdlexportTexture, LeavesTheOldFileWhenTheNewOneCannotBeWritten)
{
    TempDir dir;
    WriteFile(dir.Path("arrow.png"), ArrowPng());
    WriteFile(dir.Path("arrow.blp"), "old");
    // The texture is about 10 kB; writes past 1,000 bytes fail.
    BinaryRun run = RunMdlexport({"arrow.png"}, {dir.Path(""), 1000});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.err, "mdlexport: arrow.blp: cannot write: File too large\n");
    EXPECT_EQ(ReadFile(dir.Path("arrow.blp")), "old");
    EXPECT_EQ(ListFolder(dir.Path("")), (std::vector<std::string>{"arrow.blp", "arrow.png"}));
}
