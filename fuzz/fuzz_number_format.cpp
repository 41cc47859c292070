// Fuzz target: the fast "%f" conversion against the plain reference, byte for
// byte, on the input's first eight bytes as a double and its first four as a
// float widened to double (every pattern: NaNs, infinities, subnormals); and
// the "%d" conversion against the standard library on the first four as an
// int32. A short input is padded with zeros.
#include "number_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

void Require(bool holds, const char* what, double value, const std::string& fast,
             const std::string& expected)
{
    if (holds)
        return;
    std::fprintf(stderr, "\nINVARIANT BROKEN: %s for %a: \"%s\" but \"%s\"\n", what, value,
                 fast.c_str(), expected.c_str());
    std::abort();
}

// Exactly the promised room, on the heap, so that a longer result is caught.
std::string Format(size_t (*format)(double, char*), double value)
{
    std::vector<char> out(kFixed6MaxChars);
    size_t length = format(value, out.data());
    if (length > kFixed6MaxChars)
        std::abort();
    return std::string(out.data(), length);
}

void CompareFixed6(double value)
{
    std::string fast = Format(FormatFixed6, value);
    std::string reference = Format(FormatFixed6Reference, value);
    Require(fast == reference, "FormatFixed6 differs from the reference", value, fast, reference);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);

    double wide;
    std::memcpy(&wide, bytes, sizeof wide);
    CompareFixed6(wide);

    float narrow;
    std::memcpy(&narrow, bytes, sizeof narrow);
    CompareFixed6(static_cast<double>(narrow));

    int32_t integer;
    std::memcpy(&integer, bytes, sizeof integer);
    std::vector<char> out(kInt32MaxChars);
    std::string text(out.data(), FormatInt32(integer, out.data()));
    Require(text == std::to_string(integer), "FormatInt32 differs from std::to_string", integer,
            text, std::to_string(integer));
    return 0;
}
