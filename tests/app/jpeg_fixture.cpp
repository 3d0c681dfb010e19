#include "jpeg_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

std::array<uint8_t, 3> PatternPixel(int x, int y) {
    return {static_cast<uint8_t>(x % 200 + 20), static_cast<uint8_t>(y % 200 + 30),
            static_cast<uint8_t>((x + y) / 2 % 200 + 10)};
}

std::string EncodeJpeg(const JpegOptions& options) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = options.width;
    cinfo.image_height = options.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (!options.subsampled) {
        for (int c = 0; c < 3; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(std::size_t(options.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < options.width; ++x) {
            const auto pixel = PatternPixel(x, static_cast<int>(cinfo.next_scanline));
            std::copy(pixel.begin(), pixel.end(), row.begin() + x * 3);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string file(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return file;
}
