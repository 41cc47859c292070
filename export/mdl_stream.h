// The output stream of one export: a large buffer in front of the file, the
// few formatted-printing conversions the MDL text needs, and the error flag.
//
// Every line-feed byte that goes through MdlPrint (in the fixed text or in a
// "%s" argument) is stored as carriage return and line feed, so the file is
// opened in binary mode and its bytes are the same on every platform. Numbers
// never depend on the locale (number_format.h).
//
// The stream remembers the first write error and drops everything after it;
// the run asks MdlStreamFinish whether all bytes reached the file.
#ifndef MDLEXPORT_EXPORT_MDL_STREAM_H
#define MDLEXPORT_EXPORT_MDL_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes `size` bytes to `file`; returns how many it wrote (fwrite's contract).
using MdlWriteFn = size_t (*)(const void* data, size_t size, FILE* file);
// Scratch memory for one run (malloc's contract; null when out of memory).
using MdlAllocateFn = void* (*)(size_t bytes);
using MdlReleaseFn = void (*)(void* memory);

constexpr size_t kMdlStreamBufferSize = 1 << 16;

struct MdlStream
{
    FILE* file = nullptr;
    MdlWriteFn write = nullptr;
    // The run's allocator, carried here so that one seam covers every
    // scratch array that a writer needs.
    MdlAllocateFn allocate = nullptr;
    MdlReleaseFn release = nullptr;
    bool failed = false; // a write failed or scratch memory was refused
    uint64_t bytes_written = 0;
    size_t used = 0;
    char buffer[kMdlStreamBufferSize];
};

// One argument of MdlPrint: "%d" takes an int32_t, "%f" a double, "%s" a
// terminated string.
struct MdlArg
{
    enum class Kind
    {
        Int,
        Real,
        Text
    };
    Kind kind;
    int32_t int_value = 0;
    double real_value = 0.0;
    const char* text_value = nullptr;

    MdlArg(int32_t value) : kind(Kind::Int), int_value(value) {}
    MdlArg(double value) : kind(Kind::Real), real_value(value) {}
    MdlArg(const char* value) : kind(Kind::Text), text_value(value) {}
};

// Appends `format` with its conversions ("%d", "%f", "%s", and "%%") filled in
// from `args`, in order. The format must match the arguments (asserted).
void MdlPrintArgs(MdlStream& out, const char* format, const MdlArg* args, size_t count);

inline void MdlPrint(MdlStream& out, const char* format)
{
    MdlPrintArgs(out, format, nullptr, 0);
}

template <typename... Args> void MdlPrint(MdlStream& out, const char* format, Args... args)
{
    const MdlArg list[] = {MdlArg(args)...};
    MdlPrintArgs(out, format, list, sizeof...(Args));
}

// Hands the buffered bytes to the file. Returns false once any write failed.
bool MdlFlush(MdlStream& out);

// Marks the stream failed: scratch memory was refused, so the file cannot be
// complete.
void MdlFail(MdlStream& out);

// Scratch memory through the run's allocator; a refusal marks the stream
// failed and yields null.
void* MdlAllocate(MdlStream& out, size_t bytes);
// Room for `count` items of `size` bytes (none for a count below 1); a size
// that does not fit in size_t is refused like memory that is not there, so a
// count from the host can never wrap into a small block.
void* MdlAllocateArray(MdlStream& out, int64_t count, size_t size);
void MdlRelease(MdlStream& out, void* memory);

#endif
