#include <gtest/gtest.h>

#include "engine/protection.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "support/test_env.h"

class ProtectionRules : public TestEnv {};

TEST_F(ProtectionRules, PathTable) {
    struct Case {
        const char* path;
        bool expected;
    } cases[] = {
        {"/System", true},
        {"/System/Library/Caches/x", true},
        {"/Systemic", false},
        {"/usr/lib", true},
        {"/usr/lib/dyld", true},
        {"/usr/library", false},
        {"/usr/local/lib", false},
        {"/private/var/log/system.log", false},
        {"/private/var/db/x", true},
        {"/private/var/vm/sleepimage", true},
        {"/Library/Caches/x", false},
        {"/Library/Logs/x", false},
        {"/Library/Apple/x", true},
        {"/Users/Shared", true},
        {"/Users/Shared/Downloads/a.dmg", true},
        {"/Users/shared/a", false},
        {"/Users/me/Shared", false},
        {"/users/Guest/x", false},
        {"/Users/me/Library/Caches/com.nordvpn.client", true},
        {"/Users/me/Library/Caches/com.nordvpn.client/data.db", false},
        {"/Users/me/Library/Caches/com.apple.TimeMachine", true},  // "ime" is inside "time"
        {"/Users/me/balloon.txt", true},
        {"/Users/me/Library/Logs/TAILSCALE.log", true},
        {"/Users/me/NordVPN Agent", true},
        {"/Users/me/notes.txt", false},
        // Paths beyond ASCII go through the Unicode rules.
        {"/System/Caf\xC3\xA9", true},
        {"/Syst\xC3\xA8me/x", false},
        {"/Users/Shared/Caf\xC3\xA9", true},
        {"/Users/Caf\xC3\xA9/notes.txt", false},
        {"/Users/me/Caf\xC3\xA9/Dropbox", true},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Protection::isPathProtected(c.path), c.expected) << c.path;
}

TEST_F(ProtectionRules, SystemFoldersUnderTheTestRootStayProtected) {
    EXPECT_TRUE(Protection::isPathProtected(sys("/System/Library/x")));
    EXPECT_TRUE(Protection::isUnderProtectedLocation(sys("/private/var/db/receipts")));
    EXPECT_TRUE(Protection::isUnderProtectedLocation(sys("/Users/Guest/Desktop")));
    EXPECT_FALSE(Protection::isUnderProtectedLocation(sys("/Library/Caches/x")));
    // The literal system path is protected whatever the root.
    EXPECT_TRUE(Protection::isUnderProtectedLocation("/usr/bin/env"));
}

TEST_F(ProtectionRules, AnotherUsersTrashFolderIsTheirs) {
    User::setUidForTesting(501);
    struct Case {
        const char* path;
        bool theirs;
    } cases[] = {
        {"/Volumes/Backup/.Trashes/502", true},
        {"/Volumes/Backup/.Trashes/502/", true},
        {"/Volumes/Backup/.Trashes/502/film.mov", true},
        {"/Volumes/Backup/.trashes/0/x", true},  // volumes compare names without regard to case
        {"/.Trashes/502/x", true},
        {"/Volumes/Backup/.Trashes/5010", true},
        {"/Volumes/Backup/.Trashes/501", false},
        {"/Volumes/Backup/.Trashes/501/film.mov", false},
        {"/Volumes/Backup/.Trashes/stray.txt", false},
        {"/Volumes/Backup/.Trashes", false},
        {"/Volumes/Backup/Trashes/502", false},
        {"/Volumes/Backup/.Trashes/501/.Trashes/502", true},
        {"/Volumes/502/x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Protection::isInAnotherUsersTrash(c.path), c.theirs) << c.path;
        EXPECT_EQ(Protection::isUnderProtectedLocation(c.path), c.theirs) << c.path;
    }
    // Under the test root too; and the .Trashes folder holds every user's.
    EXPECT_TRUE(Protection::isUnderProtectedLocation(sys("/Volumes/Backup/.Trashes/502/x")));
    EXPECT_TRUE(Protection::holdsProtectedLocation(sys("/Volumes/Backup/.Trashes")));
    EXPECT_FALSE(Protection::holdsProtectedLocation(sys("/Volumes/Backup/.Trashes/501")));
}

TEST(ProtectionNames, CaseAndCanonicalEquivalence) {
    EXPECT_TRUE(Protection::matchesProtectedName("KeePassXC"));
    // "Kaspersky Läb" with the umlaut decomposed (a + U+0308) still names Kaspersky.
    EXPECT_TRUE(Protection::matchesProtectedName("Kaspersky La\xCC\x88" "b"));
    // "Ime" followed by a combining accent is not the fragment "ime" as a whole character.
    EXPECT_FALSE(Protection::matchesProtectedName("Ime\xCC\x81"));
    // "Surgé" decomposed: the "e" belongs to "é", so "surge" is not there.
    EXPECT_FALSE(Protection::matchesProtectedName("Surge\xCC\x81"));
    EXPECT_TRUE(Protection::matchesProtectedName("Surge Pro"));
    EXPECT_FALSE(Protection::matchesProtectedName(""));
    EXPECT_FALSE(Protection::matchesProtectedName("Photos"));
    // Names and paths in ASCII are compared byte for byte, which holds only
    // while every fragment and prefix is lower-case ASCII.
    for (auto fragment : Protection::protectedNameFragments) {
        EXPECT_TRUE(Unicode::isAscii(fragment)) << fragment;
        EXPECT_EQ(Unicode::lower(fragment), fragment);
    }
    for (auto prefix : Protection::protectedPathPrefixes) EXPECT_TRUE(Unicode::isAscii(prefix)) << prefix;
}

TEST(ProtectionBundleIDs, PrefixesAsWritten) {
    EXPECT_TRUE(Protection::hasProtectedBundleIDPrefix("com.1password.1password"));
    EXPECT_TRUE(Protection::hasProtectedBundleIDPrefix("com.microsoft.OneDrive-mac"));
    EXPECT_FALSE(Protection::hasProtectedBundleIDPrefix("com.microsoft.onedrive.x"));
    EXPECT_FALSE(Protection::hasProtectedBundleIDPrefix("org.mozilla.firefox"));
    EXPECT_EQ(Protection::protectedNameFragments.size(), 55u);
    EXPECT_EQ(Protection::protectedBundleIDPrefixes.size(), 51u);
}
