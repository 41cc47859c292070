#include "mdl_stream.h"

#include "number_format.h"

#include <cstdint>
#include <cstring>

namespace mdl_print_detail
{

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

void PutBytes(MdlStream& out, const char* bytes, size_t length)
{
    while (length > 0)
    {
        const size_t room = kMdlStreamBufferSize - out.used;
        const size_t chunk = length < room ? length : room;
        std::memcpy(out.buffer + out.used, bytes, chunk);
        out.used += chunk;
        bytes += chunk;
        length -= chunk;
        if (out.used == kMdlStreamBufferSize)
            MdlFlush(out);
    }
}

void PutValue(MdlStream& out, int32_t value)
{
    char* to = Reserve(out, kInt32MaxChars);
    out.used += FormatInt32(value, to);
}

void PutValue(MdlStream& out, double value)
{
    char* to = Reserve(out, kFixed6MaxChars);
    out.used += FormatFixed6(value, to);
}

void PutValue(MdlStream& out, const char* text)
{
    // A chunk of at most half the buffer always fits after a flush, even if
    // every byte of it is a line feed.
    constexpr size_t kChunk = kMdlStreamBufferSize / 2;
    for (size_t length = std::strlen(text); length > 0;)
    {
        const size_t chunk = length < kChunk ? length : kChunk;
        char* to = Reserve(out, 2 * chunk);
        for (size_t i = 0; i < chunk; ++i)
        {
            if (text[i] == '\n')
                *to++ = '\r';
            *to++ = text[i];
        }
        out.used = static_cast<size_t>(to - out.buffer);
        text += chunk;
        length -= chunk;
    }
}

} // namespace mdl_print_detail

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
