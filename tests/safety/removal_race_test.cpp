// Removal against someone swapping folders for links while it runs: whatever
// the timing, the removal never reaches into the link's target.
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/fs.h"
#include "platform/file_facts.h"
#include "safety/removal_safety.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 300;

// A folder worth a few milliseconds of removal: files at the top and in
// nested folders, the ones the swapper replaces.
void buildTree(const fs::path& top) {
    for (int i = 0; i < 4; ++i) writeFile(top / ("file" + std::to_string(i)), "x");
    for (const char* folder : {"a", "a/b", "c"})
        for (int i = 0; i < 3; ++i) writeFile(top / folder / ("f" + std::to_string(i)), "y");
}

// Swaps each victim for a link to the canary and back, as fast as it can,
// until told to stop, counting the swaps whose link stood while a removal was
// running. Failures are expected: the removal is taking things away.
void swapUntilStopped(const std::vector<fs::path>& victims, const fs::path& canary, std::atomic<bool>& stop,
                      const std::atomic<bool>& removing, std::atomic<int>& landed) {
    size_t turn = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        const fs::path& victim = victims[turn++ % victims.size()];
        const std::string aside = victim.native() + ".aside";
        if (::rename(victim.c_str(), aside.c_str()) == 0) {
            if (::symlink(canary.c_str(), victim.c_str()) == 0 && removing.load()) ++landed;
            std::this_thread::yield();
            ::unlink(victim.c_str());
            ::rename(aside.c_str(), victim.c_str());
        }
    }
}

}  // namespace

class RemovalRace : public RemovalSafety, public testing::WithParamInterface<bool> {};

TEST_P(RemovalRace, FoldersSwappedForLinksMidRemovalLeaveTheCanaryWhole) {
    const bool toTrash = GetParam();
    const fs::path top = home() / "Library/Caches/com.example.raced";
    int removedWhole = 0;
    std::atomic<int> landed{0};
    for (int round = 0; round < kRounds; ++round) {
        buildTree(top);
        // The item itself on some rounds, folders inside it on the others.
        std::vector<fs::path> victims = round % 3 == 0 ? std::vector<fs::path>{top}
                                                       : std::vector<fs::path>{top / "a", top / "a/b", top / "c"};
        std::atomic<bool> stop{false};
        std::atomic<bool> removing{false};
        std::thread swapper(swapUntilStopped, std::cref(victims), std::cref(canary), std::ref(stop),
                            std::cref(removing), std::ref(landed));
        removing = true;
        FS::RemovalOutcome outcome = FS::remove({item(top)}, toTrash);
        removing = false;
        stop = true;
        swapper.join();

        ASSERT_EQ(canaryDamage(), "") << "round " << round;
        if (outcome.failures.empty()) ++removedWhole;
        // Whatever was left (a folder set aside mid-swap, a link) goes before the next round.
        std::vector<ScanItem> leftovers{item(top)};
        for (const auto& v : victims) leftovers.push_back(item(v.native() + ".aside"));
        ASSERT_EQ(FS::remove(leftovers, false).failures.size(), 0u) << "round " << round;
        ASSERT_FALSE(existsItself(top));
    }
    // The race was run, not dodged: swaps landed while removals ran, and
    // rounds still removed the item whole.
    EXPECT_GT(landed.load(), 0);
    EXPECT_GT(removedWhole, 0);
    RecordProperty("swapsDuringRemovals", landed.load());
    EXPECT_EQ(canaryDamage(), "");
}

INSTANTIATE_TEST_SUITE_P(DeleteAndTrash, RemovalRace, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "trash" : "delete"; });
