// Decoding arbitrary data for the picture box.

#include <string_view>

#include "check.h"
#include "platform/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const JpegPicture picture =
        DecodeJpeg(std::string_view(reinterpret_cast<const char*>(data), size), 110, 135);
    FUZZ_CHECK(picture.width >= 0 && picture.width <= 110);
    FUZZ_CHECK(picture.height >= 0 && picture.height <= 135);
    FUZZ_CHECK(picture.rgb.size() == static_cast<size_t>(picture.width) * picture.height * 3);
    FUZZ_CHECK((picture.width == 0) == (picture.height == 0));
    return 0;
}
