// The maintenance screen: task cards with their availability, runs and
// outcomes; running applications sampled on each appearance, quit and force
// quit. No tool of the machine runs: the shell, the administrator prompt and
// the running applications answer from the test.
#include <gtest/gtest.h>

#include <QTest>

#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/link_button.h"
#include "app/controls/pill.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/admin.h"
#include "screens/maintenance_view.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "support/window/shell_test.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace testing_support;

namespace {

Admin::Result result(bool ok, std::string output = {}, bool cancelled = false) {
    Admin::Result r;
    r.ok = ok;
    r.exitStatus = ok ? 0 : 1;
    r.output = std::move(output);
    r.cancelled = cancelled;
    return r;
}

std::vector<QString> pillTexts(QWidget& w) {
    std::vector<QString> texts;
    for (auto* pill : w.findChildren<Pill*>()) texts.push_back(pill->text());
    return texts;
}

}  // namespace

class MaintenanceViewTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        context = std::make_unique<ScreenContext>(ScreenContext{state(), services, {}, {}, {}});
    }
    void TearDown() override {
        view.reset();
        ShellTest::TearDown();
    }

    MaintenanceView& open() {
        view = std::make_unique<MaintenanceView>(*context);
        view->resize(1000, 760);
        view->show();
        return *view;
    }

    TaskCard* card(const std::string& id) {
        for (auto* c : view->findChildren<TaskCard*>())
            if (c->task().id == id && !c->parentWidget()->isHidden()) return c;
        ADD_FAILURE() << "no card " << id;
        return nullptr;
    }

    // The rows of a card of running applications ("unresponsive" or "heavy"): names in order.
    std::vector<QString> rows(const char* cardName) {
        std::vector<QString> names;
        for (auto* c : view->findChildren<QWidget*>(cardName)) {
            if (!c->isVisibleTo(view.get())) continue;
            for (auto* row : c->findChildren<RunningAppRow*>()) names.push_back(row->findChild<TextLabel*>("name")->text());
        }
        return names;
    }

    RunningAppRow* appRow(const char* cardName, const QString& name) {
        for (auto* c : view->findChildren<QWidget*>(cardName))
            if (c->isVisibleTo(view.get()))
                for (auto* row : c->findChildren<RunningAppRow*>())
                    if (row->findChild<TextLabel*>("name")->text() == name) return row;
        ADD_FAILURE() << "no row " << name.toStdString();
        return nullptr;
    }

    std::unique_ptr<ScreenContext> context;
    std::unique_ptr<MaintenanceView> view;
};

TEST_F(MaintenanceViewTest, TaskCardsShowWhetherATaskCanRunAndHowItsRunsEnded) {
    // Present: the Quick Look and DNS tools. Every other task's program is missing here.
    writeFile(sys("/usr/bin/qlmanage"), "");
    writeFile(sys("/usr/bin/dscacheutil"), "");
    auto workspace = installFakeWorkspace();  // no running applications
    std::deque<Admin::Result> answers;
    Admin::setRunnerForTesting([&](const std::string& line, bool) {
        if (line.rfind("LC_ALL=C /bin/ps", 0) == 0 || answers.empty()) return result(false);
        Admin::Result r = answers.front();
        answers.pop_front();
        return r;
    });
    Admin::setPrivilegedBackendForTesting([&](const std::filesystem::path&, const std::optional<std::string>&) {
        return result(false, "", true);
    });
    open();
    executor->settle();

    std::vector<std::string> ids;
    for (auto* c : view->findChildren<TaskCard*>()) ids.push_back(c->task().id);
    EXPECT_EQ(ids.size(), state().tasks().size());

    // Unavailable: its reason and no Run button. Available: Run, amber when it needs an administrator.
    TaskCard* periodic = card("periodic");
    EXPECT_EQ(periodic->findChild<PrimaryButton*>(), nullptr);
    ASSERT_TRUE(periodic->findChild<Pill*>("unavailable"));
    EXPECT_EQ(periodic->findChild<TextLabel*>("reason")->text(),
              QString::fromStdString(*state().tasks().front().unavailable()));
    PrimaryButton* quickRun = card("quicklook")->findChild<PrimaryButton*>();
    ASSERT_TRUE(quickRun);
    EXPECT_EQ(quickRun->text(), "Run");
    EXPECT_EQ(quickRun->tint(), Theme::color(Theme::accent));
    EXPECT_EQ(pillTexts(*card("quicklook")), std::vector<QString>{});
    EXPECT_EQ(card("dns")->findChild<PrimaryButton*>()->tint(), Theme::color(Theme::amber));
    EXPECT_EQ(pillTexts(*card("dns")), std::vector<QString>{"admin"});
    EXPECT_EQ(card("dns")->findChild<QWidget*>("result"), nullptr);  // never run

    // A failed run: the spinner while it runs, then "Failed", its output and an error banner.
    answers.push_back(result(false, "qlmanage: cannot reset\nsecond line"));
    QTest::mouseClick(quickRun, Qt::LeftButton);
    EXPECT_TRUE(card("quicklook")->findChild<BusyIndicator*>());
    EXPECT_EQ(card("quicklook")->findChild<PrimaryButton*>(), nullptr);
    executor->settle();
    TaskCard* failed = card("quicklook");
    EXPECT_EQ(failed->findChild<TextLabel*>("resultText")->text(), "Failed");
    EXPECT_EQ(failed->findChild<TextLabel*>("outcomeText")->text(), "qlmanage: cannot reset\nsecond line");
    EXPECT_EQ(state().banner()->text, "Refresh Quick Look could not complete. qlmanage: cannot reset");
    EXPECT_TRUE(state().banner()->isError);

    // Run again: while it runs the output is gone, the last "Failed" stays; then "Done".
    answers.push_back(result(true, "ignored"));
    failed->findChild<PrimaryButton*>()->click();
    TaskCard* running = card("quicklook");
    EXPECT_EQ(running->findChild<QWidget*>("outcome"), nullptr);
    EXPECT_EQ(running->findChild<TextLabel*>("resultText")->text(), "Failed");
    EXPECT_TRUE(running->findChild<BusyIndicator*>());
    executor->settle();
    EXPECT_EQ(card("quicklook")->findChild<TextLabel*>("resultText")->text(), "Done");
    EXPECT_EQ(card("quicklook")->findChild<TextLabel*>("outcomeText")->text(), "Done.");
    EXPECT_EQ(state().banner()->text, "Refresh Quick Look finished.");

    // The administrator prompt dismissed: nothing changed, and the banner says so.
    card("dns")->findChild<PrimaryButton*>()->click();
    executor->settle();
    EXPECT_EQ(card("dns")->findChild<TextLabel*>("outcomeText")->text(), "Cancelled \u2014 no changes were made.");
    EXPECT_EQ(state().banner()->text, "Flush DNS Cache needs administrator approval to run.");
    EXPECT_FALSE(state().banner()->isError);
}

TEST_F(MaintenanceViewTest, EachAppearanceSamplesTheApplicationsThatNeedAttention) {
    auto workspace = installFakeWorkspace();
    std::string table = "  PID  %CPU      RSS COMM\n";
    for (int32_t pid = 101; pid <= 111; ++pid) {
        Workspace::RunningApplication app;
        app.processIdentifier = pid;
        app.localizedName = "App" + std::to_string(pid);
        workspace->add(app);
        // 101..110 are heavy (2 GB and more, largest first); 111 is light.
        const int64_t kib = pid <= 110 ? (2'200'000 - (pid - 101) * 10'000) : 1024;
        table += "  " + std::to_string(pid) + "  1.0  " + std::to_string(kib) + " a\n";
    }
    RecordingRunner runner;
    runner.answer("LC_ALL=C /bin/ps -Ao pid,pcpu,rss,comm", true, table);
    runner.answer("LC_ALL=C /bin/ps -Ao pid,state,pcpu,rss,comm", true,
                  "  PID STAT  %CPU      RSS COMM\n  102 U      0.0      100 b\n");

    // Opening the screen ends a scan running elsewhere.
    state().scanMail();
    const ScanTokenRef mail = state().token();
    open();
    EXPECT_TRUE(mail->isCancelled());
    EXPECT_EQ(state().activeScan(), ModuleID::optimization);
    EXPECT_EQ(rows("unresponsive"), std::vector<QString>{});
    EXPECT_EQ(rows("heavy"), std::vector<QString>{});
    executor->settle();

    EXPECT_EQ(rows("unresponsive"), std::vector<QString>{"App102"});
    // Eight of the ten heavy consumers, in the list's order; one is also unresponsive.
    EXPECT_EQ(rows("heavy"), (std::vector<QString>{"App101", "App102", "App103", "App104", "App105", "App106",
                                                    "App107", "App108"}));
    EXPECT_EQ(state().heavyConsumers().size(), 10u);
    auto* hung = appRow("unresponsive", "App102")->findChild<SymbolView*>();
    EXPECT_EQ(hung->symbol(), Symbol("exclamationmark.triangle.fill"));
    EXPECT_EQ(hung->color(), Theme::color(Theme::amber));
    auto* heavy = appRow("heavy", "App101")->findChild<SymbolView*>();
    EXPECT_EQ(heavy->symbol(), Symbol("cpu"));
    EXPECT_EQ(heavy->color(), Theme::color(Theme::violet));
    EXPECT_EQ(appRow("heavy", "App101")->findChild<TextLabel*>("detail")->text(), "1% CPU \u00b7 2.25 GB");

    // Quit asks politely; the lists stay until the next sampling.
    FakeClock clock;
    QTest::mouseClick(appRow("heavy", "App103")->quitButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(state().banner()->text, "Quit App103.");
    EXPECT_FALSE(state().banner()->isError);
    EXPECT_EQ(workspace->requests(), std::vector<std::string>{"terminate 103"});
    EXPECT_EQ(rows("heavy").size(), 8u);
    // Force Quit of an application that has already gone.
    QTest::mouseClick(appRow("heavy", "App103")->forceQuitButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(state().banner()->text, "Could not quit App103.");
    EXPECT_TRUE(state().banner()->isError);
    QTest::mouseClick(appRow("heavy", "App104")->forceQuitButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(workspace->requests().back(), "force 104");

    // Leaving and coming back samples again; with nothing needing attention both cards go.
    view->hide();
    runner.answer("LC_ALL=C /bin/ps -Ao pid,pcpu,rss,comm", true, "  PID  %CPU      RSS COMM\n");
    runner.answer("LC_ALL=C /bin/ps -Ao pid,state,pcpu,rss,comm", true, "  PID STAT  %CPU      RSS COMM\n");
    view->show();
    EXPECT_EQ(state().activeScan(), ModuleID::optimization);
    executor->settle();
    EXPECT_EQ(rows("unresponsive"), std::vector<QString>{});
    EXPECT_EQ(rows("heavy"), std::vector<QString>{});
    EXPECT_EQ(view->findChildren<TaskCard*>().size(), state().tasks().size());
}

TEST(RunningAppRowTest, TheDetailLineRoundsTheProcessorShareAndWritesTheMemoryAsTheSizeText) {
    struct Case {
        double cpu;
        int64_t memory;
        const char* detail;
    } cases[] = {
        {37.6, 2'100'000'000, "38% CPU \u00b7 2.1 GB"},
        {0.4, 0, "0% CPU \u00b7 0 KB"},
        {20.0, -5, "20% CPU \u00b7 0 KB"},
        {100.0, 1'572'864'000, "100% CPU \u00b7 1.57 GB"},
        // Halves go to the even neighbour, as printf's "%.0f" has them.
        {20.5, 0, "20% CPU \u00b7 0 KB"},
        {21.5, 0, "22% CPU \u00b7 0 KB"},
        {0.5, 0, "0% CPU \u00b7 0 KB"},
        {20.500001, 0, "21% CPU \u00b7 0 KB"},
    };
    for (const auto& c : cases) {
        RunningApp app;
        app.cpuPercent = c.cpu;
        app.memoryBytes = c.memory;
        EXPECT_EQ(RunningAppRow::detail(app), QString::fromUtf8(c.detail)) << c.cpu;
    }
}
