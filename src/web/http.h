#pragma once
// The program's one HTTP client routine, in two twins that differ only in the type of the body
// they give. Each call opens its own session, sends one GET or POST with the default request
// headers, reads the whole body whatever the status, and closes everything before it returns.
// A request that cannot be made gives the empty result; no failure is reported.
//
// The optional arguments are pointers to the caller's variables; nullptr omits one. Only proxy
// and responseHeaders behave differently when omitted; an omitted method, headers or data acts
// as the empty Text.
//   method:          set to "GET" unless it is "POST" in any letter case, which is sent as is.
//   proxy:           given, the request goes through the proxy for http addresses ("http="
//                    followed by it); an empty proxy names none, and the request goes direct.
//   headers:         extra request lines, each ending in CRLF; the default lines and, for a
//                    POST with data, the content lines are appended to the caller's variable.
//   data:            the body of a POST; a GET sends none.
//   responseHeaders: receives the raw status and header lines of the final response.

#include "values/bytes.h"
#include "values/text.h"

// The body up to its first zero byte.
Text HttpRequestText(const Text& address, Text* method = nullptr, const Text* proxy = nullptr,
                     Text* headers = nullptr, const Text* data = nullptr,
                     Text* responseHeaders = nullptr);
// The whole body.
Bytes HttpRequestBytes(const Text& address, Text* method = nullptr, const Text* proxy = nullptr,
                       Text* headers = nullptr, const Text* data = nullptr,
                       Text* responseHeaders = nullptr);
