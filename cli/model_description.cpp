#include "model_description.h"

#include "input_bytes.h"
#include "json_diagnosis.h"
#include "json_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <simdjson.h>
#include <string_view>

namespace ondemand = simdjson::ondemand;
using simdjson::error_code;

const size_t kModelDescriptionPadding = simdjson::SIMDJSON_PADDING;

namespace
{

constexpr size_t kMaxNameBytes = 31;
constexpr int64_t kCornerLimit = 65536; // corners are 16-bit in the host

enum class NameKind
{
    Mesh,
    Bone,
    Parent
};

// "1 vertex", "3 vertices".
std::string CountAndNoun(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string CornerRule(const std::string& token, size_t vertex_count)
{
    if (vertex_count == 0)
        return "corner index " + token + " is outside the mesh, which has no vertices";
    if (static_cast<uint64_t>(vertex_count) > static_cast<uint64_t>(kCornerLimit))
        return "corner index " + token + " is outside 0..65535 (corners are 16-bit)";
    return "corner index " + token + " is outside 0.." + std::to_string(vertex_count - 1) +
           " (the mesh has " + std::to_string(vertex_count) +
           (vertex_count == 1 ? " vertex)" : " vertices)");
}

// The schema of the description over the JSON reader.
class DescriptionParser : JsonReader
{
  public:
    using JsonReader::JsonReader;

    bool Parse(ModelDescription& out);

  private:
    bool ReadName(Value value, NameKind kind, std::string& out);
    bool ReadRow(Value value, size_t width, const char* what, float* out);
    bool ReadRows(Value value, size_t width, const char* what, std::vector<float>& out);
    bool ReadBoneIndices(Value value, std::vector<int32_t>& out);
    bool ReadTriangles(Value value, bool vertex_count_known, size_t vertex_count,
                       std::vector<uint16_t>& corners, size_t& first_wide, std::string& wide_token);
    bool ReadMesh(Value value, MeshDescription& mesh);
    bool ReadBone(Value value, BoneDescription& bone);
    // An array of objects, each read by `read` into a new item of `items`.
    template <typename Item>
    bool ReadObjects(Value value, const char* expected, std::vector<Item>& items,
                     bool (DescriptionParser::*read)(Value, Item&));
    // An array of `what`, counted first: a quick skip over the array saves
    // growing the largest arrays of the file by doubling.
    bool OpenArray(Value value, const std::string& what, ondemand::array& array, size_t& count);
};

bool DescriptionParser::ReadName(Value value, NameKind kind, std::string& out)
{
    std::string_view text;
    if (!ReadString(value, text))
        return false;
    const char* what = kind == NameKind::Mesh   ? "the mesh name"
                       : kind == NameKind::Bone ? "the bone name"
                                                : "the parent name";
    if (std::memchr(text.data(), '\0', text.size()) != nullptr)
        return Fail(std::string(what) + " holds a NUL character (\\u0000)");
    if (FirstInvalidUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size()) !=
        text.size())
        return Fail(std::string(what) + " is not valid UTF-8");
    if (kind == NameKind::Bone && text.empty())
        return Fail("the bone name is empty (a bone needs 1 to 31 bytes)");
    if (kind != NameKind::Mesh && text.size() > kMaxNameBytes)
        return Fail(std::string(what) + " is " + std::to_string(text.size()) +
                    " bytes long (at most 31 bytes)");
    out.assign(text);
    return true;
}

bool DescriptionParser::ReadRow(Value value, size_t width, const char* what, float* out)
{
    ondemand::array items;
    if (value.get_array().get(items) != simdjson::SUCCESS)
        return FailExpected(value, what);
    size_t found = 0;
    auto read_number = [&](size_t k, Value number)
    {
        found = k + 1;
        // Values past the row's width are only counted for the message.
        return k < width ? ReadFloat(number, out[k]) : Validate(number);
    };
    if (!ForEachElement(items, read_number))
        return false;
    if (found != width)
        return FailWrongLength(found, what);
    return true;
}

bool DescriptionParser::OpenArray(Value value, const std::string& what, ondemand::array& array,
                                  size_t& count)
{
    if (value.get_array().get(array) != simdjson::SUCCESS)
        return FailExpected(value, what);
    if (error_code e = array.count_elements().get(count))
        return FailJson(e);
    return true;
}

bool DescriptionParser::ReadRows(Value value, size_t width, const char* what,
                                 std::vector<float>& out)
{
    ondemand::array rows;
    size_t count = 0;
    if (!OpenArray(value, std::string("an array of ") + what, rows, count))
        return false;
    out.reserve(count * width);
    return ForEachElement(rows,
                          [&](size_t, Value row)
                          {
                              float values[4];
                              if (!ReadRow(row, width, what, values))
                                  return false;
                              out.insert(out.end(), values, values + width);
                              return true;
                          });
}

bool DescriptionParser::ReadBoneIndices(Value value, std::vector<int32_t>& out)
{
    ondemand::array items;
    size_t count = 0;
    if (!OpenArray(value, "an array of bone indices", items, count))
        return false;
    out.reserve(count);
    return ForEachElement(items,
                          [&](size_t, Value index_value)
                          {
                              int64_t index;
                              if (!ReadInteger(index_value, index))
                                  return false;
                              if (index < std::numeric_limits<int32_t>::min() ||
                                  index > std::numeric_limits<int32_t>::max())
                                  return Fail("bone index " +
                                              Shown(TrimToken(index_value.raw_json_token())) +
                                              " is outside the signed 32-bit range");
                              out.push_back(static_cast<int32_t>(index));
                              return true;
                          });
}

// Reads the corners. When the vertex count is not known yet (the triangles
// come before the positions), each corner is held if it fits 16 bits and the
// check against the count waits for the end of the mesh; the first corner
// that does not fit is remembered in `first_wide` and `wide_token`.
bool DescriptionParser::ReadTriangles(Value value, bool vertex_count_known, size_t vertex_count,
                                      std::vector<uint16_t>& corners, size_t& first_wide,
                                      std::string& wide_token)
{
    ondemand::array rows;
    size_t count = 0;
    if (!OpenArray(value, "an array of [i0, i1, i2]", rows, count))
        return false;
    corners.reserve(3 * count);
    int64_t limit = vertex_count_known ? std::min(kCornerLimit, static_cast<int64_t>(vertex_count))
                                       : kCornerLimit;
    size_t found = 0; // in the row being read
    auto read_corner = [&](size_t k, Value corner_value)
    {
        found = k + 1;
        // Values past the third are only counted for the message.
        if (k >= 3)
            return Validate(corner_value);
        int64_t corner;
        if (!ReadInteger(corner_value, corner))
            return false;
        if (corner < 0 || corner >= limit)
        {
            std::string token(TrimToken(corner_value.raw_json_token()));
            if (vertex_count_known)
                return Fail(CornerRule(Shown(token), vertex_count));
            if (first_wide == SIZE_MAX)
            {
                first_wide = corners.size();
                wide_token = Shown(token);
            }
            corner = 0;
        }
        corners.push_back(static_cast<uint16_t>(corner));
        return true;
    };
    auto read_row = [&](size_t, Value row)
    {
        ondemand::array items;
        if (row.get_array().get(items) != simdjson::SUCCESS)
            return FailExpected(row, "[i0, i1, i2]");
        found = 0;
        if (!ForEachElement(items, read_corner))
            return false;
        return found == 3 || FailWrongLength(found, "[i0, i1, i2]");
    };
    return ForEachElement(rows, read_row);
}

bool DescriptionParser::ReadMesh(Value value, MeshDescription& mesh)
{
    ondemand::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return FailExpected(value, "a mesh (an object)");
    bool seen_name = false, seen_positions = false, seen_uvs = false, seen_bones = false,
         seen_triangles = false;
    bool triangles_checked = false;
    size_t first_wide = SIZE_MAX;
    std::string wide_token;
    auto read_member = [&](std::string_view key, Value child)
    {
        if (key == "name")
            return FirstTime(seen_name, key) && ReadName(child, NameKind::Mesh, mesh.name);
        if (key == "positions")
            return FirstTime(seen_positions, key) &&
                   ReadRows(child, 3, "[x, y, z]", mesh.positions);
        if (key == "uvs")
            return FirstTime(seen_uvs, key) && ReadRows(child, 2, "[u, v]", mesh.uvs);
        if (key == "bone_indices")
            return FirstTime(seen_bones, key) && ReadBoneIndices(child, mesh.bone_indices);
        if (key == "triangles")
        {
            triangles_checked = seen_positions;
            return FirstTime(seen_triangles, key) &&
                   ReadTriangles(child, seen_positions, mesh.positions.size() / 3, mesh.corners,
                                 first_wide, wide_token);
        }
        return Validate(child);
    };
    if (!ForEachField(object, read_member))
        return false;

    size_t vertex_count = mesh.positions.size() / 3;
    if (seen_uvs && mesh.uvs.size() / 2 != vertex_count)
    {
        place_.PushKey("uvs");
        return Fail(CountAndNoun(mesh.uvs.size() / 2, "texture coordinate", "texture coordinates") +
                    " for " + CountAndNoun(vertex_count, "vertex", "vertices") +
                    " (one per vertex is needed)");
    }
    if (seen_bones && mesh.bone_indices.size() != vertex_count)
    {
        place_.PushKey("bone_indices");
        return Fail(CountAndNoun(mesh.bone_indices.size(), "bone index", "bone indices") + " for " +
                    CountAndNoun(vertex_count, "vertex", "vertices") +
                    " (one per vertex is needed)");
    }
    if (seen_triangles && !triangles_checked)
    {
        // The first corner in file order that is outside the mesh.
        size_t limit = std::min<size_t>(vertex_count, static_cast<size_t>(kCornerLimit));
        size_t bad = first_wide;
        std::string token = wide_token;
        for (size_t i = 0; i < mesh.corners.size() && i < first_wide; ++i)
            if (mesh.corners[i] >= limit)
            {
                bad = i;
                token = std::to_string(mesh.corners[i]);
                break;
            }
        if (bad != SIZE_MAX)
        {
            place_.PushKey("triangles");
            place_.PushIndex(bad / 3);
            place_.PushIndex(bad % 3);
            return Fail(CornerRule(token, vertex_count));
        }
    }
    return true;
}

bool DescriptionParser::ReadBone(Value value, BoneDescription& bone)
{
    ondemand::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return FailExpected(value, "a bone (an object)");
    bool seen_name = false, seen_parent = false, seen_position = false, seen_position_keys = false,
         seen_rotation_keys = false;
    auto read_member = [&](std::string_view key, Value child)
    {
        if (key == "name")
            return FirstTime(seen_name, key) && ReadName(child, NameKind::Bone, bone.name);
        if (key == "parent")
            return FirstTime(seen_parent, key) && ReadName(child, NameKind::Parent, bone.parent);
        if (key == "position")
            return FirstTime(seen_position, key) && ReadRow(child, 3, "[x, y, z]", bone.position);
        if (key == "position_keys")
            return FirstTime(seen_position_keys, key) &&
                   ReadRows(child, 4, "[time, x, y, z]", bone.position_keys);
        if (key == "rotation_keys")
            return FirstTime(seen_rotation_keys, key) &&
                   ReadRows(child, 4, "[time, rx, ry, rz]", bone.rotation_keys);
        return Validate(child);
    };
    if (!ForEachField(object, read_member))
        return false;
    if (!seen_name)
        return Fail("the bone has no \"name\" (1 to 31 bytes are required)");
    return true;
}

template <typename Item>
bool DescriptionParser::ReadObjects(Value value, const char* expected, std::vector<Item>& items,
                                    bool (DescriptionParser::*read)(Value, Item&))
{
    ondemand::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS)
        return FailExpected(value, expected);
    return ForEachElement(array,
                          [&](size_t, Value object)
                          {
                              items.emplace_back();
                              return (this->*read)(object, items.back());
                          });
}

bool DescriptionParser::Parse(ModelDescription& out)
{
    ondemand::object object;
    if (!Start(object))
        return false;
    bool seen_meshes = false, seen_bones = false;
    auto read_member = [&](std::string_view key, Value child)
    {
        if (key == "meshes")
            return FirstTime(seen_meshes, key) &&
                   ReadObjects(child, "an array of meshes", out.meshes,
                               &DescriptionParser::ReadMesh);
        if (key == "bones")
            return FirstTime(seen_bones, key) &&
                   ReadObjects(child, "an array of bones", out.bones, &DescriptionParser::ReadBone);
        return Validate(child);
    };
    return ForEachField(object, read_member) && Finish();
}

} // namespace

bool ParseModelDescription(const char* json, size_t size, const std::string& file_name,
                           ModelDescription& out, std::string& error, InputBytes* pages)
{
    DescriptionParser parser(json, size, file_name, error, pages);
    return parser.Parse(out);
}

bool ReadModelDescription(const std::string& path, ModelDescription& out, std::string& error)
{
    InputBytes bytes;
    if (!bytes.Open(path, kModelDescriptionPadding, kMaxJsonBytes, error))
        return false;
    return ParseModelDescription(bytes.data(), bytes.size(), path, out, error, &bytes);
}
