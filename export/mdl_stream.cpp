#include "mdl_stream.h"

#include "number_format.h"

#include <cassert>
#include <cstdint>
#include <cstring>

namespace
{

// Makes room for `bytes` more in the buffer, flushing it if needed.
void Reserve(MdlStream& out, size_t bytes)
{
    assert(bytes <= kMdlStreamBufferSize);
    if (out.used + bytes > kMdlStreamBufferSize)
        MdlFlush(out);
}

// Appends text, storing each line feed as CR LF.
void PutText(MdlStream& out, const char* text, size_t length)
{
    while (length > 0)
    {
        // A chunk of at most half the buffer always fits after a flush, even
        // if every byte of it is a line feed.
        size_t chunk = length < kMdlStreamBufferSize / 2 ? length : kMdlStreamBufferSize / 2;
        Reserve(out, 2 * chunk);
        char* to = out.buffer + out.used;
        for (size_t i = 0; i < chunk; ++i)
        {
            char c = text[i];
            if (c == '\n')
                *to++ = '\r';
            *to++ = c;
        }
        out.used = static_cast<size_t>(to - out.buffer);
        text += chunk;
        length -= chunk;
    }
}

// Copies a terminated text, storing each line feed as CR LF; returns the end.
char* CopyText(char* to, const char* text)
{
    for (char c = *text; c != '\0'; c = *++text)
    {
        if (c == '\n')
            *to++ = '\r';
        *to++ = c;
    }
    return to;
}

// The most that `format` and `args` can add to the buffer: every line feed
// doubled, and each conversion at its longest.
size_t LongestResult(const char* format, const MdlArg* args, size_t count)
{
    size_t longest = 2 * std::strlen(format);
    for (size_t i = 0; i < count; ++i)
    {
        switch (args[i].kind)
        {
        case MdlArg::Kind::Int:
            longest += kInt32MaxChars;
            break;
        case MdlArg::Kind::Real:
            longest += kFixed6MaxChars;
            break;
        case MdlArg::Kind::Text:
            longest += 2 * std::strlen(args[i].text_value);
            break;
        }
    }
    return longest;
}

// Fills in `format` in one pass, straight into a buffer that has room for its
// longest result; returns the end. Every row of the export takes this way, so
// it touches each byte of the fixed text once and checks no room on the way.
char* PutAll(char* to, const char* format, const MdlArg* args, size_t count)
{
    size_t next = 0;
    for (const char* p = format;; ++p)
    {
        const char c = *p;
        if (c == '\0')
            break;
        if (c == '\n')
        {
            *to++ = '\r';
            *to++ = '\n';
            continue;
        }
        if (c != '%')
        {
            *to++ = c;
            continue;
        }
        ++p;
        if (*p == '%')
        {
            *to++ = '%';
            continue;
        }
        assert(next < count);
        const MdlArg& arg = args[next++];
        switch (*p)
        {
        case 'd':
            assert(arg.kind == MdlArg::Kind::Int);
            to += FormatInt32(arg.int_value, to);
            break;
        case 'f':
            assert(arg.kind == MdlArg::Kind::Real);
            to += FormatFixed6(arg.real_value, to);
            break;
        case 's':
            assert(arg.kind == MdlArg::Kind::Text);
            to = CopyText(to, arg.text_value);
            break;
        default:
            assert(!"unknown conversion");
            break;
        }
    }
    assert(next == count);
    (void)count;
    return to;
}

} // namespace

void MdlPrintArgs(MdlStream& out, const char* format, const MdlArg* args, size_t count)
{
    const size_t longest = LongestResult(format, args, count);
    if (longest <= kMdlStreamBufferSize)
    {
        Reserve(out, longest);
        char* const start = out.buffer + out.used;
        out.used += static_cast<size_t>(PutAll(start, format, args, count) - start);
        return;
    }

    // Longer than the buffer (a very long fixed text): piece by piece, each
    // making its own room.
    size_t next = 0;
    const char* text = format;
    for (const char* p = format; *p != '\0'; ++p)
    {
        if (*p != '%')
            continue;
        PutText(out, text, static_cast<size_t>(p - text));
        ++p;
        if (*p == '%')
        {
            PutText(out, "%", 1);
            text = p + 1;
            continue;
        }
        assert(next < count);
        const MdlArg& arg = args[next++];
        switch (*p)
        {
        case 'd':
            assert(arg.kind == MdlArg::Kind::Int);
            Reserve(out, kInt32MaxChars);
            out.used += FormatInt32(arg.int_value, out.buffer + out.used);
            break;
        case 'f':
            assert(arg.kind == MdlArg::Kind::Real);
            Reserve(out, kFixed6MaxChars);
            out.used += FormatFixed6(arg.real_value, out.buffer + out.used);
            break;
        case 's':
            assert(arg.kind == MdlArg::Kind::Text);
            PutText(out, arg.text_value, std::strlen(arg.text_value));
            break;
        default:
            assert(!"unknown conversion");
            break;
        }
        text = p + 1;
    }
    assert(next == count);
    (void)count;
    PutText(out, text, std::strlen(text));
}

bool MdlFlush(MdlStream& out)
{
    if (out.used > 0 && !out.failed)
    {
        size_t written = out.write(out.buffer, out.used, out.file);
        out.bytes_written += written;
        if (written != out.used)
            out.failed = true;
    }
    // After a failure the bytes are dropped: the file is incomplete anyway.
    out.used = 0;
    return !out.failed;
}

void MdlFail(MdlStream& out)
{
    out.failed = true;
}

void* MdlAllocate(MdlStream& out, size_t bytes)
{
    void* memory = out.allocate(bytes == 0 ? 1 : bytes);
    if (memory == nullptr)
        MdlFail(out);
    return memory;
}

void* MdlAllocateArray(MdlStream& out, int64_t count, size_t size)
{
    uint64_t items = count > 0 ? static_cast<uint64_t>(count) : 0;
    if (size != 0 && items > SIZE_MAX / size)
    {
        MdlFail(out);
        return nullptr;
    }
    return MdlAllocate(out, static_cast<size_t>(items) * size);
}

void MdlRelease(MdlStream& out, void* memory)
{
    if (memory != nullptr)
        out.release(memory);
}
