#pragma once
// Turns the member block of one result page into list rows and stored photos.

#include "collect/main_controls.h"
#include "platform/regexp.h"
#include "values/text.h"

// One member entry: its profile link, the onclick uid, sex, photo address and nickname.
extern const char MemberEntryPattern[];

// For every entry of the block, in page order: a row with identifier, nickname, sex and photo
// address, the running count in the label, then the photo downloaded into the store.
void ParseMemberBlock(MainControls& window, const ObjectRef& regex, const Text& block);

// The identifier in a profile link: from its 28th byte up to the byte before its first "?".
Text MemberIdFromLink(const Text& link);
