#pragma once
// How deeply a document from outside nests, found without recursion before
// any parser that recurses sees it. The property-list library recurses once
// per level while it parses and again while it frees, so a file of a few
// megabytes nested hundreds of thousands deep would overflow the thread's
// stack; such a file is read as unreadable instead. Each check walks the bytes
// once, in memory bounded by the cap, and stops at the first level past it.
#include <cstddef>
#include <string_view>

namespace Nesting {

// Far deeper than any real property list or JSON document, shallow enough
// for the recursive readers on a small worker stack (512 KB on macOS).
constexpr size_t kMaxDepth = 256;

// Whether the JSON text's arrays and objects nest at most maxDepth deep.
// Brackets inside strings and comments do not count.
bool jsonWithin(std::string_view text, size_t maxDepth = kMaxDepth);

// Whether the property list nests at most maxDepth deep: a binary one
// ("bplist00") counted by its arrays, sets and dictionaries, anything else
// read as XML and counted by its elements (with two levels more for the
// plist element and a leaf). A binary list that is malformed, whose objects
// form a cycle or whose shared objects would expand past a few million
// values, and an XML one whose tags do not match, fail as well.
bool plistWithin(std::string_view bytes, size_t maxDepth = kMaxDepth);

}  // namespace Nesting
