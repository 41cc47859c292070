// A JSON text read with the parser's on-demand interface, value by value in
// file order, with every refusal worded as one message: "FILE: PLACE: RULE",
// PLACE the key path of the value (key_path.h), the line and column where the
// bytes are not JSON, or both. A schema reader derives from it and reads its
// values with the walkers and readers below; each of them returns false
// once the message is set, so that the caller can return at once.
#ifndef MDLEXPORT_CLI_JSON_READER_H
#define MDLEXPORT_CLI_JSON_READER_H

#include "input_bytes.h"
#include "json_number.h"
#include "key_path.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <simdjson.h>
#include <string>
#include <string_view>

// Deeper arrays and objects are refused: the parser itself does not count
// depth in an optimized build, and a walk of a hostile file must not run out
// of stack.
constexpr size_t kMaxJsonNesting = 1024;
// The largest text the parser takes (its positions are 32-bit).
constexpr uint64_t kMaxJsonBytes = simdjson::SIMDJSON_MAXSIZE_BYTES;

class JsonReader
{
  public:
    // The `size` bytes at `json` are followed by the parser's padding. The
    // message of a refusal goes to `error`. `pages`, when not null, holds the
    // bytes, and the walk gives back those it has done with.
    JsonReader(const char* json, size_t size, const std::string& file_name, std::string& error,
               InputBytes* pages);

  protected:
    using Value = simdjson::ondemand::value;

    // Runs the parser's first pass over the whole text (a leading UTF-8 byte
    // order mark skipped) and opens the top-level value, which must be an
    // object.
    bool Start(simdjson::ondemand::object& top);
    // After the top-level object has been walked: refuses anything but white
    // space after it.
    bool Finish();

    // Calls read(key, value) on each member of `object` in file order, with
    // the key on the place; stops at the first member that fails.
    template <typename Read> bool ForEachField(simdjson::ondemand::object& object, Read read);
    // Calls read(index, value) on each element of `array` in file order, with
    // the index on the place; stops at the first element that fails.
    template <typename Read> bool ForEachElement(simdjson::ondemand::array& array, Read read);

    // Walks a value that the schema does not use, to be sure it is JSON.
    bool Validate(Value value);
    // A number as the nearest float (json_number.h); too large is refused.
    bool ReadFloat(Value value, float& out);
    // An integer without fraction or exponent. One beyond the 64-bit range
    // comes out as the range's end on its side, for the caller to refuse,
    // quoting the token.
    bool ReadInteger(Value value, int64_t& out);
    // A string, unescaped; it may hold NUL characters written as escapes.
    bool ReadString(Value value, std::string_view& out);
    // Refuses a key that appears a second time in one object.
    bool FirstTime(bool& seen, std::string_view key);

    // Sets the message with the place and returns false.
    bool Fail(const std::string& rule);
    // The parser's refusal, with where it stopped.
    bool FailJson(simdjson::error_code code);
    // A value of the wrong type; but a value that is not JSON at all is
    // reported as that. `what` is what was expected.
    bool FailExpected(Value value, const std::string& what);
    // An array of `found` values where `what` was expected.
    bool FailWrongLength(size_t found, const char* what);

    KeyPath place_;

  private:
    bool FailAt(size_t offset, const std::string& rule);
    [[gnu::noinline]] bool ReadFloatSlowly(Value value, float& out);
    [[gnu::noinline]] bool FailInteger(Value value, int64_t& out);
    bool TakeKey(simdjson::ondemand::field& field, std::string_view& key, Value& value);
    // Gives back the input's pages behind `value`, `done` counting the
    // elements of its array up to it.
    void GiveBackPagesBehind(size_t done, Value value);

    const char* json_;
    size_t size_;
    const std::string& file_name_;
    std::string& error_;
    simdjson::ondemand::parser parser_;
    simdjson::ondemand::document document_;
    InputBytes* pages_;
    size_t given_back_ = 0; // the bytes before this were given back
};

inline bool JsonReader::ReadFloat(Value value, float& out)
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

// Now and then: the walk never reads those bytes again, except to word a
// message.
inline void JsonReader::GiveBackPagesBehind(size_t done, Value value)
{
    constexpr size_t kElementsBetween = 4096;
    constexpr size_t kBytesBetween = 4 << 20;
    if (pages_ == nullptr || done % kElementsBetween != 0)
        return;
    size_t at = static_cast<size_t>(value.raw_json_token().data() - json_);
    if (at >= given_back_ + kBytesBetween)
    {
        pages_->GiveBack(given_back_, at);
        given_back_ = at;
    }
}

inline bool JsonReader::ReadInteger(Value value, int64_t& out)
{
    if (value.get_int64().get(out) == simdjson::SUCCESS) [[likely]]
        return true;
    return FailInteger(value, out);
}

template <typename Read>
bool JsonReader::ForEachField(simdjson::ondemand::object& object, Read read)
{
    for (auto field_result : object)
    {
        simdjson::ondemand::field field;
        std::string_view key;
        Value child;
        if (simdjson::error_code e = std::move(field_result).get(field))
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

template <typename Read>
bool JsonReader::ForEachElement(simdjson::ondemand::array& array, Read read)
{
    size_t index = 0;
    place_.PushIndex(0);
    for (auto element : array)
    {
        place_.SetIndex(index);
        Value child;
        if (simdjson::error_code e = element.get(child))
            return FailJson(e);
        GiveBackPagesBehind(index + 1, child);
        if (!read(index, child))
            return false;
        ++index;
    }
    place_.Pop();
    return true;
}

#endif
