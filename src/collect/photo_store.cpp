#include "collect/photo_store.h"

#include <algorithm>

#include "values/files.h"

namespace {
bool CanNameFile(const Text& part) {
    return std::none_of(part.view().begin(), part.view().end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F;
    });
}
} // namespace

Text PhotoStorePath(const Text& sex, const Text& id) {
    // "." and ".." would name the run directory or its parent instead of a sex directory; the
    // identifier always has ".jpg" after it, so it cannot be one of them.
    if (sex.empty() || sex == Text(".") || sex == Text("..") || !CanNameFile(sex) ||
        !CanNameFile(id))
        return Text();
    return TextConcat(RunDirectory(), "/", TextToLower(sex), "/", id, ".jpg");
}

bool StorePhoto(const Text& path, const Bytes& data) {
    if (path.empty())
        return false;
    if (data.empty() && FileExists(path))
        return true;
    return WriteFileBytes(path, data);
}
