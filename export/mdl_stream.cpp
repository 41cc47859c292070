#include "mdl_stream.h"

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
