// The built exporter end to end: exact output of small models worked out by
// hand, the bundled example, --heading, batches, paths, and every exit status
// with nothing left behind where it fails.
#include "run_binary.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const std::string kBar = "////////////////////////////////////////////////////\n";

std::string Header(int geosets, int bones)
{
    return "//exported by quib and stuff\n"
           "Version {\n"
           "\tFormatVersion 800,\n"
           "}\n"
           "\tModel \"Model\" {\n"
           "\tNumGeosets " +
           std::to_string(geosets) +
           ",\n"
           "\tNumGeosetAnims 1,\n"
           "\tNumBones " +
           std::to_string(bones) +
           ",\n"
           "\tBlendTime 150,\n"
           "\tMinimumExtent { -200, -200, -200 },\n"
           "\tMaximumExtent { 200, 200, 200 },\n"
           "}\n" +
           kBar + kBar + "\n\n\nPASTE HEADING HERE\n\n\n\n" + kBar + kBar;
}

// From the Groups list to the end of a Geoset block.
std::string GeosetEnd(int bones)
{
    std::string text = "\n\tGroups " + std::to_string(bones) + " " + std::to_string(bones) + " {\n";
    for (int b = 0; b < bones; ++b)
        text += "\t\tMatrices { " + std::to_string(b) + " },\n";
    return text + "\t}\n"
                  "\tMinimumExtent { -200, -200, -200 },\n"
                  "\tMaximumExtent { 200, 200, 200 },\n"
                  "\tBoundsRadius 400,\n"
                  "\tAnim {\n"
                  "\t\tMinimumExtent { -200, -200, -200 },\n"
                  "\t\tMaximumExtent { 200, 200, 200 },\n"
                  "\t\tBoundsRadius 400,\n"
                  "}\n"
                  "MaterialID 0,\n"
                  "\tSelectionGroup 0,\n"
                  "}\n";
}

// One triangle in the host's x-y plane, one bone with one key on each track.
const std::string kOneTriangleJson = R"({
  "meshes": [{"name": "m", "positions": [[0, 0, 0], [1, 0, 0], [0, 1, 0]],
              "uvs": [[0, 0], [1, 0], [0, 1]], "bone_indices": [0, 0, 0],
              "triangles": [[0, 1, 2]]}],
  "bones": [{"name": "Root", "position": [1, 2, 3],
             "position_keys": [[1, 0, 2, 0]], "rotation_keys": [[24, 0, 0, 0]]}]
})";

// Host (x, y, z) is written z, x, y. The face normal is the host's +z, so
// every normal is written 1, 0, 0. Frame 1 is 1000/24 = 41.67 ms, cut to 41;
// frame 24 is 1000. No rotation is the quaternion 0, 0, 0, 1. The pivot is
// the bone's own offset, as it has no parent.
const std::string kOneTriangleMdl = Header(1, 1) +
                                    "Geoset {\n"
                                    "\tVertices 3 {\n"
                                    "\t\t{ 0.000000, 0.000000, 0.000000 },\n"
                                    "\t\t{ 0.000000, 1.000000, 0.000000 },\n"
                                    "\t\t{ 0.000000, 0.000000, 1.000000 },\n"
                                    "\t}\n"
                                    "Normals 3 {\n"
                                    "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                                    "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                                    "\t\t{ 1.000000, 0.000000, 0.000000 },\n"
                                    "\t}\n"
                                    "\tTVertices 3 {\n"
                                    "\t\t{ 0.000000, 0.000000 },\n"
                                    "\t\t{ 1.000000, 0.000000 },\n"
                                    "\t\t{ 0.000000, 1.000000 },\n"
                                    "\t}\n"
                                    "\tVertexGroup {\n"
                                    "\t\t0,\n"
                                    "\t\t0,\n"
                                    "\t\t0,\n"
                                    "\t}\n"
                                    "\tFaces 1 3 {\n"
                                    "\t\tTriangles {\n"
                                    "\t\t{  0, 1, 2 },\n"
                                    "\t\t}\n"
                                    "\t}\n" +
                                    GeosetEnd(1) +
                                    "Bone \"Root\" {\n"
                                    "\tObjectId 0,\n"
                                    "\tGeosetId Multiple,\n"
                                    "\tGeosetAnimId None,\n"
                                    "\tTranslation 1 {\n"
                                    "\t\tLinear,\n"
                                    "\t\t41: { 0.000000, 0.000000, 2.000000 },\n"
                                    "\t}\n"
                                    "\tRotation 1 {\n"
                                    "\t\tLinear,\n"
                                    "\t\t1000: { 0.000000, 0.000000, 0.000000, 1.000000 },\n"
                                    "\t}\n"
                                    "}\n"
                                    "\n"
                                    "PivotPoints 1 {\n"
                                    "\t{ 3.000000, 1.000000, 2.000000 },\n"
                                    "}";

// Defaults, key order, a chain of parents, a parent that matches no bone, key
// times that are negative or fractional, and an empty mesh.
const std::string kChainJson = R"({
  "notes": {"anything": [1, "two", null, true]},
  "meshes": [
    {"triangles": [[0, 2, 1]], "positions": [[0, 0, 0], [0, 0, 2], [2, 0, 0]]},
    {}
  ],
  "bones": [
    {"name": "Hip", "position": [0, 10, 0], "position_keys": [[-1, 1, 2, 3], [2.5, 0, 0, 0.5]]},
    {"name": "Knee", "parent": "Hip", "position": [0, -5, 1]},
    {"name": "Foot", "parent": "Knee", "position": [0, -4, 0], "rotation_keys": [[0.5, 0, 0, 0]]},
    {"name": "Lost", "parent": "Nobody"}
  ]
})";

// The triangle (0, 2, 1) has edges (2, 0, 0) and (0, 0, 2) from its first
// corner: their cross product is (0, -4, 0), the host's -y, written 0, 0, -1.
// Without uvs and bone_indices every vertex has [0, 0] and -1. Frame -1 is
// -41.67 ms, cut toward zero to -41; frame 2.5 is 104.17, cut to 104; frame
// 0.5 is 20.83, cut to 20. Pivots add the offsets up the chain: Knee
// (0, 5, 1), Foot (0, 1, 1).
const std::string kChainMdl = Header(2, 4) +
                              "Geoset {\n"
                              "\tVertices 3 {\n"
                              "\t\t{ 0.000000, 0.000000, 0.000000 },\n"
                              "\t\t{ 2.000000, 0.000000, 0.000000 },\n"
                              "\t\t{ 0.000000, 2.000000, 0.000000 },\n"
                              "\t}\n"
                              "Normals 3 {\n"
                              "\t\t{ 0.000000, 0.000000, -1.000000 },\n"
                              "\t\t{ 0.000000, 0.000000, -1.000000 },\n"
                              "\t\t{ 0.000000, 0.000000, -1.000000 },\n"
                              "\t}\n"
                              "\tTVertices 3 {\n"
                              "\t\t{ 0.000000, 0.000000 },\n"
                              "\t\t{ 0.000000, 0.000000 },\n"
                              "\t\t{ 0.000000, 0.000000 },\n"
                              "\t}\n"
                              "\tVertexGroup {\n"
                              "\t\t-1,\n"
                              "\t\t-1,\n"
                              "\t\t-1,\n"
                              "\t}\n"
                              "\tFaces 1 3 {\n"
                              "\t\tTriangles {\n"
                              "\t\t{  0, 2, 1 },\n"
                              "\t\t}\n"
                              "\t}\n" +
                              GeosetEnd(4) +
                              "Geoset {\n"
                              "\tVertices 0 {\n"
                              "\t}\n"
                              "Normals 0 {\n"
                              "\t}\n"
                              "\tTVertices 0 {\n"
                              "\t}\n"
                              "\tVertexGroup {\n"
                              "\t}\n"
                              "\tFaces 1 0 {\n"
                              "\t\tTriangles {\n"
                              "\t\t{  },\n"
                              "\t\t}\n"
                              "\t}\n" +
                              GeosetEnd(4) +
                              "Bone \"Hip\" {\n"
                              "\tObjectId 0,\n"
                              "\tGeosetId Multiple,\n"
                              "\tGeosetAnimId None,\n"
                              "\tTranslation 2 {\n"
                              "\t\tLinear,\n"
                              "\t\t-41: { 3.000000, 1.000000, 2.000000 },\n"
                              "\t\t104: { 0.500000, 0.000000, 0.000000 },\n"
                              "\t}\n"
                              "}\n"
                              "Bone \"Knee\" {\n"
                              "\tObjectId 1,\n"
                              "\tParent 0,\n"
                              "\tGeosetId Multiple,\n"
                              "\tGeosetAnimId None,\n"
                              "}\n"
                              "Bone \"Foot\" {\n"
                              "\tObjectId 2,\n"
                              "\tParent 1,\n"
                              "\tGeosetId Multiple,\n"
                              "\tGeosetAnimId None,\n"
                              "\tRotation 1 {\n"
                              "\t\tLinear,\n"
                              "\t\t20: { 0.000000, 0.000000, 0.000000, 1.000000 },\n"
                              "\t}\n"
                              "}\n"
                              "Bone \"Lost\" {\n"
                              "\tObjectId 3,\n"
                              "\tGeosetId Multiple,\n"
                              "\tGeosetAnimId None,\n"
                              "}\n"
                              "\n"
                              "PivotPoints 4 {\n"
                              "\t{ 0.000000, 0.000000, 10.000000 },\n"
                              "\t{ 1.000000, 0.000000, 5.000000 },\n"
                              "\t{ 1.000000, 0.000000, 1.000000 },\n"
                              "\t{ 0.000000, 0.000000, 0.000000 },\n"
                              "}";

// Numbers at the edges of reading and writing, and vertices no triangle uses.
const std::string kNumbersJson = R"({
  "meshes": [{"positions": [[16777217.000000001, 0.1, -1e-50],
                            [3.4028234663852886e38, -0.0078125, 1e-45]],
              "uvs": [[0.0078125, -0], [-0.0078125, 0.1]]}],
  "bones": [{"name": "B", "rotation_keys": [[0, 1.5707964, 0, 0], [1e30, 0, 0, 1.5707964]]}]
})";

// 16777217.000000001 reads as the double 2^24 + 1, a tie between floats that
// goes to the even 2^24. 0.1 as a float is 0.100000001490116..., six decimals
// 0.100000. -1e-50 and 1e-45 are a negative zero and the smallest subnormal:
// both 0.000000, without sign. The largest float has 39 digits; it is written
// with 17 significant ones (...528859|81 rounds up to ...52886) and zeros.
// 0.0078125 is a half at the sixth decimal and goes away from zero. A vertex
// that no triangle uses has the normal (0, 0, 0). Quarter turns about the
// host's x, then z, land in the second, then the first number; sin and cos of
// pi/4 are 0.7071068. Frame 1e30 is beyond the int32 milliseconds and stops at
// their largest.
const std::string kNumbersMdl = Header(1, 1) +
                                "Geoset {\n"
                                "\tVertices 2 {\n"
                                "\t\t{ 0.000000, 16777216.000000, 0.100000 },\n"
                                "\t\t{ 0.000000, 340282346638528860000000000000000000000.000000, "
                                "-0.007813 },\n"
                                "\t}\n"
                                "Normals 2 {\n"
                                "\t\t{ 0.000000, 0.000000, 0.000000 },\n"
                                "\t\t{ 0.000000, 0.000000, 0.000000 },\n"
                                "\t}\n"
                                "\tTVertices 2 {\n"
                                "\t\t{ 0.007813, 0.000000 },\n"
                                "\t\t{ -0.007813, 0.100000 },\n"
                                "\t}\n"
                                "\tVertexGroup {\n"
                                "\t\t-1,\n"
                                "\t\t-1,\n"
                                "\t}\n"
                                "\tFaces 1 0 {\n"
                                "\t\tTriangles {\n"
                                "\t\t{  },\n"
                                "\t\t}\n"
                                "\t}\n" +
                                GeosetEnd(1) +
                                "Bone \"B\" {\n"
                                "\tObjectId 0,\n"
                                "\tGeosetId Multiple,\n"
                                "\tGeosetAnimId None,\n"
                                "\tRotation 2 {\n"
                                "\t\tLinear,\n"
                                "\t\t0: { 0.000000, 0.707107, 0.000000, 0.707107 },\n"
                                "\t\t2147483647: { 0.707107, 0.000000, 0.000000, 0.707107 },\n"
                                "\t}\n"
                                "}\n"
                                "\n"
                                "PivotPoints 1 {\n"
                                "\t{ 0.000000, 0.000000, 0.000000 },\n"
                                "}";

const std::string kMarkerLine = "PASTE HEADING HERE\r\n";

// Runs the exporter in `dir`, quietly, and expects it to succeed.
void ExportIn(const TempDir& dir, std::vector<std::string> arguments)
{
    arguments.push_back("--quiet");
    BinaryRun run = RunMdlexport(arguments, {dir.Path(""), -1});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

std::vector<std::string> SplitCrlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

mode_t ModeOf(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(MdlexportOutput, WritesTheOneTriangleModelExactly)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    ExportIn(dir, {"one.json"});
    EXPECT_EQ(ReadFile(dir.Path("one.mdl")), Crlf(kOneTriangleMdl));
}

TEST(MdlexportOutput, WritesDefaultsParentsAndKeyTimesExactly)
{
    TempDir dir;
    WriteFile(dir.Path("chain.json"), kChainJson);
    ExportIn(dir, {"chain.json"});
    EXPECT_EQ(ReadFile(dir.Path("chain.mdl")), Crlf(kChainMdl));
}

TEST(MdlexportOutput, RoundsNumbersOnceAsFloatsAndOnceAsText)
{
    TempDir dir;
    WriteFile(dir.Path("numbers.json"), kNumbersJson);
    ExportIn(dir, {"numbers.json"});
    EXPECT_EQ(ReadFile(dir.Path("numbers.mdl")), Crlf(kNumbersMdl));
}

TEST(MdlexportOutput, ExportsTheBundledExample)
{
    TempDir dir;
    ExportIn(dir, {MDLEXPORT_EXAMPLES "/walker.json", "-o", "walker.mdl"});
    std::string bytes = ReadFile(dir.Path("walker.mdl"));
    ASSERT_NE(bytes, "<missing>");
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1); // line ends are CR LF...
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
              std::count(bytes.begin(), bytes.end(), '\r')); // ...throughout
    std::vector<std::string> lines = SplitCrlfLines(bytes);
    EXPECT_EQ(lines.back(), "}"); // the end of PivotPoints, with no line end

    // examples/make-example: four meshes (two boxes of 24 vertices and 12
    // triangles each for the torso, arms and legs; an eight-sided capped
    // cylinder of 8 * 4 + 2 * 9 = 50 vertices and 16 + 16 triangles for the
    // head), seven bones.
    EXPECT_EQ(CountLines(lines, "\tNumGeosets 4,"), 1u);
    EXPECT_EQ(CountLines(lines, "\tNumBones 7,"), 1u);
    EXPECT_EQ(CountLines(lines, "Geoset {"), 4u);
    EXPECT_EQ(CountLines(lines, "\tVertices 48 {"), 3u);
    EXPECT_EQ(CountLines(lines, "\tVertices 50 {"), 1u);
    EXPECT_EQ(CountLines(lines, "\tFaces 1 72 {"), 3u);
    EXPECT_EQ(CountLines(lines, "\tFaces 1 96 {"), 1u);
    EXPECT_EQ(CountLines(lines, "\tGroups 7 7 {"), 4u);
    EXPECT_EQ(CountLines(lines, "PivotPoints 7 {"), 1u);
    // 48 walk keys (frames 0 to 47) and 7 death keys (60 to 96 by 6) on
    // every bone's rotation; the hips alone move.
    EXPECT_EQ(CountLines(lines, "\tRotation 55 {"), 7u);
    EXPECT_EQ(CountLines(lines, "\tTranslation 55 {"), 1u);
    for (const char* name : {"Root", "Spine", "Head", "ArmL", "ArmR", "LegL", "LegR"})
        EXPECT_EQ(CountLines(lines, std::string("Bone \"") + name + "\" {"), 1u) << name;
    EXPECT_EQ(CountLines(lines, "\tParent 0,"), 3u); // Spine, LegL, LegR
    EXPECT_EQ(CountLines(lines, "\tParent 1,"), 3u); // Head, ArmL, ArmR

    // Samples worked out from the script. The torso's first vertex is the
    // corner (10, 56, -6) of its +x face, written z, x, y; that face's normal
    // is the host's +x; the vertex follows bone 1 (Spine).
    auto at = std::find(lines.begin(), lines.end(), "\tVertices 48 {");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(at[1], "\t\t{ -6.000000, 10.000000, 56.000000 },");
    at = std::find(lines.begin(), lines.end(), "Normals 48 {");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(at[1], "\t\t{ 0.000000, 1.000000, 0.000000 },");
    at = std::find(lines.begin(), lines.end(), "\tVertexGroup {");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(at[1], "\t\t1,");
    // Key times: frame 47 is 1958.3 ms, 60 is 2500, 96 is 4000.
    EXPECT_EQ(CountLines(lines, "\t\tLinear,"), 8u);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("\t\t1958: {", 0) == 0; }),
              8);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("\t\t4000: {", 0) == 0; }),
              8);
    // Pivots: the offsets summed up the chain, e.g. the head's neck at
    // 50 + 4 + 38 and the left shoulder at (12, 50 + 4 + 32, 0).
    at = std::find(lines.begin(), lines.end(), "PivotPoints 7 {");
    ASSERT_EQ(lines.end() - at, 9);
    EXPECT_EQ(at[1], "\t{ 0.000000, 0.000000, 50.000000 },");
    EXPECT_EQ(at[2], "\t{ 0.000000, 0.000000, 54.000000 },");
    EXPECT_EQ(at[3], "\t{ 0.000000, 0.000000, 92.000000 },");
    EXPECT_EQ(at[4], "\t{ 0.000000, 12.000000, 86.000000 },");
    EXPECT_EQ(at[5], "\t{ 0.000000, -12.000000, 86.000000 },");
    EXPECT_EQ(at[6], "\t{ 0.000000, 5.000000, 50.000000 },");
    EXPECT_EQ(at[7], "\t{ 0.000000, -5.000000, 50.000000 },");

    // examples/walker-with-heading.mdl is this export with the heading, kept so
    // that the example can be seen without building. Its content was checked
    // as above and by scripts/test-reader, which compares every number that
    // an independent reader finds in it with the description.
    ExportIn(dir, {MDLEXPORT_EXAMPLES "/walker.json", "--heading",
                   MDLEXPORT_EXAMPLES "/walker-heading.txt", "-o", "headed.mdl"});
    EXPECT_EQ(ReadFile(dir.Path("headed.mdl")),
              ReadFile(MDLEXPORT_EXAMPLES "/walker-with-heading.mdl"));
}

TEST(MdlexportHeading, ReplacesOnlyTheMarkerLine)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    WriteFile(dir.Path("heading.txt"), "Sequences 1 {\n\tAnim \"Stand\" {\n\t}\n}\n");
    ExportIn(dir, {"one.json", "-o", "plain.mdl"});
    ExportIn(dir, {"one.json", "-o", "headed.mdl", "--heading", "heading.txt"});
    std::string plain = ReadFile(dir.Path("plain.mdl"));
    std::string headed = ReadFile(dir.Path("headed.mdl"));
    size_t marker = plain.find(kMarkerLine);
    ASSERT_NE(marker, std::string::npos);
    std::string heading = "Sequences 1 {\r\n\tAnim \"Stand\" {\r\n\t}\r\n}\r\n";
    EXPECT_EQ(headed,
              plain.substr(0, marker) + heading + plain.substr(marker + kMarkerLine.size()));
    // The empty lines around the marker stay.
    EXPECT_NE(headed.find(Crlf(kBar + "\n\n\nSequences 1 {")), std::string::npos);
    EXPECT_NE(headed.find(Crlf("}\n\n\n\n" + kBar)), std::string::npos);
}

TEST(MdlexportHeading, MakesEveryLineEndCrLf)
{
    struct Case
    {
        std::string file;
        std::string spliced;
    };
    const Case cases[] = {
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},     // already CR LF: unchanged
        {"a\r\nb\nc", "a\r\nb\r\nc\r\n"}, // mixed, and the last line end added
        {"a\rb\n", "a\rb\r\n"},           // a lone CR is not a line end
        {"a\r\r\n", "a\r\r\n"},           // nor one before a CR LF
        {"\xEF\xBB\xBF"
         "a\n",
         "a\r\n"},                            // the byte order mark dropped
        {"\n\n", "\r\n\r\n"},                 // empty lines kept
        {"", ""},                             // nothing: the marker line goes
        {"PASTE HEADING HERE\n", kMarkerLine} // a heading may say anything
    };
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    ExportIn(dir, {"one.json", "-o", "plain.mdl"});
    std::string plain = ReadFile(dir.Path("plain.mdl"));
    size_t marker = plain.find(kMarkerLine);
    for (const Case& c : cases)
    {
        WriteFile(dir.Path("heading.txt"), c.file);
        ExportIn(dir, {"one.json", "-o", "headed.mdl", "--heading=heading.txt"});
        EXPECT_EQ(ReadFile(dir.Path("headed.mdl")),
                  plain.substr(0, marker) + c.spliced + plain.substr(marker + kMarkerLine.size()))
            << c.file;
    }
}

TEST(MdlexportBatch, WritesEachInputIntoTheFolder)
{
    TempDir dir;
    mkdir(dir.Path("in").c_str(), 0755);
    mkdir(dir.Path("out").c_str(), 0755);
    WriteFile(dir.Path("in/one.json"), kOneTriangleJson);
    WriteFile(dir.Path("in/chain.model.json"), kChainJson);
    ExportIn(dir, {"in/one.json", "in/chain.model.json", "-o", "out"});
    EXPECT_EQ(ListFolder(dir.Path("out")),
              (std::vector<std::string>{"chain.model.mdl", "one.mdl"}));
    EXPECT_EQ(ReadFile(dir.Path("out/one.mdl")), Crlf(kOneTriangleMdl));
    EXPECT_EQ(ReadFile(dir.Path("out/chain.model.mdl")), Crlf(kChainMdl));
    // A single input goes into an existing folder too.
    ExportIn(dir, {"in/one.json", "-o", "in/"});
    EXPECT_EQ(ReadFile(dir.Path("in/one.mdl")), Crlf(kOneTriangleMdl));
}

TEST(MdlexportBatch, GoesOnPastFailuresAndExitsWithTheWorst)
{
    TempDir dir;
    mkdir(dir.Path("out").c_str(), 0755);
    WriteFile(dir.Path("bad.json"), "{\"meshes\": 1}");
    WriteFile(dir.Path("empty.json"), "{}");
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    BinaryRun run =
        RunMdlexport({"-q", "bad.json", "empty.json", "one.json", "-o", "out"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: bad.json: meshes: expected an array of meshes, found a number\n"
                       "mdlexport: empty.json: The model is empty!  Nothing exported!\n");
    EXPECT_EQ(ListFolder(dir.Path("out")), std::vector<std::string>{"one.mdl"});

    run = RunMdlexport({"-q", "empty.json", "one.json", "-o", "out"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 1);
}

TEST(MdlexportBatch, RefusesOutputsThatWouldCollide)
{
    TempDir dir;
    mkdir(dir.Path("a").c_str(), 0755);
    mkdir(dir.Path("b").c_str(), 0755);
    mkdir(dir.Path("out").c_str(), 0755);
    WriteFile(dir.Path("a/m.json"), kOneTriangleJson);
    WriteFile(dir.Path("b/m.json"), kOneTriangleJson);
    BinaryRun run = RunMdlexport({"a/m.json", "b/m.json", "-o", "out"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: a/m.json and b/m.json would both be written to out/m.mdl\n");
    EXPECT_TRUE(ListFolder(dir.Path("out")).empty());

    run = RunMdlexport({"a/m.json", "b/m.json", "-o", "m.mdl"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: with several inputs, -o must name an existing folder; m.mdl "
                       "is not one\n");
    EXPECT_FALSE(FileExists(dir.Path("m.mdl")));
}

TEST(MdlexportPaths, NamesTheOutputAfterTheInput)
{
    TempDir dir;
    mkdir(dir.Path("v1.2").c_str(), 0755);
    WriteFile(dir.Path("v1.2/model"), kOneTriangleJson);
    WriteFile(dir.Path("v1.2/.hidden.json"), kOneTriangleJson);
    ExportIn(dir, {"v1.2/model", "v1.2/.hidden.json"});
    EXPECT_EQ(ListFolder(dir.Path("v1.2")),
              (std::vector<std::string>{".hidden.json", ".hidden.mdl", "model", "model.mdl"}));
}

TEST(MdlexportPaths, WritesBeyondTheDialogsPathLength)
{
    // The save dialog takes paths of 255 bytes at most; the exporter still
    // writes to a longer one.
    TempDir dir;
    std::string folder = dir.Path("");
    for (int i = 0; i < 5; ++i)
    {
        folder += std::string(60, 'd') + "/";
        mkdir(folder.c_str(), 0755);
    }
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    std::string output = folder + "one.mdl";
    ASSERT_GT(output.size(), 255u);
    ExportIn(dir, {"one.json", "-o", output});
    EXPECT_EQ(ReadFile(output), Crlf(kOneTriangleMdl));
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"one.mdl"});
}

TEST(MdlexportPaths, ReplacesAnExistingOutputKeepingItsPermissions)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    WriteFile(dir.Path("one.mdl"), "old");
    chmod(dir.Path("one.mdl").c_str(), 0640);
    ExportIn(dir, {"one.json"});
    EXPECT_EQ(ReadFile(dir.Path("one.mdl")), Crlf(kOneTriangleMdl));
    EXPECT_EQ(ModeOf(dir.Path("one.mdl")), 0640u);
    // Through a link, the file it names is replaced and the link stays.
    symlink("one.mdl", dir.Path("link.mdl").c_str());
    WriteFile(dir.Path("one.mdl"), "old");
    ExportIn(dir, {"one.json", "-o", "link.mdl"});
    EXPECT_EQ(ReadFile(dir.Path("one.mdl")), Crlf(kOneTriangleMdl));
    struct stat info;
    ASSERT_EQ(lstat(dir.Path("link.mdl").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(MdlexportPaths, RefusesToOverwriteItsInput)
{
    // A ".mdl" input is a model to convert (into model.mdx by default), so
    // the description asks for its own name with -o; a model the same.
    TempDir dir;
    WriteFile(dir.Path("model.json"), kOneTriangleJson);
    BinaryRun run = RunMdlexport({"model.json", "-o", "model.json"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: model.json: the output model.json is the input itself\n");
    EXPECT_EQ(ReadFile(dir.Path("model.json")), kOneTriangleJson);
    WriteFile(dir.Path("model.mdl"), "Version {\n\tFormatVersion 800,\n}\n");
    run = RunMdlexport({"model.mdl", "-o", "./model.mdl"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: model.mdl: the output ./model.mdl is the input itself\n");
}

TEST(MdlexportStatus, IsOneForAModelWithoutMeshes)
{
    TempDir dir;
    WriteFile(dir.Path("model.json"), R"({"bones": [{"name": "Root"}]})");
    BinaryRun run = RunMdlexport({"model.json"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "mdlexport: model.json: The model is empty!  Nothing exported!\n");
    EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{"model.json"});
    // The warning comes first, as in the host: even an output that could
    // not be written does not change it.
    run = RunMdlexport({"model.json", "-o", "missing/model.mdl"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 1);
}

TEST(MdlexportStatus, IsTwoForBadUsage)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    struct Case
    {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{}, "no input file"},
        {{"-q"}, "no input file"},
        {{"one.json", "--bogus"}, "unknown option --bogus"},
        {{"one.json", "-o"}, "-o needs a value"},
        {{"one.json", "-o", "a.mdl", "-o", "b.mdl"}, "-o is given twice"},
        {{"one.json", "--heading"}, "--heading needs a value"},
        {{"one.json", "--heading="}, "--heading needs a non-empty path"},
        {{"one.json", "--format", "fbx"}, "--format takes mdl or mdx, not \"fbx\""},
        {{"one.json", "--format=mdx", "--format", "mdl"}, "--format is given twice"},
    };
    for (const Case& c : cases)
    {
        BinaryRun run = RunMdlexport(c.arguments, {dir.Path(""), -1});
        EXPECT_EQ(run.exit_code, 2) << c.message;
        EXPECT_EQ(run.err, "mdlexport: " + c.message + " (see mdlexport --help)\n");
    }
    BinaryRun run = RunMdlexport({"one.json", "--heading", "none.txt"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: none.txt: cannot open: No such file or directory\n");
    run = RunMdlexport({"none.json"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: none.json: cannot open: No such file or directory\n");
    run = RunMdlexport({"one.json", "-o", "nowhere/"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "mdlexport: nowhere/: no such folder\n");
    EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{"one.json"});
}

TEST(MdlexportStatus, IsThreeWhenTheOutputCannotBeWritten)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    mkdir(dir.Path("one.mdl").c_str(), 0755);
    struct Case
    {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"one.json", "-o", "missing/one.mdl"},
         "missing/one.mdl: cannot create a file in missing: No such file or directory"},
        {{"one.json", "-o", "one.json/one.mdl"}, "one.json/one.mdl: cannot write: Not a directory"},
        // The output named after the input is a folder.
        {{"one.json"}, "one.mdl: cannot write: is a folder"},
        // No file can be made in /proc, not even by root.
        {{"one.json", "-o", "/proc/mdlexport-test.mdl"},
         "/proc/mdlexport-test.mdl: cannot create a file in /proc: No such file or directory"},
        // A device that takes no bytes.
        {{"one.json", "-o", "/dev/full"}, "/dev/full: cannot write: No space left on device"},
    };
    for (const Case& c : cases)
    {
        BinaryRun run = RunMdlexport(c.arguments, {dir.Path(""), -1});
        EXPECT_EQ(run.exit_code, 3) << c.message;
        EXPECT_EQ(run.err, "mdlexport: " + c.message + "\n");
    }
    EXPECT_EQ(ListFolder(dir.Path("")), (std::vector<std::string>{"one.json", "one.mdl"}));
    EXPECT_TRUE(ListFolder(dir.Path("one.mdl")).empty());
}

TEST(MdlexportStatus, LeavesNothingBehindWhenAWriteFails)
{
    // The file size limit makes the export's own writes fail part way, after
    // the temporary file exists: it must go, and the old output must stay.
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    WriteFile(dir.Path("one.mdl"), "old");
    WriteFile(dir.Path("heading.txt"), std::string(4000, 'h'));
    // The plain export (1502 bytes) fails past 1024; with the heading, the
    // export fits in 2000 bytes and the splice fails.
    const std::pair<std::vector<std::string>, long> cases[] = {
        {{"one.json"}, 1024},
        {{"one.json", "--heading", "heading.txt"}, 2000},
    };
    for (const auto& [arguments, limit] : cases)
    {
        BinaryRun run = RunMdlexport(arguments, {dir.Path(""), limit});
        EXPECT_EQ(run.exit_code, 3);
        EXPECT_EQ(run.err, "mdlexport: one.mdl: cannot write: File too large\n");
        EXPECT_EQ(ListFolder(dir.Path("")),
                  (std::vector<std::string>{"heading.txt", "one.json", "one.mdl"}));
        EXPECT_EQ(ReadFile(dir.Path("one.mdl")), "old");
    }
}

TEST(MdlexportStatus, IsThreeForAReadOnlyFolder)
{
    TempDir dir;
    chmod(dir.Path("").c_str(), 0755);
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    chmod(dir.Path("one.json").c_str(), 0644);
    mkdir(dir.Path("locked").c_str(), 0555);
    BinaryRunOptions options{dir.Path(""), -1, true};
    BinaryRun run = RunMdlexport({"one.json", "-o", "locked/one.mdl"}, options);
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.err,
              "mdlexport: locked/one.mdl: cannot create a file in locked: Permission denied\n");
    EXPECT_TRUE(ListFolder(dir.Path("locked")).empty());
    // A file the user may not write is not replaced either.
    WriteFile(dir.Path("one.mdl"), "old");
    chmod(dir.Path("one.mdl").c_str(), 0444);
    run = RunMdlexport({"one.json"}, options);
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.err, "mdlexport: one.mdl: cannot write: Permission denied\n");
    EXPECT_EQ(ReadFile(dir.Path("one.mdl")), "old");
    EXPECT_EQ(ListFolder(dir.Path("")),
              (std::vector<std::string>{"locked", "one.json", "one.mdl"}));
}

TEST(MdlexportStatus, ReportsEachExportUnlessQuiet)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    BinaryRun run = RunMdlexport({"one.json"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 0);
    std::string size = std::to_string(Crlf(kOneTriangleMdl).size());
    EXPECT_TRUE(std::regex_match(
        run.err, std::regex("mdlexport: one.json -> one.mdl: 1 mesh, 3 vertices, 1 triangle, "
                            "1 bone, 2 keys \\(1 translation, 1 rotation\\), " +
                            size + " bytes, [0-9]+\\.[0-9] ms\n")))
        << run.err;
    EXPECT_EQ(run.out, "");
    run = RunMdlexport({"one.json", "--quiet"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
}

TEST(MdlexportStatus, AnswersHelpAndVersion)
{
    BinaryRun run = RunMdlexport({"--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out.rfind("Usage: mdlexport MODEL [MODEL ...] [-o OUT]", 0), 0u);
    EXPECT_EQ(run.err, "");
    run = RunMdlexport({"--version"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "mdlexport " MDLEXPORT_VERSION_TEXT "\n");
}

TEST(MdlexportStatus, WritesIntoAStream)
{
    TempDir dir;
    WriteFile(dir.Path("one.json"), kOneTriangleJson);
    BinaryRun run = RunMdlexport({"-q", "one.json", "-o", "/dev/stdout"}, {dir.Path(""), -1});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, Crlf(kOneTriangleMdl));
    EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{"one.json"});
}
