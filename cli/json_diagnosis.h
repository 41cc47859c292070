// Where and why bytes are not JSON. The parser's first pass checks UTF-8,
// strings and the pairing of brackets without telling where it stopped; the
// place and the reason are worked out again here, from the bytes alone, once
// it has refused them. Also how a message quotes the file.
#ifndef MDLEXPORT_CLI_JSON_DIAGNOSIS_H
#define MDLEXPORT_CLI_JSON_DIAGNOSIS_H

#include <cstddef>
#include <simdjson.h>
#include <string>
#include <string_view>

// The longest token quoted in a message; a hostile file can hold a number of
// a million digits.
constexpr size_t kShownTokenBytes = 40;

inline bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// `token` without the white space that the parser leaves after it.
std::string_view TrimToken(std::string_view token);

// `token` as a message quotes it: its first 40 bytes, "..." after more.
std::string Shown(std::string_view token);

// "line L, column C" of the byte at `offset` (counted from 1, columns in
// bytes).
std::string LineAndColumn(const char* json, size_t offset);

// The offset of the first byte that does not start a well-formed UTF-8
// sequence (no overlong forms, no surrogates, nothing above U+10FFFF), or
// `size` when there is none.
size_t FirstInvalidUtf8(const unsigned char* s, size_t size);

// What went wrong inside a string whose escapes the parser refused: a bad
// escape, or a \u escape of a surrogate without its pair, which UTF-8 cannot
// hold. `body` starts after the opening quote; `end` ends the text.
std::string DescribeBadString(const char* body, const char* end);

// The parser's error in words.
const char* DescribeJsonError(simdjson::error_code code);

// Why the parser's first pass refused the `size` bytes at `json` with `code`:
// "line L, column C: RULE" where the place is found, else "RULE".
std::string DiagnoseFirstPass(const char* json, size_t size, simdjson::error_code code);

// The first bracket or brace that does not pair up, or what follows the
// top-level value, as "line L, column C: RULE"; empty when every bracket
// and brace pairs up and nothing follows.
std::string LocateUnpaired(const char* json, size_t size);

#endif
