#include "host_names.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

TEST(CleanName, KeepsWellFormedUtf8AndReplacesTheRest)
{
    EXPECT_EQ(CleanName("Bip01 L Thigh"), "Bip01 L Thigh");
    EXPECT_EQ(CleanName("Oberschenkel_\xc3\xa4"), "Oberschenkel_\xc3\xa4"); // ä kept
    EXPECT_EQ(CleanName("\xe6\xa0\xb9"), "\xe6\xa0\xb9");                   // 根 kept
    EXPECT_EQ(CleanName("say \"hi\""), "say _hi_");   // would end the MDL's string
    EXPECT_EQ(CleanName("tab\there\n"), "tab_here_"); // control characters
    EXPECT_EQ(CleanName("del\x7f"), "del_");
    EXPECT_EQ(CleanName("latin1 \xe4"), "latin1 _");  // a lone Latin-1 byte
    EXPECT_EQ(CleanName("\xc0\xaf"), "__");           // overlong '/'
    EXPECT_EQ(CleanName("\xed\xa0\x80"), "___");      // a surrogate
    EXPECT_EQ(CleanName("\xf4\x90\x80\x80"), "____"); // above U+10FFFF
    EXPECT_EQ(CleanName("\xe6\xa0"), "__");           // cut short at the end
    EXPECT_EQ(CleanName("a\\b"), "a\\b");             // a backslash is text
}

TEST(CutName, NeverEndsInsideACharacter)
{
    EXPECT_EQ(CutName("short", 31), "short");
    EXPECT_EQ(CutName(std::string(40, 'x'), 31), std::string(31, 'x'));
    // 30 ASCII bytes and a 2-byte character: byte 31 would split it.
    std::string split = std::string(30, 'x') + "\xc3\xa4" + "yy";
    EXPECT_EQ(CutName(split, 31), std::string(30, 'x'));
    EXPECT_EQ(CutName(split, 32), std::string(30, 'x') + "\xc3\xa4");
    // A 4-byte character that would straddle the limit at every byte.
    std::string emoji = std::string(29, 'x') + "\xf0\x9f\x98\x80";
    EXPECT_EQ(CutName(emoji, 31), std::string(29, 'x'));
    EXPECT_EQ(CutName(emoji, 33), emoji);
}

TEST(UniqueHostNames, CutsToThirtyOneBytesAndMakesEveryNameUnique)
{
    std::string long_name = "Armature_Spine_Upper_Chest_Left_Shoulder"; // 40 bytes
    std::vector<std::string> names =
        UniqueHostNames({long_name, long_name, "Bone", "Bone", "Bone", ""}, "Node");
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names[0], long_name.substr(0, 31));
    EXPECT_EQ(names[1], long_name.substr(0, 29) + ".2"); // the suffix fits in 31 too
    EXPECT_EQ(names[2], "Bone");
    EXPECT_EQ(names[3], "Bone.2");
    EXPECT_EQ(names[4], "Bone.3");
    EXPECT_EQ(names[5], "Node"); // an empty name takes the fallback
}

TEST(UniqueHostNames, ANameLikeASuffixedOneIsNotTakenTwice)
{
    // "A.2" is taken before "A" repeats: the repeat becomes "A.3".
    std::vector<std::string> names = UniqueHostNames({"A.2", "A", "A", "A.3"}, "Bone");
    EXPECT_EQ(names[0], "A.2");
    EXPECT_EQ(names[1], "A");
    EXPECT_EQ(names[2], "A.3");
    EXPECT_EQ(names[3], "A.3.2");
}

TEST(UniqueHostNames, NamesThatDifferOnlyInDroppedBytesBecomeDistinct)
{
    // The same 31-byte prefix and different tails, and bytes cleaned to '_'.
    std::string stem(31, 'q');
    std::vector<std::string> names =
        UniqueHostNames({stem + "1", stem + "2", "a\"b", "a_b", "\xff"}, "Bone");
    EXPECT_EQ(names[0], stem);
    EXPECT_EQ(names[1], stem.substr(0, 29) + ".2");
    EXPECT_EQ(names[2], "a_b");
    EXPECT_EQ(names[3], "a_b.2");
    EXPECT_EQ(names[4], "_");
    for (const std::string& name : names)
        EXPECT_LE(name.size(), 31u);
}

TEST(UniqueHostNames, TenThousandRepeatsStayUniqueAndShort)
{
    std::vector<std::string> wanted(10000, std::string(31, 'n'));
    std::vector<std::string> names = UniqueHostNames(wanted, "Bone");
    std::set<std::string> distinct(names.begin(), names.end());
    EXPECT_EQ(distinct.size(), wanted.size());
    EXPECT_EQ(names.back(), std::string(25, 'n') + ".10000");
}

TEST(UniqueHostNames, NoNameEndsInABackslash)
{
    // MDL readers take a backslash before the closing quote for an escaped
    // quote: "arm\" would end the name nowhere.
    std::string cut_at_backslash = std::string(30, 'x') + "\\yy"; // byte 31 is the backslash
    std::vector<std::string> names =
        UniqueHostNames({"arm\\", "arm_", "a\\\\", "mid\\dle", cut_at_backslash}, "Bone");
    EXPECT_EQ(names[0], "arm_");
    EXPECT_EQ(names[1], "arm_.2");
    EXPECT_EQ(names[2], "a__");
    EXPECT_EQ(names[3], "mid\\dle"); // within the name, a backslash is text
    EXPECT_EQ(names[4], std::string(30, 'x') + "_");
    for (const std::string& name : names)
        EXPECT_EQ(MdlNameProblem(name), nullptr) << name;
    EXPECT_STREQ(MdlNameProblem("arm\\"), "ends in a backslash");
    EXPECT_STREQ(MdlNameProblem("a\"b"), "holds a double quote");
}

TEST(ReadableName, EndsInNoBackslashButKeepsTheRest)
{
    EXPECT_EQ(ReadableName("Walk\\"), "Walk_");
    EXPECT_EQ(ReadableName("textures\\skin.blp"), "textures\\skin.blp");
    EXPECT_EQ(ReadableName("a\"b\\\\"), "a_b__");
    EXPECT_EQ(CleanName("arm\\"), "arm\\"); // a note may show the source's name as it is
}
