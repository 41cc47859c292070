// The JSON number grammar, and numbers read as 32-bit floats: each token is
// read as the nearest double, then rounded to the nearest float.
#ifndef MDLEXPORT_CLI_JSON_NUMBER_H
#define MDLEXPORT_CLI_JSON_NUMBER_H

#include <string_view>

// From this magnitude on, rounding a double to float gives infinity: it is
// halfway between the largest float and 2^128, and the tie goes to the even
// neighbour, which is the infinity.
constexpr double kFloatOverflowEdge = 0x1.ffffffp+127;

inline bool IsDigit(char c)
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
NumberForm ClassifyNumber(std::string_view token);

enum class FloatReading
{
    Read,
    Malformed, // not of the JSON number grammar
    TooLarge   // beyond the float range once rounded
};

// Reads `token` as the nearest double, correctly rounded at any length and
// beyond the double range (a magnitude of at least 1 is then infinite, a
// smaller one zero), then as the nearest float with the token's sign. Sets
// `out` only when it returns Read.
FloatReading ReadFloatToken(std::string_view token, float& out);

#endif
