#pragma once
// The site's fixed addresses, set at build time; tests point a run at a fixture site.

#include "values/text.h"

// "http://" + search host + "/result.php?...&p=": the page number is appended.
const Text& SearchAddressPrefix();
// The 27 bytes in front of a member identifier in a profile address.
const Text& ProfileAddressPrefix();

// Replaces both for the rest of the process; `searchHost` is host and optional port.
void SetSiteAddressesForTesting(const Text& searchHost, const Text& profilePrefix);
