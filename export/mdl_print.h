// The compile-time print engine of the MDL text: MdlPrint and its formats.
//
// Every line-feed byte that goes through MdlPrint (in the fixed text or in a
// "%s" argument) is stored as carriage return and line feed. Numbers never
// depend on the locale (number_format.h).
#ifndef MDLEXPORT_EXPORT_MDL_PRINT_H
#define MDLEXPORT_EXPORT_MDL_PRINT_H

#include "mdl_stream.h"
#include "number_format.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

// MdlPrint<"format">(out, args...) appends `format` with its conversions
// filled in from `args`, in order: "%d" takes an int32_t, "%f" a double, "%s"
// a terminated string, and "%%" is a percent sign. The format is a string
// literal, read at compile time: a conversion that does not match its
// argument, or one the MDL text never uses, does not compile. Each call
// becomes copies of fixed pieces of known length and calls of the two
// number formatters, so that the text around the numbers costs next to
// nothing and the code still reads like the file it writes.
template <size_t N> struct MdlFormat
{
    char text[N] = {};

    consteval MdlFormat(const char (&literal)[N])
    {
        for (size_t i = 0; i < N; ++i)
            text[i] = literal[i];
    }
};

namespace mdl_print_detail
{

enum class Conversion : char
{
    Int = 'd',
    Real = 'f',
    Text = 's'
};

// A format taken apart: conversions + 1 fixed pieces, stored one after the
// other in `text` as they go to the file (line feeds as CR LF, "%%" as "%").
template <size_t N> struct ParsedFormat
{
    char text[2 * N] = {};
    size_t start[N] = {};
    size_t length[N] = {};
    Conversion conversion[N] = {};
    size_t conversions = 0;
    size_t fixed_length = 0;
};

// Not constexpr: reaching it while a format is read at compile time stops the
// build there.
void BadFormat(const char* why);

template <size_t N> consteval ParsedFormat<N> Parse(const MdlFormat<N>& format)
{
    ParsedFormat<N> parsed;
    size_t piece = 0;
    size_t used = 0;
    for (size_t i = 0; i + 1 < N; ++i)
    {
        const char c = format.text[i];
        if (c == '\n')
        {
            parsed.text[used++] = '\r';
            parsed.text[used++] = '\n';
        }
        else if (c != '%')
        {
            parsed.text[used++] = c;
        }
        else if (format.text[i + 1] == '%')
        {
            parsed.text[used++] = '%';
            ++i;
        }
        else
        {
            const char kind = format.text[++i];
            if (kind != 'd' && kind != 'f' && kind != 's')
                BadFormat("an MdlPrint format has a conversion other than %d, %f, %s and %%");
            parsed.length[piece] = used - parsed.start[piece];
            parsed.conversion[piece] = static_cast<Conversion>(kind);
            ++piece;
            parsed.start[piece] = used;
        }
    }
    if (format.text[N - 1] != '\0')
        BadFormat("an MdlPrint format is not a terminated literal");
    parsed.length[piece] = used - parsed.start[piece];
    parsed.conversions = piece;
    parsed.fixed_length = used;
    return parsed;
}

template <MdlFormat F> inline constexpr auto kParsed = Parse(F);

template <typename Arg> constexpr bool Fits(Conversion conversion)
{
    switch (conversion)
    {
    case Conversion::Int:
        return std::is_same_v<Arg, int32_t>;
    case Conversion::Real:
        return std::is_same_v<Arg, double>;
    case Conversion::Text:
        return std::is_same_v<Arg, const char*> || std::is_same_v<Arg, char*>;
    }
    return false;
}

inline size_t Longest(int32_t)
{
    return kInt32MaxChars;
}
inline size_t Longest(double)
{
    return kFixed6MaxChars;
}
inline size_t Longest(const char* text)
{
    return 2 * std::strlen(text); // every byte a line feed
}

// Copies a terminated text, storing each line feed as CR LF; returns the end.
inline char* CopyText(char* to, const char* text)
{
    for (char c = *text; c != '\0'; c = *++text)
    {
        if (c == '\n')
            *to++ = '\r';
        *to++ = c;
    }
    return to;
}

inline char* Put(char* to, int32_t value)
{
    return to + FormatInt32(value, to);
}
inline char* Put(char* to, double value)
{
    return to + FormatFixed6(value, to);
}
inline char* Put(char* to, const char* text)
{
    return CopyText(to, text);
}

template <const auto& P, size_t I> char* PutPiece(char* to)
{
    constexpr size_t kLength = P.length[I];
    std::memcpy(to, P.text + P.start[I], kLength);
    return to + kLength;
}

// Fills in pieces I.. and their arguments at `to`, which has room for all.
template <const auto& P, size_t I> char* PutFrom(char* to)
{
    return PutPiece<P, I>(to);
}
template <const auto& P, size_t I, typename Arg, typename... Rest>
char* PutFrom(char* to, Arg arg, Rest... rest)
{
    to = Put(PutPiece<P, I>(to), arg);
    return PutFrom<P, I + 1>(to, rest...);
}

} // namespace mdl_print_detail

template <MdlFormat F, typename... Args> void MdlPrint(MdlStream& out, Args... args)
{
    using namespace mdl_print_detail;
    constexpr const auto& parsed = kParsed<F>;
    static_assert(parsed.conversions == sizeof...(Args),
                  "an MdlPrint format and its arguments differ in number");
    [&]<size_t... I>(std::index_sequence<I...>)
    {
        static_assert((Fits<Args>(parsed.conversion[I]) && ...),
                      "an MdlPrint argument does not match its conversion");
    }
    (std::index_sequence_for<Args...>{});

    // Every call fits the buffer: the only text argument the export prints is
    // a bone name of at most 31 bytes. A caller that breaks this loses the
    // file rather than the memory behind the buffer.
    const size_t longest = (parsed.fixed_length + ... + Longest(args));
    assert(longest <= kMdlStreamBufferSize && "an MdlPrint call is longer than the buffer");
    if (longest > kMdlStreamBufferSize)
    {
        out.failed = true;
        return;
    }
    char* const start = MdlReserve(out, longest);
    out.used += static_cast<size_t>(PutFrom<parsed, 0>(start, args...) - start);
}

#endif
