#include "platform/temporary_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/remove_tree.h"

std::unique_ptr<TemporaryFolder> TemporaryFolder::make(std::string_view prefix, std::string* error) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        if (error) *error = ec.message();
        return nullptr;
    }
    std::string name = (base / (std::string(prefix) + "XXXXXX")).native();
    if (!::mkdtemp(name.data())) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<TemporaryFolder>(new TemporaryFolder(name));
}

TemporaryFolder::~TemporaryFolder() { RemoveTree::remove(path_, nullptr); }
