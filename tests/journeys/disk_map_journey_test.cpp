// The disk map in the real window on a sample home: measured on request off
// the window's thread, walked down into a folder and back by the breadcrumb.
#include <gtest/gtest.h>

#include "support/window/journey.h"

using DiskMapJourney = JourneyTest;

TEST_F(DiskMapJourney, MeasureTheHomeOpenAFolderAndComeBack) {
    start();
    click("Duruz Ovov");
    ASSERT_TRUE(waitForWidget("Analyse your disk"));
    click("Home Folder");
    ASSERT_TRUE(waitForWidget("Movies"));
    click("Movies");
    ASSERT_TRUE(waitForWidget("Holiday 2023.mov"));
    EXPECT_FALSE(find("Downloads"));
    click(QString::fromStdString(home().filename().string()));
    EXPECT_TRUE(waitForWidget("Downloads"));
    EXPECT_FALSE(find("Holiday 2023.mov"));
}
