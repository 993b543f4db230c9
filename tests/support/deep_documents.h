#pragma once
// Documents nested to a given depth, as a hostile file would be: property
// lists (XML arrays, XML dictionaries, binary arrays) and JSON. Built as
// bytes, never through a library that would recurse over them.
#include <cstddef>
#include <string>

namespace testing_support {

std::string deepXmlArrays(size_t depth);
std::string deepXmlDicts(size_t depth);
// A chain of arrays, each holding the next; the innermost is empty.
std::string deepBinaryArrays(size_t depth);
// {"name": name, "deep": [[[...]]]}, the arrays nested depth deep.
std::string deepJson(size_t depth, const std::string& name = "Deep");

}  // namespace testing_support
