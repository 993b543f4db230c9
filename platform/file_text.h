#pragma once
// The one way the system reads a file from disk: property lists, JSON, rule
// files, manifests, executable headers, the mount table and its own files. A
// file is opened without blocking (a FIFO or a device where a file is expected
// never hangs a scan), must be a regular file, and is read only up to a cap. The
// program's own files (the ignore list, the history, its rule file and its
// daily job) are also never read through a symbolic link in their place.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/file_handle.h"

namespace FileText {

constexpr size_t kDefaultMaxBytes = 16 * 1024 * 1024;

// Whose file it is: another program's, or one of this program's own.
enum class Owner { other, own };

// The regular file at path, opened for reading without blocking; an invalid
// handle otherwise, with the errno value in error (EINVAL: not a regular file).
FileHandle openRegular(const std::filesystem::path& path, Owner owner = Owner::other, int* error = nullptr);

// The file's bytes; nothing when it cannot be opened, is no regular file, or
// holds more than maxBytes (EFBIG), with the errno value in error.
std::optional<std::string> read(const std::filesystem::path& path, size_t maxBytes = kDefaultMaxBytes,
                                int* error = nullptr);

// The same for one of the program's own files: a link in its place is not read (ELOOP).
std::optional<std::string> readOwn(const std::filesystem::path& path, size_t maxBytes = kDefaultMaxBytes,
                                   int* error = nullptr);

}  // namespace FileText
