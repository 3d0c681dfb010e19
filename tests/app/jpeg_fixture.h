#pragma once
// JPEG files made on the spot, with a smooth pattern that survives compression.

#include <array>
#include <cstdint>
#include <string>

std::array<uint8_t, 3> PatternPixel(int x, int y);

struct JpegOptions {
    int width;
    int height;
    bool progressive = false;
    bool subsampled = true; // 4:2:0 chroma, as cameras write it
};

std::string EncodeJpeg(const JpegOptions& options);
