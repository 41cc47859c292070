#include "mdl_tokenizer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace mdlx
{

namespace
{

// Characters that end a word: separators, braces, a quote; '/' is checked
// for a following '/' where it matters.
constexpr bool IsSeparator(char c)
{
    return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == ':' || c == '\r';
}

struct WordEnds
{
    bool table[256] = {};
    constexpr WordEnds()
    {
        for (char c : {' ', ',', '\t', '\n', ':', '\r', '{', '}', '"', '/'})
            table[uint8_t(c)] = true;
    }
};
constexpr WordEnds kWordEnds;

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

std::string Shown(std::string_view word)
{
    std::string text = "\"";
    text.append(word.substr(0, 40));
    text.append(word.size() > 40 ? "...\"" : "\"");
    return text;
}

} // namespace

void MdlTokenizer::Fail(size_t offset, std::string what) const
{
    std::string where;
    for (const std::string& block : path)
        where += block + ": ";
    throw MdlFailure{offset, where + what};
}

size_t MdlTokenizer::SkipComments()
{
    const size_t size = text_.size();
    while (at_ < size)
    {
        const char c = text_[at_];
        if (IsSeparator(c))
        {
            ++at_;
        }
        else if (c == '/' && at_ + 1 < size && text_[at_ + 1] == '/')
        {
            const size_t end = text_.find('\n', at_);
            at_ = end == std::string_view::npos ? size : end + 1;
        }
        else
        {
            break;
        }
    }
    return at_;
}

bool MdlTokenizer::TryClose()
{
    if (PeekChar() != '}')
        return false;
    ++at_;
    return true;
}

void MdlTokenizer::Open()
{
    if (PeekChar() != '{')
        Fail(AtEnd() ? "the file ends where '{' belongs" : "'{' expected");
    ++at_;
}

void MdlTokenizer::Close()
{
    if (PeekChar() != '}')
        Fail(AtEnd() ? "the file ends where '}' belongs" : "'}' expected");
    ++at_;
}

std::string_view MdlTokenizer::Word(const char* what)
{
    const size_t start = Skip();
    const size_t size = text_.size();
    if (start == size)
        Fail(start, std::string("the file ends where ") + what + " belongs");
    size_t end = start;
    while (end < size)
    {
        const char c = text_[end];
        if (kWordEnds.table[uint8_t(c)] && (c != '/' || (end + 1 < size && text_[end + 1] == '/')))
            break;
        ++end;
    }
    if (end == start)
        Fail(start, std::string(what) + " expected, found '" + text_[start] + "'");
    at_ = end;
    return text_.substr(start, end - start);
}

std::string MdlTokenizer::Text(const char* what)
{
    if (PeekChar() != '"')
        return std::string(Word(what));
    const size_t start = at_++;
    std::string text;
    const size_t size = text_.size();
    while (at_ < size)
    {
        const char c = text_[at_++];
        if (c == '"')
            return text;
        if (c == '\\' && at_ < size)
        {
            text += c;
            text += text_[at_++];
        }
        else if (c == '\n')
        {
            text += "\\n";
        }
        else if (c == '\r')
        {
            text += "\\r";
        }
        else
        {
            text += c;
        }
    }
    Fail(start, "a string that does not end");
}

bool MdlTokenizer::PlainFloat(float& value)
{
    const char* p = text_.data() + at_;
    const char* end = text_.data() + text_.size();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+'))
    {
        negative = *p == '-';
        ++p;
    }
    uint64_t digits = 0;
    int count = 0;
    int scale = 0;
    while (p < end && uint8_t(*p - '0') < 10)
    {
        digits = digits * 10 + uint64_t(*p++ - '0');
        ++count;
    }
    if (p < end && *p == '.')
    {
        ++p;
        while (p < end && uint8_t(*p - '0') < 10)
        {
            digits = digits * 10 + uint64_t(*p++ - '0');
            ++count;
            ++scale;
        }
    }
    // The word must end here: at the end, a separator, a brace, a quote or
    // a comment.
    if (p < end && (!kWordEnds.table[uint8_t(*p)] || (*p == '/' && (p + 1 == end || p[1] != '/'))))
        return false;
    if (count == 0 || count > 19 || digits > (uint64_t(1) << 53) || scale > 22)
        return false;
    // An exact integer over an exact power of ten: one correctly rounded
    // division gives the nearest double.
    const double result = double(digits) / kPowersOfTen[scale];
    value = float(negative ? -result : result);
    at_ = size_t(p - text_.data());
    return true;
}

float MdlTokenizer::Float()
{
    const size_t start = Skip();
    float plain;
    if (PlainFloat(plain))
        return plain;
    const std::string_view word = Word("a number");
    const char* p = word.data();
    const char* end = p + word.size();
    bool negative = false;
    if (*p == '-' || *p == '+')
    {
        negative = *p == '-';
        ++p;
    }
    // Everything else (exponents, long digit strings) through from_chars.
    if (p == end || !((*p >= '0' && *p <= '9') || *p == '.'))
        Fail(start, Shown(word) + " is not a number");
    double value = 0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
    {
        // Too small for a double rounds to zero as in JavaScript; too large
        // is out of range for a float either way. Only a negative exponent,
        // or no digit but zeros before the point, makes a number that small.
        const size_t e = word.find_first_of("eE");
        const std::string_view whole = word.substr(0, std::min(word.find('.'), e));
        const bool tiny =
            (e != std::string_view::npos && e + 1 < word.size() && word[e + 1] == '-') ||
            whole.find_first_not_of("+-0") == std::string_view::npos;
        if (tiny)
            return negative ? -0.0f : 0.0f;
        Fail(start, Shown(word) + " is out of range for a float");
    }
    if (result.ec != std::errc() || result.ptr != end)
        Fail(start, Shown(word) + " is not a number");
    const float rounded = float(negative ? -value : value);
    if (std::isinf(rounded))
        Fail(start, Shown(word) + " is out of range for a float");
    return rounded;
}

int64_t MdlTokenizer::Integer(int64_t min, int64_t max)
{
    const size_t start = Skip();
    {
        // The common case in one pass: a sign and up to 18 digits.
        const char* p = text_.data() + start;
        const char* end = text_.data() + text_.size();
        const bool negative = p < end && *p == '-';
        p += negative ? 1 : 0;
        const char* first = p;
        int64_t value = 0;
        while (p < end && uint8_t(*p - '0') < 10 && p - first < 18)
            value = value * 10 + (*p++ - '0');
        const bool ends = p == end || (kWordEnds.table[uint8_t(*p)] &&
                                       (*p != '/' || (p + 1 < end && p[1] == '/')));
        if (p > first && ends)
        {
            value = negative ? -value : value;
            if (value >= min && value <= max)
            {
                at_ = size_t(p - text_.data());
                return value;
            }
        }
    }
    const std::string_view word = Word("an integer");
    int64_t value = 0;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    if (result.ptr != word.data() + word.size() || word.empty())
        Fail(start, Shown(word) + " is not an integer");
    if (result.ec != std::errc() || value < min || value > max)
        Fail(start, Shown(word) + " is out of range (" + std::to_string(min) + " to " +
                        std::to_string(max) + ")");
    return value;
}

std::string MdlPlace(std::string_view text, size_t offset)
{
    size_t line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
    {
        if (text[i] == '\n')
        {
            ++line;
            line_start = i + 1;
        }
    }
    return std::to_string(line) + ":" + std::to_string(offset - line_start + 1);
}

} // namespace mdlx
