#include "json_diagnosis.h"

#include "json_number.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

std::string At(const char* json, size_t offset, const std::string& rule)
{
    return LineAndColumn(json, offset) + ": " + rule;
}

std::string Hex(unsigned char byte)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    return hex;
}

} // namespace

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

const char* DescribeJsonError(simdjson::error_code code)
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

std::string DiagnoseFirstPass(const char* json, size_t size, simdjson::error_code code)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(json);
    switch (code)
    {
    case simdjson::EMPTY:
        return "not valid JSON: the file holds no value";
    case simdjson::CAPACITY:
        return "the file is larger than 4 GiB, more than the loader takes";
    case simdjson::MEMALLOC:
        return "not enough memory to parse the file";
    case simdjson::UTF8_ERROR:
    {
        size_t at = FirstInvalidUtf8(bytes, size);
        if (at == size)
            break;
        return At(json, at, "not valid UTF-8 (byte " + Hex(bytes[at]) + ")");
    }
    case simdjson::UNESCAPED_CHARS:
    case simdjson::UNCLOSED_STRING:
    {
        bool in_string = false;
        size_t opened = 0;
        for (size_t i = 0; i < size; ++i)
        {
            char c = json[i];
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
                return At(json, i,
                          "not valid JSON: control character " + Hex(bytes[i]) +
                              " inside a string (it must be escaped)");
        }
        if (in_string)
            return At(json, opened, "not valid JSON: the string that starts here is not closed");
        break;
    }
    default:
        break;
    }
    return std::string("not valid JSON: ") + DescribeJsonError(code);
}

std::string LocateUnpaired(const char* json, size_t size)
{
    std::vector<size_t> open;
    size_t top_end = 0; // where the first value closes
    for (size_t i = 0; i < size; ++i)
    {
        char c = json[i];
        if (c == '"')
        {
            for (++i; i < size && json[i] != '"'; ++i)
                if (json[i] == '\\')
                    ++i;
        }
        else if (c == '[' || c == '{')
            open.push_back(i);
        else if (c == ']' || c == '}')
        {
            if (open.empty())
                return At(json, i, std::string("not valid JSON: this ") + c + " closes nothing");
            char opener = json[open.back()];
            if ((opener == '[') != (c == ']'))
                return At(json, i,
                          std::string("not valid JSON: this ") + c + " closes the " + opener +
                              " at " + LineAndColumn(json, open.back()));
            open.pop_back();
            if (open.empty() && top_end == 0)
                top_end = i + 1;
        }
    }
    if (!open.empty())
        return At(json, size,
                  std::string("not valid JSON: the file ends before the ") + json[open.back()] +
                      " at " + LineAndColumn(json, open.back()) + " is closed");
    for (size_t i = top_end; top_end > 0 && i < size; ++i)
        if (!IsJsonSpace(json[i]))
            return At(json, i, "not valid JSON: more follows the top-level object");
    return "";
}
