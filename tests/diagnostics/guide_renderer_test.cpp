// The user-guide stamper and page renderer, on PDFs made here with cairo.
#include "diagnostics/render/guide_renderer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cairo-pdf.h>
#include <cairo.h>

#include <QImage>
#include <sstream>

#include "engine/admin.h"
#include "support/test_env.h"
#include "support/unprivileged.h"
#include "switch_run.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct PageSpec {
    double width, height;
};

// A PDF whose pages carry "Body text of page N" as real text.
void writePDF(const fs::path& file, const std::vector<PageSpec>& pages) {
    cairo_surface_t* surface = cairo_pdf_surface_create(file.c_str(), pages[0].width, pages[0].height);
    cairo_t* cr = cairo_create(surface);
    for (size_t i = 0; i < pages.size(); ++i) {
        cairo_pdf_surface_set_size(surface, pages[i].width, pages[i].height);
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 14);
        cairo_move_to(cr, 72, 100);
        cairo_show_text(cr, ("Body text of page " + std::to_string(i + 1)).c_str());
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

std::string tool(const std::string& commandLine) { return Admin::run(commandLine).output; }

// The page's text in the order it is drawn (pdftotext's own layout joins
// "2 / 3" into "2/3" whatever the file holds).
std::string pageText(const fs::path& pdf, int page) {
    std::string n = std::to_string(page);
    return tool("pdftotext -raw -f " + n + " -l " + n + " " + Admin::quote(pdf.native()) + " -");
}

// "Page    2 size: 792 x 612 pts" lines of pdfinfo.
std::string pageSizes(const fs::path& pdf) {
    std::string lines;
    std::istringstream in(tool("pdfinfo -f 1 -l 99 " + Admin::quote(pdf.native())));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Page ", 0) == 0 && line.find(" size: ") != std::string::npos)
            lines += line.substr(0, line.find(" pts") + 4) + "\n";
    return lines;
}

SwitchRun stampSwitch(const std::vector<std::string>& arguments) {
    return runSwitch(GuideRenderer::handleStampIfRequested, arguments);
}

SwitchRun renderSwitch(const std::vector<std::string>& arguments) {
    return runSwitch(GuideRenderer::handleRenderIfRequested, arguments);
}

}  // namespace

class GuideRendererTest : public TestEnv {};

TEST_F(GuideRendererTest, StampsEveryPageButTheFirstAndKeepsTextAndSizes) {
    const fs::path guide = tmp() / "guide.pdf";
    writePDF(guide, {{612, 792}, {792, 612}, {595.276, 841.89}});
    const std::string sizesBefore = pageSizes(guide);
    ASSERT_NE(sizesBefore.find("Page    3 size:  595.276 x 841.89 pts"), std::string::npos) << sizesBefore;

    SwitchRun run = stampSwitch({"--stamp-guide", guide.native()});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.out, "stamped 3 pages\n");
    EXPECT_EQ(run.err, "");

    EXPECT_EQ(pageSizes(guide), sizesBefore);
    const std::string first = pageText(guide, 1), second = pageText(guide, 2), third = pageText(guide, 3);
    EXPECT_NE(first.find("Body text of page 1"), std::string::npos) << first;
    EXPECT_EQ(first.find("Vessiltane User Guide"), std::string::npos) << first;
    EXPECT_EQ(first.find(" / 3"), std::string::npos) << first;
    EXPECT_NE(second.find("Body text of page 2"), std::string::npos) << second;
    EXPECT_NE(second.find("Vessiltane User Guide"), std::string::npos) << second;
    EXPECT_NE(second.find("2 / 3"), std::string::npos) << second;
    EXPECT_NE(third.find("3 / 3"), std::string::npos) << third;
    // Nothing is left beside the guide.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp()), fs::directory_iterator()), 3);
}

TEST_F(GuideRendererTest, FooterSitsOnItsOwnPagesBox) {
    // Each footer follows its own page: the title starts 48 points from the
    // left, the number ends 48 points from the right, the baseline 34 points
    // above the bottom.
    const fs::path guide = tmp() / "guide.pdf";
    writePDF(guide, {{612, 792}, {612, 792}, {842, 595}});
    GuideRenderer::stamp(guide);
    std::string boxes = tool("pdftotext -bbox " + Admin::quote(guide.native()) + " -");
    struct Word {
        std::string page, text;
        double xMin, xMax, yMax;
    };
    std::vector<Word> words;
    std::istringstream in(boxes);
    int page = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find("<page ") != std::string::npos) ++page;
        auto at = line.find("<word ");
        if (at == std::string::npos) continue;
        auto attribute = [&](const std::string& name) {
            auto p = line.find(name + "=\"");
            return std::stod(line.substr(p + name.size() + 2));
        };
        std::string text = line.substr(line.find('>') + 1);
        text = text.substr(0, text.find('<'));
        words.push_back({std::to_string(page), text, attribute("xMin"), attribute("xMax"), attribute("yMax")});
    }
    // The footer is drawn after the page's own text: the last such word.
    auto find = [&](const std::string& page, const std::string& text) -> const Word* {
        for (auto w = words.rbegin(); w != words.rend(); ++w)
            if (w->page == page && w->text == text) return &*w;
        return nullptr;
    };
    struct Case {
        std::string page, total;
        double width, height;
    } cases[] = {{"2", "3", 612, 792}, {"3", "3", 842, 595}};
    for (const auto& c : cases) {
        SCOPED_TRACE("page " + c.page);
        const Word* title = find(c.page, "Vessiltane");
        const Word* total = find(c.page, c.total);
        ASSERT_TRUE(title && total) << boxes;
        EXPECT_NEAR(title->xMin, 48, 1.0);
        EXPECT_NEAR(total->xMax, c.width - 48, 1.0);
        // pdftotext measures from the top; the glyphs' box reaches a little
        // below the baseline.
        EXPECT_NEAR(title->yMax, c.height - 34, 3.0);
    }
    EXPECT_EQ(find("1", "Vessiltane"), nullptr);
}

TEST_F(GuideRendererTest, WhatCannotBeStampedIsLeftByteForByte) {
    struct Case {
        std::string name;
        std::string contents;
    } cases[] = {
        {"notes.pdf", "This is not a PDF at all.\n"},
        {"empty.pdf", ""},
        {"truncated.pdf", "%PDF-1.7\n1 0 obj\n<< /Type /Catalog"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = tmp() / c.name;
        writeFile(file, c.contents);
        SwitchRun run = stampSwitch({"--stamp-guide", file.native()});
        EXPECT_TRUE(run.taken);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "stamp failed: not a readable PDF\n");
        EXPECT_EQ(readFile(file), c.contents);
    }
    // A folder and a missing file are no PDF either.
    EXPECT_EQ(stampSwitch({"--stamp-guide", tmp().native()}).err, "stamp failed: not a readable PDF\n");
    EXPECT_EQ(stampSwitch({"--stamp-guide", (tmp() / "none.pdf").native()}).err,
              "stamp failed: not a readable PDF\n");
    EXPECT_FALSE(fs::exists(tmp() / "none.pdf"));
}

TEST_F(GuideRendererTest, AFailedWriteKeepsTheOriginal) {
    const fs::path folder = tmp() / "locked";
    const fs::path guide = folder / "guide.pdf";
    fs::create_directories(folder);
    writePDF(guide, {{612, 792}, {612, 792}});
    const std::string original = readFile(guide);
    ::chmod(folder.c_str(), 0555);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        SwitchRun run = stampSwitch({"--stamp-guide", guide.native()});
        if (!run.taken) return "not taken";
        if (run.out != "") return "printed " + run.out;
        if (run.err != "stamp failed: Permission denied\n") return "said " + run.err;
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(guide), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(GuideRendererTest, TheFileGivenIsStampedWhereItIsAsWhatItIs) {
    const fs::path guide = tmp() / "guide.pdf";
    const auto stamped = [&](const fs::path& pdf) { return pageText(pdf, 2).find("Vessiltane User Guide") != std::string::npos; };

    // Through a link: the document it names is stamped, the link stays a link.
    writePDF(guide, {{612, 792}, {612, 792}});
    const fs::path link = tmp() / "link.pdf";
    fs::create_symlink(guide, link);
    SwitchRun viaLink = stampSwitch({"--stamp-guide", link.native()});
    EXPECT_EQ(viaLink.out, "stamped 2 pages\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), guide);
    EXPECT_TRUE(stamped(guide));

    // Its mode is kept.
    writePDF(guide, {{612, 792}, {612, 792}});
    ::chmod(guide.c_str(), 0640);
    EXPECT_EQ(stampSwitch({"--stamp-guide", guide.native()}).out, "stamped 2 pages\n");
    EXPECT_EQ(fs::status(guide).permissions() & fs::perms::all, fs::perms(0640));

    // A file of two names stays one file under both.
    writePDF(guide, {{612, 792}, {612, 792}});
    const fs::path other = tmp() / "other name.pdf";
    fs::create_hard_link(guide, other);
    EXPECT_EQ(stampSwitch({"--stamp-guide", other.native()}).out, "stamped 2 pages\n");
    EXPECT_TRUE(fs::equivalent(guide, other));
    EXPECT_EQ(fs::hard_link_count(guide), 2u);
    EXPECT_TRUE(stamped(guide));
    fs::remove(other);

    // A file the user may not write, in a folder the user may write: refused
    // and left as it was, not replaced.
    writePDF(guide, {{612, 792}, {612, 792}});
    ::chmod(tmp().c_str(), 0777);
    ::chown(guide.c_str(), kUnprivilegedId, kUnprivilegedId);
    ::chmod(guide.c_str(), 0444);
    const std::string original = readFile(guide);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        SwitchRun run = stampSwitch({"--stamp-guide", guide.native()});
        if (run.out != "") return "printed " + run.out;
        if (run.err != "stamp failed: Permission denied\n") return "said " + run.err;
        return "";
    });
    ::chmod(tmp().c_str(), 0755);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(guide), original);
    EXPECT_EQ(fs::status(guide).permissions() & fs::perms::all, fs::perms(0444));
}

TEST_F(GuideRendererTest, SwitchesWithoutTheirArgumentsAreLeftToTheChain) {
    EXPECT_FALSE(stampSwitch({}).taken);
    EXPECT_FALSE(stampSwitch({"--stamp-guide"}).taken);
    EXPECT_FALSE(renderSwitch({"--render-pdf"}).taken);
    EXPECT_FALSE(renderSwitch({"--render-pdf", "guide.pdf"}).taken);
}

TEST_F(GuideRendererTest, RendersEachPageAtTwiceItsSizeOnWhite) {
    const fs::path guide = tmp() / "guide.pdf";
    writePDF(guide, {{612, 792}, {300.5, 200}});
    const fs::path folder = tmp() / "pages" / "deeper";
    SwitchRun run = renderSwitch({"--render-pdf", guide.native(), folder.native()});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.out, "pages: 2\nsize:  (612.0, 792.0)\n");
    EXPECT_EQ(run.err, "");
    QImage first(QString::fromStdString((folder / "page-01.png").native()));
    QImage second(QString::fromStdString((folder / "page-02.png").native()));
    ASSERT_FALSE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(first.size(), QSize(1224, 1584));
    EXPECT_EQ(second.size(), QSize(601, 400));
    EXPECT_EQ(first.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(first.pixel(1223, 1583), qRgb(255, 255, 255));
    // The body text is drawn: some pixel on its line is dark.
    bool dark = false;
    for (int x = 144; x < 400 && !dark; ++x)
        for (int y = 170; y < 200 && !dark; ++y) dark = qGray(first.pixel(x, y)) < 100;
    EXPECT_TRUE(dark);
    EXPECT_FALSE(fs::exists(folder / "page-03.png"));
}

TEST_F(GuideRendererTest, RenderReportsWhatItCannotReadOrWrite) {
    // A relative path is shown resolved against the working folder.
    SwitchRun missing = renderSwitch({"--render-pdf", "no-such-guide.pdf", (tmp() / "out").native()});
    EXPECT_TRUE(missing.taken);
    EXPECT_EQ(missing.out, "cannot read " + (fs::current_path() / "no-such-guide.pdf").native() + "\n");
    EXPECT_FALSE(fs::exists(tmp() / "out"));

    // Pages that cannot be written are said so on standard error.
    const fs::path guide = tmp() / "guide.pdf";
    writePDF(guide, {{100, 100}});
    writeFile(tmp() / "file", "x");
    SwitchRun blocked = renderSwitch({"--render-pdf", guide.native(), (tmp() / "file").native()});
    EXPECT_TRUE(blocked.taken);
    EXPECT_EQ(blocked.out, "pages: 1\nsize:  (100.0, 100.0)\n");
    EXPECT_EQ(blocked.err.rfind("could not write " + (tmp() / "file" / "page-01.png").native() + ": ", 0), 0u)
        << blocked.err;
}
