// Startup items in the real window on a sample home: an agent left behind by
// an application that is gone is removed to the Trash, and only that one.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/window/journey.h"

namespace fs = std::filesystem;

using LoginItemsJourney = JourneyTest;

TEST_F(LoginItemsJourney, RemovingAnAgentWhoseProgramIsGoneMovesItsPlistToTheTrash) {
    const fs::path agents = home() / "Library/LaunchAgents";
    ASSERT_TRUE(fs::exists(agents / "com.gone.tool.agent.plist"));
    start();
    click("Login Items");
    ASSERT_TRUE(waitForWidget("Program is missing"));
    click("Remove com.gone.tool.agent from startup items");
    ASSERT_TRUE(waitForWidget("Moved com.gone.tool.agent to the Trash"));
    EXPECT_FALSE(fs::exists(agents / "com.gone.tool.agent.plist"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.gone.tool.agent.plist"));
    EXPECT_TRUE(fs::exists(agents / "com.example.backup.plist"));
    // The list is read again: the row has gone, the other stays.
    EXPECT_TRUE(waitFor([] { return !find("Remove com.gone.tool.agent from startup items"); }));
    EXPECT_TRUE(find("Remove com.example.backup from startup items"));
}
