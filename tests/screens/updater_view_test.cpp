// The updates screen over the state's update check, with a fake feed fetcher:
// what it shows before, during and after a check, the pre-release switch, and
// which links it opens.
#include <gtest/gtest.h>

#include <tuple>

#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/stat_card.h"
#include "app/controls/text_label.h"
#include "app/controls/toggle_switch.h"
#include "modules/system/updater.h"
#include "platform/plist.h"
#include "screens/updater_view.h"
#include "support/fake_feed_fetcher.h"
#include "screen_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kFeed = "https://feeds.example.com/editor.xml";

std::string feedItem(const std::string& version) {
    return "<item><enclosure url=\"https://dl.example.com/Editor-" + version + ".zip\" sparkle:shortVersionString=\"" +
           version + "\"/></item>";
}

class UpdaterViewTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        makeApp("Editor", {{"SUFeedURL", Plist::Value::makeString(kFeed)}});
        makeApp("Notes", {});
        makeApp("Viewer", {});
        fetcher = std::make_shared<FakeFeedFetcher>();
        Updater::setFetcherForTesting(fetcher);
        view = std::make_unique<UpdaterView>(context());
        view->resize(1000, 760);
    }
    void TearDown() override {
        view.reset();
        Updater::setFetcherForTesting(nullptr);
        ScreenTest::TearDown();
    }

    void makeApp(const std::string& name, std::map<std::string, Plist::Value> info) {
        info["CFBundleIdentifier"] = Plist::Value::makeString("com.example." + name);
        info["CFBundleShortVersionString"] = Plist::Value::makeString("1.0");
        writeFile(sys("/Applications") / (name + ".app") / "Contents/Info.plist",
                  Plist::toXml(Plist::Value::makeDict(std::move(info))));
    }
    void feed(const std::string& items) {
        fetcher->answers[kFeed] = FakeFeedFetcher::answer(
            200, "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                 "<channel>" + items + "</channel></rss>");
    }

    // The texts of the statistic cards, "title=value caption".
    QStringList cards() const {
        QStringList texts;
        for (auto* card : view->findChildren<StatCard*>())
            if (card->isVisibleTo(view.get())) texts << card->value() + " " + card->caption().value_or("");
        return texts;
    }
    EmptyStateView* emptyState() const {
        for (auto* e : view->findChildren<EmptyStateView*>())
            if (e->isVisibleTo(view.get())) return e;
        return nullptr;
    }
    QString emptyTitle() const {
        auto* e = emptyState();
        return e ? e->findChild<TextLabel*>(QStringLiteral("title"))->text() : QString();
    }
    int rows() const {
        int n = 0;
        for (auto* r : view->findChildren<QWidget*>(QStringLiteral("UpdateRow"))) n += r->isVisibleTo(view.get());
        return n;
    }

    std::shared_ptr<FakeFeedFetcher> fetcher;
    std::unique_ptr<UpdaterView> view;
};

}  // namespace

TEST_F(UpdaterViewTest, BeforeDuringAndAfterACheck) {
    feed(feedItem("2.0") + feedItem("3.0-beta"));
    view->show();
    // Before any check: no counters, no switch, the invitation.
    EXPECT_TRUE(cards().isEmpty());
    EXPECT_EQ(view->prereleaseSwitch(), nullptr);
    EXPECT_EQ(emptyTitle(), "Check for updates");
    ASSERT_TRUE(emptyState()->actionButton());
    EXPECT_EQ(emptyState()->actionButton()->text(), "Check Now");

    QTest::mouseClick(emptyState()->actionButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(state().updaterRunning());
    EXPECT_EQ(view->checkButton(), nullptr);
    EXPECT_TRUE(cards().isEmpty());
    auto* running = view->findChild<TextLabel*>(QStringLiteral("runningProgress"));
    ASSERT_TRUE(running);
    EXPECT_EQ(running->text(), "Reading your Applications\u2026");

    executor->settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(state().updaterRunning());
    ASSERT_TRUE(view->checkButton());
    EXPECT_EQ(cards(), (QStringList{"1 ready to download", "1 apps that publish one", "2 App Store or none configured"}));
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(emptyState(), nullptr);
    auto* available = view->findChild<TextLabel*>(QStringLiteral("availableVersion"));
    ASSERT_TRUE(available);
    EXPECT_EQ(available->text(), "2.0");

    // The pre-release switch starts a new check at once; the earlier row stays
    // while it runs, the counters go.
    ASSERT_TRUE(view->prereleaseSwitch());
    EXPECT_FALSE(view->prereleaseSwitch()->isChecked());
    QTest::mouseClick(view->prereleaseSwitch(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(state().updaterIncludesPrereleases());
    EXPECT_TRUE(state().updaterRunning());
    EXPECT_TRUE(cards().isEmpty());
    EXPECT_EQ(rows(), 1);
    // With the row listed, the header says what runs, as wide as its text.
    auto* header = view->findChild<TextLabel*>(QStringLiteral("headerProgress"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->text(), "Reading your Applications\u2026");
    EXPECT_TRUE(header->isVisibleTo(view.get()));
    QCoreApplication::sendPostedEvents();  // the layout takes the new text's width
    EXPECT_GE(header->width(), std::min(190, header->fontMetrics().horizontalAdvance(header->text())));
    executor->settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->findChild<TextLabel*>(QStringLiteral("availableVersion"))->text(), "3.0-beta");
    EXPECT_TRUE(view->prereleaseSwitch()->isChecked());
}

TEST_F(UpdaterViewTest, NothingNewerIsUpToDate) {
    feed(feedItem("1.0"));
    view->show();
    state().checkForUpdates();
    executor->settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(cards(), (QStringList{"0 all current", "1 apps that publish one", "2 App Store or none configured"}));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(emptyTitle(), "Everything is up to date");
    EXPECT_EQ(emptyState()->actionButton()->text(), "Check again");
    QTest::mouseClick(emptyState()->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(state().updaterRunning());
}

TEST_F(UpdaterViewTest, LinksOpenOnlyWhenTheyAreWebAddresses) {
    struct Case {
        std::optional<std::string> download, notes;
        bool published;
        bool downloadEnabled;
        std::vector<std::string> opened;  // by Download, then by Release notes
    } cases[] = {
        {"https://dl.example.com/Editor.zip", "https://example.com/notes.html", true, true,
         {"https://dl.example.com/Editor.zip", "https://example.com/notes.html"}},
        {"HTTP://dl.example.com/E.dmg", std::nullopt, false, true, {"HTTP://dl.example.com/E.dmg"}},
        {std::nullopt, "javascript:alert(1)", false, false, {}},
        {"file:///etc/passwd", "/Applications/Editor.app", true, false, {}},
        {"https://", "x-apple.systempreferences:com.apple.LoginItems-Settings.extension", false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.download.value_or("none") + " / " + c.notes.value_or("none"));
        AppUpdate update;
        update.id = update.appPath = (sys("/Applications") / "Editor.app").string();
        update.name = "Editor";
        update.installedVersion = "1.0";
        update.availableVersion = "2.0";
        update.downloadURL = c.download;
        update.releaseNotesURL = c.notes;
        if (c.published) update.published = std::chrono::system_clock::from_time_t(1741046400);  // 2025-03-04
        services.opened.clear();
        std::unique_ptr<QWidget> row(UpdaterView::row(update, services));
        row->resize(800, 60);
        render(*row);

        PrimaryButton* download = nullptr;
        for (auto* b : row->findChildren<PrimaryButton*>())
            if (b->text() == "Download") download = b;
        ASSERT_TRUE(download);
        EXPECT_EQ(download->isEnabled(), c.downloadEnabled);
        QTest::mouseClick(download, Qt::LeftButton);
        auto* notes = row->findChild<LinkButton*>();
        if (notes) {
            EXPECT_EQ(notes->text(), "Release notes");
            QTest::mouseClick(notes, Qt::LeftButton);
        }
        EXPECT_EQ(services.opened, c.opened);
        auto* date = row->findChild<TextLabel*>(QStringLiteral("published"));
        EXPECT_EQ(date != nullptr, c.published);
        if (date) {
            EXPECT_TRUE(date->text().contains("2025"));
        }
    }
}

TEST_F(UpdaterViewTest, ThePublishedDateIsInTheLocalesAbbreviatedStyle) {
    // Noon UTC, the same day in every time zone the tests run in.
    const auto published = std::chrono::system_clock::from_time_t(1741089600);  // 2025-03-04 12:00 UTC
    const QLocale before;
    for (auto [language, country, text] :
         {std::tuple{QLocale::English, QLocale::UnitedStates, "Mar 4, 2025"},
          std::tuple{QLocale::German, QLocale::Germany, "4. M\u00E4rz 2025"},
          std::tuple{QLocale::English, QLocale::UnitedKingdom, "4 Mar 2025"}}) {
        QLocale::setDefault(QLocale(language, country));
        EXPECT_EQ(UpdaterView::dateText(published).toStdString(), text);
    }
    QLocale::setDefault(before);
}
