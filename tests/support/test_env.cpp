#include "support/test_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/admin.h"
#include "engine/cleaning.h"
#include "engine/ignores.h"
#include "modules/system/updater.h"
#include "platform/locale_text.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/disk_images.h"
#include "platform/file_facts.h"
#include "platform/folder_stack.h"
#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"
#include "platform/reach.h"
#include "platform/resources.h"
#include "platform/trash.h"
#include "platform/user.h"
#include "platform/volumes.h"
#include "platform/walker.h"
#include "platform/workspace.h"
#include "support/fake_feed_fetcher.h"

namespace testing_support {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "vessiltane-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    // Open to every user, so a child that dropped to an unprivileged uid can enter.
    ::chmod(templ.c_str(), 0755);
    path_ = templ;
}

namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::vector<std::string> namesIn(int fd) {
    std::vector<std::string> names;
    const int copy = ::openat(fd, ".", kOpenFolder);
    if (copy < 0) return names;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// Empties the folder open at top and its folders without recursing and
// without ever being more than two levels down: the folders inside a folder
// are moved up into top before that folder goes, so a chain thousands of
// folders deep costs one step per folder (a walk that names each entry by its
// whole path costs one per folder above it). Links are removed, never
// followed; a folder on another device than top is left alone. Folders
// without permissions are opened up first.
void emptyFlattening(int top) {
    struct stat topStat{};
    if (::fstat(top, &topStat) != 0) return;
    size_t moved = 0;
    for (bool progress = true; progress;) {
        progress = false;
        for (const std::string& name : namesIn(top)) {
            if (::unlinkat(top, name.c_str(), 0) == 0) {
                progress = true;
                continue;
            }
            ::fchmodat(top, name.c_str(), 0700, 0);
            if (::unlinkat(top, name.c_str(), AT_REMOVEDIR) == 0) {
                progress = true;
                continue;
            }
            const int sub = ::openat(top, name.c_str(), kOpenFolder);
            if (sub < 0) continue;
            struct stat subStat{};
            if (::fstat(sub, &subStat) != 0 || subStat.st_dev != topStat.st_dev) {
                ::close(sub);
                continue;
            }
            for (const std::string& child : namesIn(sub)) {
                if (::unlinkat(sub, child.c_str(), 0) == 0) {
                    progress = true;
                    continue;
                }
                const std::string up = ".vessiltane-test-up-" + std::to_string(moved++);
                if (::renameat(sub, child.c_str(), top, up.c_str()) == 0) progress = true;
            }
            ::close(sub);
            if (::unlinkat(top, name.c_str(), AT_REMOVEDIR) == 0) progress = true;
        }
    }
}

}  // namespace

void emptyFolder(const std::filesystem::path& folder) {
    const int top = ::open(folder.c_str(), kOpenFolder);
    if (top < 0) return;
    emptyFlattening(top);
    ::close(top);
}

TempDir::~TempDir() {
    ::chmod(path_.c_str(), 0700);
    emptyFolder(path_);
    // Whatever could not be removed above (another device inside) goes the
    // usual way.
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& path, std::string_view contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), std::streamsize(contents.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void allocateFile(const std::filesystem::path& path, int64_t bytes) {
    std::filesystem::create_directories(path.parent_path());
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.string());
    int rc = bytes > 0 ? ::posix_fallocate(fd, 0, bytes) : 0;
    ::close(fd);
    if (rc != 0) throw std::runtime_error("fallocate failed for " + path.string());
}

void setTimes(const std::filesystem::path& path, std::chrono::system_clock::time_point when) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    timespec t[2];
    t[0].tv_sec = t[1].tv_sec = time_t(ns / 1000000000);
    t[0].tv_nsec = t[1].tv_nsec = long(ns % 1000000000);
    if (::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat failed for " + path.string());
}

void makeFolders(const std::filesystem::path& path) { std::filesystem::create_directories(path); }

void makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink(target, link);
}

}  // namespace testing_support

void resetProcessOverrides() {
    Clock::setForTesting(nullptr);
    Clock::setSleepForTesting(nullptr);
    User::setUidForTesting(std::nullopt);
    Volumes::setForTesting(std::nullopt);
    DiskImages::setForTesting(std::nullopt);
    setMarkedHiddenForTesting(nullptr);
    Workspace::setForTesting(nullptr);
    Ignores::resetCache();
    Admin::setRunnerForTesting(nullptr);
    Admin::setPrivilegedBackendForTesting(nullptr);
    // The privileged batch starts the program built beside the tests, which
    // has the root side's entry.
    Admin::setPrivilegedHelperForTesting(std::filesystem::path(VESSILTANE_BINARY_DIR) / "vessiltane");
    Admin::setRootSideHookForTesting(nullptr);
    Cleaning::setAfterItemHookForTesting({});
    Reach::unpinRoots();
    Reach::setMethodForTesting(Reach::Method::automatic);
    Walker::setHandleWindowForTesting(0);
    FolderStack::setWindowForTesting(0);
    RaceSeam::setForTesting(nullptr);
    Mounts::setSourceForTesting(Mounts::Source::automatic);
    Authorization::setToolForTesting(std::nullopt);
    Trash::setFolderForTesting(nullptr);
    Resources::setSearchFoldersForTesting(std::nullopt);
    // Numbers and dates written as under no locale, whatever the machine's.
    LocaleText::setForTesting(std::string());
    // No test reaches the network through the update check unless it asks to.
    Updater::setFetcherForTesting(testing_support::offlineFeedFetcher());
}

void TestEnv::SetUp() {
    dir_ = std::make_unique<testing_support::TempDir>();
    home_ = dir_->path() / "home";
    root_ = dir_->path() / "root";
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(root_);
    ::setenv("HOME", home_.c_str(), 1);
    Locations::setRoot(root_.string());
    resetProcessOverrides();
    Volumes::setForTesting(std::vector<std::filesystem::path>{root_});
}

void TestEnv::TearDown() {
    resetProcessOverrides();
    ::setenv("HOME", "/nonexistent/vessiltane-test-home", 1);
    Locations::setRoot("/nonexistent/vessiltane-test-root");
    dir_.reset();
}

std::filesystem::path TestEnv::sys(std::string_view absolute) const { return Locations::system(absolute); }

std::string TestEnv::systemTool(std::string_view absolute) const {
    const std::string path = sys(absolute).native();
    if (path.find('\'') != std::string::npos) throw std::runtime_error("a test root must not hold a quote");
    return "'" + path + "'";
}
