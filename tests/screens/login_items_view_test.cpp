// The startup items screen against the real engine: launch agents and
// daemons in the temporary home and root, the launchd tool and the login
// item dump answered by the recording runner, removals to the temporary
// Trash.
#include <gtest/gtest.h>

#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/pill.h"
#include "app/controls/text_label.h"
#include "app/controls/toggle_switch.h"
#include "engine/ignores.h"
#include "platform/plist.h"
#include "platform/user.h"
#include "screens/login_items_view.h"
#include "screens/permission_hint.h"
#include "support/recording_runner.h"
#include "support/window/shell_test.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace testing_support;
using Scope = LoginEntry::Scope;
namespace fs = std::filesystem;

namespace {

std::string plistText(const std::string& label, const std::optional<std::string>& program = std::nullopt) {
    std::map<std::string, Plist::Value> entries{{"Label", Plist::Value::makeString(label)}};
    if (program) entries["Program"] = Plist::Value::makeString(*program);
    return Plist::toXml(Plist::Value::makeDict(std::move(entries)));
}

const char* kDump =
    "========================\n"
    " Records for UID 501 : 6C0F4E9A-0000-0000-0000-000000000501\n"
    "========================\n"
    " #1:\n"
    "                 UUID: 1C5E-AAAA\n"
    "                 Name: Zebra Notes\n"
    "                 Type: app (0x2)\n"
    "          Disposition: [enabled, allowed, visible, notified] (0xb)\n"
    "                  URL: file:///Applications/Zebra%20Notes.app/\n";

template <class T>
std::vector<T*> visible(QWidget& root) {
    std::vector<T*> found;
    for (T* w : root.findChildren<T*>())
        if (w->isVisibleTo(&root)) found.push_back(w);
    return found;
}

}  // namespace

class LoginItemsViewTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        User::setUidForTesting(501);
        runner.emplace();  // after the fixture's reset of every override
        context = std::make_unique<ScreenContext>(ScreenContext{state(), services, {}, {}, {}});
    }
    void TearDown() override {
        view.reset();
        ShellTest::TearDown();
    }

    std::string launchctl() const { return systemTool("/bin/launchctl"); }

    // Three user agents (one running a program in the home, one whose program
    // is gone, one without a program), a system agent, a system daemon and a
    // login item; the sync agent and the daemon are loaded, the helper is
    // loaded but disabled.
    void populate() {
        writeFile(home() / "Applications/Sync.app/Contents/MacOS/sync", "#!/bin/sh\n");
        writeFile(home() / "Library/LaunchAgents/com.example.sync.plist",
                  plistText("com.example.sync", (home() / "Applications/Sync.app/Contents/MacOS/sync").string()));
        writeFile(home() / "Library/LaunchAgents/com.gone.helper.plist",
                  plistText("com.gone.helper", "/opt/gone/helper"));
        writeFile(home() / "Library/LaunchAgents/com.example.plain.plist", plistText("com.example.plain"));
        writeFile(sys("/Library/LaunchAgents/com.vendor.agent.plist"), plistText("com.vendor.agent"));
        writeFile(sys("/Library/LaunchDaemons/com.vendor.daemon.plist"), plistText("com.vendor.daemon"));
        runner->answer(launchctl() + " list", true,
                      "PID\tStatus\tLabel\n-\t0\tcom.example.sync\n12\t0\tcom.vendor.daemon\n-\t0\tcom.gone.helper\n");
        runner->answer(launchctl() + " print-disabled", true,
                      "disabled services = {\n\t\"com.gone.helper\" => disabled\n}\n");
        runner->answer(systemTool("/usr/bin/sfltool") + " dumpbtm", true, kDump);
    }

    LoginItemsView& open() {
        view = std::make_unique<LoginItemsView>(*context);
        view->resize(1000, 900);
        view->show();
        return *view;
    }

    LoginItemRow* row(const std::string& name) {
        for (auto* r : view->findChildren<LoginItemRow*>())
            if (r->entry().name == name) return r;
        ADD_FAILURE() << "no row " << name;
        return nullptr;
    }

    std::vector<QString> headings() {
        std::vector<QString> texts;
        for (auto* label : visible<TextLabel>(*view))
            if (label->objectName() == "heading") texts.push_back(label->text());
        return texts;
    }

    bool headerButtonsShown() {
        for (auto* b : view->findChildren<SecondaryButton*>())
            if (b->text() == "Refresh") return b->isVisibleTo(view.get());
        return false;
    }

    std::optional<RecordingRunner> runner;
    std::unique_ptr<ScreenContext> context;
    std::unique_ptr<LoginItemsView> view;
};

TEST_F(LoginItemsViewTest, WithNothingToListTheEmptyStateOffersToLookAgain) {
    open();
    // The first appearance loads; while it runs only the spinner is in the header.
    EXPECT_TRUE(state().isScanning(ModuleID::loginItems));
    EXPECT_FALSE(headerButtonsShown());
    auto* empty = view->findChild<EmptyStateView*>();
    ASSERT_TRUE(empty && empty->isVisibleTo(view.get()));
    executor->settle();
    EXPECT_TRUE(headerButtonsShown());
    EXPECT_TRUE(empty->isVisibleTo(view.get()));
    EXPECT_EQ(empty->findChild<TextLabel*>("title")->text(), "Nothing starts automatically");

    // Scan now reads the entries again and finds the agent written meanwhile.
    populate();
    QTest::mouseClick(empty->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(state().isScanning(ModuleID::loginItems));
    executor->settle();
    EXPECT_FALSE(empty->isVisibleTo(view.get()));
    EXPECT_EQ(view->findChildren<LoginItemRow*>().size(), 6u);
}

TEST_F(LoginItemsViewTest, EntriesAreGroupedByKindWithTheirStateAndWhatTheyRun) {
    populate();
    open();
    executor->settle();
    EXPECT_EQ(headings(), (std::vector<QString>{"Open at Login \u00b7 1 item", "Your Launch Agents \u00b7 3 items",
                                                 "System Launch Agents \u00b7 1 item",
                                                 "System Launch Daemons \u00b7 1 item"}));

    struct Case {
        std::string name;
        bool admin;
        QString status;
        std::optional<bool> switchOn;  // none: no switch (a login item)
        QString program;               // "" when no line is shown
    } cases[] = {
        {"Zebra Notes", false, "enabled", std::nullopt, "Program is missing"},
        {"com.example.sync", false, "loaded", true, "~/Applications/Sync.app/Contents/MacOS/sync"},
        {"com.gone.helper", false, "disabled", false, "Program is missing"},  // loaded, but disabled
        {"com.example.plain", false, "idle", false, ""},
        {"com.vendor.agent", true, "idle", false, ""},
        {"com.vendor.daemon", true, "loaded", true, ""},
    };
    for (const auto& c : cases) {
        LoginItemRow* r = row(c.name);
        ASSERT_TRUE(r);
        std::vector<QString> pills;
        for (auto* pill : r->findChildren<Pill*>()) pills.push_back(pill->text());
        const std::vector<QString> expected =
            c.admin ? std::vector<QString>{"admin", c.status} : std::vector<QString>{c.status};
        EXPECT_EQ(pills, expected) << c.name;
        ASSERT_EQ(r->toggle() != nullptr, c.switchOn.has_value()) << c.name;
        if (c.switchOn) {
            EXPECT_EQ(r->toggle()->isChecked(), *c.switchOn) << c.name;
            EXPECT_EQ(r->removeButton()->accessibleName(),
                      QString::fromStdString("Remove " + c.name + " from startup items"));
        } else {
            EXPECT_EQ(r->removeButton(), nullptr);
        }
        auto* program = r->findChild<TextLabel*>("program");
        EXPECT_EQ(program ? program->text() : QString(), c.program) << c.name;
    }

    // The three ways to System Settings: the hint's goes to Full Disk Access,
    // the header's and a login item's to Login Items.
    QTest::mouseClick(view->findChild<PermissionHint*>()->button(), Qt::LeftButton);
    for (auto* b : view->findChildren<SecondaryButton*>())
        if (b->text() == "System Settings") QTest::mouseClick(b, Qt::LeftButton);
    QTest::mouseClick(row("Zebra Notes")->findChild<LinkButton*>(), Qt::LeftButton);
    EXPECT_EQ(services.opened, (std::vector<std::string>{SystemLinks::kFullDiskAccess, SystemLinks::kLoginItems,
                                                         SystemLinks::kLoginItems}));
    EXPECT_FALSE(state().isScanning(ModuleID::loginItems));  // opening a pane reads nothing
}

TEST_F(LoginItemsViewTest, SwitchingAndRemovingRunOffTheWindowThenSayHowItWentAndReadAgain) {
    populate();
    open();
    executor->settle();

    // Switching the sync agent off: nothing runs until the background work does.
    const size_t before = runner->commands().size();
    row("com.example.sync")->toggle()->click();
    EXPECT_EQ(runner->commands().size(), before);
    EXPECT_TRUE(row("com.example.sync")->toggle()->isChecked());  // shows the entry as last read
    EXPECT_FALSE(row("com.example.sync")->toggle()->isEnabled());
    executor->runWork();
    EXPECT_EQ(std::vector<std::string>(runner->commands().begin() + long(before), runner->commands().end()),
              (std::vector<std::string>{launchctl() + " bootout 'gui/501/com.example.sync'",
                                        launchctl() + " disable 'gui/501/com.example.sync'"}));
    runner->answer(launchctl() + " print-disabled", true, "\t\"com.example.sync\" => disabled\n\t\"com.gone.helper\" => disabled\n");
    runner->answer(launchctl() + " disable", true);
    executor->settle();
    // The launchd tool failed the first time (no answer: a missing tool), so that is what shows.
    ASSERT_TRUE(state().banner());
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_EQ(state().banner()->text.rfind("com.example.sync: ", 0), 0u) << state().banner()->text;
    EXPECT_EQ(row("com.example.sync")->findChildren<Pill*>().back()->text(), "disabled");  // read again
    EXPECT_FALSE(row("com.example.sync")->toggle()->isChecked());
    EXPECT_TRUE(row("com.example.sync")->toggle()->isEnabled());

    // Switching it on again succeeds now that the tool answers.
    runner->answer(launchctl() + " bootstrap", true);
    row("com.example.sync")->toggle()->click();
    executor->settle();
    const std::string bootstrap =
        launchctl() + " bootstrap 'gui/501' '" + (home() / "Library/LaunchAgents/com.example.sync.plist").string() + "'";
    EXPECT_NE(std::find(runner->commands().begin(), runner->commands().end(), bootstrap), runner->commands().end());
    EXPECT_EQ(state().banner()->text, "Loaded com.example.sync");
    EXPECT_FALSE(state().banner()->isError);

    // Removing a user agent moves its property list to the Trash, at once, without asking.
    QTest::mouseClick(row("com.example.plain")->removeButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_TRUE(services.confirmations.empty());
    EXPECT_FALSE(fs::exists(home() / "Library/LaunchAgents/com.example.plain.plist"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.example.plain.plist"));
    EXPECT_EQ(state().banner()->text, "Moved com.example.plain to the Trash");
    EXPECT_EQ(headings()[1], "Your Launch Agents \u00b7 2 items");

    // One the ignore list holds stays, and the error names it.
    const fs::path helper = home() / "Library/LaunchAgents/com.gone.helper.plist";
    ASSERT_EQ(Ignores::add(helper.string()), Ignores::Edit::changed);
    QTest::mouseClick(row("com.gone.helper")->removeButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_TRUE(fs::exists(helper));
    EXPECT_EQ(state().banner()->text, "com.gone.helper: On the ignore list");
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_NE(row("com.gone.helper"), nullptr);
}

TEST_F(LoginItemsViewTest, ANameOrProgramHoldingALineFeedIsShownEscapedOnOneLine) {
    LoginEntry entry;
    entry.id = "loginItem:x";
    entry.name = "Two\nLines";
    entry.scope = Scope::loginItem;
    entry.program = "/Applications/Ze2\nbNrotes.app";
    entry.programExists = true;
    LoginItemRow row(state(), services, entry);
    EXPECT_EQ(row.findChild<TextLabel*>("name")->text(), "Two%0ALines");
    EXPECT_EQ(row.findChild<TextLabel*>("program")->text(), "/Applications/Ze2%0AbNrotes.app");
    // What the row acts on is still the entry exactly as read.
    EXPECT_EQ(row.entry().program, entry.program);
}
