// Uninstalling the sample home's application in the real window: the
// Uninstaller, the application's row, its leftovers, Uninstall. The bundle and
// its leftovers end up in the sample home's Trash, and nothing else moves.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QListView>
#include <QTest>
#include <filesystem>
#include <set>
#include <string>

#include "app/controls/checkbox.h"
#include "screens/uninstaller_view.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

namespace {

// Every path under the home, relative to it, less the settings the window keeps there.
std::set<std::string> tree(const fs::path& home) {
    std::set<std::string> paths;
    for (auto it = fs::recursive_directory_iterator(home); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = fs::relative(it->path(), home).string();
        if (relative == ".config" || relative.rfind(".config/", 0) == 0) continue;
        paths.insert(relative);
    }
    return paths;
}

// The paths at or below one of the items.
std::set<std::string> below(const std::set<std::string>& paths, const std::vector<std::string>& items) {
    std::set<std::string> out;
    for (const auto& p : paths)
        for (const auto& item : items)
            if (p == item || p.rfind(item + "/", 0) == 0) out.insert(p);
    return out;
}

// Where those paths lie once their items are in the Trash.
std::set<std::string> inTrash(const std::set<std::string>& paths, const std::vector<std::string>& items) {
    std::set<std::string> out;
    for (const auto& p : paths)
        for (const auto& item : items)
            if (p == item || p.rfind(item + "/", 0) == 0)
                out.insert(".Trash/" + fs::path(item).filename().string() + p.substr(item.size()));
    return out;
}

class UninstallerJourney : public JourneyTest {};

TEST_F(UninstallerJourney, UninstallingTheSampleApplicationTrashesItAndItsLeftoversOnly) {
    start();
    const std::set<std::string> before = tree(home());
    const std::vector<std::string> moved = {
        "Applications/Sample Notes.app",
        "Library/Application Support/com.example.notes",
        "Library/Preferences/com.example.notes.plist",
        "Library/Saved Application State/com.example.notes.savedState",
    };
    for (const auto& item : moved) ASSERT_TRUE(before.count(item)) << item;

    click("Uninstaller");
    ASSERT_TRUE(waitForWidget("Installed applications"));
    auto* list = qobject_cast<QListView*>(find("Installed applications"));
    ASSERT_TRUE(list);
    auto* model = qobject_cast<AppListModel*>(list->model());
    ASSERT_TRUE(model);
    ASSERT_TRUE(waitFor([&] { return model->row(home().string() + "/Applications/Sample Notes.app") >= 0; }));

    // The application's row, clicked where it is drawn.
    const int row = model->row(home().string() + "/Applications/Sample Notes.app");
    const QRect rect = list->visualRect(model->index(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_TRUE(waitForWidget("Application leftovers"));
    UninstallerView* screen = nullptr;
    for (QWidget* w = list; w && !screen; w = w->parentWidget()) screen = qobject_cast<UninstallerView*>(w);
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitFor([&] { return screen->leftoversContent() == "list"; }));
    // The three support files are listed, each ticked.
    std::set<QString> ticked;
    for (Checkbox* box : screen->leftoverBoxes())
        if (box->isVisible() && box->isOn()) ticked.insert(box->label().section(QStringLiteral(", "), 0, 0));
    EXPECT_EQ(ticked, (std::set<QString>{"com.example.notes", "com.example.notes.plist", "com.example.notes.savedState"}));

    click("Uninstall");
    ASSERT_TRUE(waitForWidget("Uninstalled Sample Notes"));
    ASSERT_TRUE(waitFor([&] { return find("Pick an app") != nullptr; }));

    // On disk: exactly the bundle and its three leftovers moved, into the Trash.
    const std::set<std::string> after = tree(home());
    std::set<std::string> gone, added;
    for (const auto& p : before)
        if (!after.count(p)) gone.insert(p);
    for (const auto& p : after)
        if (!before.count(p)) added.insert(p);
    EXPECT_EQ(gone, below(before, moved));
    EXPECT_EQ(added, inTrash(before, moved));
    for (const char* kept : {".Trash/old-draft.txt", "Library/Preferences/com.gone.tool.plist", "Documents/letter.txt"})
        EXPECT_TRUE(after.count(kept)) << kept;
}

}  // namespace
