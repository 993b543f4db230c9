#pragma once
// Whole-file reads with a size cap, for the small files of other programs the
// system reads (preferences, manifests, property lists, rule files).
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace FileText {

// The file's bytes; nothing when it cannot be opened or is larger than maxBytes.
std::optional<std::string> read(const std::filesystem::path& path, size_t maxBytes = 16 * 1024 * 1024);

}  // namespace FileText
