#pragma once
// The deletion-safety suite. RemovalSafety builds, in a test's home and system
// root, the places no removal may touch (a protected system path, an ignored
// item, an item under an ignored folder, a canary folder reached only through
// symbolic and hard links) and checks afterwards that they were left alone.
//
// A removal road joins the suite by instantiating EveryRoad with its own
// RemovalRoad, in its own file:
//
//   INSTANTIATE_TEST_SUITE_P(Shredder, EveryRoad,
//       testing::Values(RemovalRoad{"shredder", [](const std::vector<ScanItem>& items) { ... }}),
//       roadName);
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/scan_model.h"
#include "support/test_env.h"

class RemovalSafety : public TestEnv {
protected:
    void SetUp() override;

    // A folder outside every removal, holding files with known contents.
    std::filesystem::path canary;
    // A folder under a protected system prefix (/System/Library/Caches as the system sees it).
    std::filesystem::path protectedPath;
    // A folder on the ignore list, and a folder inside another one that is.
    std::filesystem::path ignoredPath;
    std::filesystem::path underIgnored;
    // A folder holding an ignored folder among other things, and folders
    // holding a protected system folder: /usr (which holds /usr/bin), itself
    // the root of a location, and /private/var (which holds /private/var/db),
    // which lies below one.
    std::filesystem::path holdsIgnored;
    std::filesystem::path holdsProtected;
    std::filesystem::path holdsProtectedBelowItsRoot;
    // The protected folder and the ignored one, each named through a link to
    // the folder that holds it (the link itself sits in the user's caches).
    std::filesystem::path protectedThroughLink;
    std::filesystem::path ignoredThroughLink;
    // A symbolic link to the canary folder, in the user's caches.
    std::filesystem::path linkToCanary;
    // A folder holding a file, a link to the canary folder, a link to a canary
    // file and a hard link to another canary file.
    std::filesystem::path folderWithLinks;
    // A plain folder any road may remove.
    std::filesystem::path plain;

    // A scan item for a path, with a recorded size and the object there now.
    static ScanItem item(const std::filesystem::path& path, Safety safety = Safety::safe, int64_t size = 4096);

    // Empty when every canary file is still there with its contents, else what changed.
    std::string canaryDamage() const;

private:
    std::map<std::filesystem::path, std::string> canaryFiles_;
};

// One way the system removes files: it is handed scan items and removes them
// the way it does (for good, to the Trash, as root...). The shared tests then
// look only at the disk. A road that receives the items' safety rating checks
// that it refuses a protected one in its own tests.
//
// Each road calls betweenScanAndRemoval() once after it has what it will
// remove and before it removes anything (a road that scans, after its scan; the
// privileged batch, after the user's side decided and before the root side
// acts), so a test can change the disk exactly there, as someone could in the
// minutes a user leaves between the two.
struct RemovalRoad {
    std::string name;
    std::function<void(const std::vector<ScanItem>& items)> remove;
    // The road overwrites what it removes, so it leaves a folder whole when a
    // file inside has another name elsewhere (the shredder).
    bool refusesSharedFiles = false;
};
inline void PrintTo(const RemovalRoad& road, std::ostream* os) { *os << road.name; }

std::string roadName(const testing::TestParamInfo<RemovalRoad>& info);

// Runs what the current test asked to happen between the scan and the removal.
void betweenScanAndRemoval();

// A privileged backend that runs the script with a plain shell in the given
// folder (the process's own when none), after betweenScanAndRemoval().
void installBatchBackend(const std::filesystem::path& workingFolder = {});

// Whether a folder on the way to the path, below the home folder or the system
// root, is a symbolic link: a path a scan may never report.
bool reachedThroughALink(const std::filesystem::path& path);

class EveryRoad : public RemovalSafety, public testing::WithParamInterface<RemovalRoad> {
protected:
    void TearDown() override;
    void removeAll(const std::vector<ScanItem>& items, std::function<void()> between = {});
};
