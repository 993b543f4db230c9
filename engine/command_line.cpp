#include "engine/command_line.h"

namespace CommandLine {
namespace {
std::vector<std::string>& stored() {
    static std::vector<std::string> args;
    return args;
}
}  // namespace

void setArguments(int argc, const char* const* argv) {
    auto& args = stored();
    args.clear();
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
}

const std::vector<std::string>& arguments() { return stored(); }

std::optional<std::string> value(std::string_view flag) { return value(arguments(), flag); }

std::optional<std::string> value(const std::vector<std::string>& args, std::string_view flag) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == flag) {
            if (i + 1 < args.size()) return args[i + 1];
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool contains(const std::vector<std::string>& args, std::string_view flag) {
    for (const auto& a : args)
        if (a == flag) return true;
    return false;
}

}  // namespace CommandLine
