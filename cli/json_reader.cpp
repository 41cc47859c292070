#include "json_reader.h"

#include "json_diagnosis.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ondemand = simdjson::ondemand;
using simdjson::error_code;

namespace
{

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

} // namespace

JsonReader::JsonReader(const char* json, size_t size, const std::string& file_name,
                       std::string& error, InputBytes* pages)
    : place_(kMaxJsonNesting + 8), json_(json), size_(size), file_name_(file_name), error_(error),
      pages_(pages)
{
}

bool JsonReader::Start(ondemand::object& top)
{
    if (size_ > kMaxJsonBytes)
        return Fail(DiagnoseFirstPass(json_, size_, simdjson::CAPACITY));
    // A byte order mark is no part of JSON, but editors on Windows write one;
    // JSON allows a reader to ignore it. Lines and columns count after it.
    if (size_ >= 3 && std::memcmp(json_, "\xEF\xBB\xBF", 3) == 0)
    {
        json_ += 3;
        size_ -= 3;
    }
    // The parser's own depth limit lies beyond ours, so that ours speaks
    // first: with its development checks on, the parser asserts there.
    if (parser_.allocate(std::max<size_t>(size_, 64), kMaxJsonNesting + 16) != simdjson::SUCCESS)
        return Fail(DiagnoseFirstPass(json_, size_, simdjson::MEMALLOC));
    if (error_code e =
            parser_.iterate(json_, size_, size_ + simdjson::SIMDJSON_PADDING).get(document_))
        return Fail(DiagnoseFirstPass(json_, size_, e));
    // The first pass has read every byte and left its index; the walk
    // brings the pages back as it goes, and gives them back behind it.
    if (pages_ != nullptr)
        pages_->GiveBack(0, size_);

    ondemand::json_type type;
    if (error_code e = document_.type().get(type))
        return FailJson(e);
    if (type != ondemand::json_type::object)
        return Fail(std::string("the top level must be an object, found ") + TypeName(type));
    if (error_code e = document_.get_object().get(top))
        return FailJson(e);
    return true;
}

bool JsonReader::Finish()
{
    const char* at = nullptr;
    if (document_.current_location().get(at) == simdjson::SUCCESS)
        return FailAt(static_cast<size_t>(at - json_),
                      "not valid JSON: more follows the top-level object");
    return true;
}

bool JsonReader::Fail(const std::string& rule)
{
    std::string place = place_.Text();
    error_ = file_name_ + ": " + (place.empty() ? "" : place + ": ") + rule;
    return false;
}

bool JsonReader::FailAt(size_t offset, const std::string& rule)
{
    error_ = file_name_ + ": " + LineAndColumn(json_, offset) + ": " + rule;
    return false;
}

bool JsonReader::FailJson(error_code code)
{
    if (code == simdjson::INCOMPLETE_ARRAY_OR_OBJECT)
    {
        // The parser tells only that the brackets and braces do not pair up.
        std::string located = LocateUnpaired(json_, size_);
        if (!located.empty())
        {
            error_ = file_name_ + ": " + located;
            return false;
        }
        return Fail(std::string("not valid JSON: ") + DescribeJsonError(code));
    }
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

bool JsonReader::FailExpected(Value value, const std::string& what)
{
    ondemand::json_type type;
    if (error_code e = value.type().get(type))
        return FailJson(e);
    if (!Validate(value))
        return false;
    return Fail("expected " + what + ", found " + TypeName(type));
}

bool JsonReader::FailWrongLength(size_t found, const char* what)
{
    return Fail(std::string("expected ") + what + ", found " + std::to_string(found) +
                (found == 1 ? " value" : " values"));
}

// Reads a number that the quick path did not: not a number at all, not
// JSON, beyond the range (of a double, or of a float after rounding), or a
// token long enough to hold more than 19 significant digits. The parser
// library's own quick reading gets some of those wrong (it reads
// 0.1000000000000000000001 as 0.000387...), so they are read again in full.
bool JsonReader::ReadFloatSlowly(Value value, float& out)
{
    ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS || type != ondemand::json_type::number)
        return FailExpected(value, "a number");
    std::string_view token = TrimToken(value.raw_json_token());
    switch (ReadFloatToken(token, out))
    {
    case FloatReading::Read:
        break;
    case FloatReading::Malformed:
        return Fail("not valid JSON: malformed number " + Shown(token));
    case FloatReading::TooLarge:
        return Fail("the number " + Shown(token) + " is too large for a 32-bit float");
    }
    return true;
}

// Why a value is not a usable integer, or the end of the 64-bit range for
// one of the integer form beyond it.
bool JsonReader::FailInteger(Value value, int64_t& out)
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

bool JsonReader::ReadString(Value value, std::string_view& out)
{
    error_code e = value.get_string().get(out);
    if (e == simdjson::INCORRECT_TYPE)
        return FailExpected(value, "a string");
    if (e == simdjson::STRING_ERROR)
        return Fail(DescribeBadString(value.raw_json_token().data() + 1, json_ + size_));
    if (e != simdjson::SUCCESS)
        return FailJson(e);
    return true;
}

bool JsonReader::Validate(Value value)
{
    // The place has a segment per level of nesting.
    if (place_.Depth() > kMaxJsonNesting)
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
        return ForEachField(object,
                            [this](std::string_view, Value child) { return Validate(child); });
    }
    case ondemand::json_type::array:
    {
        ondemand::array array;
        if (error_code e = value.get_array().get(array))
            return FailJson(e);
        return ForEachElement(array, [this](size_t, Value child) { return Validate(child); });
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

bool JsonReader::TakeKey(ondemand::field& field, std::string_view& key, Value& value)
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

bool JsonReader::FirstTime(bool& seen, std::string_view key)
{
    if (seen)
        return Fail("the key \"" + std::string(key) + "\" appears twice in one object");
    seen = true;
    return true;
}
