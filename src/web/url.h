#pragma once
// Cutting an HTTP address into the host, port and object name that a connection needs. Only
// "http://" is recognised as a scheme, in any letter case; every input gives a value.

#include <cstdint>

#include "values/text.h"

// The host in lower case, without scheme, port and path.
Text UrlHost(const Text& address);
// The port after the host's colon, 80 when there is none; a port text that is not a number
// gives 0.
int32_t UrlPort(const Text& address);
// From the first "/" after the host to the end, query included; "/" when there is none.
Text UrlPath(const Text& address);
