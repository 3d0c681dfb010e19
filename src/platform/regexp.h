#pragma once
// The process-wide regular-expression object and the objects its Execute gives, reached through
// late-bound calls by member. Every call on an empty reference, on an object that lacks the
// member, with an index out of range, or that fails gives the empty result: no effect, 0, an
// empty reference or an empty string. Texts cross this seam in GBK; matching works on the
// characters they stand for.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class AutomationObject {
  public:
    virtual ~AutomationObject() = default;
};
using ObjectRef = std::shared_ptr<AutomationObject>; // empty = the empty object reference

// Fills `slot` with a new regular-expression object when `name` is the class name
// "VBScript.RegExp" (in any letter case); false and `slot` unchanged for any other name, a class
// identifier in braces included, or while creation is made to fail for testing.
bool CreateAutomationObject(ObjectRef& slot, std::string_view name);
void FailAutomationCreationForTesting(bool fail);

// The settings take effect at the next Execute, which compiles the pattern only when the pattern
// or the letter-case setting differs from the last one compiled.
void RegExpPutPattern(const ObjectRef& regex, std::string_view gbkPattern);
void RegExpPutGlobal(const ObjectRef& regex, bool value);
void RegExpPutIgnoreCase(const ObjectRef& regex, bool value);

// The match collection: every match left to right, not overlapping, when Global is set, else the
// first one. An invalid pattern gives the empty reference. A search that exceeds the engine's
// limits, or a process that is ending, ends the collection with the matches found so far.
ObjectRef RegExpExecute(const ObjectRef& regex, std::string_view gbkSubject);
double ObjectCount(const ObjectRef& collection); // of a match or sub-match collection
ObjectRef MatchesItem(const ObjectRef& matches, double index);
ObjectRef MatchSubMatches(const ObjectRef& match);
// The text of capture group index + 1 in GBK; empty when the group took no part in the match.
std::string SubMatchesItem(const ObjectRef& subMatches, int32_t index);

// How many times this object has compiled a pattern.
int RegExpCompileCountForTesting(const ObjectRef& regex);
