#include "engine/scanner_languages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/fs.h"
#include "platform/languages.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Names = std::set<std::string>;

namespace {

class LanguageFiles : public TestEnv {
protected:
    void TearDown() override {
        Languages::setForTesting(std::nullopt);
        TestEnv::TearDown();
    }

    // An application whose resources hold one language folder per name, each
    // with a file of the given size (0 leaves the folder empty).
    fs::path makeApp(const fs::path& folder, const std::string& name,
                     const std::vector<std::pair<std::string, int64_t>>& lprojs) {
        fs::path app = folder / (name + ".app");
        makeFolders(app / "Contents/Resources");
        for (const auto& [lproj, bytes] : lprojs) {
            makeFolders(app / "Contents/Resources" / lproj);
            if (bytes > 0) allocateFile(app / "Contents/Resources" / lproj / "Localizable.strings", bytes);
        }
        return app;
    }

    ScanCategory scan(const std::vector<std::string>& languages) {
        Languages::setForTesting(languages);
        ScanToken token;
        return Scanner::scanLanguageFiles(token, nullptr);
    }

    static Names names(const ScanCategory& c) {
        Names out;
        for (const auto& item : c.items) out.insert(item.name);
        return out;
    }
};

}  // namespace

TEST_F(LanguageFiles, KeepsPreferredLanguagesEnglishAndBase) {
    struct Case {
        std::vector<std::string> preferred;
        std::vector<std::string> lprojs;
        Names listed;
    } cases[] = {
        {{"de-DE", "en-US"},
         {"Base.lproj", "en.lproj", "de.lproj", "fr.lproj", "en_GB.lproj", "English.lproj"},
         {"Editor \u2014 fr", "Editor \u2014 en_gb", "Editor \u2014 english"}},
        {{}, {"Base.lproj", "en.lproj", "de.lproj"}, {"Editor \u2014 de"}},
        {{"zh-Hans-CN"}, {"zh.lproj", "zh_CN.lproj", "zh-Hans.lproj"}, {"Editor \u2014 zh_cn", "Editor \u2014 zh-hans"}},
        {{"fr-FR"}, {"FR.lproj", "de.lproj"}, {"Editor \u2014 de"}},
        {{"de"}, {"FR.lproj", "DE.lproj"}, {"Editor \u2014 fr"}},
        {{"PT-br", "ja"}, {"pt.lproj", "pt_BR.lproj", "ja.lproj", "ko.lproj"}, {"Editor \u2014 pt_br", "Editor \u2014 ko"}},
    };
    for (const auto& c : cases) {
        fs::remove_all(sys("/Applications"));
        std::vector<std::pair<std::string, int64_t>> lprojs;
        for (const auto& l : c.lprojs) lprojs.emplace_back(l, 4096);
        makeApp(sys("/Applications"), "Editor", lprojs);
        EXPECT_EQ(names(scan(c.preferred)), c.listed) << c.preferred.size() << " " << c.lprojs.front();
    }
}

TEST_F(LanguageFiles, ItemsAreReviewUnselectedAndLargestFirst) {
    fs::path editor = makeApp(sys("/Applications"), "Editor", {{"fr.lproj", 8192}, {"it.lproj", 0}, {"es.lproj", 40960}});
    fs::path notes = makeApp(home() / "Applications", "Notes", {{"de.lproj", 8192}});
    makeApp(sys("/System/Applications"), "Maps", {{"nl.lproj", 16384}});
    makeApp(sys("/Applications/Utilities"), "Terminal", {{"sv.lproj", 8192}});  // apps in subfolders are not reviewed

    auto category = scan({"en-US"});
    EXPECT_EQ(category.id, "language-files");
    EXPECT_EQ(category.title, "Language Files");
    EXPECT_EQ(category.detail, "Translations for languages you do not use, inside installed apps.");
    ASSERT_EQ(category.items.size(), 4u);  // the empty it.lproj is left out
    EXPECT_EQ(category.items[0].name, "Editor \u2014 es");
    EXPECT_EQ(category.items[1].name, "Maps \u2014 nl");
    // Equal sizes keep the order they were found in: /Applications before ~/Applications.
    EXPECT_EQ(category.items[2].name, "Editor \u2014 fr");
    EXPECT_EQ(category.items[3].name, "Notes \u2014 de");
    for (const auto& item : category.items) {
        EXPECT_EQ(item.detail, "Unused translation");
        EXPECT_EQ(item.safety, Safety::review);
        EXPECT_FALSE(item.isSelected);
        FS::SeenSet fresh;
        EXPECT_EQ(item.size, FS::size(item.url, fresh));
    }
    EXPECT_EQ(category.items[0].url, editor / "Contents/Resources/es.lproj");
    EXPECT_EQ(category.items[3].url, notes / "Contents/Resources/de.lproj");
    EXPECT_NE(category.items[0].id, category.items[1].id);
}

TEST_F(LanguageFiles, ProgressCountsEveryApplicationUpToEighty) {
    for (int i = 0; i < 100; ++i) makeFolders(sys("/Applications") / ("App" + std::to_string(i) + ".app"));
    writeFile(sys("/Applications/Notes.app"), "not a folder");  // counted, yields nothing
    makeFolders(sys("/Applications/Readme.txt"));              // not an application: not counted
    makeFolders(sys("/Applications/Tool.APP"));                // extensions compare exactly

    Languages::setForTesting(std::vector<std::string>{});
    ScanToken token;
    std::vector<std::pair<double, std::string>> calls;
    auto category = Scanner::scanLanguageFiles(token, [&](double f, const std::string& m) { calls.emplace_back(f, m); });
    EXPECT_TRUE(category.items.empty());
    ASSERT_EQ(calls.size(), 101u);
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_DOUBLE_EQ(calls[i].first, std::min((i + 1) / 80.0, 1.0)) << i;
    EXPECT_DOUBLE_EQ(calls[0].first, 0.0125);
    std::set<std::string> messages;
    for (const auto& c : calls) messages.insert(c.second);
    EXPECT_TRUE(messages.count("Reviewing App7\u2026"));
    EXPECT_TRUE(messages.count("Reviewing Notes\u2026"));
    EXPECT_FALSE(messages.count("Reviewing Tool\u2026"));
}

TEST_F(LanguageFiles, CancellationStopsBeforeTheNextApplication) {
    makeApp(sys("/Applications"), "Editor", {{"fr.lproj", 4096}});
    makeApp(home() / "Applications", "Notes", {{"de.lproj", 4096}});
    makeApp(sys("/System/Applications"), "Maps", {{"nl.lproj", 4096}});
    Languages::setForTesting(std::vector<std::string>{});

    ScanToken cancelled;
    cancelled.cancel();
    int calls = 0;
    auto none = Scanner::scanLanguageFiles(cancelled, [&](double, const std::string&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(none.items.empty());
    EXPECT_EQ(none.id, "language-files");

    // Cancelled while the first application is reviewed: it still finishes, nothing after it starts.
    ScanToken token;
    std::vector<std::string> messages;
    auto some = Scanner::scanLanguageFiles(token, [&](double, const std::string& m) {
        messages.push_back(m);
        token.cancel();
    });
    EXPECT_EQ(messages, std::vector<std::string>{"Reviewing Editor\u2026"});
    ASSERT_EQ(some.items.size(), 1u);
    EXPECT_EQ(some.items[0].name, "Editor \u2014 fr");
}

TEST_F(LanguageFiles, UnreadablePlacesArePassedOver) {
    makeFolders(sys("/Applications/Bare.app"));  // no Contents/Resources
    writeFile(sys("/Applications/Broken.app/Contents/Resources"), "a file, not a folder");
    makeApp(sys("/Applications"), "Editor", {{"fr.lproj", 4096}});
    makeSymlink(tmp() / "nowhere", home() / "Applications");  // dangling
    auto category = scan({});
    EXPECT_EQ(names(category), (Names{"Editor \u2014 fr"}));
}
