#include "engine/catalog.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct Named {
    std::string name;
    std::vector<JunkCategory> categories;
};

std::vector<Named> allCatalogs() {
    return {{"systemJunk", Catalog::systemJunk()},
            {"mail", Catalog::mail()},
            {"privacy", Catalog::privacy()},
            {"photos", Catalog::photos()},
            {"music", Catalog::music()}};
}

std::vector<std::string> ids(const std::vector<JunkCategory>& categories) {
    std::vector<std::string> out;
    for (const auto& c : categories) out.push_back(c.id);
    return out;
}

size_t ruleCount(const std::vector<JunkCategory>& categories) {
    size_t n = 0;
    for (const auto& c : categories) n += c.rules.size();
    return n;
}

}  // namespace

TEST(Catalog, CategoriesInReportOrder) {
    struct Case {
        std::vector<JunkCategory> catalog;
        std::vector<std::string> ids;
        size_t rules;
    } cases[] = {
        {Catalog::systemJunk(),
         {"user-caches", "system-caches", "user-logs", "system-logs", "developer", "ios-backups", "downloads",
          "photo-cache", "language-files"},
         20},
        {Catalog::mail(), {"mail-downloads", "mail-attachments", "outlook", "other-mail"}, 8},
        {Catalog::privacy(), {"safari", "firefox", "recent-items", "skype"}, 23},
        {Catalog::photos(), {"photo-cache", "photo-previews", "faces-cache"}, 5},
        {Catalog::music(), {"music-artwork", "music-downloads", "ios-apps", "ios-updates"}, 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ids(c.catalog), c.ids);
        EXPECT_EQ(ruleCount(c.catalog), c.rules) << c.ids.front();
    }
    // The unused-language scan fills this category later; the catalog only holds its place.
    EXPECT_TRUE(Catalog::systemJunk().back().rules.empty());
}

TEST(Catalog, RulesAreWellFormed) {
    const std::set<int> ages = {0, 1, 3, 7, 30, 60, 90};
    for (const auto& [name, categories] : allCatalogs()) {
        for (const auto& category : categories) {
            EXPECT_FALSE(category.title.empty()) << category.id;
            EXPECT_EQ(category.detail.back(), '.') << category.id;
            for (const auto& rule : category.rules) {
                EXPECT_TRUE(rule.pattern.starts_with("~/") || rule.pattern.starts_with("/")) << rule.pattern;
                EXPECT_NE(rule.safety, Safety::protected_) << rule.pattern;
                EXPECT_TRUE(ages.count(rule.minAgeDays)) << rule.pattern;
                // A place named whole (not its entries) is reported whatever
                // its age, except the Xcode cache folder.
                bool entries = rule.pattern.ends_with("/*");
                if (!entries && rule.minAgeDays > 0 && rule.pattern.find('*') == std::string::npos) {
                    EXPECT_EQ(rule.pattern, "~/Library/Caches/com.apple.dt.Xcode");
                }
            }
        }
    }
}

TEST(Catalog, PrivacyTracesAreReportedWhateverTheirAge) {
    for (const auto& category : Catalog::privacy()) {
        for (const auto& rule : category.rules) {
            if (category.id == "skype") {
                EXPECT_EQ(rule.minAgeDays, 30);
                continue;
            }
            EXPECT_EQ(rule.minAgeDays, 0) << rule.pattern;
            bool isSafariCache = rule.pattern == "~/Library/Caches/com.apple.Safari/*";
            EXPECT_EQ(rule.safety, isSafariCache ? Safety::safe : Safety::review) << rule.pattern;
        }
    }
}

TEST(Catalog, PatternsKeepSpacesAndCase) {
    std::set<std::string> patterns;
    for (const auto& [name, categories] : allCatalogs())
        for (const auto& category : categories)
            for (const auto& rule : category.rules) patterns.insert(rule.pattern);
    for (const char* expected : {
             "~/Library/Developer/Xcode/iOS DeviceSupport/*",
             "~/Library/Application Support/MobileSync/Backup/*",
             "~/Library/Containers/com.apple.mail/Data/Library/Mail Downloads/*",
             "~/Library/Group Containers/UBF8T346G9.Office/Outlook/Outlook 15 Profiles/*/Data/Attachments/*",
             "~/Library/Containers/com.readdle.smartemail-Mac/Data/Library/Caches/*",
             "~/Library/Safari/Form Values",
             "~/Library/Application Support/Firefox/Profiles/*/sessionstore-backups/*",
             "~/Pictures/*.photoslibrary/database/facecache/*",
             "~/Music/iTunes/iTunes Media/Downloads/*",
             "~/Library/iTunes/iPad Software Updates/*",
             "/private/var/log/*",
         })
        EXPECT_TRUE(patterns.count(expected)) << expected;
}

TEST(Catalog, PhotoCacheSharedWithThePhotosModule) {
    const auto junk = Catalog::systemJunk();
    const auto photos = Catalog::photos();
    const auto& inJunk = junk[7];
    const auto& inPhotos = photos[0];
    ASSERT_EQ(inJunk.id, "photo-cache");
    ASSERT_EQ(inPhotos.id, "photo-cache");
    EXPECT_EQ(inJunk.title, inPhotos.title);
    EXPECT_EQ(inJunk.detail, inPhotos.detail);
    EXPECT_EQ(inJunk.rules.size(), 2u);
    EXPECT_EQ(inPhotos.rules.size(), 3u);
    EXPECT_EQ(inPhotos.rules[1].pattern, "~/Library/Caches/com.apple.photoanalysisd/*");
}
