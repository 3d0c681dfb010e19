#pragma once
// Opening a web address in the user's browser: xdg-open, then $BROWSER, then x-www-browser,
// each started directly with the address as its one argument (never through a shell).

#include <functional>
#include <string>
#include <string_view>

// Receives whether a browser took the address.
using OpenDone = std::function<void(bool opened)>;

// Returns at once; `done` runs later on a thread of its own, once a browser program has
// exited (status 0: opened) or every candidate has failed. The address is GBK text; the
// browser gets it in UTF-8.
void OpenWebAddress(std::string_view gbkAddress, OpenDone done);

// Test seam: replaces the browser programs with `opener`, which gets the UTF-8 address. An empty
// function puts the browser programs back. Set it on the thread that opens addresses.
using WebAddressOpener = std::function<void(const std::string& utf8Address, OpenDone done)>;
void SetWebAddressOpener(WebAddressOpener opener);
