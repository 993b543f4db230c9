// The hint card: its button opens the Full Disk Access pane unless the screen
// gives it an action of its own.
#include <gtest/gtest.h>

#include <QTest>

#include "app/controls/link_button.h"
#include "app/controls/render.h"
#include "app/controls/theme.h"
#include "screens/permission_hint.h"
#include "support/window/fake_system_services.h"

TEST(PermissionHintTest, TheButtonOpensFullDiskAccessUnlessGivenAnAction) {
    testing_support::FakeSystemServices services;
    PermissionHint plain("Some places were skipped.", "Open Settings", nullptr, Theme::color(Theme::amber),
                         "lock.shield.fill", services);
    plain.resize(600, 40);
    QTest::mouseClick(plain.button(), Qt::LeftButton);
    EXPECT_EQ(services.opened, std::vector<std::string>{SystemLinks::kFullDiskAccess});
    EXPECT_EQ(plain.button()->text(), "Open Settings");

    int scans = 0;
    PermissionHint own("Files naming an application that is no longer installed.", "Scan Now", [&] { ++scans; },
                       Theme::color(Theme::rose), "questionmark.folder", services);
    own.resize(600, 40);
    QTest::mouseClick(own.button(), Qt::LeftButton);
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(services.opened.size(), 1u);

    // The card is the tint, faint, behind the text.
    const QImage image = Render::image(plain, QSize(600, 40));
    const QColor inside = image.pixelColor(image.width() / 2, 4 * int(image.devicePixelRatio()));
    const QColor amber = Theme::color(Theme::amber);
    EXPECT_GT(inside.red(), inside.blue());
    EXPECT_NE(inside, amber);
}
