// The MDL text's tokens, read the way mdx-m3-viewer reads them: spaces, tabs,
// line ends, commas and colons separate words; '{' and '}' are tokens of their
// own; `//` starts a comment that runs to the end of the line, anywhere
// between tokens; a string runs between double quotes, a backslash keeping
// the character after it (both stay in the text), a line end inside it kept
// as the two characters `\n` or `\r`.
//
// Numbers: a float is read as the nearest double, then rounded to the
// nearest float (what JavaScript's parseFloat and a Float32Array do), with an
// optional sign, digits with an optional point, and an optional exponent;
// never through the locale. An integer is an optional minus sign and digits.
//
// A refusal throws MdlFailure with the byte offset and what is wrong; the MDL
// reader turns it into `FILE:LINE:COLUMN: BLOCK PATH: what` (it never leaves
// the library).
#ifndef MDLEXPORT_MDLX_MDL_TOKENIZER_H
#define MDLEXPORT_MDLX_MDL_TOKENIZER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mdlx
{

struct MdlFailure
{
    size_t offset;
    std::string what; // with the block path in front
};

// Space, comma, tab, line feed, colon and carriage return separate tokens.
struct MdlSeparators
{
    bool table[256] = {};
    constexpr MdlSeparators()
    {
        for (char c : {' ', ',', '\t', '\n', ':', '\r'})
            table[uint8_t(c)] = true;
    }
};
inline constexpr MdlSeparators kSeparator{};

class MdlTokenizer
{
  public:
    explicit MdlTokenizer(std::string_view text) : text_(text) {}

    // Skips separators and comments; the offset of the next token.
    size_t Skip()
    {
        const size_t size = text_.size();
        while (at_ < size && kSeparator.table[uint8_t(text_[at_])])
            ++at_;
        if (at_ + 1 < size && text_[at_] == '/' && text_[at_ + 1] == '/')
            return SkipComments();
        return at_;
    }
    bool AtEnd()
    {
        return Skip() == text_.size();
    }
    // The next token's first character (after Skip), or 0 at the end.
    char PeekChar()
    {
        const size_t at = Skip();
        return at < text_.size() ? text_[at] : '\0';
    }
    // Whether the next token is '}' (consumed if it is).
    bool TryClose();
    void Open();  // '{'
    void Close(); // '}'
    // A bare word (not a brace, not a string).
    std::string_view Word(const char* what);
    // A quoted string, or a bare word in its place.
    std::string Text(const char* what);
    float Float();
    // An integer from `min` to `max`.
    int64_t Integer(int64_t min, int64_t max);
    size_t Offset() const
    {
        return at_;
    }
    void Seek(size_t offset)
    {
        at_ = offset;
    }
    size_t Size() const
    {
        return text_.size();
    }
    // The blocks being read, outermost first, for messages.
    std::vector<std::string> path;
    [[noreturn]] void Fail(size_t offset, std::string what) const;
    [[noreturn]] void Fail(std::string what)
    {
        Fail(Skip(), std::move(what));
    }

  private:
    size_t SkipComments();
    // The number at the current token, read in one pass when it is plain
    // (no exponent, at most 19 digits); false to take the slow road.
    bool PlainFloat(float& value);

    std::string_view text_;
    size_t at_ = 0;
};

// LINE:COLUMN (both from 1; a tab is one column) of `offset` in `text`.
std::string MdlPlace(std::string_view text, size_t offset);

} // namespace mdlx

#endif
