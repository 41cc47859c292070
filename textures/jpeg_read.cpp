#include "jpeg_read.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace
{

struct ErrorManager
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
    bool cut_short;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->escape, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && errors->manager.msg_code == JWRN_JPEG_EOF)
        errors->cut_short = true;
}

// The largest of 1, 2, 4 and 8 that keeps both sides at least the smaller of
// their full size and `least_side`.
unsigned Reduction(unsigned width, unsigned height, int least_side)
{
    if (least_side <= 0)
        return 1;
    const unsigned least = static_cast<unsigned>(least_side);
    const unsigned need_w = width < least ? width : least;
    const unsigned need_h = height < least ? height : least;
    unsigned denominator = 1;
    while (denominator < 8 && (width + 2 * denominator - 1) / (2 * denominator) >= need_w &&
           (height + 2 * denominator - 1) / (2 * denominator) >= need_h)
        denominator *= 2;
    return denominator;
}

// Only plain data lives here, since a libjpeg error leaves through longjmp.
// `image.pixels` is sized by `size_pixels` once the output size is known.
JpegRead Decode(const uint8_t* bytes, size_t size, int least_side, RgbaImage& image,
                bool (*size_pixels)(RgbaImage&, unsigned, unsigned), char* message, bool& cut_short)
{
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ErrorExit;
    errors.manager.emit_message = EmitMessage;
    errors.cut_short = false;
    if (setjmp(errors.escape) != 0)
    {
        (*cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&cinfo), message);
        jpeg_destroy_decompress(&cinfo);
        return JpegRead::Failed;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK ||
        cinfo.image_width > static_cast<JDIMENSION>(kMaxImageSide) ||
        cinfo.image_height > static_cast<JDIMENSION>(kMaxImageSide))
    {
        jpeg_destroy_decompress(&cinfo);
        return JpegRead::NotHandled;
    }
    image.file_width = static_cast<int>(cinfo.image_width);
    image.file_height = static_cast<int>(cinfo.image_height);
    cinfo.out_color_space = JCS_EXT_RGBA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = Reduction(cinfo.image_width, cinfo.image_height, least_side);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    if (!size_pixels(image, cinfo.output_width, cinfo.output_height))
    {
        std::strcpy(message, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return JpegRead::Failed;
    }
    const size_t row_bytes = static_cast<size_t>(cinfo.output_width) * 4;
    while (cinfo.output_scanline < cinfo.output_height)
    {
        JSAMPROW row = image.pixels.data() + cinfo.output_scanline * row_bytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    cut_short = errors.cut_short;
    return JpegRead::Done;
}

bool SizePixels(RgbaImage& image, unsigned width, unsigned height)
{
    try
    {
        image.pixels.resize(static_cast<size_t>(width) * height * 4);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    return true;
}

} // namespace

JpegRead ReadJpeg(const uint8_t* bytes, size_t size, const std::string& name, int least_side,
                  RgbaImage& image, std::string& error)
{
    image = RgbaImage{};
    if (size < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF)
        return JpegRead::NotHandled;
    char message[JMSG_LENGTH_MAX] = {};
    bool cut_short = false;
    const JpegRead result = Decode(bytes, size, least_side, image, SizePixels, message, cut_short);
    if (result == JpegRead::Failed || (result == JpegRead::Done && cut_short))
    {
        image = RgbaImage{};
        error = name + (cut_short ? ": the image data is cut short"
                                  : std::string(": cannot decode the image: ") + message);
        return JpegRead::Failed;
    }
    return result;
}
