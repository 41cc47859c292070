#include "mdl_stream.h"

#include "number_format.h"

#include <cassert>
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

} // namespace

void MdlPrintArgs(MdlStream& out, const char* format, const MdlArg* args, size_t count)
{
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

void MdlRelease(MdlStream& out, void* memory)
{
    if (memory != nullptr)
        out.release(memory);
}
