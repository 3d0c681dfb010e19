#include "platform/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// A hostile header may declare a picture of 65500 x 65500; a progressive one would make the
// library buffer all of its coefficients. Large ordinary photos stay well below this.
constexpr long kMemoryLimit = 256L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings about corrupt data are not the user's business.
void IgnoreMessage(j_common_ptr) {}

class Decompressor {
  public:
    Decompressor() {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = JumpOnError;
        errors.base.output_message = IgnoreMessage;
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); } // harmless before creation: mem is null
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
};

// Everything that libjpeg may jump out of lives in this frame, and nothing here has a
// destructor: the picture and the decompressor belong to the caller.
bool DecodeInto(Decompressor& d, std::string_view data, int maxWidth, int maxHeight,
                JpegPicture& picture) {
    j_decompress_ptr cinfo = &d.cinfo;
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMemoryLimit;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);

    const auto width = static_cast<JDIMENSION>(std::min<long>(maxWidth, cinfo->output_width));
    if (width < cinfo->output_width) {
        // The library widens the region to whole iMCU columns; the rows keep that width.
        JDIMENSION xoffset = 0;
        JDIMENSION cropWidth = width;
        jpeg_crop_scanline(cinfo, &xoffset, &cropWidth);
    }
    const auto height = static_cast<JDIMENSION>(std::min<long>(maxHeight, cinfo->output_height));
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 cinfo->output_width * cinfo->output_components, 1);
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.rgb.resize(std::size_t{width} * height * 3);
    while (cinfo->output_scanline < height) {
        const JDIMENSION y = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, row, 1) != 1)
            return false;
        std::memcpy(picture.rgb.data() + std::size_t{y} * width * 3, row[0], width * 3);
    }
    jpeg_abort_decompress(cinfo);
    return true;
}

} // namespace

JpegPicture DecodeJpeg(std::string_view data, int maxWidth, int maxHeight) {
    JpegPicture picture;
    Decompressor decompressor;
    if (!DecodeInto(decompressor, data, maxWidth, maxHeight, picture))
        return {};
    return picture;
}
