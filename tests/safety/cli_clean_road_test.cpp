// The command line's `clean --apply --include-review` as a removal road. It is
// handed no items: it scans and removes what the scan found. So the road puts
// each offered path where the System Junk catalog looks (old entries of the
// user's and the system's cache folders) and then runs the verb as a user
// would, through the same dispatch the executable uses.
#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "safety/removal_safety.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Older than every age limit of the cache rules.
void makeOld(const fs::path& path) { setTimes(path, Clock::now() - std::chrono::hours(24 * 30)); }

bool isUnder(const fs::path& path, const fs::path& folder) { return path.parent_path() == folder; }

void cleanThroughTheCommandLine(const std::vector<ScanItem>& items) {
    const fs::path userCaches = Locations::home() / "Library/Caches";
    const fs::path systemCaches = Locations::system("/Library/Caches");
    // Paths the scan can only reach through the system cache folder, and
    // which the removal must then refuse.
    std::vector<fs::path> reachedThroughALink;

    for (const auto& item : items) {
        const fs::path& path = item.url;
        // A relative or dotted path names no place a scan could find.
        if (!path.is_absolute() || path.lexically_normal() != path || !existsItself(path)) continue;
        if (isUnder(path, userCaches) || isUnder(path, systemCaches)) {
            makeOld(path);
            continue;
        }
        // Anywhere else (a protected system folder): the system cache folder
        // becomes a link to the item's folder, so the scan lists the item
        // under a name that hides where it really is.
        if (!existsItself(systemCaches)) {
            makeSymlink(path.parent_path(), systemCaches);
            makeOld(path);
            reachedThroughALink.push_back(systemCaches / path.filename());
        }
    }

    Authorization::setToolForTesting(Authorization::Tool::none);
    auto invocation = CLI::invoke({"vessiltane", "clean", "--apply", "--include-review", "--json"});
    ASSERT_TRUE(invocation.has_value());
    const CLIResult& result = invocation->result;
    ASSERT_TRUE(result.json.has_value());
    std::vector<std::string> failures = result.json->at("failures").get<std::vector<std::string>>();
    // The scan did offer what it reached through the link, and the removal
    // refused it, naming why.
    for (const auto& path : reachedThroughALink) {
        bool refused = std::find(failures.begin(), failures.end(), path.native() + ": Protected item") != failures.end();
        EXPECT_TRUE(refused) << path << " was not refused; failures: " << result.json->at("failures");
    }
    EXPECT_EQ(result.exitCode, failures.empty() ? ExitCode::success : ExitCode::partial);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(CommandLine, EveryRoad,
                         testing::Values(RemovalRoad{"cleanApply", cleanThroughTheCommandLine}), roadName);
