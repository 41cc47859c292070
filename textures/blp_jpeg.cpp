#include "blp_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace
{

struct ErrorManager
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->escape, 1);
}

void NoMessage(j_common_ptr) {}

// Runs the compression; only plain data lives here, since a libjpeg error
// leaves through longjmp. The stream is malloc'd by libjpeg; the caller frees
// it. `bgra_row` holds one row.
bool Compress(const RgbaImage& image, int quality, JSAMPLE* bgra_row, unsigned char** stream,
              unsigned long* stream_size)
{
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ErrorExit;
    errors.manager.output_message = NoMessage;
    if (setjmp(errors.escape) != 0)
    {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, stream, stream_size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK; // four components taken as they are
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_CMYK); // no transform, no subsampling
    cinfo.write_JFIF_header = FALSE;
    cinfo.write_Adobe_marker = FALSE;
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    const size_t row_bytes = static_cast<size_t>(image.width) * 4;
    while (cinfo.next_scanline < cinfo.image_height)
    {
        const uint8_t* rgba = image.pixels.data() + cinfo.next_scanline * row_bytes;
        for (size_t x = 0; x < row_bytes; x += 4)
        {
            bgra_row[x] = rgba[x + 2];
            bgra_row[x + 1] = rgba[x + 1];
            bgra_row[x + 2] = rgba[x];
            bgra_row[x + 3] = rgba[x + 3];
        }
        JSAMPROW rows[1] = {bgra_row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool EncodeBlpJpeg(const RgbaImage& image, int quality, std::vector<uint8_t>& jpeg)
{
    jpeg.clear();
    try
    {
        std::vector<JSAMPLE> row(static_cast<size_t>(image.width) * 4);
        unsigned char* stream = nullptr;
        unsigned long stream_size = 0;
        const bool done = Compress(image, quality, row.data(), &stream, &stream_size);
        if (done)
        {
            try
            {
                jpeg.assign(stream, stream + stream_size);
            }
            catch (const std::bad_alloc&)
            {
                std::free(stream);
                throw;
            }
        }
        std::free(stream);
        return done;
    }
    catch (const std::bad_alloc&)
    {
        jpeg.clear();
        return false;
    }
}

size_t JpegSharedHeaderLength(const std::vector<uint8_t>& jpeg)
{
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return 0;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF)
    {
        const uint8_t marker = jpeg[at + 1];
        // SOF0 to SOF15, less DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return at;
        at += 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return 0;
}
