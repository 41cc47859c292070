#include "auto_heading.h"

#include <gtest/gtest.h>
#include <utility>

namespace
{

ImportSummary TwoSequences()
{
    ImportSummary summary;
    ImportedSequence walk;
    walk.name = "Walk";
    walk.start_ms = 0;
    walk.end_ms = 1333;
    ImportedSequence attack;
    attack.name = "Attack 1";
    attack.start_ms = 2000;
    attack.end_ms = 2500;
    summary.sequences = {walk, attack};
    // MDL axis order; rounded outward: -1.5 -> -2, 2.1 -> 3, -0.0 -> 0.
    summary.minimum[0] = -1.5;
    summary.minimum[1] = -0.0;
    summary.minimum[2] = 0.25;
    summary.maximum[0] = 2.1;
    summary.maximum[1] = 4.0;
    summary.maximum[2] = 10.0;
    return summary;
}

} // namespace

TEST(AutoHeadingText, NamesEverySequenceAndAWhiteTextureWithoutOne)
{
    // Half the diagonal: sqrt(1.8^2 + 2^2 + 4.875^2) = 5.57..., so 6. The
    // game's "Stand" and "Death" follow as still seconds on whole seconds
    // after the last sequence's end (2500).
    EXPECT_EQ(AutoHeadingText(TwoSequences()), "Sequences 4 {\r\n"
                                               "\tAnim \"Walk\" {\r\n"
                                               "\t\tInterval { 0, 1333 },\r\n"
                                               "\t\tMinimumExtent { -2, 0, 0 },\r\n"
                                               "\t\tMaximumExtent { 3, 4, 10 },\r\n"
                                               "\t\tBoundsRadius 6,\r\n"
                                               "\t}\r\n"
                                               "\tAnim \"Attack 1\" {\r\n"
                                               "\t\tInterval { 2000, 2500 },\r\n"
                                               "\t\tMinimumExtent { -2, 0, 0 },\r\n"
                                               "\t\tMaximumExtent { 3, 4, 10 },\r\n"
                                               "\t\tBoundsRadius 6,\r\n"
                                               "\t}\r\n"
                                               "\tAnim \"Stand\" {\r\n"
                                               "\t\tInterval { 3000, 4000 },\r\n"
                                               "\t\tMinimumExtent { -2, 0, 0 },\r\n"
                                               "\t\tMaximumExtent { 3, 4, 10 },\r\n"
                                               "\t\tBoundsRadius 6,\r\n"
                                               "\t}\r\n"
                                               "\tAnim \"Death\" {\r\n"
                                               "\t\tInterval { 5000, 6000 },\r\n"
                                               "\t\tMinimumExtent { -2, 0, 0 },\r\n"
                                               "\t\tMaximumExtent { 3, 4, 10 },\r\n"
                                               "\t\tBoundsRadius 6,\r\n"
                                               "\t}\r\n"
                                               "}\r\n"
                                               "Textures 1 {\r\n"
                                               "\tBitmap {\r\n"
                                               "\t\tImage \"Textures\\white.blp\",\r\n"
                                               "\t}\r\n"
                                               "}\r\n"
                                               "Materials 1 {\r\n"
                                               "\tMaterial {\r\n"
                                               "\t\tLayer {\r\n"
                                               "\t\t\tFilterMode None,\r\n"
                                               "\t\t\tstatic TextureID 0,\r\n"
                                               "\t\t}\r\n"
                                               "\t}\r\n"
                                               "}\r\n");
}

TEST(AutoHeadingText, NamesTheSourcesTextureAsTheGameReadsIt)
{
    // Backslashes; a format the game does not read becomes the BLP that the
    // modder converts it to; BLP and TGA stay; a leading ".\" goes.
    const std::pair<const char*, const char*> cases[] = {
        {"textures/skin diffuse.png", "textures\\skin diffuse.blp"},
        {".\\wal67ar_small.jpg", "wal67ar_small.blp"},
        {"default.BMP", "default.blp"},
        {"units/hero.TGA", "units\\hero.TGA"},
        {"units/hero.blp", "units\\hero.blp"},
        {"dir.v2/noextension", "dir.v2\\noextension.blp"},
    };
    for (const auto& [source, written] : cases)
    {
        ImportSummary summary = TwoSequences();
        summary.texture_path = source;
        std::string heading = AutoHeadingText(summary);
        EXPECT_NE(heading.find("\t\tImage \"" + std::string(written) + "\",\r\n"),
                  std::string::npos)
            << source << "\n"
            << heading;
    }
}

TEST(AutoHeadingText, AddsOnlyTheStandAndDeathThatAreMissing)
{
    ImportSummary summary = TwoSequences();
    summary.sequences[0].name = "stand ready";         // the first word counts, in any case
    summary.sequences[1].name = "Alternate Death - 2"; // "alternate" is passed over
    std::string heading = AutoHeadingText(summary);
    EXPECT_EQ(heading.rfind("Sequences 2 {\r\n", 0), 0u) << heading;

    summary.sequences[1].name = "Deathly";
    heading = AutoHeadingText(summary);
    EXPECT_EQ(heading.rfind("Sequences 3 {\r\n", 0), 0u) << heading;
    EXPECT_NE(heading.find("\tAnim \"Death\" {\r\n\t\tInterval { 3000, 4000 },"),
              std::string::npos);
    EXPECT_EQ(heading.find("\tAnim \"Stand\""), std::string::npos);
}

TEST(AutoHeadingText, HugeExtentsStayInsideTheIntegerRange)
{
    ImportSummary summary = TwoSequences();
    summary.minimum[0] = -1e30;
    summary.maximum[0] = 1e30;
    std::string heading = AutoHeadingText(summary);
    EXPECT_NE(heading.find("MinimumExtent { -2147483648, 0, 0 }"), std::string::npos);
    EXPECT_NE(heading.find("MaximumExtent { 2147483647, 4, 10 }"), std::string::npos);
    EXPECT_NE(heading.find("BoundsRadius 2147483647,"), std::string::npos);
}
