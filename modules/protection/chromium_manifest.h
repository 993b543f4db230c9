#pragma once
// The manifest of a Chromium-family browser extension, read as the browser
// reads it: JSON that may hold comments, and a name that may be a message key
// ("__MSG_appName__") the browser replaces with the message of the
// extension's default locale.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace ChromiumManifest {

// The "manifest.json" of an extension's version folder when it reads as a JSON
// object ("//" and "/* */" comments allowed); nothing otherwise.
std::optional<nlohmann::json> read(const std::filesystem::path& versionFolder);

// The name the browser shows for a manifest read from versionFolder: its
// "name" with every "__MSG_key__" replaced by that key's message (keys match
// without regard to case) from "_locales/<default_locale>/messages.json". When
// a key has no message there, the name as written. Nothing when "name" is not
// a string.
std::optional<std::string> name(const nlohmann::json& manifest, const std::filesystem::path& versionFolder);

}  // namespace ChromiumManifest
