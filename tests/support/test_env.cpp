#include "support/test_env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave folders without permissions behind; open them up first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0700);
    }
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
