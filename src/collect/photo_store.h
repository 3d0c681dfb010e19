#pragma once
// The photo store: one file per member, RunDirectory/<sex>/<identifier>.jpg.

#include "values/bytes.h"
#include "values/text.h"

// The path of a member's photo. The sex is lower-cased, so "F" and "f" share one directory as
// they would on a case-insensitive file system. A sex or identifier that could lead out of its
// directory (a "/" or "\" in it, or a control byte), a sex of "." or "..", and an empty sex
// name no photo: the result is empty.
Text PhotoStorePath(const Text& sex, const Text& id);

// Writes a downloaded photo. An empty download never replaces a photo already stored; where
// none is stored it leaves the empty file that marks the failed download. False when nothing
// could be written.
bool StorePhoto(const Text& path, const Bytes& data);
