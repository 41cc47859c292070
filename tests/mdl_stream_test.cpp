#include "mdl_print.h"
#include "mdl_stream.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

// The sizes of the blocks a stream handed to its file, and their bytes.
struct Blocks
{
    std::vector<size_t> sizes;
    std::string bytes;
};

size_t RecordBlock(const void* data, size_t size, FILE* file)
{
    auto* blocks = reinterpret_cast<Blocks*>(file);
    blocks->sizes.push_back(size);
    blocks->bytes.append(static_cast<const char*>(data), size);
    return size;
}

struct RecordingStream
{
    RecordingStream() : stream(new MdlStream())
    {
        stream->file = reinterpret_cast<FILE*>(&blocks);
        stream->write = RecordBlock;
    }
    ~RecordingStream()
    {
        delete stream;
    }
    RecordingStream(const RecordingStream&) = delete;
    RecordingStream& operator=(const RecordingStream&) = delete;

    MdlStream* stream;
    Blocks blocks;
};

TEST(MdlPrint, FillsTheConversionsInOrder)
{
    MemoryStream memory;
    MdlStream& out = *memory.stream;
    MdlPrint<"a %d b %f c %s d">(out, int32_t{-7}, 0.5, "x");
    MdlPrint<"%d%d%f">(out, int32_t{1}, int32_t{-2147483647 - 1}, -0.0000015);
    MdlPrint<"">(out);
    MdlPrint<"%s">(out, "");
    EXPECT_EQ(memory.Bytes(), "a -7 b 0.500000 c x d"
                              "1-2147483648-0.000002");
}

TEST(MdlPrint, StoresLineFeedsAsCrLfAndHalvesPercents)
{
    MemoryStream memory;
    MdlStream& out = *memory.stream;
    MdlPrint<"100%% done\n\n">(out);
    MdlPrint<"%%d is %d%%\n">(out, int32_t{3});
    MdlPrint<"[%s]">(out, "two\nlines\n"); // the argument's line feeds too
    MdlPrint<"\r">(out);                   // a lone CR stays as it is
    EXPECT_EQ(memory.Bytes(), "100% done\r\n\r\n%d is 3%\r\n[two\r\nlines\r\n]\r");
}

TEST(MdlPrint, NeverSplitsARowAcrossTwoWrites)
{
    // 3,000 rows of 38 to 41 bytes overflow the 64 KiB buffer: each flush
    // happens before a row that would not fit, so every block ends a row.
    RecordingStream recording;
    MdlStream& out = *recording.stream;
    std::string expected;
    for (int32_t i = 0; i < 3000; ++i)
    {
        MdlPrint<"\t\t%d: { %f, %f },\n">(out, i, i * 0.25, -i * 1.5);
        expected += "\t\t" + std::to_string(i) + ": { " + Fixed6(i * 0.25) + ", " +
                    Fixed6(-i * 1.5) + " },\r\n";
    }
    ASSERT_TRUE(MdlFlush(out));
    EXPECT_EQ(recording.blocks.bytes, expected);
    ASSERT_GE(recording.blocks.sizes.size(), 2u);
    size_t end = 0;
    for (size_t size : recording.blocks.sizes)
    {
        EXPECT_LE(size, kMdlStreamBufferSize);
        end += size;
        EXPECT_EQ(expected.substr(end - 2, 2), "\r\n") << "a block ends inside a row";
    }
    EXPECT_EQ(out.bytes_written, expected.size());
}

TEST(MdlPrint, RefusesACallLongerThanTheBuffer)
{
    // Every text the export prints is a bone name of at most 31 bytes. A call
    // that could not fit the buffer is a fault of its caller: it stops a
    // debug build, and a release build loses the file, never the memory
    // behind the buffer.
    std::string text(kMdlStreamBufferSize, 'a');
    RecordingStream recording;
    MdlStream& out = *recording.stream;
    MdlPrint<"start %d\n">(out, int32_t{1});
    EXPECT_DEBUG_DEATH(MdlPrint<"Bone \"%s\" {\n">(out, text.c_str()), "longer than the buffer");
#ifdef NDEBUG
    EXPECT_TRUE(out.failed);
    EXPECT_FALSE(MdlFlush(out));
    EXPECT_EQ(recording.blocks.bytes, "");
#endif
}

TEST(MdlPrint, DropsEverythingAfterAFailedWrite)
{
    struct Refuse
    {
        static size_t Write(const void*, size_t size, FILE*)
        {
            return size / 2;
        }
    };
    auto stream = std::make_unique<MdlStream>();
    MdlStream& out = *stream;
    out.write = Refuse::Write;
    for (int32_t i = 0; i < 20000; ++i)
        MdlPrint<"%d,\n">(out, i);
    EXPECT_TRUE(out.failed);
    EXPECT_FALSE(MdlFlush(out));
    EXPECT_EQ(out.used, 0u);
    // Only the first block was ever handed on: half of it was taken.
    EXPECT_LT(out.bytes_written, kMdlStreamBufferSize);
}

} // namespace
