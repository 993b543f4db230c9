#include "diagnostics/render/guide_renderer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <poppler.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "engine/command_line.h"
#include "platform/atomic_file.h"
#include "platform/decimal.h"
#include "platform/file_text.h"

namespace fs = std::filesystem;

namespace GuideRenderer {
namespace {

// The largest document read: a guide full of pictures stays far below it.
constexpr size_t kMaxDocumentBytes = size_t(512) << 20;

// Footer geometry, in points from the page's bottom-left corner.
constexpr double kBaseline = 34;
constexpr double kRuleAboveBaseline = 14;
constexpr double kMargin = 48;
constexpr double kFontSize = 8.5;
constexpr const char* kTitle = "Vessiltane User Guide";

struct GObjectRelease {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Document = std::unique_ptr<PopplerDocument, GObjectRelease>;
using Page = std::unique_ptr<PopplerPage, GObjectRelease>;

struct CairoRelease {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Context = std::unique_ptr<cairo_t, CairoRelease>;
using Surface = std::unique_ptr<cairo_surface_t, CairoRelease>;

// The document at the path, read through the one size-capped reader; nothing
// when it is not a regular file, too large, or not a PDF poppler can open.
Document open(const fs::path& path) {
    auto bytes = FileText::read(path, kMaxDocumentBytes);
    if (!bytes) return nullptr;
    GBytes* data = g_bytes_new(bytes->data(), bytes->size());
    GError* error = nullptr;
    Document document(poppler_document_new_from_bytes(data, nullptr, &error));
    g_bytes_unref(data);
    if (error) g_error_free(error);
    return document;
}

Page page(PopplerDocument* document, int index) { return Page(poppler_document_get_page(document, index)); }

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
    try {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    } catch (const std::bad_alloc&) {
        return CAIRO_STATUS_NO_MEMORY;
    }
}

// The footer's font: Inter Medium at 8.5 points as the system's font
// configuration finds it, with unhinted metrics so a width is the sum of the
// glyphs' advances. Cairo then draws the text itself, which gives every
// character, spaces too, its glyph in the PDF, so the footer reads back as
// written. Null when the system has no font at all.
cairo_scaled_font_t* footerFont() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);

    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, "Inter");
    pango_font_description_set_weight(description, PANGO_WEIGHT_MEDIUM);
    pango_font_description_set_absolute_size(description, kFontSize * PANGO_SCALE);
    PangoFont* font = pango_font_map_load_font(map, context, description);
    pango_font_description_free(description);
    cairo_scaled_font_t* scaled = nullptr;
    if (font && PANGO_IS_CAIRO_FONT(font)) scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    if (scaled) cairo_scaled_font_reference(scaled);
    if (font) g_object_unref(font);
    g_object_unref(context);
    return scaled;
}

struct FontRelease {
    void operator()(cairo_scaled_font_t* font) const { cairo_scaled_font_destroy(font); }
};
using Font = std::unique_ptr<cairo_scaled_font_t, FontRelease>;

void useFont(cairo_t* cr, cairo_scaled_font_t* font) {
    if (font) {
        cairo_set_scaled_font(cr, font);
    } else {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, kFontSize);
    }
}

double textWidth(cairo_t* cr, cairo_scaled_font_t* font, const std::string& text) {
    cairo_save(cr);
    useFont(cr, font);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_restore(cr);
    return extents.x_advance;
}

// Draws the text with its baseline's left end at (x, baseline), in the
// surface's top-down coordinates.
void showText(cairo_t* cr, cairo_scaled_font_t* font, const std::string& text, double x, double baseline) {
    cairo_save(cr);
    useFont(cr, font);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, text.c_str());
    cairo_restore(cr);
}

// The footer of a page of the given size: the surface's y runs down from the
// top, the footer's geometry up from the bottom edge.
void drawFooter(cairo_t* cr, cairo_scaled_font_t* font, double width, double height, int page, int total) {
    const double baseline = height - kBaseline;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    cairo_set_line_width(cr, 0.5);
    cairo_move_to(cr, kMargin, baseline - kRuleAboveBaseline);
    cairo_line_to(cr, width - kMargin, baseline - kRuleAboveBaseline);
    cairo_stroke(cr);
    cairo_restore(cr);

    showText(cr, font, kTitle, kMargin, baseline);
    const std::string label = Decimal::text(page) + " / " + Decimal::text(total);
    showText(cr, font, label, width - kMargin - textWidth(cr, font, label), baseline);
}

// A length in points as the platform writes a floating-point number: the
// shortest text that reads back the same, with ".0" on whole numbers.
std::string pointText(double value) {
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, r.ptr);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

std::optional<size_t> position(const std::vector<std::string>& arguments, std::string_view flag) {
    auto it = std::find(arguments.begin(), arguments.end(), flag);
    if (it == arguments.end()) return std::nullopt;
    return size_t(it - arguments.begin());
}

fs::path absolute(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::absolute(path, ec);
    return ec ? fs::path(path) : resolved;
}

}  // namespace

namespace {

// The document's bytes written back over the file itself, once the whole new
// document is ready: its other names (hard links) keep naming it.
void writeInPlace(const fs::path& pdf, const std::string& bytes) {
    const int fd = ::open(pdf.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(std::strerror(errno));
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            throw std::runtime_error(std::strerror(error));
        }
        written += size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) throw std::runtime_error(std::strerror(errno));
}

}  // namespace

int stamp(const fs::path& given) {
    // Through a link, the document it names is stamped and the link stays as
    // it is.
    std::error_code ec;
    fs::path pdf = fs::canonical(given, ec);
    if (ec) pdf = given;
    Document document = open(pdf);
    const int total = document ? poppler_document_get_n_pages(document.get()) : 0;
    Page first = total >= 1 ? page(document.get(), 0) : nullptr;
    if (!first) throw Error(Error::unreadable, "not a readable PDF");
    // A file the user may not write is left alone, never replaced.
    if (::faccessat(AT_FDCWD, pdf.c_str(), W_OK, AT_EACCESS) != 0) throw std::runtime_error(std::strerror(errno));
    double width = 0, height = 0;
    poppler_page_get_size(first.get(), &width, &height);

    std::string output;
    Surface surface(cairo_pdf_surface_create_for_stream(appendTo, &output, width, height));
    Context cr(surface ? cairo_create(surface.get()) : nullptr);
    if (!surface || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS || !cr ||
        cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw Error(Error::noContext, "could not create a PDF context");

    const Font font(footerFont());
    for (int i = 0; i < total; ++i) {
        Page current = i == 0 ? std::move(first) : page(document.get(), i);
        if (!current) continue;  // a page poppler cannot give is left out
        poppler_page_get_size(current.get(), &width, &height);
        cairo_pdf_surface_set_size(surface.get(), width, height);
        cairo_save(cr.get());
        // The printing road hands cairo the text with its glyphs, so the
        // redrawn pages keep text that can be searched and copied.
        poppler_page_render_for_printing(current.get(), cr.get());
        cairo_restore(cr.get());
        if (i >= 1) drawFooter(cr.get(), font.get(), width, height, i + 1, total);
        cairo_show_page(cr.get());
    }
    cr.reset();
    cairo_surface_finish(surface.get());
    if (cairo_status_t status = cairo_surface_status(surface.get()); status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(cairo_status_to_string(status));

    struct stat st {};
    if (::lstat(pdf.c_str(), &st) != 0) throw std::runtime_error(std::strerror(errno));
    if (st.st_nlink > 1) {
        writeInPlace(pdf, output);
    } else {
        // Replaced whole, with the mode it had.
        std::string why;
        if (!AtomicFile::write(pdf, output, &why, unsigned(st.st_mode & 07777))) throw std::runtime_error(why);
    }
    return total;
}

bool handleStampIfRequested(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    auto path = CommandLine::value(arguments, "--stamp-guide");
    if (!path) return false;
    try {
        int pages = stamp(absolute(*path));
        out << "stamped " << Decimal::text(pages) << " pages\n";
    } catch (const std::exception& error) {
        err << "stamp failed: " << error.what() << '\n';
    }
    return true;
}

bool handleRenderIfRequested(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    auto at = position(arguments, "--render-pdf");
    if (!at || *at + 2 >= arguments.size()) return false;
    const fs::path pdf = absolute(arguments[*at + 1]);
    const fs::path folder = absolute(arguments[*at + 2]);

    Document document = open(pdf);
    if (!document) {
        out << "cannot read " << pdf.native() << '\n';
        return true;
    }
    AtomicFile::makeFolders(folder);  // a failure shows when the pages are written
    const int count = poppler_document_get_n_pages(document.get());
    out << "pages: " << Decimal::text(count) << '\n';
    double width = 0, height = 0;
    if (Page first = count >= 1 ? page(document.get(), 0) : nullptr)
        poppler_page_get_size(first.get(), &width, &height);
    out << "size:  (" << pointText(width) << ", " << pointText(height) << ")\n" << std::flush;

    for (int i = 0; i < count; ++i) {
        Page current = page(document.get(), i);
        if (!current) continue;
        poppler_page_get_size(current.get(), &width, &height);
        char name[32];
        std::snprintf(name, sizeof name, "page-%02d.png", i + 1);

        Surface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(std::ceil(2 * width)),
                                                 int(std::ceil(2 * height))));
        Context cr(cairo_create(image.get()));
        std::string png;
        if (cairo_status(cr.get()) == CAIRO_STATUS_SUCCESS) {
            cairo_set_source_rgb(cr.get(), 1, 1, 1);
            cairo_paint(cr.get());
            cairo_scale(cr.get(), 2, 2);
            poppler_page_render(current.get(), cr.get());
            cr.reset();
            cairo_surface_flush(image.get());
        }
        cairo_status_t status = cairo_surface_status(image.get());
        if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_write_to_png_stream(image.get(), appendTo, &png);
        // A page that could not be made is said so, never passed over in silence.
        std::string why;
        if (status != CAIRO_STATUS_SUCCESS) why = cairo_status_to_string(status);
        else AtomicFile::write(folder / name, png, &why);
        if (!why.empty()) err << "could not write " << (folder / name).native() << ": " << why << '\n';
    }
    return true;
}

}  // namespace GuideRenderer
