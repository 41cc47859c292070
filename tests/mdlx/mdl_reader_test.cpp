// The model library's readers on malformed and unusual input: the exact
// message of every refusal (one table), numbers read as JavaScript reads
// them, and the MDX reader's bounds on hostile sizes and counts.
#include "mdl_reader.h"
#include "mdl_tokenizer.h"
#include "mdl_writer.h"
#include "mdx_reader.h"
#include "mdx_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace
{

// A whole, small model: every line below is counted in the messages of the
// table (line 1 is "Version {").
const std::string kBase = R"(Version {
	FormatVersion 800,
}
Model "Box" {
	NumGeosets 1,
	BlendTime 150,
}
Sequences 1 {
	Anim "Stand" {
		Interval { 0, 1000 },
	}
}
Textures 1 {
	Bitmap {
		Image "Textures\white.blp",
	}
}
Materials 1 {
	Material {
		Layer {
			FilterMode None,
			static TextureID 0,
		}
	}
}
Geoset {
	Vertices 3 {
		{ 0, 0, 0 },
		{ 1, 0, 0 },
		{ 0, 1, 0 },
	}
	Normals 3 {
		{ 0, 0, 1 },
		{ 0, 0, 1 },
		{ 0, 0, 1 },
	}
	TVertices 3 {
		{ 0, 0 },
		{ 1, 0 },
		{ 0, 1 },
	}
	VertexGroup {
		0,
		0,
		0,
	}
	Faces 1 3 {
		Triangles {
			{ 0, 1, 2 },
		}
	}
	Groups 1 1 {
		Matrices { 0 },
	}
	MaterialID 0,
	SelectionGroup 0,
}
Bone "Root" {
	ObjectId 0,
	GeosetId Multiple,
	GeosetAnimId None,
	Rotation 2 {
		Linear,
		0: { 0, 0, 0, 1 },
		1000: { 0, 0, 0.7071068, 0.7071068 },
	}
}
PivotPoints 1 {
	{ 0, 0, 0 },
}
)";

std::string Edited(const std::string& find, const std::string& replace)
{
    std::string text = kBase;
    const size_t at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    if (at != std::string::npos)
        text.replace(at, find.size(), replace);
    return text;
}

std::string Refusal(const std::string& text)
{
    mdlx::Model model;
    const mdlx::Status status = mdlx::ReadMdl(text, "test.mdl", model);
    EXPECT_TRUE(model == mdlx::Model{}) << "a refused read leaves the model empty";
    return status.ok ? "accepted" : status.message;
}

TEST(ReadMdl, ReadsTheBaseModel)
{
    mdlx::Model model;
    const mdlx::Status status = mdlx::ReadMdl(kBase, "test.mdl", model);
    ASSERT_TRUE(status.ok) << status.message;
    ASSERT_EQ(model.geosets.size(), 1u);
    EXPECT_EQ(model.geosets[0].vertices.size(), 9u);
    EXPECT_EQ(model.geosets[0].faces, (std::vector<uint16_t>{0, 1, 2}));
    ASSERT_EQ(model.bones.size(), 1u);
    ASSERT_EQ(model.bones[0].node.tracks.size(), 1u);
    EXPECT_EQ(model.bones[0].node.tracks[0].frames, (std::vector<int32_t>{0, 1000}));
    EXPECT_EQ(model.textures[0].path, "Textures\\white.blp"); // the backslash stays
}

struct BadMdl
{
    const char* find;
    const char* replace;
    const char* message;
};

// Each case changes one thing in kBase; its message is worked out from the
// line and column where the reader has to stop.
const BadMdl kBadMdl[] = {
    // Counts that disagree with the rows: at the early '}' ...
    {"\t\t{ 0, 1, 0 },\n\t}\n\tNormals", "\t}\n\tNormals",
     "test.mdl:30:2: Geoset 0: Vertices: 3 rows announced, 2 found"},
    {"Normals 3", "Normals 4", "test.mdl:36:2: Geoset 0: Normals: 4 rows announced, 3 found"},
    // ... or at the first row too many.
    {"TVertices 3", "TVertices 2", "test.mdl:40:3: Geoset 0: TVertices: 2 rows announced, 3 found"},
    {"Faces 1 3", "Faces 1 6", "test.mdl:50:3: Geoset 0: Faces: 6 corners announced, 3 found"},
    {"Faces 1 3", "Faces 2 3", "test.mdl:50:3: Geoset 0: Faces: 2 groups announced, 1 found"},
    {"Groups 1 1", "Groups 2 1", "test.mdl:54:2: Geoset 0: Groups: 2 groups announced, 1 found"},
    {"Groups 1 1", "Groups 1 2", "test.mdl:54:2: Geoset 0: Groups: 2 indices announced, 1 found"},
    {"Sequences 1", "Sequences 2", "test.mdl:12:1: Sequences: 2 Anims announced, 1 found"},
    {"Rotation 2", "Rotation 1", "test.mdl:65:3: Bone 0: Rotation: 1 keys announced, 2 found"},
    {"PivotPoints 1", "PivotPoints 0", "test.mdl:69:2: PivotPoints: 0 rows announced, 1 found"},
    // Unknown blocks, keywords and names.
    {"Bone \"Root\"", "Bones \"Root\"", "test.mdl:58:1: unknown block \"Bones\""},
    {"\tSelectionGroup 0,", "\tSelectionGroups 0,",
     "test.mdl:56:2: Geoset 0: unknown keyword \"SelectionGroups\""},
    {"FilterMode None", "FilterMode Dark",
     "test.mdl:21:15: Materials: Material 0: Layer 0: unknown filter mode \"Dark\""},
    {"\t\tLinear,", "\t\tSmooth,",
     "test.mdl:63:3: Bone 0: Rotation: unknown interpolation \"Smooth\""},
    // Numbers that are not numbers, or out of their range.
    {"{ 1, 0, 0 }", "{ 1, zero, 0 }",
     "test.mdl:29:8: Geoset 0: Vertices: \"zero\" is not a number"},
    {"{ 1, 0, 0 }", "{ 1, 4e38, 0 }",
     "test.mdl:29:8: Geoset 0: Vertices: \"4e38\" is out of range for a float"},
    {"{ 1, 0, 0 }", "{ 1, nan, 0 }", "test.mdl:29:8: Geoset 0: Vertices: \"nan\" is not a number"},
    {"{ 1, 0, 0 }", "{ 1, 0x10, 0 }",
     "test.mdl:29:8: Geoset 0: Vertices: \"0x10\" is not a number"},
    {"ObjectId 0", "ObjectId 0.5", "test.mdl:59:11: Bone 0: \"0.5\" is not an integer"},
    {"\t\t0,\n\t}\n\tFaces", "\t\t256,\n\t}\n\tFaces",
     "test.mdl:45:3: Geoset 0: VertexGroup: \"256\" is out of range (0 to 255)"},
    {"{ 0, 1, 2 }", "{ 0, 1, 65536 }",
     "test.mdl:49:12: Geoset 0: Faces: \"65536\" is out of range (0 to 65535)"},
    {"FormatVersion 800", "FormatVersion 900",
     "test.mdl:2:16: Version: FormatVersion 900 is not read; this reader reads FormatVersion 800"},
    // Truncated files.
    {"PivotPoints 1 {\n\t{ 0, 0, 0 },\n}\n", "PivotPoints 1 {\n\t{ 0, 0,",
     "test.mdl:69:9: PivotPoints: the file ends where a number belongs"},
    {"PivotPoints 1 {\n\t{ 0, 0, 0 },\n}\n", "PivotPoints 1 {\n\t{ 0, 0, 0 },\n",
     "test.mdl:70:1: PivotPoints: the file ends where '{' belongs"},
    {"PivotPoints 1 {\n\t{ 0, 0, 0 },\n}\n", "PivotPoints 1 {\n\t{ 0, 0, 0 },\n}\nBone \"Tail",
     "test.mdl:71:6: Bone 1: a string that does not end"},
    // Broken rules found once the file is read.
    {"MaterialID 0", "MaterialID 1", "test.mdl: Geoset 0: MaterialID 1 is not one of 1"},
    {"{ 0, 1, 2 }", "{ 0, 1, 3 }", "test.mdl: Geoset 0: Faces: corner 3 is not one of 3 vertices"},
    {"Matrices { 0 }", "Matrices { 1 }", "test.mdl: Geoset 0: Groups: matrix 1 is not one of 1"},
    {"ObjectId 0", "ObjectId 1", "test.mdl: Bone 0: ObjectId 1 is not one of 1"},
};

TEST(ReadMdl, RefusesMalformedTextWithItsPlace)
{
    for (const BadMdl& bad : kBadMdl)
        EXPECT_EQ(Refusal(Edited(bad.find, bad.replace)), bad.message) << bad.replace;
}

// The first vertex's x after reading `number` in its place.
float ReadAsVertex(const std::string& number)
{
    mdlx::Model model;
    const mdlx::Status status =
        mdlx::ReadMdl(Edited("{ 1, 0, 0 }", "{ " + number + ", 0, 0 }"), "test.mdl", model);
    EXPECT_TRUE(status.ok) << number << ": " << status.message;
    return status.ok ? model.geosets[0].vertices[3] : -1.0f;
}

TEST(ReadMdl, ReadsNumbersAsTheNearestDoubleRoundedToFloat)
{
    EXPECT_EQ(ReadAsVertex("0.1"), 0.1f);
    EXPECT_EQ(ReadAsVertex("+2.5"), 2.5f);
    EXPECT_EQ(ReadAsVertex(".5"), 0.5f);
    EXPECT_EQ(ReadAsVertex("5."), 5.0f);
    EXPECT_EQ(ReadAsVertex("-1.5E+2"), -150.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadAsVertex("-0.000000")), 0x80000000u); // -0 stays
    EXPECT_EQ(ReadAsVertex("1e-50"), 0.0f); // below every float: 0, as in JavaScript
    // Above the largest float (3.40282347e38) but below the halfway point to
    // 2^128 (3.40282357e38): the largest float.
    EXPECT_EQ(ReadAsVertex("3.4028235e38"), 3.40282347e38f);
    // 1 + 2^-24 + 2^-80: the nearest double is 1 + 2^-24, a tie between two
    // floats that rounds to even (1), where rounding straight to a float
    // would give 1 + 2^-23.
    EXPECT_EQ(ReadAsVertex("1.0000000596046447753906258"), 1.0f);
    // More than 19 digits take the slow road to the same place.
    EXPECT_EQ(ReadAsVertex("0.12345678901234567890123"), 0.123456789f);
}

TEST(ReadMdl, ReadsHandEditedLayouts)
{
    std::string text;
    for (char c : kBase)
    {
        if (c == '\n')
            text += " // note\r\n"; // comments at every line end, CR LF
        else if (c == '\t')
            text += "  ";
        else
            text += c;
    }
    mdlx::Model edited;
    mdlx::Model plain;
    ASSERT_TRUE(mdlx::ReadMdl(text, "test.mdl", edited).ok);
    ASSERT_TRUE(mdlx::ReadMdl(kBase, "test.mdl", plain).ok);
    EXPECT_TRUE(edited == plain);
}

TEST(WriteMdx, RefusesNamesLongerThanTheirField)
{
    mdlx::Model model;
    ASSERT_TRUE(mdlx::ReadMdl(kBase, "test.mdl", model).ok);
    model.bones[0].node.name = std::string(80, 'x');
    std::string out;
    const mdlx::Status status = mdlx::WriteMdx(model, out, "out.mdx");
    EXPECT_EQ(status.message,
              "out.mdx: Bone 0: the name of 80 bytes is longer than its field (at most 79)");
    EXPECT_TRUE(out.empty());
    model.bones[0].node.name = std::string(79, 'x');
    EXPECT_TRUE(mdlx::WriteMdx(model, out, "out.mdx").ok);
}

TEST(ReadMdx, RefusesSizesAndCountsBeyondTheFile)
{
    mdlx::Model model;
    ASSERT_TRUE(mdlx::ReadMdl(kBase, "test.mdl", model).ok);
    std::string mdx;
    ASSERT_TRUE(mdlx::WriteMdx(model, mdx, "box.mdx").ok);
    mdlx::Model back;
    ASSERT_TRUE(mdlx::ReadMdx(mdx.data(), mdx.size(), "box.mdx", back).ok);
    EXPECT_TRUE(back == model);

    // Every cut of the file inside a chunk is refused, never read past its end
    // (a cut between chunks may leave a whole, smaller model).
    std::vector<size_t> chunk_ends = {4};
    while (chunk_ends.back() < mdx.size())
    {
        uint32_t size;
        std::memcpy(&size, &mdx[chunk_ends.back() + 4], 4);
        chunk_ends.push_back(chunk_ends.back() + 8 + size);
    }
    for (size_t size = 0; size < mdx.size(); ++size)
    {
        const std::string cut = mdx.substr(0, size);
        const bool between =
            std::find(chunk_ends.begin(), chunk_ends.end(), size) != chunk_ends.end();
        if (!between)
        {
            EXPECT_FALSE(mdlx::ReadMdx(cut.data(), cut.size(), "cut.mdx", back).ok) << size;
        }
    }
    // A vertex count of 2^32 - 1 in a small file: refused before any allocation.
    std::string huge = mdx;
    const size_t vrtx = huge.find("VRTX");
    ASSERT_NE(vrtx, std::string::npos);
    std::memset(&huge[vrtx + 4], 0xFF, 4);
    const mdlx::Status status = mdlx::ReadMdx(huge.data(), huge.size(), "huge.mdx", back);
    // 3 * 4 * (2^32 - 1) bytes, against what remains of the Geoset's own size.
    uint32_t geoset_size;
    std::memcpy(&geoset_size, &mdx[vrtx - 4], 4);
    EXPECT_EQ(status.message, "huge.mdx: at byte " + std::to_string(vrtx + 8) +
                                  ": GEOS: Geoset 0: the vertices needs 51539607540 bytes, " +
                                  std::to_string(geoset_size - 12) + " remain");
    std::string version = mdx;
    version[12] = char(0x84); // 900
    version[13] = char(0x03);
    EXPECT_EQ(mdlx::ReadMdx(version.data(), version.size(), "v.mdx", back).message,
              "v.mdx: at byte 16: VERS: FormatVersion 900 is not read; this reader reads "
              "FormatVersion 800");
}

// The MDL writer's floats: the shortest text that reads back, through a
// double as the readers read, to the same bits.
std::string FloatText(float value)
{
    std::string text;
    mdlx::AppendMdlFloat(text, value);
    return text;
}

TEST(AppendMdlFloat, WritesTheShortestTextThatReadsBack)
{
    EXPECT_EQ(FloatText(0.1f), "0.1");
    EXPECT_EQ(FloatText(-0.0f), "-0"); // the sign stays
    EXPECT_EQ(FloatText(16777216.0f), "16777216");
    EXPECT_EQ(FloatText(3.40282347e38f), "3.4028235e+38");
    EXPECT_EQ(FloatText(1.4e-45f), "1e-45"); // the smallest subnormal
    // Every pattern of a pseudo-random walk over the finite floats reads back.
    uint32_t bits = 12345;
    for (int i = 0; i < 1000000; ++i)
    {
        bits = bits * 1103515245u + 12345u;
        const float value = std::bit_cast<float>(bits);
        if (!std::isfinite(value))
            continue;
        const std::string text = FloatText(value);
        mdlx::MdlTokenizer tokenizer(text);
        ASSERT_EQ(std::bit_cast<uint32_t>(tokenizer.Float()), bits) << text;
    }
}

} // namespace
