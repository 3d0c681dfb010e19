#pragma once
// JPEG decoding for the picture box, on libjpeg. Only the top-left part that can be shown is
// decoded, so a camera-sized photo costs a few rows instead of a whole frame.

#include <cstdint>
#include <string_view>
#include <vector>

struct JpegPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * 3 bytes a row, rows top to bottom
};

// The top-left corner of the picture, at most maxWidth x maxHeight pixels. Any error in the data
// (not a JPEG, broken, or declaring more than the memory limit allows) gives an empty picture.
// Truncated data gives the rows that decode, the rest filled by the library.
JpegPicture DecodeJpeg(std::string_view data, int maxWidth, int maxHeight);
