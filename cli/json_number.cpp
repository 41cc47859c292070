#include "json_number.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace
{

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

} // namespace

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

FloatReading ReadFloatToken(std::string_view token, float& out)
{
    if (ClassifyNumber(token) == NumberForm::Malformed)
        return FloatReading::Malformed;
    // The standard library's from_chars rounds correctly at any length; it
    // takes every token of the grammar whole.
    double number = 0.0;
    auto [end, status] = std::from_chars(token.data(), token.data() + token.size(), number);
    if (status == std::errc::result_out_of_range)
        number = IsAtLeastOne(token) ? HUGE_VAL : 0.0;
    else
        assert(status == std::errc() && end == token.data() + token.size());
    if (!(std::fabs(number) < kFloatOverflowEdge))
        return FloatReading::TooLarge;
    out = static_cast<float>(token[0] == '-' ? -std::fabs(number) : number);
    return FloatReading::Read;
}
