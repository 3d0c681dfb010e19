#include "collect/site.h"

namespace {
Text searchPrefix = TextConcat(Text("http://"), Text(VELMORA_SEARCH_HOST),
                               "/result.php?t=0&y=0&m=1&s=0&re=1&d=&p=");
Text profilePrefix = Text(VELMORA_PROFILE_PREFIX);
} // namespace

const Text& SearchAddressPrefix() {
    return searchPrefix;
}
const Text& ProfileAddressPrefix() {
    return profilePrefix;
}

void SetSiteAddressesForTesting(const Text& searchHost, const Text& profile) {
    searchPrefix =
        TextConcat(Text("http://"), searchHost, "/result.php?t=0&y=0&m=1&s=0&re=1&d=&p=");
    profilePrefix = profile;
}
