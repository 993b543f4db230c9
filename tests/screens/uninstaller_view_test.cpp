// The uninstaller screen over fixture applications in a temporary
// /Applications: the search, the list and its choice, the details with the
// leftovers (Spotlight's hits searched with the state's sensitivity), the two
// modes, and Uninstall, which moves the bundle and the ticked leftovers to the
// Trash and nothing else.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <filesystem>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/pill.h"
#include "app/controls/segmented_control.h"
#include "app/controls/text_label.h"
#include "engine/admin.h"
#include "modules/system/spotlight_search.h"
#include "screens/orphans_pane.h"
#include "screens/permission_hint.h"
#include "screens/uninstaller_view.h"
#include "support/app_bundle.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "screen_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kMB = 1'000'000;

InstalledApp app(std::string name, std::string bundleID) {
    InstalledApp a;
    a.id = "/Applications/" + name + ".app";
    a.name = std::move(name);
    a.url = a.id;
    a.bundleID = std::move(bundleID);
    return a;
}

TEST(UninstallerSearch, MatchesNameOrIdentifierIgnoringCaseInListOrder) {
    const std::vector<InstalledApp> apps = {app("Editor", "com.example.editor"), app("Sample Notes", "com.example.notes"),
                                            app("NOTEPAD", "org.pad.note"), app("Zip", "com.zip.archiver")};
    struct Case {
        std::string query;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"", {"Editor", "Sample Notes", "NOTEPAD", "Zip"}},
        {"note", {"Sample Notes", "NOTEPAD"}},         // upper-case names match a lower-case query
        {"example.notes", {"Sample Notes"}},           // a middle part of an identifier
        {"ARCHIVER", {"Zip"}},
        {" ", {"Sample Notes"}},                       // blanks are not trimmed away
        {"nothing", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (const auto& a : UninstallerView::filtered(apps, c.query)) names.push_back(a.name);
        EXPECT_EQ(names, c.names) << "query '" << c.query << "'";
    }
}

class UninstallerViewTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        workspace = installFakeWorkspace();  // no application runs
        runner = std::make_unique<RecordingRunner>();
        writeAppBundle(sys("/Applications/Editor.app"), "com.example.editor", "1.0");
        writeAppBundle(notes(), "com.example.notes", "3.2");
        writeAppBundle(sys("/Applications/Tailnet.app"), "com.tailscale.ipn", "2.0");
        allocateFile(library("Application Support/com.example.notes/notes.db"), 1 * kMB);
        allocateFile(library("Preferences/com.example.notes.plist"), 2 * kMB);
        allocateFile(library("Saved Application State/com.example.notes.savedState/windows.plist"), 3 * kMB);
        allocateFile(library("Caches/com.example.editor/cache.db"), 4096);
    }

    fs::path notes() const { return sys("/Applications/Sample Notes.app"); }
    fs::path library(const std::string& rest) const { return home() / "Library" / rest; }

    std::unique_ptr<UninstallerView> shownView() {
        auto view = std::make_unique<UninstallerView>(context());
        view->resize(1000, 760);
        view->show();
        return view;
    }

    // Clicks the list's row of the application, as the user picks it.
    static void clickRow(UninstallerView& view, const std::string& name) {
        AppListModel* model = view.appModel();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->apps()[size_t(row)].name == name) {
                const QRect rect = view.appList()->visualRect(model->index(row));
                QTest::mouseClick(view.appList()->viewport(), Qt::LeftButton, {}, rect.center());
                return;
            }
        ADD_FAILURE() << "no row " << name;
    }

    std::vector<std::string> listed(const UninstallerView& view) const {
        std::vector<std::string> names;
        for (const auto& a : view.appModel()->apps()) names.push_back(a.name);
        return names;
    }

    std::shared_ptr<FakeWorkspace> workspace;
    std::unique_ptr<RecordingRunner> runner;
};

TEST_F(UninstallerViewTest, TheListLoadsOnceAndAChoiceSurvivesTheSearch) {
    auto view = shownView();
    EXPECT_EQ(view->mode(), 0);
    EXPECT_TRUE(view->query().isEmpty());
    EXPECT_EQ(view->listOverlay(), "loading");
    EXPECT_EQ(view->findChild<TextLabel*>("loadingMessage")->text(), QString::fromUtf8("Reading your Applications\u2026"));
    EXPECT_EQ(view->detailsContent(), "pick");
    executor->settle();
    EXPECT_EQ(view->listOverlay(), "");
    EXPECT_EQ(listed(*view), (std::vector<std::string>{"Editor", "Sample Notes", "Tailnet"}));

    // Coming into view again keeps the list.
    view->hide();
    view->show();
    EXPECT_EQ(executor->queuedWork(), 0u);

    clickRow(*view, "Sample Notes");
    ASSERT_TRUE(state().selectedApp());
    EXPECT_EQ(state().selectedApp()->name, "Sample Notes");

    // Filtered away and back: still chosen, in the state and in the list.
    EXPECT_FALSE(view->clearSearchButton()->isVisibleTo(view.get()));
    QTest::keyClicks(view->searchField(), "EDIT");
    EXPECT_EQ(listed(*view), std::vector<std::string>{"Editor"});
    ASSERT_TRUE(view->clearSearchButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->clearSearchButton()->accessibleName(), "Clear search");
    EXPECT_EQ(state().selectedApp()->name, "Sample Notes");
    QTest::mouseClick(view->clearSearchButton(), Qt::LeftButton);
    EXPECT_TRUE(view->query().isEmpty());
    EXPECT_EQ(listed(*view).size(), 3u);
    ASSERT_TRUE(state().selectedApp());
    EXPECT_EQ(state().selectedApp()->name, "Sample Notes");
    const QModelIndexList chosen = view->appList()->selectionModel()->selectedRows();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0].row(), 1);

    // No applications at all: the empty state, whose Reload reads them again.
    fs::remove_all(sys("/Applications"));
    state().reloadApps();
    executor->settle();
    EXPECT_EQ(view->listOverlay(), "empty");
    writeAppBundle(sys("/Applications/Zip.app"), "com.zip.archiver", "1.0");
    auto* empty = view->findChild<EmptyStateView*>();
    for (auto* e : view->findChildren<EmptyStateView*>())
        if (e->findChild<TextLabel*>("title")->text() == "No applications found") empty = e;
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->actionButton()->text(), "Reload");
    QTest::mouseClick(empty->actionButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(listed(*view), std::vector<std::string>{"Zip"});
}

TEST_F(UninstallerViewTest, DetailsShowTheLeftoversFoundWithTheStatesSpotlightSensitivity) {
    const fs::path hit = home() / "Documents/Notes Export/notes.sqlite";
    allocateFile(hit, 512 * 1024);
    // Spotlight knows the file by the deep query of the name and identifier only.
    const auto query = SpotlightSearch::predicate("Sample Notes", "com.example.notes", SpotlightSearch::Sensitivity::deep);
    ASSERT_TRUE(query);
    const std::string mdfind = systemTool("/usr/bin/mdfind") + " " + Admin::quote(*query);
    runner->answer(mdfind, true, hit.native() + "\n");
    state().setSpotlightSensitivity(SpotlightSearch::Sensitivity::deep);
    auto view = shownView();
    executor->settle();
    clickRow(*view, "Sample Notes");

    // The search runs: the details show the header and the searching line.
    EXPECT_EQ(view->detailsContent(), "details");
    EXPECT_EQ(view->leftoversContent(), "searching");
    EXPECT_EQ(state().progress().message, "Finding leftovers of Sample Notes\u2026");
    EXPECT_EQ(view->details()->findChild<TextLabel*>("appName")->text(), "Sample Notes");
    EXPECT_EQ(view->details()->findChild<TextLabel*>("bundleID")->text(), "com.example.notes");
    EXPECT_EQ(view->details()->findChild<Pill*>("version")->text(), "v3.2");
    EXPECT_FALSE(view->details()->findChild<TextLabel*>("leftoverCount")->isVisibleTo(view.get()));
    executor->settle();

    bool asked = false;
    for (const auto& command : runner->commands())
        if (command.rfind(mdfind, 0) == 0) asked = true;
    EXPECT_TRUE(asked);

    // Four leftovers, largest first; the Library ones ticked, Spotlight's not.
    ASSERT_EQ(view->leftoversContent(), "list");
    const auto& leftovers = state().leftovers();
    ASSERT_EQ(leftovers.size(), 4u);
    EXPECT_EQ(leftovers[3].url, hit);
    EXPECT_EQ(leftovers[3].origin, "Spotlight");
    EXPECT_FALSE(leftovers[3].isSelected);
    const auto boxes = view->leftoverBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_FALSE(boxes[3]->isOn());
    EXPECT_EQ(boxes[3]->label(), "notes.sqlite, 524 KB");
    int dividers = 0;
    for (auto* d : view->details()->findChildren<Divider*>())
        if (d->isVisibleTo(view.get())) ++dividers;
    EXPECT_EQ(dividers, 3);
    std::vector<QString> places;
    for (auto* place : view->details()->findChildren<TextLabel*>("leftoverPlace")) places.push_back(place->text());
    EXPECT_EQ(places.back(), QString::fromUtf8("Spotlight \u00B7 ~/Documents/Notes Export/notes.sqlite"));
    EXPECT_EQ(view->details()->findChild<TextLabel*>("leftoverCount")->text(),
              QString::fromUtf8("4 found \u00B7 6 MB selected"));

    // A tick writes that leftover alone; with none ticked the count reads 0 KB
    // and Uninstall stays.
    QTest::mouseClick(boxes[3], Qt::LeftButton);
    EXPECT_TRUE(state().leftovers()[3].isSelected);
    EXPECT_EQ(view->details()->findChild<TextLabel*>("leftoverCount")->text(),
              QString::fromUtf8("4 found \u00B7 6.5 MB selected"));
    for (Checkbox* box : view->leftoverBoxes())
        if (box->isOn()) QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(view->details()->findChild<TextLabel*>("leftoverCount")->text(),
              QString::fromUtf8("4 found \u00B7 0 KB selected"));
    EXPECT_TRUE(view->uninstallButton()->isEnabled());

    // Both reveal buttons show the bundle in the file manager.
    QTest::mouseClick(view->details()->findChild<QAbstractButton*>("revealFolder"), Qt::LeftButton);
    for (auto* button : view->details()->findChildren<SecondaryButton*>())
        if (button->text() == "Reveal in Finder") QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(services.revealed, (std::vector<fs::path>{notes(), notes()}));

    // An application without support files says so.
    clickRow(*view, "Tailnet");
    executor->settle();
    EXPECT_EQ(view->leftoversContent(), "none");
    EXPECT_FALSE(view->details()->findChild<TextLabel*>("leftoverCount")->isVisibleTo(view.get()));
}

TEST_F(UninstallerViewTest, ALeftoverOnlyPartlyTheApplicationsIsShownUntickedWithWhy) {
    allocateFile(library("Application Support/Sample Notes Backup/old.db"), 8 * kMB);
    auto view = shownView();
    executor->settle();
    clickRow(*view, "Sample Notes");
    executor->settle();
    ASSERT_EQ(view->leftoversContent(), "list");
    const auto& leftovers = state().leftovers();
    ASSERT_EQ(leftovers.size(), 4u);
    EXPECT_EQ(leftovers[0].url.filename(), "Sample Notes Backup");
    EXPECT_FALSE(leftovers[0].isSelected);
    EXPECT_FALSE(view->leftoverBoxes()[0]->isOn());
    const auto reasons = view->details()->findChildren<TextLabel*>("leftoverReason");
    ASSERT_EQ(reasons.size(), 1);
    EXPECT_EQ(reasons[0]->text(), QString::fromUtf8("Its name only contains \u201CSample Notes\u201D"));
    EXPECT_EQ(view->details()->findChild<TextLabel*>("leftoverCount")->text(),
              QString::fromUtf8("4 found \u00B7 6 MB selected"));
}

TEST_F(UninstallerViewTest, AProtectedApplicationIsMarkedAndWarnedAboutButStillUninstallable) {
    auto view = shownView();
    executor->settle();
    const QModelIndex tailnet = view->appModel()->index(2);
    EXPECT_TRUE(tailnet.data(AppListModel::ProtectedRole).toBool());
    EXPECT_FALSE(view->appModel()->index(1).data(AppListModel::ProtectedRole).toBool());
    clickRow(*view, "Tailnet");
    executor->settle();
    auto* warning = view->details()->findChild<PermissionHint*>();
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->text(),
              QString::fromUtf8("Tailnet looks like a VPN, password manager, input method or cloud client. Removing its "
                                "support files would break it \u2014 review carefully."));
    QTest::mouseClick(warning->button(), Qt::LeftButton);
    EXPECT_EQ(services.opened, std::vector<std::string>{SystemLinks::kFullDiskAccess});
    EXPECT_DOUBLE_EQ(view->uninstallButton()->tint().alphaF(), 0.8f);
    EXPECT_TRUE(view->uninstallButton()->isEnabled());

    clickRow(*view, "Sample Notes");
    executor->settle();
    EXPECT_FALSE(view->details()->findChild<PermissionHint*>());
    EXPECT_DOUBLE_EQ(view->uninstallButton()->tint().alphaF(), 1.0);
}

TEST_F(UninstallerViewTest, UninstallMovesTheBundleAndTheTickedLeftoversToTheTrashAndNothingElse) {
    auto view = shownView();
    executor->settle();
    clickRow(*view, "Sample Notes");
    executor->settle();
    ASSERT_EQ(view->leftoverBoxes().size(), 3u);
    // Keep the preferences: untick them.
    for (Checkbox* box : view->leftoverBoxes())
        if (box->label().startsWith("com.example.notes.plist")) QTest::mouseClick(box, Qt::LeftButton);

    // A second press while the first runs does nothing more.
    QTest::mouseClick(view->uninstallButton(), Qt::LeftButton);
    QTest::mouseClick(view->uninstallButton(), Qt::LeftButton);
    EXPECT_EQ(executor->queuedWork(), 1u);
    executor->settle();

    const fs::path trash = home() / ".Trash";
    EXPECT_FALSE(fs::exists(notes()));
    EXPECT_TRUE(fs::exists(trash / "Sample Notes.app/Contents/Info.plist"));
    EXPECT_TRUE(fs::exists(trash / "com.example.notes/notes.db"));
    EXPECT_TRUE(fs::exists(trash / "com.example.notes.savedState/windows.plist"));
    EXPECT_TRUE(fs::exists(library("Preferences/com.example.notes.plist")));
    EXPECT_FALSE(fs::exists(trash / "com.example.notes.plist"));
    EXPECT_TRUE(fs::exists(sys("/Applications/Editor.app")));
    EXPECT_TRUE(fs::exists(library("Caches/com.example.editor/cache.db")));
    size_t inTrash = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(trash)) ++inTrash;
    EXPECT_EQ(inTrash, 3u);

    // The summary; the application leaves the list and the details go back to "Pick an app".
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Uninstalled Sample Notes");
    EXPECT_EQ(state().lastCleanup()->removedCount, 3);
    EXPECT_TRUE(state().lastCleanup()->failures.empty());
    EXPECT_EQ(listed(*view), (std::vector<std::string>{"Editor", "Tailnet"}));
    EXPECT_FALSE(state().selectedApp());
    EXPECT_EQ(view->detailsContent(), "pick");
    EXPECT_TRUE(view->appList()->selectionModel()->selectedRows().isEmpty());
}

TEST_F(UninstallerViewTest, TheOrphanedFilesModeShowsThePaneAndSwitchingBackKeepsTheChoice) {
    allocateFile(library("Preferences/com.gone.tool.plist"), 4096);
    auto view = shownView();
    executor->settle();
    clickRow(*view, "Editor");
    executor->settle();
    view->setQuery("ed");

    QTest::mouseClick(view->modeControl()->segment(1), Qt::LeftButton);
    EXPECT_EQ(view->mode(), 1);
    ASSERT_TRUE(view->orphansPane());
    EXPECT_TRUE(view->orphansPane()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->appList()->isVisibleTo(view.get()));
    EXPECT_TRUE(state().scanningOrphans());
    executor->settle();
    ASSERT_TRUE(view->orphansPane()->card("orphans-Preferences"));

    QTest::mouseClick(view->modeControl()->segment(0), Qt::LeftButton);
    EXPECT_TRUE(view->appList()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->orphansPane()->isVisibleTo(view.get()));
    EXPECT_EQ(view->query(), "ed");
    ASSERT_TRUE(state().selectedApp());
    EXPECT_EQ(state().selectedApp()->name, "Editor");
    EXPECT_EQ(view->detailsContent(), "details");
}

}  // namespace
