// Adds N small files to a sample home (made by scripts/sample-home) in the
// shape real homes have, for bench/run: about five files per folder; caches
// nested several levels deep, a few large and many small; logs in a folder
// per month; build products deep below their project; one file in a hundred a
// second name of a file elsewhere in its area, and a few symbolic links. Nine
// files in ten go where the System Junk scan measures (caches, logs, build
// products), the rest into projects of the user's own. The same N always makes
// the same tree. Prints the numbers of files, folders, hard links and links.
//
//   vessiltane_bench_tree HOME N
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

struct Counts {
    int64_t files = 0, folders = 0, hardLinks = 0, links = 0;
};

// Joins texts by appending (gcc 12's optimiser warns of overlapping copies in
// chains of operator+ on temporaries).
template <class... Parts>
std::string cat(const Parts&... parts) {
    std::string out;
    (out.append(parts), ...);
    return out;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "vessiltane_bench_tree: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

class Maker {
public:
    explicit Maker(std::string home) : home_(std::move(home)), random_(20261210) { data_.assign(64 * 1024, 'v'); }

    const Counts& counts() const { return counts_; }

    void folder(const std::string& path) {
        if (::mkdir(path.c_str(), 0755) == 0) {
            ++counts_.folders;
            return;
        }
        if (errno != EEXIST) fail(cat("mkdir ", path));
    }

    void folders(const std::string& path) {
        for (size_t at = home_.size() + 1; (at = path.find('/', at)) != std::string::npos; ++at) folder(path.substr(0, at));
        folder(path);
    }

    // One file of the area: mostly a few hundred bytes, some tens of KB; one
    // in a hundred a second name of an earlier file of the area, and one in
    // three hundred a link to an earlier file or folder.
    void file(const std::string& folderPath, const std::string& name, std::vector<std::string>& area) {
        const std::string path = cat(folderPath, "/", name);
        const unsigned roll = unsigned(random_() % 1000);
        if (roll < 10 && !area.empty()) {
            const std::string& earlier = area[random_() % area.size()];
            if (::link(earlier.c_str(), path.c_str()) != 0) fail(cat("link ", path));
            ++counts_.hardLinks;
            ++counts_.files;
            return;
        }
        if (roll < 13 && !area.empty()) {
            const std::string& earlier = area[random_() % area.size()];
            const std::string target = random_() % 2 ? earlier : earlier.substr(0, earlier.rfind('/'));
            if (::symlink(target.c_str(), cat(path, ".link").c_str()) != 0) fail(cat("symlink ", path));
            ++counts_.links;
        }
        size_t bytes = 64 + random_() % 1984;
        if (random_() % 50 == 0) bytes = 8192 + random_() % 24576;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) fail(cat("create ", path));
        if (::write(fd, data_.data(), bytes) != ssize_t(bytes)) fail(cat("write ", path));
        ::close(fd);
        ++counts_.files;
        // Earlier files for links: a sample, so the list stays small.
        if (area.size() < 4096) area.push_back(path);
        else if (random_() % 8 == 0) area[random_() % area.size()] = path;
    }

    // A tree of `files` files below top: each folder takes three to seven,
    // and gets one to three subfolders until maxDepth.
    void tree(const std::string& top, int64_t files, int maxDepth, const char* extension,
              std::vector<std::string>& area) {
        folders(top);
        std::deque<std::pair<std::string, int>> queue{{top, 0}};
        int64_t spare = 0;
        int64_t n = 0;
        while (files > 0) {
            if (queue.empty()) {
                queue.emplace_back(cat(top, "/more", std::to_string(spare++)), 1);
                folder(queue.back().first);
            }
            auto [path, depth] = queue.front();
            queue.pop_front();
            const int64_t here = std::min<int64_t>(files, 3 + int64_t(random_() % 5));
            for (int64_t i = 0; i < here; ++i) file(path, cat("f", std::to_string(n++), extension), area);
            files -= here;
            if (depth >= maxDepth) continue;
            const int children = 1 + int(random_() % 3);
            for (int c = 0; c < children && files > 0; ++c) {
                char name[8];
                std::snprintf(name, sizeof name, "%02x", unsigned(random_() % 256));
                const std::string child = cat(path, "/", name);
                folder(child);
                queue.emplace_back(child, depth + 1);
            }
        }
    }

    // How many files one application leaves in an area: mostly a few dozen,
    // now and then thousands.
    int64_t share(int64_t left) {
        const double u = double(random_() % 10000) / 10000.0;
        return std::min<int64_t>(left, 20 + int64_t(u * u * u * 6000));
    }

    void age(const std::string& path, int days) {
        timespec times[2];
        ::clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= days * 86400;
        times[1] = times[0];
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

    std::mt19937_64& random() { return random_; }
    const std::string& home() const { return home_; }

private:
    std::string home_;
    std::mt19937_64 random_;
    std::string data_;
    Counts counts_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vessiltane_bench_tree HOME N\n");
        return 2;
    }
    char* end = nullptr;
    const long long total = std::strtoll(argv[2], &end, 10);
    if (!end || *end || total < 0) {
        std::fprintf(stderr, "vessiltane_bench_tree: N must be a whole number\n");
        return 2;
    }
    Maker make(argv[1]);
    const std::string library = cat(make.home(), "/Library");
    const int64_t caches = total * 45 / 100, logs = total * 15 / 100, builds = total * 30 / 100;
    const int64_t projects = total - caches - logs - builds;
    std::vector<std::string> tops;

    std::vector<std::string> area;
    for (int64_t left = caches, k = 0; left > 0; ++k) {
        const int64_t n = make.share(left);
        const std::string top = cat(library, "/Caches/com.example.cache", std::to_string(k));
        make.tree(top, n, 6, ".cache", area);
        tops.push_back(top);
        left -= n;
    }

    area.clear();
    for (int64_t left = logs, k = 0; left > 0; ++k) {
        const std::string top = cat(library, "/Logs/com.example.logs", std::to_string(k));
        make.folders(top);
        tops.push_back(top);
        for (int month = 0; month < 36 && left > 0; ++month) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d-%02d", 2023 + month / 12, 1 + month % 12);
            const std::string folder = cat(top, "/", name);
            make.folder(folder);
            const int64_t here = std::min<int64_t>(left, 3 + int64_t(make.random()() % 5));
            for (int64_t day = 0; day < here; ++day)
                make.file(folder, cat("app-", name, "-", std::to_string(day + 1), ".log"), area);
            left -= here;
        }
    }

    area.clear();
    for (int64_t left = builds, k = 0; left > 0; ++k) {
        const int64_t n = make.share(left);
        const std::string top = cat(library, "/Developer/Xcode/DerivedData/Project", std::to_string(k), "-bench");
        make.tree(cat(top, "/Build/Intermediates.noindex/Project.build/Debug/Objects-normal/arm64"), n * 2 / 3, 4, ".o", area);
        make.tree(cat(top, "/ModuleCache.noindex"), n - n * 2 / 3, 3, ".pcm", area);
        tops.push_back(top);
        left -= n;
    }

    area.clear();
    for (int64_t left = projects, k = 0; left > 0; ++k) {
        const int64_t n = make.share(left);
        make.tree(cat(make.home(), "/Projects/project", std::to_string(k), "/src"), n, 7, ".c", area);
        left -= n;
    }

    // Old enough for the catalog's rules, as the sample home's own caches.
    for (const auto& top : tops) make.age(top, 10);
    const Counts& c = make.counts();
    std::printf("%lld files (%lld second names), %lld folders, %lld links\n", (long long)c.files,
                (long long)c.hardLinks, (long long)c.folders, (long long)c.links);
    return 0;
}
