// Model descriptions that the exporter must refuse: each run ends with status
// 2, one message on standard error naming the file, the place and the rule,
// and nothing written (no output, no temporary file) in the folder.
#include "run_binary.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

struct Refusal
{
    std::string json;
    std::string message; // after "mdlexport: model.json: "
};

std::string Repeat(const std::string& text, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i)
        result += text;
    return result;
}

// A mesh of four vertices with the given triangles.
std::string FourVertices(const std::string& triangles)
{
    return R"({"meshes": [{"positions": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
                          "triangles": )" +
           triangles + "}]}";
}

std::string OneVertex(const std::string& keys)
{
    return R"({"meshes": [{"positions": [[0, 0, 0]], )" + keys + "}]}";
}

std::string Bone(const std::string& keys)
{
    return R"({"bones": [{"name": "B"}, {)" + keys + "}]}";
}

void ExpectRefused(const std::vector<Refusal>& cases)
{
    for (const Refusal& c : cases)
    {
        TempDir dir;
        WriteFile(dir.Path("model.json"), c.json);
        BinaryRun run = RunMdlexport({"model.json"}, {dir.Path(""), -1});
        EXPECT_EQ(run.exit_code, 2) << c.json;
        EXPECT_EQ(run.err, "mdlexport: model.json: " + c.message + "\n") << c.json;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ListFolder(dir.Path("")), std::vector<std::string>{"model.json"}) << c.json;
    }
}

} // namespace

TEST(RefusedDescription, IsNotJson)
{
    ExpectRefused({
        {"", "not valid JSON: the file holds no value"},
        {" \r\n\t", "not valid JSON: the file holds no value"},
        {"{", "line 1, column 2: not valid JSON: the file ends before the { at line 1, column 1 "
              "is closed"},
        // Truncated in the middle of the second vertex.
        {"{\"meshes\": [{\"positions\": [[0, 0, 0], [1,",
         "line 1, column 42: not valid JSON: the file ends before the [ at line 1, column 39 "
         "is closed"},
        {"{\"meshes\": []}}", "line 1, column 15: not valid JSON: more follows the top-level "
                              "object"},
        {"{\"a\": [}", "a[0] (line 1, column 8): not valid JSON: a comma, colon, bracket or "
                       "brace is missing or out of place"},
        {"{\"a\": [1}", "a[1] (line 1, column 9): not valid JSON: a comma, colon, bracket or "
                        "brace is missing or out of place"},
        {"{\"meshes\": [])", "line 1, column 15: not valid JSON: the file ends before the { at "
                             "line 1, column 1 is closed"},
        {"{\"meshes\": []})", "line 1, column 15: not valid JSON: more follows the top-level "
                              "object"},
        {"garbage", "line 1, column 1: not valid JSON: a comma, colon, bracket or brace is "
                    "missing or out of place"},
        {"{\"meshes\": []} {}", "line 1, column 16: not valid JSON: more follows the top-level "
                                "object"},
        {"{\"a\": [1, 2,, 3]}", "a[2] (line 1, column 13): not valid JSON: a comma, colon, "
                                "bracket or brace is missing or out of place"},
        {"{\n \"a\": 1\n \"b\": 2}", "line 3, column 2: not valid JSON: a comma, colon, "
                                     "bracket or brace is missing or out of place"},
        {"{\"a\": tru}", "a: not valid JSON: tru is not a value"},
        // Not JSON at all, though its first byte could start a value.
        {"not json at all", "line 1, column 1: not valid JSON: not is not a value"},
        {"tru", "line 1, column 1: not valid JSON: tru is not a value"},
        {"\n  falsey", "line 2, column 3: not valid JSON: falsey is not a value"},
        {"123abc", "line 1, column 1: not valid JSON: malformed number 123abc"},
        {"-", "line 1, column 1: not valid JSON: malformed number -"},
        {"null", "the top level must be an object, found null"},
        {"12", "the top level must be an object, found a number"},
        {"{\"a\": nul}", "a: not valid JSON: nul is not a value"},
        {"{\"a\": 01}", "a: not valid JSON: malformed number 01"},
        {"{\"a\": -}", "a: not valid JSON: malformed number -"},
        {"{\"a\": 1.}", "a: not valid JSON: malformed number 1."},
        {"{\"a\": \"\\x\"}", "a: not valid JSON: a string holds the unknown escape \\x"},
        {"{\"\\e\": 1}", "not valid JSON: a string holds the unknown escape \\e"},
        {"{\"meshes\": [{\"\\e\": 1}]}",
         "meshes[0]: not valid JSON: a string holds the unknown escape \\e"},
        {"{\"a\": \"\\u12\"}", "a: not valid JSON: a \\u escape needs four hexadecimal digits"},
        {"{\"a\": \"x\x01y\"}",
         "line 1, column 9: not valid JSON: control character 0x01 inside a string (it must be "
         "escaped)"},
        {"{\"a\": \"open}", "line 1, column 7: not valid JSON: the string that starts here is "
                            "not closed"},
        // The top-level object and 1,024 arrays: 1,025 levels.
        {"{\"a\": " + Repeat("[", 1024) + Repeat("]", 1024) + "}",
         "a[0][0][0][0][0][0][0]...[0][0][0][0]: arrays and objects are nested more than 1024 "
         "deep"},
        // Bytes that are not UTF-8, in a bone name (0xFF is column 23).
        {"{\"bones\": [{\"name\": \"a\xFF"
         "b\"}]}",
         "line 1, column 23: not valid UTF-8 (byte 0xFF)"},
        // An overlong encoding of "/".
        {"{\"bones\": [{\"name\": \"\xC0\xAF\"}]}",
         "line 1, column 22: not valid UTF-8 (byte 0xC0)"},
    });
}

TEST(RefusedDescription, HasAValueOfTheWrongType)
{
    ExpectRefused({
        {"[]", "the top level must be an object, found an array"},
        {"\"model\"", "the top level must be an object, found a string"},
        {"{\"meshes\": {}}", "meshes: expected an array of meshes, found an object"},
        {"{\"bones\": null}", "bones: expected an array of bones, found null"},
        {"{\"meshes\": [[]]}", "meshes[0]: expected a mesh (an object), found an array"},
        {"{\"bones\": [\"Root\"]}", "bones[0]: expected a bone (an object), found a string"},
        {"{\"meshes\": [{\"name\": 5}]}", "meshes[0].name: expected a string, found a number"},
        {"{\"meshes\": [{\"positions\": [[0, 0, \"1\"]]}]}",
         "meshes[0].positions[0][2]: expected a number, found a string"},
        {"{\"meshes\": [{\"positions\": [0, 0, 0]}]}",
         "meshes[0].positions[0]: expected [x, y, z], found a number"},
        {OneVertex("\"uvs\": null"), "meshes[0].uvs: expected an array of [u, v], found null"},
        {OneVertex("\"bone_indices\": [\"1\"]"),
         "meshes[0].bone_indices[0]: expected an integer, found a string"},
        {OneVertex("\"triangles\": [[0, 0, true]]"),
         "meshes[0].triangles[0][2]: expected an integer, found a boolean"},
        {Bone("\"name\": \"A\", \"position\": {\"x\": 1}"),
         "bones[1].position: expected [x, y, z], found an object"},
        {Bone("\"name\": \"A\", \"rotation_keys\": [[0, 0, 0, false]]"),
         "bones[1].rotation_keys[0][3]: expected a number, found a boolean"},
        {Bone("\"name\": \"A\", \"parent\": []"),
         "bones[1].parent: expected a string, found an array"},
        // A value that is not even JSON is reported as such.
        {OneVertex("\"uvs\": [[0, tru]]"),
         "meshes[0].uvs[0][1]: not valid JSON: tru is not a value"},
    });
}

TEST(RefusedDescription, HasAnArrayOfTheWrongLength)
{
    ExpectRefused({
        {"{\"meshes\": [{\"positions\": [[0, 0]]}]}",
         "meshes[0].positions[0]: expected [x, y, z], found 2 values"},
        {"{\"meshes\": [{\"positions\": [[0, 0, 0], [0, 0, 0, 0]]}]}",
         "meshes[0].positions[1]: expected [x, y, z], found 4 values"},
        {OneVertex("\"uvs\": [[0]]"), "meshes[0].uvs[0]: expected [u, v], found 1 value"},
        {OneVertex("\"triangles\": [[0, 0]]"),
         "meshes[0].triangles[0]: expected [i0, i1, i2], found 2 values"},
        {OneVertex("\"triangles\": [[0, 0, 0, 0, 0]]"),
         "meshes[0].triangles[0]: expected [i0, i1, i2], found 5 values"},
        {Bone("\"name\": \"A\", \"position\": []"),
         "bones[1].position: expected [x, y, z], found 0 values"},
        {Bone("\"name\": \"A\", \"position_keys\": [[0, 1, 2]]"),
         "bones[1].position_keys[0]: expected [time, x, y, z], found 3 values"},
        // One entry per vertex, or none at all.
        {OneVertex("\"uvs\": []"), "meshes[0].uvs: 0 texture coordinates for 1 vertex (one per "
                                   "vertex is needed)"},
        {"{\"meshes\": [{\"uvs\": [[0, 0]], \"positions\": [[0, 0, 0], [0, 0, 0]]}]}",
         "meshes[0].uvs: 1 texture coordinate for 2 vertices (one per vertex is needed)"},
        {OneVertex("\"bone_indices\": [0, 1, 2]"),
         "meshes[0].bone_indices: 3 bone indices for 1 vertex (one per vertex is needed)"},
    });
}

TEST(RefusedDescription, HasAnIndexOutOfRange)
{
    std::string wide_mesh = "[0,0,0]" + Repeat(",[0,0,0]", 70000); // 70001 vertices
    ExpectRefused({
        {FourVertices("[[0, 1, 2], [0, 2, 3], [0, 1, 3], [1, 2, 3], [0, 1, 2], [3, 7, 0]]"),
         "meshes[0].triangles[5][1]: corner index 7 is outside 0..3 (the mesh has 4 vertices)"},
        {FourVertices("[[0, 1, 4]]"),
         "meshes[0].triangles[0][2]: corner index 4 is outside 0..3 (the mesh has 4 vertices)"},
        {FourVertices("[[0, -1, 2]]"),
         "meshes[0].triangles[0][1]: corner index -1 is outside 0..3 (the mesh has 4 vertices)"},
        {FourVertices("[[99999999999999999999999, 1, 2]]"),
         "meshes[0].triangles[0][0]: corner index 99999999999999999999999 is outside 0..3 (the "
         "mesh has 4 vertices)"},
        {FourVertices("[[0, 1.0, 2]]"),
         "meshes[0].triangles[0][1]: expected an integer (no fraction, no exponent), found 1.0"},
        {FourVertices("[[0, 1, 1e0]]"),
         "meshes[0].triangles[0][2]: expected an integer (no fraction, no exponent), found 1e0"},
        {FourVertices("[[0.5, 1, 2]]"),
         "meshes[0].triangles[0][0]: expected an integer (no fraction, no exponent), found 0.5"},
        // Checked once the positions are known: the first bad corner in the
        // file is reported, whether it is too large for the mesh or for 16 bits.
        {"{\"meshes\": [{\"triangles\": [[0, 0, 0], [0, 4, 70000]], "
         "\"positions\": [[0, 0, 0], [0, 0, 0], [0, 0, 0], [0, 0, 0]]}]}",
         "meshes[0].triangles[1][1]: corner index 4 is outside 0..3 (the mesh has 4 vertices)"},
        {"{\"meshes\": [{\"triangles\": [[0, 70000, 4]], \"positions\": [[0, 0, 0]]}]}",
         "meshes[0].triangles[0][1]: corner index 70000 is outside 0..0 (the mesh has 1 vertex)"},
        {"{\"meshes\": [{\"triangles\": [[0, 0, 0]]}]}",
         "meshes[0].triangles[0][0]: corner index 0 is outside the mesh, which has no vertices"},
        // Past the 16 bits of a corner, even where the mesh has the vertex.
        {"{\"meshes\": [{\"positions\": [" + wide_mesh + "], \"triangles\": [[65536, 0, 1]]}]}",
         "meshes[0].triangles[0][0]: corner index 65536 is outside 0..65535 (corners are "
         "16-bit)"},
        {OneVertex("\"bone_indices\": [2147483648]"),
         "meshes[0].bone_indices[0]: bone index 2147483648 is outside the signed 32-bit range"},
        {OneVertex("\"bone_indices\": [-2147483649]"),
         "meshes[0].bone_indices[0]: bone index -2147483649 is outside the signed 32-bit range"},
        {OneVertex("\"bone_indices\": [-99999999999999999999]"),
         "meshes[0].bone_indices[0]: bone index -99999999999999999999 is outside the signed "
         "32-bit range"},
        {OneVertex("\"bone_indices\": [1E2]"),
         "meshes[0].bone_indices[0]: expected an integer (no fraction, no exponent), found 1E2"},
    });
}

TEST(RefusedDescription, HasABadName)
{
    ExpectRefused({
        {Bone("\"name\": \"\""),
         "bones[1].name: the bone name is empty (a bone needs 1 to 31 bytes)"},
        {Bone("\"parent\": \"B\""),
         "bones[1]: the bone has no \"name\" (1 to 31 bytes are required)"},
        {Bone("\"name\": \"" + Repeat("n", 32) + "\""),
         "bones[1].name: the bone name is 32 bytes long (at most 31 bytes)"},
        {Bone("\"name\": \"" + Repeat("\\u00e9", 16) + "\""), // 16 letters of 2 bytes
         "bones[1].name: the bone name is 32 bytes long (at most 31 bytes)"},
        {Bone("\"name\": \"a\\u0000b\""),
         "bones[1].name: the bone name holds a NUL character (\\u0000)"},
        {Bone("\"name\": \"\\ud800\""),
         "bones[1].name: not valid UTF-8: a string escapes a surrogate (\\uD800 to \\uDFFF) "
         "without its pair"},
        {Bone("\"name\": \"\\udc00\\ud800\""),
         "bones[1].name: not valid UTF-8: a string escapes a surrogate (\\uD800 to \\uDFFF) "
         "without its pair"},
        {Bone("\"name\": \"A\", \"parent\": \"" + Repeat("p", 32) + "\""),
         "bones[1].parent: the parent name is 32 bytes long (at most 31 bytes)"},
        {Bone("\"name\": \"A\", \"parent\": \"\\u0000\""),
         "bones[1].parent: the parent name holds a NUL character (\\u0000)"},
        {"{\"meshes\": [{\"name\": \"body\\u0000\"}]}",
         "meshes[0].name: the mesh name holds a NUL character (\\u0000)"},
    });
}

TEST(RefusedDescription, HasANumberBeyondTheFloatRange)
{
    ExpectRefused({
        {OneVertex("\"uvs\": [[1e39, 0]]"),
         "meshes[0].uvs[0][0]: the number 1e39 is too large for a 32-bit float"},
        {"{\"meshes\": [{\"positions\": [[0, -1e39, 0]]}]}",
         "meshes[0].positions[0][1]: the number -1e39 is too large for a 32-bit float"},
        // Exactly halfway between the largest float and 2^128: rounds to infinity.
        {"{\"meshes\": [{\"positions\": [[0, 0, 3.4028235677973366e38]]}]}",
         "meshes[0].positions[0][2]: the number 3.4028235677973366e38 is too large for a 32-bit "
         "float"},
        {"{\"meshes\": [{\"positions\": [[0, 0, 1000000000000000000000000000000000000000]]}]}",
         "meshes[0].positions[0][2]: the number 1000000000000000000000000000000000000000 is too "
         "large for a 32-bit float"},
        // Beyond even the double range.
        {Bone("\"name\": \"A\", \"position\": [1e400, 0, 0]"),
         "bones[1].position[0]: the number 1e400 is too large for a 32-bit float"},
        {Bone("\"name\": \"A\", \"rotation_keys\": [[-1e39, 0, 0, 0]]"),
         "bones[1].rotation_keys[0][0]: the number -1e39 is too large for a 32-bit float"},
    });
}

TEST(RefusedDescription, RepeatsAKnownKey)
{
    ExpectRefused({
        {"{\"meshes\": [], \"meshes\": []}",
         "meshes: the key \"meshes\" appears twice in one object"},
        {"{\"meshes\": [{\"positions\": [], \"positions\": []}]}",
         "meshes[0].positions: the key \"positions\" appears twice in one object"},
        {Bone("\"name\": \"A\", \"name\": \"B\""),
         "bones[1].name: the key \"name\" appears twice in one object"},
    });
}
