#pragma once
// The parsed command line that every verb reads. Flags may stand anywhere, the
// first plain word is the command word; unknown flags, flags missing their
// value and unknown module names are collected for the dispatcher to report.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/module_id.h"

struct CLIOptions {
    std::optional<std::string> command;
    bool json = false;
    bool quiet = false;
    bool apply = false;
    bool includeReview = false;
    bool allowAdmin = false;
    bool deep = false;
    bool install = false;
    int64_t hour = 3;
    std::vector<ModuleID> modules;
    std::vector<std::string> invalidModuleNames;
    std::vector<std::string> unknownFlags;
    std::vector<std::string> missingValues;  // flags given last, without the value they take
    std::vector<std::string> positional;
    std::optional<std::string> guiModule;
    bool helpRequested = false;

    // Parses the arguments that follow the executable path. Never fails.
    static CLIOptions parse(const std::vector<std::string>& arguments);

    struct ModuleList {
        std::vector<ModuleID> modules;
        std::vector<std::string> invalid;
    };
    // The value of --modules: comma-separated names, trimmed, any letter case.
    static ModuleList parseModules(std::string_view list);
};
