#include "engine/catalog.h"

namespace Catalog {
namespace {

constexpr Safety safe = Safety::safe;
constexpr Safety review = Safety::review;

// Photos' caches appear in System Junk and in the Photos module with the same
// wording; the Photos module also looks at the photo-analysis cache.
const char* const kPhotoCacheTitle = "Photo Cache";
const char* const kPhotoCacheDetail = "Thumbnails and derived images, rebuilt by Photos on demand.";

}  // namespace

std::vector<JunkCategory> systemJunk() {
    return {
        {"user-caches", "User Cache Files", "Regenerated on demand. The safest space on the disk to reclaim.",
         {
             {"~/Library/Caches/*", safe, 1},
             {"~/Library/Caches/com.apple.iconservices.store", safe, 0},
         }},
        {"system-caches", "System Cache Files", "Shared caches maintained by macOS and system-wide apps.",
         {
             {"/Library/Caches/*", safe, 1},
         }},
        {"user-logs", "User Log Files", "Diagnostic history from the apps you run.",
         {
             {"~/Library/Logs/*", safe, 7},
         }},
        {"system-logs", "System Log Files", "Low-level logs rotated by the system.",
         {
             {"/Library/Logs/*", safe, 7},
             {"/private/var/log/*", safe, 7},
         }},
        {"developer", "Developer Junk", "Build products and device support files that rebuild themselves.",
         {
             {"~/Library/Developer/Xcode/DerivedData/*", safe, 3},
             {"~/Library/Developer/Xcode/DocumentationCache/*", safe, 3},
             {"~/Library/Developer/CoreSimulator/Caches/*", safe, 3},
             {"~/Library/Developer/Xcode/iOS DeviceSupport/*", review, 7},
             {"~/Library/Developer/Xcode/watchOS DeviceSupport/*", review, 7},
             {"~/Library/Developer/Xcode/Archives/*", review, 30},
             {"~/Library/Caches/org.swift.swiftpm/*", safe, 3},
             {"~/Library/Caches/com.apple.dt.Xcode", safe, 3},
         }},
        {"ios-backups", "iOS Device Backups", "Local iPhone and iPad backups. Removing one deletes that backup.",
         {
             {"~/Library/Application Support/MobileSync/Backup/*", review, 30},
         }},
        {"downloads", "Downloads", "Old installers and disk images you have already used.",
         {
             {"~/Downloads/*.dmg", review, 30},
             {"~/Downloads/*.pkg", review, 30},
             {"~/Downloads/*.iso", review, 30},
         }},
        {"photo-cache", kPhotoCacheTitle, kPhotoCacheDetail,
         {
             {"~/Library/Caches/com.apple.Photos/*", safe, 1},
             {"~/Library/Containers/com.apple.Photos/Data/Library/Caches/*", safe, 1},
         }},
        // Filled by the language-file scan, which the System Junk module runs
        // afterwards; the catalog lists the category so its place is fixed.
        {"language-files", "Language Files", "Translations for languages you do not use, inside installed apps.", {}},
    };
}

std::vector<JunkCategory> mail() {
    return {
        {"mail-downloads", "Mail Downloads", "Attachments Mail saved to disk when you opened them.",
         {
             {"~/Library/Containers/com.apple.mail/Data/Library/Mail Downloads/*", review, 30},
             {"~/Library/Mail Downloads/*", review, 30},
         }},
        {"mail-attachments", "Mail Attachments", "Local copies of attachments kept by Mail's index.",
         {
             {"~/Library/Mail/*/MailData/Attachments/*", review, 60},
         }},
        {"outlook", "Outlook", "Attachments and caches kept by Microsoft Outlook.",
         {
             {"~/Library/Containers/com.microsoft.Outlook/Data/Library/Caches/*", review, 30},
             {"~/Library/Caches/com.microsoft.Outlook/*", review, 30},
             {"~/Library/Group Containers/UBF8T346G9.Office/Outlook/Outlook 15 Profiles/*/Data/Attachments/*",
              review, 90},
         }},
        {"other-mail", "Other Mail Clients", "Attachment caches from Spark, Thunderbird and similar.",
         {
             {"~/Library/Containers/com.readdle.smartemail-Mac/Data/Library/Caches/*", review, 30},
             {"~/Library/Caches/Thunderbird/*", review, 30},
         }},
    };
}

std::vector<JunkCategory> privacy() {
    return {
        {"safari", "Safari", "History, downloads list and locally stored browser data.",
         {
             {"~/Library/Safari/History.db", review, 0},
             {"~/Library/Safari/Downloads.plist", review, 0},
             {"~/Library/Safari/RecentlyClosedTabs.plist", review, 0},
             {"~/Library/Safari/LastSession.plist", review, 0},
             {"~/Library/Safari/Form Values", review, 0},
             {"~/Library/Safari/SearchDescriptions.plist", review, 0},
             {"~/Library/Safari/LocalStorage/*", review, 0},
             {"~/Library/Containers/com.apple.Safari/Data/Library/Cookies/Cookies.binarycookies", review, 0},
             {"~/Library/Cookies/Cookies.binarycookies", review, 0},
             {"~/Library/Caches/com.apple.Safari/*", safe, 0},
         }},
        {"firefox", "Firefox", "History and cookies stored by Firefox profiles.",
         {
             {"~/Library/Application Support/Firefox/Profiles/*/places.sqlite", review, 0},
             {"~/Library/Application Support/Firefox/Profiles/*/cookies.sqlite", review, 0},
             {"~/Library/Application Support/Firefox/Profiles/*/formhistory.sqlite", review, 0},
             {"~/Library/Application Support/Firefox/Profiles/*/logins.json", review, 0},
             {"~/Library/Application Support/Firefox/Profiles/*/sessionstore-backups/*", review, 0},
         }},
        {"recent-items", "Recent Items Lists", "The Recently Opened and Recently Used lists in the Apple menu.",
         {
             {"~/Library/Application Support/com.apple.sharedfilelist/"
              "com.apple.LSSharedFileList.RecentDocuments.sfl2",
              review, 0},
             {"~/Library/Application Support/com.apple.sharedfilelist/"
              "com.apple.LSSharedFileList.RecentApplications.sfl2",
              review, 0},
             {"~/Library/Application Support/com.apple.sharedfilelist/"
              "com.apple.LSSharedFileList.RecentServers.sfl2",
              review, 0},
             {"~/Library/Application Support/com.apple.sharedfilelist/"
              "com.apple.LSSharedFileList.RecentHosts.sfl2",
              review, 0},
             {"~/Library/Preferences/com.apple.recentitems.plist", review, 0},
         }},
        {"skype", "Skype", "Chat history and file transfers kept locally by Skype.",
         {
             {"~/Library/Application Support/Skype/*/chatsync/*", review, 30},
             {"~/Library/Application Support/Skype/*/main.db", review, 30},
             {"~/Library/Application Support/Skype/*/FileTransfer/*", review, 30},
         }},
    };
}

std::vector<JunkCategory> photos() {
    return {
        {"photo-cache", kPhotoCacheTitle, kPhotoCacheDetail,
         {
             {"~/Library/Caches/com.apple.Photos/*", safe, 1},
             {"~/Library/Caches/com.apple.photoanalysisd/*", safe, 1},
             {"~/Library/Containers/com.apple.Photos/Data/Library/Caches/*", safe, 1},
         }},
        {"photo-previews", "Photo Library Previews",
         "Previews kept beside your library. Photos regenerates them on demand.",
         {
             {"~/Pictures/*.photoslibrary/resources/derivatives/*", review, 7},
         }},
        {"faces-cache", "Faces Cache", "Face-detection data. Photos rebuilds it, but re-scanning takes a while.",
         {
             {"~/Pictures/*.photoslibrary/database/facecache/*", review, 7},
         }},
    };
}

std::vector<JunkCategory> music() {
    return {
        {"music-artwork", "Album Artwork Cache", "Artwork downloaded and cached by Music. Re-downloaded as needed.",
         {
             {"~/Music/iTunes/Album Artwork/Cache/*", safe, 7},
             {"~/Music/Music/Album Artwork/Cache/*", safe, 7},
             {"~/Library/Caches/com.apple.Music/*", safe, 7},
             {"~/Library/Caches/com.apple.iTunes/*", safe, 7},
         }},
        {"music-downloads", "Broken Downloads", "Incomplete media downloads that will never finish.",
         {
             {"~/Music/iTunes/iTunes Media/Downloads/*", review, 30},
             {"~/Music/Music/Media/Downloads/*", review, 30},
         }},
        {"ios-apps", "iOS Applications", "Old iOS app copies synced to this Mac by iTunes.",
         {
             {"~/Music/iTunes/Mobile Applications/*", review, 90},
         }},
        {"ios-updates", "iOS Software Updates", "Firmware images left over after updating an iOS device.",
         {
             {"~/Library/iTunes/iPhone Software Updates/*", review, 60},
             {"~/Library/iTunes/iPad Software Updates/*", review, 60},
         }},
    };
}

}  // namespace Catalog
