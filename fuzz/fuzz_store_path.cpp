// Store paths for identifiers cut from arbitrary profile links.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "check.h"
#include "collect/member_block.h"
#include "collect/photo_store.h"
#include "values/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // The member pattern only captures m or f in either case; any other sex is tried as well.
    static const char* const kPatternSexes[] = {"m", "f", "M", "F"};
    const bool fromPattern = input.ConsumeBool();
    const Text sex = fromPattern ? Text(kPatternSexes[input.ConsumeIntegralInRange(0, 3)])
                                 : Text(input.ConsumeRandomLengthString(8));
    const Text link(input.ConsumeRemainingBytesAsString());

    const Text id = MemberIdFromLink(link);
    FUZZ_CHECK(HoldsNoZeroByte(id.view()));
    FUZZ_CHECK(id.empty() || link.view().substr(27).starts_with(id.view()));

    const Text path = PhotoStorePath(sex, id);
    if (path.empty())
        return 0;
    // What reaches the file system: the run directory, one directory and one file name.
    const std::string directory = FileSystemPath(RunDirectory()) + "/";
    const std::string full = FileSystemPath(path);
    FUZZ_CHECK(full.starts_with(directory));
    const std::string rest = full.substr(directory.size());
    const size_t slash = rest.find('/');
    FUZZ_CHECK(slash != std::string::npos && rest.find('/', slash + 1) == std::string::npos);
    const std::string folder = rest.substr(0, slash), name = rest.substr(slash + 1);
    FUZZ_CHECK(!folder.empty() && folder != "." && folder != "..");
    FUZZ_CHECK(name.ends_with(".jpg"));
    FUZZ_CHECK(!HoldsControlByte(rest));
    if (fromPattern)
        FUZZ_CHECK(folder == "m" || folder == "f");
    return 0;
}
