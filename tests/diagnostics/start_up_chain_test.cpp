// The executable's start-up chain: which link takes an invocation, and that
// only the links that draw load the window's library.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "engine/admin.h"
#include "platform/display.h"
#include "platform/gui_module.h"
#include "support/test_env.h"
#include "support/window/xvfb.h"
#include "support/window_launch.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

const fs::path kExecutable = fs::path(VESSILTANE_BINARY_DIR) / "vessiltane";

class StartUpChain : public TestEnv {
protected:
    Outcome run(const std::string& arguments, const fs::path& executable = kExecutable,
                const std::string& environment = "") {
        const std::string errFile = (tmp() / "stderr.txt").native();
        std::string line = "cd " + Admin::quote(tmp().native()) + " && " + environment + " HOME=" +
                           Admin::quote(home().native()) + " VESSILTANE_ROOT=" + Admin::quote(root().native()) + " " +
                           Admin::quote(executable.native()) + " " + arguments + " 2>" + Admin::quote(errFile);
        Admin::Result r = Admin::run(line);
        return {r.exitStatus, r.output, readFile(errFile)};
    }
};

bool loaded(const std::string& loaderLog, const std::string& library) {
    return loaderLog.find("file=" + library) != std::string::npos;
}

}  // namespace

#ifdef __linux__
TEST_F(StartUpChain, OnlyTheLinksThatDrawLoadTheWindowsLibraries) {
    // The dynamic loader says which objects it maps; a command verb and the
    // probes start without Qt, poppler or cairo.
    for (const char* arguments : {"modules --json", "--probe-detection", "--list-tasks", "help"}) {
        SCOPED_TRACE(arguments);
        Outcome o = run(arguments, kExecutable, "LD_DEBUG=files");
        EXPECT_EQ(o.status, 0);
        ASSERT_TRUE(loaded(o.err, "libc.so")) << o.err.substr(0, 2000);
        for (const char* library : {"libvessiltane-gui", "libQt6", "libpoppler", "libcairo", "libpango"})
            EXPECT_FALSE(loaded(o.err, library)) << library;
    }
    Outcome icon = run("--render-icon icons", kExecutable, "LD_DEBUG=files");
    EXPECT_EQ(icon.status, 0);
    EXPECT_TRUE(loaded(icon.err, "libQt6Gui")) << icon.err.substr(0, 2000);
    EXPECT_TRUE(loaded(icon.err, fs::path(VESSILTANE_BINARY_DIR) / GuiModule::kFileName));
}
#endif

TEST_F(StartUpChain, TheFirstLinkInChainOrderTakesTheInvocation) {
    writeFile(tmp() / "notes.pdf", "not a PDF");
    struct Case {
        std::string arguments;
        int status;
        std::string outStart;
        std::string errStart;
    } cases[] = {
        // The icon comes before the command verbs.
        {"scan --render-icon icons", 0, "", "icon: wrote iconset to icons\n"},
        // Probes run in chain order, not in the order given.
        {"--list-tasks --probe-detection", 0, "detection rules \u2014 expected matches\n", ""},
        {"--stamp-guide notes.pdf --render-pdf notes.pdf pages", 0, "", "stamp failed: not a readable PDF\n"},
        {"--render-pdf notes.pdf pages --check-updates", 0, "cannot read " + (tmp() / "notes.pdf").native() + "\n", ""},
        {"--check-updates --diagnose", 0, "apps: 0, publishing an update feed: 0\n", ""},
        {"--diagnose", 0, "User Cache Files\n", ""},
        {"diagnose", 0, "Would clean ", ""},
        {"--list-tasks --probe-thinning", 0, "  ", ""},
        // The screen renders come after the engine probes, before the login items.
        {"--list-login-items --render-summary summary.png 0", 0, "rendered 880x", ""},
        {"--list-tasks --render-coverage coverage.png", 0, "rendered 1120x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Outcome o = run(c.arguments);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out.substr(0, c.outStart.size()), c.outStart) << o.out;
        EXPECT_EQ(o.err.substr(0, c.errStart.size()), c.errStart) << o.err;
        if (c.outStart.empty()) {
            EXPECT_EQ(o.out, "");
        }
    }
    // A switch without its value is left to the rest of the chain, which
    // ends at the window; so does a first word that is no command.
    for (const char* arguments : {"--probe-thinning", "--render-icon", "--stamp-guide", "--render-pdf notes.pdf",
                                  "--render-summary", "--render-coverage",
                                  "photos", "--module systemJunk scan"}) {
        SCOPED_TRACE(arguments);
        WindowLaunch window = launchUntilWindowOpens("HOME=" + Admin::quote(home().native()) + " VESSILTANE_ROOT=" +
                                                         Admin::quote(root().native()) + " " +
                                                         Admin::quote(kExecutable.native()) + " " + arguments,
                                                     tmp());
        EXPECT_TRUE(window.opened) << window.describe();
        EXPECT_EQ(window.out, "");
    }
    EXPECT_EQ(readFile(tmp() / "notes.pdf"), "not a PDF");
    EXPECT_FALSE(fs::exists(tmp() / "pages"));
    EXPECT_TRUE(fs::exists(tmp() / "icons" / "icon_16x16.png"));
    EXPECT_TRUE(fs::exists(tmp() / "summary.png"));
    EXPECT_TRUE(fs::exists(tmp() / "coverage.png"));
}

#ifndef __APPLE__
TEST_F(StartUpChain, WithoutADisplayTheWindowSaysWhyInOneLineAndEndsWithOne) {
    // The window is what the bare invocation and --help open; a command verb
    // still needs no display at all.
    const std::string line =
        "vessiltane: the window needs a display and none can be reached; `vessiltane help` lists the commands\n";
    for (const char* environment : {"env -i", "env -i DISPLAY=:4093", "env -i QT_QPA_PLATFORM=xcb"}) {
        for (const char* arguments : {"", "--help", "-h"}) {
            SCOPED_TRACE(std::string(environment) + " vessiltane " + arguments);
            Outcome o = run(arguments, kExecutable, environment);
            EXPECT_EQ(o.status, 1);
            EXPECT_EQ(o.out, "");
            EXPECT_EQ(o.err, line);
        }
    }
    Outcome help = run("help", kExecutable, "env -i");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("help        This text"), std::string::npos) << help.out;

    // A display that is there counts.
    testing_support::Xvfb display(320, 240);
    ASSERT_TRUE(display.started());
    EXPECT_TRUE(Display::available([&](const char* name) -> const char* {
        return std::string_view(name) == "DISPLAY" ? display.display().c_str() : nullptr;
    }));
}
#endif

TEST_F(StartUpChain, WindowLibraryBesideTheExecutableOrInItsLibFolder) {
    // An installed layout: <prefix>/bin/vessiltane, <prefix>/lib/vessiltane/.
    const fs::path prefix = tmp() / "prefix";
    const fs::path executable = prefix / "bin" / "vessiltane";
    fs::create_directories(executable.parent_path());
    fs::copy_file(kExecutable, executable);

    Outcome missing = run("--render-icon icons", executable);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, std::string("vessiltane: cannot find the window's library ") + GuiModule::kFileName +
                               " beside " + (prefix / "bin").native() + " or in its ../lib/vessiltane\n");
    EXPECT_FALSE(fs::exists(tmp() / "icons"));
    // The command line works without it; the window, where a drawing switch
    // without its value leaves the invocation, says it is missing.
    EXPECT_EQ(run("modules --quiet", executable).status, 0);
    Outcome window = run("--render-icon", executable);
    EXPECT_EQ(window.status, 1);
    EXPECT_EQ(window.err.rfind("vessiltane: cannot find the window's library ", 0), 0u) << window.err;

    fs::create_directories(prefix / "lib" / "vessiltane");
    fs::copy_file(fs::path(VESSILTANE_BINARY_DIR) / GuiModule::kFileName,
                  prefix / "lib" / "vessiltane" / GuiModule::kFileName);
    Outcome installed = run("--render-icon icons", executable);
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.err, "icon: wrote iconset to icons\n");
    EXPECT_TRUE(fs::exists(tmp() / "icons" / "icon_512x512@2x.png"));

    // A file of that name that is not the library is said to be so.
    fs::remove(prefix / "lib" / "vessiltane" / GuiModule::kFileName);
    writeFile(prefix / "bin" / GuiModule::kFileName, "not a library");
    Outcome broken = run("--render-icon icons", executable);
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err.rfind("vessiltane: cannot load " + (prefix / "bin" / GuiModule::kFileName).native() + ": ", 0),
              0u)
        << broken.err;
}

#ifdef __linux__
TEST_F(StartUpChain, WindowLibraryExportsItsEntryAlone) {
    Admin::Result symbols = Admin::run(
        "nm -D --defined-only " + Admin::quote((fs::path(VESSILTANE_BINARY_DIR) / GuiModule::kFileName).native()));
    ASSERT_TRUE(symbols.ok) << symbols.output;
    std::string names;
    std::istringstream lines(symbols.output);
    // "<address> <type> <name>": a lower-case type (but u, v and w, which are
    // global too) is a local symbol the table merely lists, not an export.
    for (std::string line; std::getline(lines, line);) {
        const size_t typeAt = line.find(' ') + 1;
        const char type = typeAt < line.size() ? line[typeAt] : '?';
        if (std::islower(static_cast<unsigned char>(type)) && type != 'u' && type != 'v' && type != 'w') continue;
        names += line.substr(line.rfind(' ') + 1) + "\n";
    }
    EXPECT_EQ(names, std::string(GuiModule::kEntryName) + "\n");
}
#endif
