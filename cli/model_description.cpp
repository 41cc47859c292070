#include "model_description.h"

#include "input_bytes.h"
#include "stand_in_model.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <simdjson.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ondemand = simdjson::ondemand;
using simdjson::error_code;

const size_t kModelDescriptionPadding = simdjson::SIMDJSON_PADDING;

namespace
{

constexpr size_t kMaxNameBytes = 31;
// Deeper arrays and objects are refused: the parser itself does not count
// depth in an optimized build, and a walk of a hostile file must not run out
// of stack.
constexpr size_t kMaxNesting = 1024;
constexpr int64_t kCornerLimit = 65536; // corners are 16-bit in the host
// From this magnitude on, rounding a double to float gives infinity: it is
// halfway between the largest float and 2^128, and the tie goes to the even
// neighbour, which is the infinity.
constexpr double kFloatOverflowEdge = 0x1.ffffffp+127;
// The longest token quoted in a message; a hostile file can hold a number of
// a million digits.
constexpr size_t kShownTokenBytes = 40;
// The largest file the parser takes (its positions are 32-bit).
constexpr uint64_t kMaxFileBytes = simdjson::SIMDJSON_MAXSIZE_BYTES;

bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view TrimToken(std::string_view token)
{
    while (!token.empty() && IsJsonSpace(token.back()))
        token.remove_suffix(1);
    return token;
}

std::string Shown(std::string_view token)
{
    if (token.size() <= kShownTokenBytes)
        return std::string(token);
    return std::string(token.substr(0, kShownTokenBytes)) + "...";
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

enum class NumberForm
{
    Malformed,
    Integer, // -?(0|[1-9][0-9]*)
    Real     // an integer part with a fraction, an exponent or both
};

// Classifies a token by the JSON number grammar.
NumberForm ClassifyNumber(std::string_view t)
{
    size_t i = 0;
    if (i < t.size() && t[i] == '-')
        ++i;
    if (i == t.size() || !IsDigit(t[i]))
        return NumberForm::Malformed;
    if (t[i] == '0')
        ++i;
    else
        while (i < t.size() && IsDigit(t[i]))
            ++i;
    NumberForm form = NumberForm::Integer;
    if (i < t.size() && t[i] == '.')
    {
        ++i;
        if (i == t.size() || !IsDigit(t[i]))
            return NumberForm::Malformed;
        while (i < t.size() && IsDigit(t[i]))
            ++i;
        form = NumberForm::Real;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E'))
    {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (i == t.size() || !IsDigit(t[i]))
            return NumberForm::Malformed;
        while (i < t.size() && IsDigit(t[i]))
            ++i;
        form = NumberForm::Real;
    }
    return i == t.size() ? form : NumberForm::Malformed;
}

// The offset of the first byte that does not start a well-formed UTF-8
// sequence (no overlong forms, no surrogates, nothing above U+10FFFF), or
// `size` when there is none.
size_t FirstInvalidUtf8(const unsigned char* s, size_t size)
{
    size_t i = 0;
    while (i < size)
    {
        unsigned char c = s[i];
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xbf; // the range of the second byte
        if (c >= 0xc2 && c <= 0xdf)
            length = 2;
        else if (c >= 0xe0 && c <= 0xef)
        {
            length = 3;
            if (c == 0xe0)
                low = 0xa0; // overlong below
            else if (c == 0xed)
                high = 0x9f; // surrogates above
        }
        else if (c >= 0xf0 && c <= 0xf4)
        {
            length = 4;
            if (c == 0xf0)
                low = 0x90;
            else if (c == 0xf4)
                high = 0x8f;
        }
        else
            return i;
        if (size - i < length || s[i + 1] < low || s[i + 1] > high)
            return i;
        for (size_t k = 2; k < length; ++k)
            if (s[i + k] < 0x80 || s[i + k] > 0xbf)
                return i;
        i += length;
    }
    return size;
}

// What went wrong inside a string whose escapes the parser refused: a bad
// escape, or a \u escape of a surrogate without its pair, which UTF-8 cannot
// hold. `body` starts after the opening quote.
std::string DescribeBadString(const char* body, const char* end)
{
    auto is_hex = [](char c)
    { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    for (const char* p = body; p < end && *p != '"'; ++p)
    {
        if (*p != '\\')
            continue;
        if (p + 1 >= end)
            break;
        char e = p[1];
        if (e == 'u')
        {
            if (end - p < 6 || !is_hex(p[2]) || !is_hex(p[3]) || !is_hex(p[4]) || !is_hex(p[5]))
                return "not valid JSON: a \\u escape needs four hexadecimal digits";
            p += 5;
            continue;
        }
        if (std::strchr("\"\\/bfnrt", e) == nullptr || e == '\0')
            return "not valid JSON: a string holds the unknown escape \\" + Shown({&p[1], 1});
        ++p;
    }
    return "not valid UTF-8: a string escapes a surrogate (\\uD800 to \\uDFFF) without its pair";
}

const char* DescribeJsonError(error_code code)
{
    switch (code)
    {
    case simdjson::TAPE_ERROR:
        return "a comma, colon, bracket or brace is missing or out of place";
    case simdjson::INCOMPLETE_ARRAY_OR_OBJECT:
        return "a bracket or brace is missing or extra";
    case simdjson::DEPTH_ERROR:
        return "arrays and objects are nested more than 1024 deep";
    case simdjson::NUMBER_ERROR:
        return "a number is malformed";
    case simdjson::STRING_ERROR:
        return "a string is malformed";
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
        return "a word other than true, false or null";
    case simdjson::INCORRECT_TYPE:
        return "a value of unknown form";
    default:
        return simdjson::error_message(code);
    }
}

const char* TypeName(ondemand::json_type type)
{
    switch (type)
    {
    case ondemand::json_type::object:
        return "an object";
    case ondemand::json_type::array:
        return "an array";
    case ondemand::json_type::string:
        return "a string";
    case ondemand::json_type::number:
        return "a number";
    case ondemand::json_type::boolean:
        return "a boolean";
    case ondemand::json_type::null:
        return "null";
    }
    return "a value";
}

bool IsPlainKey(std::string_view key)
{
    if (key.empty() || key.size() > kShownTokenBytes || IsDigit(key[0]))
        return false;
    for (char c : key)
        if (!(IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

// A key path such as meshes[0].triangles[5][1], kept as a stack of
// segments and spelt out only for a message. Its depth is bounded by the
// nesting limit, so the stack is allocated once.
class Place
{
  public:
    Place() : segments_(kMaxNesting + 8) {}
    void PushKey(std::string_view key)
    {
        segments_[depth_++] = Segment{key, 0, false};
    }
    void PushIndex(size_t index)
    {
        segments_[depth_++] = Segment{{}, index, true};
    }
    void SetIndex(size_t index)
    {
        segments_[depth_ - 1].index = index;
    }
    void Pop()
    {
        --depth_;
    }
    size_t Depth() const
    {
        return depth_;
    }

    // Deep paths keep their first and last segments.
    std::string Text() const
    {
        constexpr size_t kHead = 8, kTail = 4;
        std::string text;
        for (size_t i = 0; i < depth_; ++i)
        {
            if (depth_ > kHead + kTail && i == kHead)
            {
                text += "...";
                i = depth_ - kTail;
            }
            const Segment& s = segments_[i];
            if (s.is_index)
            {
                text += '[';
                text += std::to_string(s.index);
                text += ']';
            }
            else if (IsPlainKey(s.key))
            {
                if (!text.empty())
                    text += '.';
                text += s.key;
            }
            else
            {
                text += "[\"";
                text += Escaped(s.key);
                text += "\"]";
            }
        }
        return text;
    }

  private:
    struct Segment
    {
        std::string_view key;
        size_t index;
        bool is_index;
    };

    static std::string Escaped(std::string_view key)
    {
        std::string text;
        for (char c : key.substr(0, kShownTokenBytes))
        {
            if (c == '"' || c == '\\')
                text += '\\';
            if (static_cast<unsigned char>(c) < 0x20)
            {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
                text += hex;
                continue;
            }
            text += c;
        }
        if (key.size() > kShownTokenBytes)
            text += "...";
        return text;
    }

    std::vector<Segment> segments_;
    size_t depth_ = 0;
};

enum class NameKind
{
    Mesh,
    Bone,
    Parent
};

class DescriptionParser
{
  public:
    DescriptionParser(const char* json, size_t size, const std::string& file_name,
                      std::string& error, InputBytes* pages)
        : json_(json), size_(size), file_name_(file_name), error_(error), pages_(pages)
    {
    }

    bool Parse(ModelDescription& out);

  private:
    // Each failure sets the message and returns false, so that a reader
    // can `return Fail(...)`.
    bool Fail(const std::string& rule);
    bool FailAt(size_t offset, const std::string& rule);
    bool FailStageOne(error_code code);
    bool FailJson(error_code code);
    bool FailUnpaired();
    bool FailExpected(ondemand::value value, const std::string& what);
    [[gnu::noinline]] bool ReadFloatSlowly(ondemand::value value, float& out);
    [[gnu::noinline]] bool FailInteger(ondemand::value value, int64_t& out);
    bool FailWrongLength(size_t found, const char* what);

    bool Validate(ondemand::value value);
    bool ReadFloat(ondemand::value value, float& out);
    bool ReadInteger(ondemand::value value, int64_t& out);
    bool ReadName(ondemand::value value, NameKind kind, std::string& out);
    bool ReadRow(ondemand::value value, size_t width, const char* what, float* out);
    bool ReadRows(ondemand::value value, size_t width, const char* what, std::vector<float>& out);
    bool ReadBoneIndices(ondemand::value value, std::vector<int32_t>& out);
    bool ReadTriangles(ondemand::value value, bool vertex_count_known, size_t vertex_count,
                       std::vector<uint16_t>& corners, size_t& first_wide, std::string& wide_token);
    bool ReadMesh(ondemand::value value, MeshDescription& mesh);
    bool ReadBone(ondemand::value value, BoneDescription& bone);
    // An array of objects, each read by `read` into a new item of `items`.
    template <typename Item>
    bool ReadObjects(ondemand::value value, const char* expected, std::vector<Item>& items,
                     bool (DescriptionParser::*read)(ondemand::value, Item&));
    bool TakeKey(ondemand::field& field, std::string_view& key, ondemand::value& value);
    // Calls read(key, value) on each member of `object` in file order, with
    // the key on the place; stops at the first member that fails.
    template <typename Read> bool ForEachField(ondemand::object& object, Read read);
    bool FirstTime(bool& seen, std::string_view key);
    std::string CornerRule(const std::string& token, size_t vertex_count) const;

    const char* json_;
    size_t size_;
    const std::string& file_name_;
    std::string& error_;
    void Progress(size_t row, ondemand::value value);

    ondemand::parser parser_;
    ondemand::document document_;
    Place place_;
    InputBytes* pages_;
    size_t released_ = 0; // the bytes before this were given back
};

// Gives back the input's pages behind the parser now and then: it never
// reads them again, except to word a message.
inline void DescriptionParser::Progress(size_t row, ondemand::value value)
{
    constexpr size_t kRowsBetween = 4096;
    constexpr size_t kBytesBetween = 4 << 20;
    if (pages_ == nullptr || row % kRowsBetween != 0)
        return;
    size_t at = static_cast<size_t>(value.raw_json_token().data() - json_);
    if (at >= released_ + kBytesBetween)
    {
        pages_->Release(released_, at);
        released_ = at;
    }
}

std::string Counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string LineAndColumn(const char* json, size_t offset)
{
    size_t line = 1, line_start = 0;
    for (size_t i = 0; i < offset; ++i)
        if (json[i] == '\n')
        {
            ++line;
            line_start = i + 1;
        }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

bool DescriptionParser::Fail(const std::string& rule)
{
    std::string place = place_.Text();
    error_ = file_name_ + ": " + (place.empty() ? "" : place + ": ") + rule;
    return false;
}

bool DescriptionParser::FailAt(size_t offset, const std::string& rule)
{
    error_ = file_name_ + ": " + LineAndColumn(json_, offset) + ": " + rule;
    return false;
}

// The first pass over the bytes checks UTF-8 and strings without telling
// where it stopped; the place is found again here.
bool DescriptionParser::FailStageOne(error_code code)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(json_);
    switch (code)
    {
    case simdjson::EMPTY:
        return Fail("not valid JSON: the file holds no value");
    case simdjson::CAPACITY:
        return Fail("the file is larger than 4 GiB, more than the loader takes");
    case simdjson::MEMALLOC:
        return Fail("not enough memory to parse the file");
    case simdjson::UTF8_ERROR:
    {
        size_t at = FirstInvalidUtf8(bytes, size_);
        if (at == size_)
            break;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", bytes[at]);
        return FailAt(at, std::string("not valid UTF-8 (byte ") + hex + ")");
    }
    case simdjson::UNESCAPED_CHARS:
    case simdjson::UNCLOSED_STRING:
    {
        bool in_string = false;
        size_t opened = 0;
        for (size_t i = 0; i < size_; ++i)
        {
            char c = json_[i];
            if (!in_string)
            {
                if (c == '"')
                {
                    in_string = true;
                    opened = i;
                }
            }
            else if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
            else if (bytes[i] < 0x20)
            {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", bytes[i]);
                return FailAt(i, std::string("not valid JSON: control character ") + hex +
                                     " inside a string (it must be escaped)");
            }
        }
        if (in_string)
            return FailAt(opened, "not valid JSON: the string that starts here is not closed");
        break;
    }
    default:
        break;
    }
    return Fail(std::string("not valid JSON: ") + DescribeJsonError(code));
}

// The parser tells only that the brackets and braces do not pair up; the
// first that does not is found here.
bool DescriptionParser::FailUnpaired()
{
    std::vector<size_t> open;
    size_t top_end = 0; // where the first value closes
    for (size_t i = 0; i < size_; ++i)
    {
        char c = json_[i];
        if (c == '"')
        {
            for (++i; i < size_ && json_[i] != '"'; ++i)
                if (json_[i] == '\\')
                    ++i;
        }
        else if (c == '[' || c == '{')
            open.push_back(i);
        else if (c == ']' || c == '}')
        {
            if (open.empty())
                return FailAt(i, std::string("not valid JSON: this ") + c + " closes nothing");
            char opener = json_[open.back()];
            if ((opener == '[') != (c == ']'))
                return FailAt(i, std::string("not valid JSON: this ") + c + " closes the " +
                                     opener + " at " + LineAndColumn(json_, open.back()));
            open.pop_back();
            if (open.empty() && top_end == 0)
                top_end = i + 1;
        }
    }
    if (!open.empty())
        return FailAt(size_, std::string("not valid JSON: the file ends before the ") +
                                 json_[open.back()] + " at " + LineAndColumn(json_, open.back()) +
                                 " is closed");
    for (size_t i = top_end; top_end > 0 && i < size_; ++i)
        if (!IsJsonSpace(json_[i]))
            return FailAt(i, "not valid JSON: more follows the top-level object");
    return Fail(std::string("not valid JSON: ") +
                DescribeJsonError(simdjson::INCOMPLETE_ARRAY_OR_OBJECT));
}

bool DescriptionParser::FailJson(error_code code)
{
    if (code == simdjson::INCOMPLETE_ARRAY_OR_OBJECT)
        return FailUnpaired();
    // Where the parser stopped, besides the key path.
    std::string where;
    const char* at = nullptr;
    if (document_.current_location().get(at) == simdjson::SUCCESS && at >= json_ &&
        at <= json_ + size_)
        where = LineAndColumn(json_, static_cast<size_t>(at - json_));
    else
        where = LineAndColumn(json_, size_);
    std::string place = place_.Text();
    error_ = file_name_ + ": " + (place.empty() ? where : place + " (" + where + ")") +
             ": not valid JSON: " + DescribeJsonError(code);
    return false;
}

// A value of the wrong type; but a value that is not JSON at all is reported
// as that.
bool DescriptionParser::FailExpected(ondemand::value value, const std::string& what)
{
    ondemand::json_type type;
    if (error_code e = value.type().get(type))
        return FailJson(e);
    if (!Validate(value))
        return false;
    return Fail("expected " + what + ", found " + TypeName(type));
}

// Whether a number of the JSON grammar is at least 1 in magnitude: its
// decimal exponent, with the digits written out, is not negative. Enough to
// tell the two ways a number can be beyond the double range.
bool IsAtLeastOne(std::string_view t)
{
    size_t i = t[0] == '-' ? 1 : 0;
    int64_t exponent = -1; // the power of ten of the leading non-zero digit
    bool seen_digit = false;
    for (; i < t.size() && IsDigit(t[i]); ++i)
    {
        if (seen_digit || t[i] != '0')
        {
            seen_digit = true;
            ++exponent;
        }
    }
    if (!seen_digit && i < t.size() && t[i] == '.')
    {
        for (++i; i < t.size() && t[i] == '0'; ++i)
            --exponent;
        seen_digit = i < t.size() && IsDigit(t[i]);
    }
    if (!seen_digit)
        return false; // zero
    size_t e = t.find_first_of("eE");
    if (e != std::string_view::npos)
    {
        bool negative = t[e + 1] == '-';
        int64_t written = 0;
        for (size_t k = e + 1; k < t.size(); ++k)
            if (IsDigit(t[k]) && written < 1000000000)
                written = written * 10 + (t[k] - '0');
        exponent += negative ? -written : written;
    }
    return exponent >= 0;
}

// Reads a number that the quick path did not: not a number at all, not
// JSON, beyond the range (of a double, or of a float after rounding), or a
// token long enough to hold more than 19 significant digits. The parser
// library's own quick reading gets some of those wrong (it reads
// 0.1000000000000000000001 as 0.000387...), so they are read again by the
// standard library's from_chars, which rounds correctly at any length.
bool DescriptionParser::ReadFloatSlowly(ondemand::value value, float& out)
{
    ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS || type != ondemand::json_type::number)
        return FailExpected(value, "a number");
    std::string_view token = TrimToken(value.raw_json_token());
    if (ClassifyNumber(token) == NumberForm::Malformed)
        return Fail("not valid JSON: malformed number " + Shown(token));
    double number = 0.0;
    auto [end, status] = std::from_chars(token.data(), token.data() + token.size(), number);
    if (status == std::errc::result_out_of_range)
        number = IsAtLeastOne(token) ? HUGE_VAL : 0.0;
    else if (status != std::errc() || end != token.data() + token.size())
        return Fail("not valid JSON: malformed number " + Shown(token));
    if (!(std::fabs(number) < kFloatOverflowEdge))
        return Fail("the number " + Shown(token) + " is too large for a 32-bit float");
    out = static_cast<float>(token[0] == '-' ? -std::fabs(number) : number);
    return true;
}

// Why a value is not a usable integer. One of the integer form beyond the
// 64-bit range comes out as the range's end on its side (true), which every
// caller refuses, quoting the token.
bool DescriptionParser::FailInteger(ondemand::value value, int64_t& out)
{
    ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS || type != ondemand::json_type::number)
        return FailExpected(value, "an integer");
    std::string_view token = TrimToken(value.raw_json_token());
    switch (ClassifyNumber(token))
    {
    case NumberForm::Malformed:
        return Fail("not valid JSON: malformed number " + Shown(token));
    case NumberForm::Real:
        return Fail("expected an integer (no fraction, no exponent), found " + Shown(token));
    case NumberForm::Integer:
        break;
    }
    out =
        token[0] == '-' ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return true;
}

bool DescriptionParser::FailWrongLength(size_t found, const char* what)
{
    return Fail(std::string("expected ") + what + ", found " + std::to_string(found) +
                (found == 1 ? " value" : " values"));
}

// Walks a value that the description does not use, to be sure the whole file
// is JSON.
bool DescriptionParser::Validate(ondemand::value value)
{
    // The place has a segment per level of nesting.
    if (place_.Depth() > kMaxNesting)
        return Fail("arrays and objects are nested more than 1024 deep");
    ondemand::json_type type;
    if (error_code e = value.type().get(type))
        return FailJson(e);
    switch (type)
    {
    case ondemand::json_type::object:
    {
        ondemand::object object;
        if (error_code e = value.get_object().get(object))
            return FailJson(e);
        return ForEachField(object, [this](std::string_view, ondemand::value child)
                            { return Validate(child); });
    }
    case ondemand::json_type::array:
    {
        ondemand::array array;
        if (error_code e = value.get_array().get(array))
            return FailJson(e);
        size_t i = 0;
        place_.PushIndex(0);
        for (auto item : array)
        {
            place_.SetIndex(i++);
            ondemand::value child;
            if (error_code e = item.get(child))
                return FailJson(e);
            if (!Validate(child))
                return false;
        }
        place_.Pop();
        return true;
    }
    case ondemand::json_type::number:
    {
        // Any number the grammar allows is fine here, even one beyond the
        // double range: only the numbers that are read must fit.
        std::string_view token = TrimToken(value.raw_json_token());
        if (ClassifyNumber(token) == NumberForm::Malformed)
            return Fail("not valid JSON: malformed number " + Shown(token));
        return true;
    }
    case ondemand::json_type::string:
    {
        std::string_view text;
        error_code e = value.get_string().get(text);
        if (e == simdjson::STRING_ERROR)
        {
            std::string_view token = value.raw_json_token();
            return Fail(DescribeBadString(token.data() + 1, json_ + size_));
        }
        return e == simdjson::SUCCESS || FailJson(e);
    }
    case ondemand::json_type::boolean:
    {
        bool flag;
        if (value.get_bool().get(flag) != simdjson::SUCCESS)
            return Fail("not valid JSON: " + Shown(TrimToken(value.raw_json_token())) +
                        " is not a value");
        return true;
    }
    case ondemand::json_type::null:
    {
        bool is_null = false;
        if (value.is_null().get(is_null) != simdjson::SUCCESS || !is_null)
            return Fail("not valid JSON: " + Shown(TrimToken(value.raw_json_token())) +
                        " is not a value");
        return true;
    }
    }
    return true;
}

bool DescriptionParser::TakeKey(ondemand::field& field, std::string_view& key,
                                ondemand::value& value)
{
    // Unescaping uses up the raw key: keep where it starts for a message.
    const char* raw = field.key().raw();
    error_code e = field.unescaped_key().get(key);
    if (e == simdjson::STRING_ERROR)
        return Fail(DescribeBadString(raw, json_ + size_));
    if (e != simdjson::SUCCESS)
        return FailJson(e);
    value = field.value();
    return true;
}

template <typename Read> bool DescriptionParser::ForEachField(ondemand::object& object, Read read)
{
    for (auto field_result : object)
    {
        ondemand::field field;
        std::string_view key;
        ondemand::value child;
        if (error_code e = std::move(field_result).get(field))
            return FailJson(e);
        if (!TakeKey(field, key, child))
            return false;
        place_.PushKey(key);
        if (!read(key, child))
            return false;
        place_.Pop();
    }
    return true;
}

bool DescriptionParser::FirstTime(bool& seen, std::string_view key)
{
    if (seen)
        return Fail("the key \"" + std::string(key) + "\" appears twice in one object");
    seen = true;
    return true;
}

inline bool DescriptionParser::ReadFloat(ondemand::value value, float& out)
{
    // 19 significant digits need at least 20 bytes to be followed by more.
    constexpr size_t kQuickTokenBytes = 20;
    double number;
    if (value.get_double().get(number) != simdjson::SUCCESS ||
        !(std::fabs(number) < kFloatOverflowEdge) ||
        value.raw_json_token().size() >= kQuickTokenBytes) [[unlikely]]
        return ReadFloatSlowly(value, out);
    out = static_cast<float>(number);
    return true;
}

inline bool DescriptionParser::ReadInteger(ondemand::value value, int64_t& out)
{
    if (value.get_int64().get(out) == simdjson::SUCCESS) [[likely]]
        return true;
    return FailInteger(value, out);
}

bool DescriptionParser::ReadName(ondemand::value value, NameKind kind, std::string& out)
{
    std::string_view text;
    error_code e = value.get_string().get(text);
    if (e == simdjson::INCORRECT_TYPE)
        return FailExpected(value, "a string");
    if (e == simdjson::STRING_ERROR)
        return Fail(DescribeBadString(value.raw_json_token().data() + 1, json_ + size_));
    if (e != simdjson::SUCCESS)
        return FailJson(e);

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

bool DescriptionParser::ReadRow(ondemand::value value, size_t width, const char* what, float* out)
{
    ondemand::array items;
    if (value.get_array().get(items) != simdjson::SUCCESS)
        return FailExpected(value, what);
    size_t k = 0;
    place_.PushIndex(0);
    for (auto item : items)
    {
        place_.SetIndex(k);
        ondemand::value number;
        if (error_code e = item.get(number))
            return FailJson(e);
        // Values past the row's width are only counted for the message.
        if (k < width ? !ReadFloat(number, out[k]) : !Validate(number))
            return false;
        ++k;
    }
    place_.Pop();
    if (k != width)
        return FailWrongLength(k, what);
    return true;
}

bool DescriptionParser::ReadRows(ondemand::value value, size_t width, const char* what,
                                 std::vector<float>& out)
{
    ondemand::array rows;
    if (value.get_array().get(rows) != simdjson::SUCCESS)
        return FailExpected(value, std::string("an array of ") + what);
    // Counting first costs a quick skip over the array and saves growing
    // the largest arrays of the file by doubling.
    size_t count = 0;
    if (error_code e = rows.count_elements().get(count))
        return FailJson(e);
    out.reserve(count * width);
    size_t i = 0;
    place_.PushIndex(0);
    for (auto row : rows)
    {
        place_.SetIndex(i++);
        ondemand::value row_value;
        if (error_code e = row.get(row_value))
            return FailJson(e);
        Progress(i, row_value);
        float values[4];
        if (!ReadRow(row_value, width, what, values))
            return false;
        out.insert(out.end(), values, values + width);
    }
    place_.Pop();
    return true;
}

bool DescriptionParser::ReadBoneIndices(ondemand::value value, std::vector<int32_t>& out)
{
    ondemand::array items;
    if (value.get_array().get(items) != simdjson::SUCCESS)
        return FailExpected(value, "an array of bone indices");
    size_t count = 0;
    if (error_code e = items.count_elements().get(count))
        return FailJson(e);
    out.reserve(count);
    size_t i = 0;
    place_.PushIndex(0);
    for (auto item : items)
    {
        place_.SetIndex(i++);
        ondemand::value index_value;
        if (error_code e = item.get(index_value))
            return FailJson(e);
        Progress(i, index_value);
        int64_t index;
        if (!ReadInteger(index_value, index))
            return false;
        if (index < std::numeric_limits<int32_t>::min() ||
            index > std::numeric_limits<int32_t>::max())
            return Fail("bone index " + Shown(TrimToken(index_value.raw_json_token())) +
                        " is outside the signed 32-bit range");
        out.push_back(static_cast<int32_t>(index));
    }
    place_.Pop();
    return true;
}

std::string DescriptionParser::CornerRule(const std::string& token, size_t vertex_count) const
{
    if (vertex_count == 0)
        return "corner index " + token + " is outside the mesh, which has no vertices";
    if (static_cast<uint64_t>(vertex_count) > static_cast<uint64_t>(kCornerLimit))
        return "corner index " + token + " is outside 0..65535 (corners are 16-bit)";
    return "corner index " + token + " is outside 0.." + std::to_string(vertex_count - 1) +
           " (the mesh has " + std::to_string(vertex_count) +
           (vertex_count == 1 ? " vertex)" : " vertices)");
}

// Reads the corners. When the vertex count is not known yet (the triangles
// come before the positions), each corner is held if it fits 16 bits and the
// check against the count waits for the end of the mesh; the first corner
// that does not fit is remembered in `first_wide` and `wide_token`.
bool DescriptionParser::ReadTriangles(ondemand::value value, bool vertex_count_known,
                                      size_t vertex_count, std::vector<uint16_t>& corners,
                                      size_t& first_wide, std::string& wide_token)
{
    ondemand::array rows;
    if (value.get_array().get(rows) != simdjson::SUCCESS)
        return FailExpected(value, "an array of [i0, i1, i2]");
    size_t count = 0;
    if (error_code e = rows.count_elements().get(count))
        return FailJson(e);
    corners.reserve(3 * count);
    int64_t limit = vertex_count_known ? std::min(kCornerLimit, static_cast<int64_t>(vertex_count))
                                       : kCornerLimit;
    size_t t = 0;
    place_.PushIndex(0);
    for (auto row : rows)
    {
        place_.SetIndex(t++);
        ondemand::value row_value;
        if (error_code e = row.get(row_value))
            return FailJson(e);
        Progress(t, row_value);
        ondemand::array items;
        if (row_value.get_array().get(items) != simdjson::SUCCESS)
            return FailExpected(row_value, "[i0, i1, i2]");
        size_t k = 0;
        place_.PushIndex(0);
        for (auto item : items)
        {
            place_.SetIndex(k);
            ondemand::value corner_value;
            if (error_code e = item.get(corner_value))
                return FailJson(e);
            if (k >= 3)
            {
                if (!Validate(corner_value))
                    return false;
                ++k;
                continue;
            }
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
            ++k;
        }
        place_.Pop();
        if (k != 3)
            return FailWrongLength(k, "[i0, i1, i2]");
    }
    place_.Pop();
    return true;
}

bool DescriptionParser::ReadMesh(ondemand::value value, MeshDescription& mesh)
{
    ondemand::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return FailExpected(value, "a mesh (an object)");
    bool seen_name = false, seen_positions = false, seen_uvs = false, seen_bones = false,
         seen_triangles = false;
    bool triangles_checked = false;
    size_t first_wide = SIZE_MAX;
    std::string wide_token;
    auto read_member = [&](std::string_view key, ondemand::value child)
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
        return Fail(Counted(mesh.uvs.size() / 2, "texture coordinate", "texture coordinates") +
                    " for " + Counted(vertex_count, "vertex", "vertices") +
                    " (one per vertex is needed)");
    }
    if (seen_bones && mesh.bone_indices.size() != vertex_count)
    {
        place_.PushKey("bone_indices");
        return Fail(Counted(mesh.bone_indices.size(), "bone index", "bone indices") + " for " +
                    Counted(vertex_count, "vertex", "vertices") + " (one per vertex is needed)");
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

bool DescriptionParser::ReadBone(ondemand::value value, BoneDescription& bone)
{
    ondemand::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        return FailExpected(value, "a bone (an object)");
    bool seen_name = false, seen_parent = false, seen_position = false, seen_position_keys = false,
         seen_rotation_keys = false;
    auto read_member = [&](std::string_view key, ondemand::value child)
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
bool DescriptionParser::ReadObjects(ondemand::value value, const char* expected,
                                    std::vector<Item>& items,
                                    bool (DescriptionParser::*read)(ondemand::value, Item&))
{
    ondemand::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS)
        return FailExpected(value, expected);
    size_t i = 0;
    place_.PushIndex(0);
    for (auto element : array)
    {
        place_.SetIndex(i++);
        ondemand::value object;
        if (error_code e = element.get(object))
            return FailJson(e);
        items.emplace_back();
        if (!(this->*read)(object, items.back()))
            return false;
    }
    place_.Pop();
    return true;
}

bool DescriptionParser::Parse(ModelDescription& out)
{
    if (size_ > kMaxFileBytes)
        return FailStageOne(simdjson::CAPACITY);
    // A byte order mark is no part of JSON, but editors on Windows write one;
    // JSON allows a reader to ignore it. Lines and columns count after it.
    if (size_ >= 3 && std::memcmp(json_, "\xEF\xBB\xBF", 3) == 0)
    {
        json_ += 3;
        size_ -= 3;
    }
    // The parser's own depth limit lies beyond ours, so that ours speaks
    // first: with its development checks on, the parser asserts there.
    if (parser_.allocate(std::max<size_t>(size_, 64), kMaxNesting + 16) != simdjson::SUCCESS)
        return FailStageOne(simdjson::MEMALLOC);
    if (error_code e =
            parser_.iterate(json_, size_, size_ + kModelDescriptionPadding).get(document_))
        return FailStageOne(e);
    // The first pass has read every byte and left its index; the second
    // brings the pages back as it goes, and gives them back behind it.
    if (pages_ != nullptr)
        pages_->Release(0, size_);

    ondemand::json_type type;
    if (error_code e = document_.type().get(type))
        return FailJson(e);
    if (type != ondemand::json_type::object)
        return Fail(std::string("the top level must be an object, found ") + TypeName(type));
    ondemand::object object;
    if (error_code e = document_.get_object().get(object))
        return FailJson(e);

    bool seen_meshes = false, seen_bones = false;
    auto read_member = [&](std::string_view key, ondemand::value child)
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
    if (!ForEachField(object, read_member))
        return false;

    const char* at = nullptr;
    if (document_.current_location().get(at) == simdjson::SUCCESS)
        return FailAt(static_cast<size_t>(at - json_),
                      "not valid JSON: more follows the top-level object");
    return true;
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
    if (!bytes.Open(path, kModelDescriptionPadding, kMaxFileBytes, error))
        return false;
    return ParseModelDescription(bytes.data(), bytes.size(), path, out, error, &bytes);
}
