#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include "engine/admin.h"
#include "engine/byte_format.h"
#include "engine/fat_binary.h"
#include "engine/fs.h"
#include "modules/system/thinning.h"
#include "support/test_env.h"
#include "support/universal_binary.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kI386 = 0x00000007;
constexpr uint32_t kArm64eSubtype = 0x80000002;

uint32_t readWord(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | uint8_t(bytes[at + i]);
    return v;
}

int64_t sizeOf(const fs::path& p) {
    FS::SeenSet fresh;
    return FS::size(p, fresh);
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class ThinningTest : public TestEnv {
protected:
    struct Call {
        std::string line;
        bool merge;
    };
    std::vector<Call> calls;
    // Answers for the codesign calls in order; calls beyond them succeed.
    std::vector<Admin::Result> answers;
    std::function<void()> duringSigning;

    void SetUp() override {
        TestEnv::SetUp();
        Admin::setRunnerForTesting([this](const std::string& line, bool merge) {
            calls.push_back({line, merge});
            if (duringSigning) duringSigning();
            Admin::Result r;
            r.ok = true;
            r.exitStatus = 0;
            if (calls.size() <= answers.size()) r = answers[calls.size() - 1];
            return r;
        });
    }

    static Admin::Result succeeding() {
        Admin::Result r;
        r.ok = true;
        r.exitStatus = 0;
        return r;
    }

    static Admin::Result failing(std::string output) {
        Admin::Result r;
        r.exitStatus = 1;
        r.output = std::move(output);
        return r;
    }

    fs::path trash() const { return home() / ".Trash"; }

    std::vector<std::string> trashNames() const { return fs::exists(trash()) ? namesIn(trash()) : std::vector<std::string>{}; }

    // A two-slice executable whose foreign slice is large enough to save space.
    fs::path appExecutable(const std::string& app = "Foo", bool form64 = false, uint32_t alignment = 14) {
        fs::path exe = home() / "Applications" / (app + ".app") / "Contents/MacOS" / app;
        writeFile(exe, universalBinary({{kCpuX86_64, 3, 14, filledBytes(64 * 1024, 'x')},
                                        {kCpuArm64, 0, alignment, filledBytes(20000, 'a')}},
                                       form64));
        fs::permissions(exe, fs::perms(0755));
        return exe;
    }
};

TEST_F(ThinningTest, WritesOneSliceAtItsAlignedOffsetInBothHeaderForms) {
    struct Case {
        bool form64;
        uint32_t alignment;
        uint32_t offset;
    };
    const Case cases[] = {{false, 0, 28}, {false, 2, 28},  {false, 3, 32},    {true, 5, 32},
                          {true, 12, 4096}, {false, 14, 16384}, {true, 14, 16384}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.form64 ? "64-bit" : "32-bit") + " header, alignment " + std::to_string(c.alignment));
        const std::string app = "App" + std::to_string(n++);
        fs::path exe = appExecutable(app, c.form64, c.alignment);
        const std::string original = readFile(exe);
        const std::string slice = filledBytes(20000, 'a');
        const int64_t before = sizeOf(exe);
        calls.clear();

        int64_t saved = Thinning::thinBinary(exe);

        std::string bytes = readFile(exe);
        ASSERT_EQ(bytes.size(), c.offset + slice.size());
        EXPECT_EQ(readWord(bytes, 0), 0xCAFEBABEu);
        EXPECT_EQ(readWord(bytes, 4), 1u);
        EXPECT_EQ(readWord(bytes, 8), kCpuArm64);
        EXPECT_EQ(readWord(bytes, 12), 0u);
        EXPECT_EQ(readWord(bytes, 16), c.offset);
        EXPECT_EQ(readWord(bytes, 20), uint32_t(slice.size()));
        EXPECT_EQ(readWord(bytes, 24), c.alignment);
        EXPECT_EQ(bytes.substr(28, c.offset - 28), std::string(c.offset - 28, '\0'));
        EXPECT_EQ(bytes.substr(c.offset), slice);
        EXPECT_EQ(saved, before - sizeOf(exe));
        EXPECT_GT(saved, 0);
        EXPECT_EQ(fs::status(exe).permissions(), fs::perms(0755));
        // The old executable is in the Trash, whole; nothing else is left beside
        // the executable or the bundle.
        EXPECT_EQ(readFile(trash() / app), original);
        EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{app});
        for (const auto& name : namesIn(home() / "Applications")) EXPECT_EQ(name.front(), 'A') << name;
        // Re-signed ad hoc keeping the metadata, then verified.
        const std::string bundle = Admin::quote((home() / "Applications" / (app + ".app")).string());
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].line, systemTool("/usr/bin/codesign") + " --force --sign - "
                                 "--preserve-metadata=entitlements,requirements,flags,runtime " + bundle);
        EXPECT_EQ(calls[1].line, systemTool("/usr/bin/codesign") + " --verify --deep --strict " + bundle);
        EXPECT_TRUE(calls[0].merge && calls[1].merge);
    }
}

TEST_F(ThinningTest, KeepsTheFirstNativeSliceInHeaderOrder) {
    fs::path exe = home() / "tool";
    writeFile(exe, universalBinary({{kCpuX86_64, 3, 12, filledBytes(64 * 1024, 'x')},
                              {kCpuArm64, kArm64eSubtype, 12, filledBytes(9000, 'e')},
                              {kCpuArm64, 0, 12, filledBytes(8000, 'a')}},
                             false));
    Thinning::thinBinary(exe);
    auto fat = FatBinary::read(exe);
    ASSERT_TRUE(fat);
    ASSERT_EQ(fat->architectures.size(), 1u);
    EXPECT_EQ(fat->architectures[0].name, "arm64e");
    EXPECT_EQ(fat->architectures[0].cpuSubtype, kArm64eSubtype);
    EXPECT_EQ(readFile(exe).substr(4096), filledBytes(9000, 'e'));
    // Outside any bundle the executable is signed by itself.
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].line.substr(calls[0].line.rfind(' ') + 1), Admin::quote(exe.string()));
}

TEST_F(ThinningTest, RefusesWhatIsNotAUniversalFileWithAForeignSlice) {
    struct Case {
        const char* what;
        std::string contents;
        const char* message;
    };
    const Case cases[] = {
        {"one slice", universalBinary({{kCpuArm64, 0, 12, filledBytes(100, 'a')}}, false), "not a universal binary"},
        {"plain text", "#!/bin/sh\necho hi\n", "not a universal binary"},
        {"arm64 and arm64e only",
         universalBinary(
             {{kCpuArm64, 0, 12, filledBytes(100, 'a')}, {kCpuArm64, kArm64eSubtype, 12, filledBytes(100, 'e')}}, true),
         "no foreign CPU slice to remove"},
        {"no native slice",
         universalBinary({{kCpuX86_64, 3, 12, filledBytes(100, 'x')}, {kI386, 3, 12, filledBytes(100, 'i')}}, false),
         "no foreign CPU slice to remove"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path exe = home() / "bin/tool";
        writeFile(exe, c.contents);
        try {
            Thinning::thinBinary(exe);
            ADD_FAILURE() << "thinned";
        } catch (const Thinning::ThinningError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(readFile(exe), c.contents);
        EXPECT_EQ(namesIn(home() / "bin"), std::vector<std::string>{"tool"});
    }
    EXPECT_THROW(Thinning::thinBinary(home() / "missing"), Thinning::ThinningError);
    EXPECT_TRUE(calls.empty());
}

// A header is what anyone may write: one claiming a slice far larger than the
// file never makes the thinning set aside room for it.
TEST_F(ThinningTest, ACraftedHeaderClaimingMoreThanTheFileHoldsIsReadNoFurther) {
    std::string crafted;
    auto word = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) crafted += char((v >> shift) & 0xFF);
    };
    word(0xCAFEBABE);
    word(2);
    for (uint32_t type : {kCpuX86_64, kCpuArm64}) {
        word(type);
        word(0);
        word(4096);        // offset
        word(0x60000000);  // 1.5 GB
        word(12);
    }
    crafted.resize(8192, 'z');
    fs::path exe = home() / "bin/tool";
    writeFile(exe, crafted);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        std::string message;
        try {
            Thinning::thinBinary(exe);
            return "thinned";
        } catch (const std::exception& e) {
            message = e.what();
        }
        ::getrusage(RUSAGE_SELF, &after);
        if (message != "could not rewrite the binary: could not read the slice") return "failed with: " + message;
        if (after.ru_maxrss - before.ru_maxrss > 256 * 1024) return "set aside " + std::to_string(after.ru_maxrss) + " KB";
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(exe), crafted);
    EXPECT_TRUE(calls.empty());
}

TEST_F(ThinningTest, AFileThatWouldNotShrinkIsLeftAsItWas) {
    // Small slices, the native one aligned to 16 KiB: the thinned file is larger.
    fs::path exe = home() / "Applications/Tiny.app/Contents/MacOS/Tiny";
    const std::string contents =
        universalBinary({{kCpuX86_64, 3, 0, filledBytes(100, 'x')}, {kCpuArm64, 0, 14, filledBytes(100, 'a')}}, false);
    writeFile(exe, contents);
    writeFile(exe.parent_path() / ".Tiny.thinning", "stale");  // replaced, then removed
    writeFile(sys("/usr/bin/codesign"), "stand-in");
    const int64_t before = sizeOf(exe);

    ScanItem item;
    item.url = exe;
    item.name = "Tiny";
    ScanToken token;
    auto out = Thinning::thin({item}, token, nullptr);
    EXPECT_EQ(out.thinned, 0);
    ASSERT_EQ(out.failures.size(), 1u);
    const int64_t after = 16384 + 4096;  // header, padding and slice take five 4 KiB blocks
    EXPECT_EQ(out.failures[0], "Tiny: could not rewrite the binary: would not save space (" +
                                   ByteFormat::string(before) + " \u2192 " + ByteFormat::string(after) + ")");
    EXPECT_EQ(readFile(exe), contents);
    EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{"Tiny"});
    EXPECT_TRUE(calls.empty());
}

TEST_F(ThinningTest, BundleIsFoundUpToSixFoldersUpAndQuotedIntact) {
    struct Case {
        fs::path executable;
        fs::path signedPath;
    };
    fs::path apps = home() / "Applications";
    const Case cases[] = {
        {apps / "It's Here.app/Contents/MacOS/It's Here", apps / "It's Here.app"},
        {apps / "Foo.app/Contents/Frameworks/Bar.framework/Versions/A/Bar", apps / "Foo.app"},
        {apps / "Deep.app/Contents/a/b/c/d/e/Tool", apps / "Deep.app/Contents/a/b/c/d/e/Tool"},
        {home() / "bin/Loose", home() / "bin/Loose"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable.string());
        writeFile(c.executable,
                  universalBinary({{kCpuX86_64, 3, 12, filledBytes(64 * 1024, 'x')},
                                   {kCpuArm64, 0, 12, filledBytes(5000, 'a')}},
                                  false));
        calls.clear();
        Thinning::thinBinary(c.executable);
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[1].line, systemTool("/usr/bin/codesign") + " --verify --deep --strict " + Admin::quote(c.signedPath.string()));
    }
    EXPECT_EQ(Admin::quote("/x/It's"), "'/x/It'\\''s'");
}

TEST_F(ThinningTest, SignsWithoutMetadataWhenKeepingItIsRefused) {
    fs::path exe = appExecutable();
    answers = {failing("cannot preserve")};
    EXPECT_GT(Thinning::thinBinary(exe), 0);
    ASSERT_EQ(calls.size(), 3u);
    const std::string bundle = Admin::quote((home() / "Applications/Foo.app").string());
    EXPECT_EQ(calls[1].line, systemTool("/usr/bin/codesign") + " --force --sign - " + bundle);
    EXPECT_EQ(FatBinary::read(exe)->architectures.size(), 1u);
}

TEST_F(ThinningTest, AFailedSignatureOrVerificationPutsTheOriginalBack) {
    struct Case {
        const char* what;
        std::vector<Admin::Result> answers;
        std::string message;
    };
    const Case cases[] = {
        {"both signatures refused", {failing("no"), failing("\n\t resource fork not allowed \n")},
         "re-signing failed: resource fork not allowed"},
        {"verification refused", {succeeding(), failing("invalid signature\n")},
         "verification failed: invalid signature"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path exe = appExecutable();
        const std::string original = readFile(exe);
        const auto identity = lstatFacts(exe)->identity;
        calls.clear();
        answers = c.answers;
        try {
            Thinning::thinBinary(exe);
            ADD_FAILURE() << "thinned";
        } catch (const Thinning::ThinningError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        // The very file is back (brought back from the Trash), and nothing is left over.
        EXPECT_EQ(readFile(exe), original);
        EXPECT_EQ(lstatFacts(exe)->identity, identity);
        EXPECT_TRUE(trashNames().empty());
        EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{"Foo"});
        EXPECT_EQ(namesIn(home() / "Applications"), std::vector<std::string>{"Foo.app"});
    }
}

TEST_F(ThinningTest, TheKeptCopyRestoresWhenTheTrashCannotGiveTheOriginalBack) {
    fs::path exe = appExecutable();
    const std::string original = readFile(exe);
    // The Trash is emptied while codesign runs, and codesign then fails.
    duringSigning = [&] { fs::remove_all(trash() / "Foo"); };
    answers = {failing("no"), failing("no")};
    EXPECT_THROW(Thinning::thinBinary(exe), Thinning::ThinningError);
    EXPECT_EQ(readFile(exe), original);
    EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{"Foo"});
    EXPECT_EQ(namesIn(home() / "Applications"), std::vector<std::string>{"Foo.app"});
}

TEST_F(ThinningTest, WithoutCodesignNothingChanges) {
    Admin::setRunnerForTesting(nullptr);  // the real shell, where codesign does not exist
    fs::path exe = appExecutable();
    const std::string original = readFile(exe);

    ScanItem item;
    item.url = exe;
    item.name = "Foo";
    ScanToken token;
    std::vector<std::string> progress;
    auto out = Thinning::thin({item}, token, [&](double, const std::string& m) { progress.push_back(m); });
    EXPECT_EQ(out.thinned, 0);
    EXPECT_EQ(out.failures, std::vector<std::string>{Thinning::kCodesignUnavailable});
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(readFile(exe), original);

    // Called directly, the missing tool fails the signature and the original comes back.
    try {
        Thinning::thinBinary(exe);
        ADD_FAILURE() << "thinned";
    } catch (const Thinning::ThinningError& e) {
        EXPECT_EQ(e.kind(), Thinning::ThinningError::Kind::resignFailed);
        EXPECT_NE(std::string(e.what()).find("codesign"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(exe), original);
    EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{"Foo"});
    EXPECT_EQ(namesIn(home() / "Applications"), std::vector<std::string>{"Foo.app"});
}

TEST_F(ThinningTest, AListGoesOnPastFailuresAndStopsWhenCancelled) {
    writeFile(sys("/usr/bin/codesign"), "stand-in");
    fs::path good = appExecutable("Good");
    fs::path plain = home() / "plain";
    writeFile(plain, "not a binary");
    fs::path later = appExecutable("Later");
    auto item = [](const fs::path& p, const std::string& name) {
        ScanItem i;
        i.url = p;
        i.name = name;
        return i;
    };
    ScanToken token;
    std::vector<std::pair<double, std::string>> progress;
    auto out = Thinning::thin({item(plain, "Plain"), item(good, "Good"), item(later, "Later")}, token,
                              [&](double f, const std::string& m) {
                                  progress.emplace_back(f, m);
                                  if (m == "Thinning Good\u2026") token.cancel();  // Good still completes
                              });
    EXPECT_EQ(out.thinned, 1);
    EXPECT_GT(out.bytesSaved, 0);
    EXPECT_EQ(out.failures, std::vector<std::string>{"Plain: not a universal binary"});
    EXPECT_EQ(out.notes, std::vector<std::string>{"Thinned Good and re-signed it ad-hoc"});
    EXPECT_EQ(FatBinary::read(later)->architectures.size(), 2u);
    const std::vector<std::pair<double, std::string>> expected = {
        {0.0, "Thinning Plain\u2026"}, {1.0 / 3.0, "Thinning Good\u2026"}, {1.0, "Done"}};
    EXPECT_EQ(progress, expected);

    progress.clear();
    ScanToken fresh;
    auto empty = Thinning::thin({}, fresh, [&](double f, const std::string& m) { progress.emplace_back(f, m); });
    EXPECT_EQ(empty.thinned, 0);
    EXPECT_TRUE(empty.failures.empty());
    EXPECT_EQ(progress, (std::vector<std::pair<double, std::string>>{{1.0, "Done"}}));
}

TEST_F(ThinningTest, AnOldExecutableThatCannotGoToTheTrashStaysInPlace) {
    fs::path exe = appExecutable();
    const std::string original = readFile(exe);
    writeFile(trash(), "a file where the Trash folder should be");
    try {
        Thinning::thinBinary(exe);
        ADD_FAILURE() << "thinned";
    } catch (const Thinning::ThinningError& e) {
        EXPECT_EQ(e.kind(), Thinning::ThinningError::Kind::rewriteFailed);
        EXPECT_EQ(std::string(e.what()).rfind("could not rewrite the binary: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(readFile(exe), original);
    EXPECT_EQ(namesIn(exe.parent_path()), std::vector<std::string>{"Foo"});
    EXPECT_EQ(namesIn(home() / "Applications"), std::vector<std::string>{"Foo.app"});
    EXPECT_TRUE(calls.empty());
}
