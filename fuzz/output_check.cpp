#include "output_check.h"

#include "test_fixtures.h"

#include <cstdio>

namespace
{

const std::string kSlashes = "////////////////////////////////////////////////////\r\n";

std::string Printable(const std::string& text)
{
    std::string shown;
    for (char byte : text)
    {
        auto c = static_cast<unsigned char>(byte);
        if (c >= 0x20 && c < 0x7f && c != '\\')
        {
            shown += static_cast<char>(c);
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", c);
        shown += escape;
    }
    return shown;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the file from front to back; the first mismatch is kept and every
// later step fails at once, so a check reads as a chain of expectations.
class Cursor
{
  public:
    explicit Cursor(const std::string& text) : text_(text) {}

    bool Literal(const std::string& piece)
    {
        if (failure_.empty() && text_.compare(at_, piece.size(), piece) == 0)
        {
            at_ += piece.size();
            return true;
        }
        return Fail("expected \"" + Printable(piece) + "\"");
    }

    bool Integer(int64_t value)
    {
        return Literal(std::to_string(value));
    }

    // Any "%d": an optional minus sign and digits.
    bool AnyInteger()
    {
        size_t from = at_;
        if (failure_.empty() && at_ < text_.size() && text_[at_] == '-')
            ++at_;
        if (!Digits())
        {
            at_ = from;
            return Fail("expected an integer");
        }
        return true;
    }

    // Any "%f": an optional minus sign, digits, a point and six decimals. Never
    // "nan", "inf" or an exponent.
    bool Real()
    {
        size_t from = at_;
        if (failure_.empty() && at_ < text_.size() && text_[at_] == '-')
            ++at_;
        bool whole = Digits() && at_ < text_.size() && text_[at_] == '.';
        size_t point = at_;
        if (whole)
        {
            ++at_;
            whole = Digits() && at_ - point == 7;
        }
        if (!whole)
        {
            at_ = from;
            return Fail("expected a number with six decimals");
        }
        return true;
    }

    bool AtEnd()
    {
        return failure_.empty() && at_ == text_.size() ? true
                                                       : Fail("expected the end of the file");
    }

    bool Fail(const std::string& what)
    {
        if (failure_.empty())
            failure_ = what + " at byte " + std::to_string(at_) + ", which reads \"" +
                       Printable(text_.substr(at_, 48)) + "\"";
        return false;
    }

    const std::string& failure() const
    {
        return failure_;
    }

  private:
    bool Digits()
    {
        size_t from = at_;
        while (failure_.empty() && at_ < text_.size() && IsDigit(text_[at_]))
            ++at_;
        return at_ > from;
    }

    const std::string& text_;
    size_t at_ = 0;
    std::string failure_;
};

size_t Positive(int32_t count)
{
    return count > 0 ? static_cast<size_t>(count) : 0;
}

bool Header(Cursor& in, const HostileExpectations& expect)
{
    return in.Literal("//exported by quib and stuff\r\nVersion {\r\n\tFormatVersion 800,\r\n}\r\n"
                      "\tModel \"Model\" {\r\n\tNumGeosets ") &&
           in.Integer(expect.mesh_count) && in.Literal(",\r\n\tNumGeosetAnims 1,\r\n\tNumBones ") &&
           in.Integer(expect.bone_count) &&
           in.Literal(",\r\n\tBlendTime 150,\r\n\tMinimumExtent { -200, -200, -200 },\r\n"
                      "\tMaximumExtent { 200, 200, 200 },\r\n}\r\n") &&
           in.Literal(kSlashes + kSlashes + "\r\n\r\n\r\nPASTE HEADING HERE\r\n\r\n\r\n\r\n" +
                      kSlashes + kSlashes);
}

bool RealRows(Cursor& in, size_t rows, int columns)
{
    for (size_t r = 0; r < rows; ++r)
    {
        if (!in.Literal("\t\t{ ") || !in.Real())
            return false;
        for (int c = 1; c < columns; ++c)
        {
            if (!in.Literal(", ") || !in.Real())
                return false;
        }
        if (!in.Literal(" },\r\n"))
            return false;
    }
    return true;
}

bool Geoset(Cursor& in, const HostileMeshExpectations& mesh, int32_t bone_count)
{
    size_t vertices = Positive(mesh.vertex_count);
    if (!in.Literal("Geoset {\r\n\tVertices ") || !in.Integer(mesh.vertex_count) ||
        !in.Literal(" {\r\n") || !RealRows(in, vertices, 3) || !in.Literal("\t}\r\nNormals ") ||
        !in.Integer(mesh.vertex_count) || !in.Literal(" {\r\n") || !RealRows(in, vertices, 3) ||
        !in.Literal("\t}\r\n\tTVertices ") || !in.Integer(mesh.vertex_count) ||
        !in.Literal(" {\r\n") || !RealRows(in, vertices, 2) ||
        !in.Literal("\t}\r\n\tVertexGroup {\r\n"))
        return false;
    for (int32_t bone_index : mesh.bone_indices)
    {
        if (!in.Literal("\t\t") || !in.Integer(bone_index) || !in.Literal(",\r\n"))
            return false;
    }
    // The index count wraps as the host's int32 arithmetic would.
    auto indices = static_cast<int32_t>(3u * static_cast<uint32_t>(mesh.triangle_count));
    if (!in.Literal("\t}\r\n\tFaces 1 ") || !in.Integer(indices) ||
        !in.Literal(" {\r\n\t\tTriangles {\r\n\t\t{ "))
        return false;
    for (size_t t = 0; t < mesh.corners.size(); ++t)
    {
        const uint16_t* c = mesh.corners[t].corner;
        if ((t > 0 && !in.Literal(",")) || !in.Literal(" ") || !in.Integer(c[0]) ||
            !in.Literal(", ") || !in.Integer(c[1]) || !in.Literal(", ") || !in.Integer(c[2]))
            return false;
    }
    if (!in.Literal(" },\r\n\t\t}\r\n\t}\r\n\r\n\tGroups ") || !in.Integer(bone_count) ||
        !in.Literal(" ") || !in.Integer(bone_count) || !in.Literal(" {\r\n"))
        return false;
    for (int32_t b = 0; b < bone_count; ++b)
    {
        if (!in.Literal("\t\tMatrices { ") || !in.Integer(b) || !in.Literal(" },\r\n"))
            return false;
    }
    return in.Literal("\t}\r\n\tMinimumExtent { -200, -200, -200 },\r\n"
                      "\tMaximumExtent { 200, 200, 200 },\r\n\tBoundsRadius 400,\r\n\tAnim {\r\n"
                      "\t\tMinimumExtent { -200, -200, -200 },\r\n"
                      "\t\tMaximumExtent { 200, 200, 200 },\r\n\t\tBoundsRadius 400,\r\n}\r\n"
                      "MaterialID 0,\r\n\tSelectionGroup 0,\r\n}\r\n");
}

bool Track(Cursor& in, const char* kind, int32_t count, int columns)
{
    if (count <= 0)
        return true; // no block at all
    if (!in.Literal(std::string("\t") + kind + " ") || !in.Integer(count) ||
        !in.Literal(" {\r\n\t\tLinear,\r\n"))
        return false;
    for (int32_t k = 0; k < count; ++k)
    {
        if (!in.Literal("\t\t") || !in.AnyInteger() || !in.Literal(": { ") || !in.Real())
            return false;
        for (int c = 1; c < columns; ++c)
        {
            if (!in.Literal(", ") || !in.Real())
                return false;
        }
        if (!in.Literal(" },\r\n"))
            return false;
    }
    return in.Literal("\t}\r\n");
}

bool Bone(Cursor& in, const HostileBoneExpectations& bone, size_t index)
{
    if (!in.Literal("Bone \"" + Crlf(bone.name) + "\" {\r\n\tObjectId ") ||
        !in.Integer(static_cast<int64_t>(index)) || !in.Literal(",\r\n"))
        return false;
    if (bone.parent >= 0 &&
        (!in.Literal("\tParent ") || !in.Integer(bone.parent) || !in.Literal(",\r\n")))
        return false;
    return in.Literal("\tGeosetId Multiple,\r\n\tGeosetAnimId None,\r\n") &&
           Track(in, "Translation", bone.position_key_count, 3) &&
           Track(in, "Rotation", bone.rotation_key_count, 4) && in.Literal("}\r\n");
}

} // namespace

std::string CheckCompleteOutput(const std::string& bytes, const HostileExpectations& expect)
{
    Cursor in(bytes);
    size_t bones = Positive(expect.bone_count);
    bool whole =
        expect.meshes.size() == Positive(expect.mesh_count) && expect.bones.size() == bones;
    for (const HostileMeshExpectations& mesh : expect.meshes)
        whole = whole && mesh.bone_indices.size() == Positive(mesh.vertex_count);
    if (!whole)
        return "a complete file of a model that the host does not hold whole";
    bool holds = Header(in, expect);
    for (size_t m = 0; holds && m < expect.meshes.size(); ++m)
        holds = Geoset(in, expect.meshes[m], expect.bone_count);
    for (size_t b = 0; holds && b < bones; ++b)
        holds = Bone(in, expect.bones[b], b);
    holds = holds && in.Literal("\r\nPivotPoints ") && in.Integer(expect.bone_count) &&
            in.Literal(" {\r\n");
    for (size_t b = 0; holds && b < bones; ++b)
        holds = in.Literal("\t{ ") && in.Real() && in.Literal(", ") && in.Real() &&
                in.Literal(", ") && in.Real() && in.Literal(" },\r\n");
    holds = holds && in.Literal("}") && in.AtEnd();
    return in.failure();
}
