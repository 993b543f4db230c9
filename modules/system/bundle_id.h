#pragma once
// Tests on bundle identifiers that decide what belongs to an application.
#include <string_view>

namespace BundleID {

// Whether the identifier names one application narrowly enough to find its
// files and jobs by it: at least two non-blank dot-separated parts ("io.go",
// "com.example.notes", or the "Foo.app" a bundle without an identifier falls
// back to). An empty identifier or a single word such as "com" would match
// every file or job that merely contains it.
bool isSpecific(std::string_view identifier);

}  // namespace BundleID
