#pragma once

#include <cstdint>
#include <string>

namespace demo {

// A baseline JPEG of the given size whose colours and stripes follow from the id, so every
// member has a photo of its own; empty only if libjpeg reports an error.
std::string EncodePhoto(int width, int height, std::uint64_t id);

} // namespace demo
