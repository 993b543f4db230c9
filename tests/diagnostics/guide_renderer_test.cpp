// The user-guide stamper and page renderer, on PDFs made here with cairo.
#include "diagnostics/render/guide_renderer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include <cairo-pdf.h>
#include <cairo.h>

#include <qpdf/qpdf-c.h>

#include <QImage>
#include <cerrno>
#include <cstring>
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

// A page written by hand, for the boxes cairo never writes: its dictionary's
// own entries, and two words in Helvetica, "Corner<tag>" near the media box's
// top-left corner and "Middle<tag>" inside every box.
struct HandPage {
    std::string entries;
    std::string tag;
    double minX = 0, minY = 0, height = 792;  // of the media box
};

// A PDF of those pages with a correct cross-reference table; the page tree
// itself carries treeEntries, which pages without their own inherit.
std::string handMadePDF(const std::vector<HandPage>& pages, const std::string& treeEntries = "") {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "",
                                        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    std::string kids;
    for (const HandPage& page : pages) {
        const int number = int(objects.size()) + 1;
        kids += std::to_string(number) + " 0 R ";
        auto word = [&](double x, double y, const std::string& text) {
            return "BT /F1 12 Tf " + std::to_string(page.minX + x) + " " + std::to_string(page.minY + y) + " Td (" +
                   text + ") Tj ET\n";
        };
        const std::string content =
            word(20, page.height - 32, "Corner" + page.tag) + word(200, 150, "Middle" + page.tag);
        objects.push_back("<< /Type /Page /Parent 2 0 R " + page.entries + " /Resources << /Font << /F1 3 0 R >> >>" +
                          " /Contents " + std::to_string(number + 1) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
    }
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " " + treeEntries + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// The same document locked with a password to open it.
std::string locked(const std::string& pdf, const std::string& password) {
    qpdf_data document = qpdf_init();
    qpdf_read_memory(document, "fixture", pdf.data(), pdf.size(), nullptr);
    qpdf_init_write_memory(document);
    qpdf_set_r6_encryption_parameters2(document, password.c_str(), "owner", QPDF_TRUE, QPDF_TRUE, QPDF_TRUE, QPDF_TRUE,
                                       QPDF_TRUE, QPDF_TRUE, qpdf_r3p_full, QPDF_TRUE);
    const bool written = !(qpdf_write(document) & QPDF_ERRORS) && qpdf_get_buffer(document);
    std::string bytes;
    if (written)
        bytes.assign(reinterpret_cast<const char*>(qpdf_get_buffer(document)), qpdf_get_buffer_length(document));
    qpdf_cleanup(&document);
    EXPECT_TRUE(written);
    return bytes;
}

std::string tool(const std::string& commandLine) { return Admin::run(commandLine).output; }

// A word as pdftotext -bbox places it on what a viewer shows of the page (its
// crop box): x from the left edge, y down from the top edge. Words that fall
// outside are left out.
struct Word {
    int page;
    std::string text;
    double xMin, xMax, yMax;
};

std::vector<Word> words(const fs::path& pdf) {
    std::vector<Word> found;
    std::istringstream in(tool("pdftotext -cropbox -bbox " + Admin::quote(pdf.native()) + " -"));
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
        found.push_back({page, text, attribute("xMin"), attribute("xMax"), attribute("yMax")});
    }
    return found;
}

// The footer is drawn after the page's own text: the last such word.
const Word* lastWord(const std::vector<Word>& words, int page, const std::string& text) {
    for (auto w = words.rbegin(); w != words.rend(); ++w)
        if (w->page == page && w->text == text) return &*w;
    return nullptr;
}

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
    const std::vector<Word> boxes = words(guide);
    struct Case {
        int page;
        std::string total;
        double width, height;
    } cases[] = {{2, "3", 612, 792}, {3, "3", 842, 595}};
    for (const auto& c : cases) {
        SCOPED_TRACE("page " + std::to_string(c.page));
        const Word* title = lastWord(boxes, c.page, "Vessiltane");
        const Word* total = lastWord(boxes, c.page, c.total);
        ASSERT_TRUE(title && total);
        EXPECT_NEAR(title->xMin, 48, 1.0);
        EXPECT_NEAR(total->xMax, c.width - 48, 1.0);
        // pdftotext measures from the top; the glyphs' box reaches a little
        // below the baseline.
        EXPECT_NEAR(title->yMax, c.height - 34, 3.0);
    }
    EXPECT_EQ(lastWord(boxes, 1, "Vessiltane"), nullptr);
}

namespace {

// Pages whose boxes differ: a crop box hiding the top of the sheet, a page
// turned a quarter, a media box away from the origin and one inherited from
// the page tree.
const HandPage kCropped{"/MediaBox [0 0 612 792] /CropBox [100 100 500 700]", "Cropped"};
const HandPage kTurned{"/MediaBox [0 0 612 792] /Rotate 90", "Turned"};
const HandPage kOffset{"/MediaBox [100 50 712 842]", "Offset", 100, 50};
const HandPage kInherited{"", "Inherited", 0, 0, 300};
const std::string kTreeBox = "/MediaBox [0 0 400 300]";

std::string withoutBlanks(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }), text.end());
    return text;
}

// The page's words that lie on what a viewer shows of it, run together:
// pdftotext may split a redrawn word where its glyphs are spaced a little
// apart.
std::string shownText(const std::vector<Word>& words, int page) {
    std::string text;
    for (const Word& w : words)
        if (w.page == page) text += w.text;
    return text;
}

}  // namespace

TEST_F(GuideRendererTest, EachPageIsStampedAsItsWholeMediaBox) {
    const fs::path guide = tmp() / "guide.pdf";
    writeFile(guide, handMadePDF({{"/MediaBox [0 0 612 792]", "Plain"},
                                  {"/MediaBox [0 0 612 792]", "Second"},
                                  kCropped, kTurned, kOffset, kInherited,
                                  {"/MediaBox [0 0 0 0]", "Shapeless"}},
                                 kTreeBox));
    // What a viewer shows of the fixture: the crop box hides the corner word,
    // the turned page lies on its side.
    ASSERT_EQ(shownText(words(guide), 3), "MiddleCropped");
    const std::string infoBefore = tool("pdfinfo -f 1 -l 7 " + Admin::quote(guide.native()));
    ASSERT_NE(infoBefore.find("Page    4 rot:   90"), std::string::npos) << infoBefore;

    EXPECT_EQ(stampSwitch({"--stamp-guide", guide.native()}).out, "stamped 7 pages\n");
    const std::string sizes = pageSizes(guide);
    const std::string info = tool("pdfinfo -f 1 -l 7 " + Admin::quote(guide.native()));
    const std::vector<Word> boxes = words(guide);
    // The title's last word on a page whose box starts at the origin.
    const Word* plainGuide = lastWord(boxes, 2, "Guide");
    ASSERT_TRUE(plainGuide);

    struct Case {
        int page;
        std::string tag;
        double minX, width, height;
    } cases[] = {
        {3, "Cropped", 0, 612, 792},
        {4, "Turned", 0, 612, 792},
        // The title starts at x = 48 of page space, here 52 points left of
        // the sheet's edge: only "Guide" (and "ser") are on the sheet.
        {5, "Offset", 100, 612, 792},
        {6, "Inherited", 0, 400, 300},
        // A media box that encloses nothing is taken as US Letter.
        {7, "Shapeless", 0, 612, 792},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        char line[64];
        std::snprintf(line, sizeof line, "Page %4d size:  %g x %g pts", c.page, c.width, c.height);
        EXPECT_NE(sizes.find(line), std::string::npos) << sizes;
        std::snprintf(line, sizeof line, "Page %4d rot:   0\n", c.page);
        EXPECT_NE(info.find(line), std::string::npos) << info;

        const std::string text = shownText(boxes, c.page);
        EXPECT_NE(text.find("Corner" + c.tag), std::string::npos) << text;
        EXPECT_NE(text.find("Middle" + c.tag), std::string::npos) << text;

        const Word* title = lastWord(boxes, c.page, "Guide");
        const Word* total = lastWord(boxes, c.page, "7");
        ASSERT_TRUE(title && total);
        EXPECT_NEAR(title->xMin, plainGuide->xMin - c.minX, 0.5);
        EXPECT_NEAR(total->xMax, c.width - 48, 1.0);
        EXPECT_NEAR(title->yMax, c.height - 34, 3.0);
    }
}

TEST_F(GuideRendererTest, DocumentsThatOpenWithoutAskingAreStamped) {
    const std::string pdf = handMadePDF({{"/MediaBox [0 0 612 792]", "One"}, {"/MediaBox [0 0 612 792]", "Two"}});
    std::string shifted = pdf;
    shifted.insert(shifted.find('\n') + 1, "%every offset in the table is now wrong\n");
    struct Case {
        std::string name, contents;
    } cases[] = {
        {"wrong cross-reference table", shifted},
        {"locked with an empty password to open it", locked(pdf, "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path guide = tmp() / "guide.pdf";
        writeFile(guide, c.contents);
        SwitchRun run = stampSwitch({"--stamp-guide", guide.native()});
        EXPECT_EQ(run.out, "stamped 2 pages\n");
        EXPECT_EQ(run.err, "");
        const std::string second = withoutBlanks(pageText(guide, 2));
        EXPECT_NE(second.find("MiddleTwo"), std::string::npos) << second;
        EXPECT_NE(second.find("VessiltaneUserGuide2/2"), std::string::npos) << second;
    }
}

TEST_F(GuideRendererTest, WhatCannotBeStampedIsLeftByteForByte) {
    struct Case {
        std::string name;
        std::string contents;
    } cases[] = {
        {"notes.pdf", "This is not a PDF at all.\n"},
        {"empty.pdf", ""},
        {"truncated.pdf", "%PDF-1.7\n1 0 obj\n<< /Type /Catalog"},
        {"locked.pdf", locked(handMadePDF({{"/MediaBox [0 0 612 792]", "One"}}), "secret")},
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

#ifdef __linux__
// A file of several names is written over where it is: on a full volume the
// stamp fails and leaves every byte of the document as it was; with room, a
// document that comes out shorter is cut to its new length.
TEST_F(GuideRendererTest, ADocumentOfTwoNamesIsNeverLeftCutShort) {
    const fs::path volume = tmp() / "small";
    fs::create_directories(volume);
    if (::mount("vessiltane-small", volume.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=512k,mode=0755") != 0)
        GTEST_SKIP() << "cannot mount a small volume here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{volume};
    const fs::path guide = volume / "guide.pdf";
    const fs::path other = volume / "other name.pdf";
    const fs::path filler = volume / "filler";
    writePDF(guide, {{612, 792}, {612, 792}, {612, 792}});
    fs::create_hard_link(guide, other);
    const std::string original = readFile(guide);

    // Every block of the volume taken.
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);

    SwitchRun full = stampSwitch({"--stamp-guide", other.native()});
    EXPECT_EQ(full.out, "");
    EXPECT_EQ(full.err, "stamp failed: No space left on device\n");
    EXPECT_EQ(readFile(guide), original);
    EXPECT_TRUE(fs::equivalent(guide, other));

    fs::remove(filler);
    EXPECT_EQ(stampSwitch({"--stamp-guide", other.native()}).out, "stamped 3 pages\n");
    EXPECT_GT(readFile(guide).size(), original.size()) << "the stamped document must need more room";
    EXPECT_EQ(fs::hard_link_count(guide), 2u);
    EXPECT_NE(withoutBlanks(pageText(guide, 2)).find("VessiltaneUserGuide2/3"), std::string::npos);

    // A document that carries more than its pages show comes out shorter.
    const std::string padding(200000, 'p');
    const std::string padded = handMadePDF({{"/MediaBox [0 0 612 792] /Padding (" + padding + ")", "One"},
                                            {"/MediaBox [0 0 612 792]", "Two"}});
    writeFile(guide, padded);
    EXPECT_EQ(stampSwitch({"--stamp-guide", guide.native()}).out, "stamped 2 pages\n");
    const std::string stamped = readFile(other);
    EXPECT_LT(stamped.size(), padded.size());
    EXPECT_EQ(stamped.find(padding.substr(0, 64)), std::string::npos);
    EXPECT_NE(withoutBlanks(pageText(other, 2)).find("VessiltaneUserGuide2/2"), std::string::npos);
}
#endif

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

TEST_F(GuideRendererTest, RendersEachPageAsItsWholeMediaBoxUnturned) {
    const fs::path guide = tmp() / "guide.pdf";
    writeFile(guide, handMadePDF({kCropped, kTurned, kOffset}));
    const fs::path folder = tmp() / "pages";
    SwitchRun run = renderSwitch({"--render-pdf", guide.native(), folder.native()});
    EXPECT_EQ(run.out, "pages: 3\nsize:  (612.0, 792.0)\n");
    EXPECT_EQ(run.err, "");
    for (const char* name : {"page-01.png", "page-02.png", "page-03.png"}) {
        SCOPED_TRACE(name);
        QImage image(QString::fromStdString((folder / name).native()));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(1224, 1584));
        // The corner word is drawn upright where the media box has it, also
        // where a crop box would have hidden it.
        bool dark = false;
        for (int x = 40; x < 200 && !dark; ++x)
            for (int y = 40; y < 70 && !dark; ++y) dark = qGray(image.pixel(x, y)) < 100;
        EXPECT_TRUE(dark);
    }
}

TEST_F(GuideRendererTest, RenderReportsWhatItCannotReadOrWrite) {
    // A relative path is shown resolved against the working folder.
    SwitchRun missing = renderSwitch({"--render-pdf", "no-such-guide.pdf", (tmp() / "out").native()});
    EXPECT_TRUE(missing.taken);
    EXPECT_EQ(missing.out, "cannot read " + (fs::current_path() / "no-such-guide.pdf").native() + "\n");
    EXPECT_FALSE(fs::exists(tmp() / "out"));

    // A document locked with a password is not read.
    const fs::path lockedGuide = tmp() / "locked.pdf";
    writeFile(lockedGuide, locked(handMadePDF({{"/MediaBox [0 0 612 792]", "One"}}), "secret"));
    EXPECT_EQ(renderSwitch({"--render-pdf", lockedGuide.native(), (tmp() / "out").native()}).out,
              "cannot read " + lockedGuide.native() + "\n");
    EXPECT_FALSE(fs::exists(tmp() / "out"));

    // So is a page too large for an image, and the pages after it are drawn.
    const fs::path vast = tmp() / "vast.pdf";
    writeFile(vast, handMadePDF({{"/MediaBox [0 0 1000000000000 792]", "Vast"},
                                 {"/MediaBox [0 0 100 100]", "Small", 0, 0, 100}}));
    SwitchRun tooLarge = renderSwitch({"--render-pdf", vast.native(), (tmp() / "vast").native()});
    EXPECT_EQ(tooLarge.out, "pages: 2\nsize:  (1000000000000.0, 792.0)\n");
    EXPECT_EQ(tooLarge.err.rfind("could not write " + (tmp() / "vast" / "page-01.png").native() + ": ", 0), 0u)
        << tooLarge.err;
    EXPECT_TRUE(fs::exists(tmp() / "vast" / "page-02.png"));

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
