#include "jpegdecoder.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

namespace platform {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return. We jump back to decode() with longjmp; decode() keeps no object
// with a destructor alive across the jump, so nothing is skipped.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool damaged;
};

ErrorManager &manager(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager *>(cinfo->err); }

void onError(j_common_ptr cinfo)
{
    ErrorManager &err = manager(cinfo);
    (*cinfo->err->format_message)(cinfo, err.message);
    std::longjmp(err.jump, 1);
}

// Warnings are kept, never printed. Data that ends early or whose entropy
// stream is broken still "decodes" to a grey-filled picture; we report it
// as damaged instead of showing garbage.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    ErrorManager &err = manager(cinfo);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC) {
        if (!err.damaged)
            (*cinfo->err->format_message)(cinfo, err.message);
        err.damaged = true;
    }
    cinfo->err->num_warnings++;
}

// Runs the decompressor; false with err.message set on failure. Only
// trivially destructible locals live in this frame.
bool decode(jpeg_decompress_struct &cinfo, ErrorManager &err, const std::uint8_t *data, std::size_t size,
            RgbImage &out)
{
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    const std::uint64_t pixels = std::uint64_t(cinfo.image_width) * cinfo.image_height;
    if (pixels == 0 || pixels > kMaxJpegPixels) {
        std::snprintf(err.message, sizeof err.message, "JPEG picture too large (%ux%u)", cinfo.image_width,
                      cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::snprintf(err.message, sizeof err.message, "unsupported JPEG colour layout");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const std::size_t stride = std::size_t(cinfo.output_width) * 3;
    try {
        out.pixels.assign(stride * cinfo.output_height, 0);
    } catch (const std::bad_alloc &) {
        std::snprintf(err.message, sizeof err.message, "out of memory for JPEG picture");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height && !err.damaged) {
        JSAMPROW row = out.pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (!err.damaged)
        jpeg_finish_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return !err.damaged;
}

} // namespace

JpegResult decodeJpeg(const std::uint8_t *data, std::size_t size)
{
    JpegResult result;
    if (!data || size == 0) {
        result.error = "no JPEG data";
        return result;
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    if (!decode(cinfo, err, data, size, result.image)) {
        result.image = RgbImage();
        result.error = err.message[0] ? err.message : "damaged JPEG data";
    }
    return result;
}

} // namespace platform
