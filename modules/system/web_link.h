#pragma once
// Web addresses taken from outside input (update feeds, Info.plist values).
// Only absolute http and https addresses with a host are ever kept, so a link
// the window or the command line shows can never run a script or open a file.
#include <optional>
#include <string>
#include <string_view>

namespace WebLink {

// The text itself when it is an absolute http or https address with a host
// ("scheme://host..."), written only with characters an address may hold;
// nothing otherwise. The scheme may be written in any case.
std::optional<std::string> parse(std::string_view text);

// The host of an address parse() accepted, without the brackets of an IPv6
// literal; empty for anything else.
std::string host(std::string_view address);

// The last component of the address's path, percent-decoded ("Foo 2.dmg" for
// ".../Foo%202.dmg"); a trailing slash is passed over, and the path "/" gives
// "/". Empty when the address cannot be read.
std::string lastPathComponent(std::string_view address);

}  // namespace WebLink
