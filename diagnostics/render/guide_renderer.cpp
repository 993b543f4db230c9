#include "diagnostics/render/guide_renderer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <poppler.h>
// qpdf's C interface: its C++ headers do not build with clang in C++20.
#include <qpdf/qpdf-c.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "engine/command_line.h"
#include "platform/atomic_file.h"
#include "platform/decimal.h"
#include "platform/file_handle.h"
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

// A page's media box in page space: the page's whole sheet, whatever part of
// it a crop box shows and however a viewer turns it.
struct Box {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
};

// The document poppler draws from, and each page's media box by index.
struct Opened {
    Document document;
    std::vector<Box> boxes;
};

// An error left unread is written to standard error on clean-up: the reason
// is the caller's to give, "not a readable PDF".
struct QpdfRelease {
    void operator()(_qpdf_data* data) const {
        if (qpdf_has_error(data)) qpdf_get_error(data);
        qpdf_cleanup(&data);
    }
};
using Qpdf = std::unique_ptr<_qpdf_data, QpdfRelease>;

// A page's media box; nothing when the page has none that is four numbers
// enclosing some area.
std::optional<Box> mediaBox(qpdf_data pdf, qpdf_oh page) {
    const qpdf_oh given = qpdf_oh_get_key(pdf, page, "/MediaBox");
    if (!qpdf_oh_is_array(pdf, given) || qpdf_oh_get_array_n_items(pdf, given) != 4) return std::nullopt;
    double corner[4];
    for (int i = 0; i < 4; ++i) {
        const qpdf_oh number = qpdf_oh_get_array_item(pdf, given, i);
        if (!qpdf_oh_is_number(pdf, number)) return std::nullopt;
        corner[i] = qpdf_oh_get_numeric_value(pdf, number);
    }
    Box box{std::min(corner[0], corner[2]), std::min(corner[1], corner[3]), std::max(corner[0], corner[2]),
            std::max(corner[1], corner[3])};
    if (!std::isfinite(box.width()) || !std::isfinite(box.height()) || box.width() <= 0 || box.height() <= 0)
        return std::nullopt;
    return box;
}

// Poppler draws a page's crop box turned by the page's rotation, and tells
// no media box. So the pages are drawn from a copy made here in which every
// page shows its whole media box, unturned: poppler then draws the media box
// with its top-left corner at the origin, and the boxes say where that lies
// in page space. A page without a usable media box is given US Letter, the
// size PDF readers give such a page. Nothing when qpdf cannot read the
// document (damaged beyond repair, or locked by a password) or it has no page.
std::optional<std::string> mediaBoxCopy(const std::string& bytes, std::vector<Box>& boxes) {
    const Qpdf held(qpdf_init());
    qpdf_data pdf = held.get();
    if (!pdf) return std::nullopt;
    qpdf_silence_errors(pdf);
    qpdf_set_suppress_warnings(pdf, QPDF_TRUE);
    if (qpdf_read_memory(pdf, "guide", bytes.data(), bytes.size(), nullptr) & QPDF_ERRORS) return std::nullopt;
    // Boxes and rotations a page takes from the page tree become its own.
    if (qpdf_push_inherited_attributes_to_page(pdf) & QPDF_ERRORS) return std::nullopt;
    const int count = qpdf_get_num_pages(pdf);
    if (count < 1) return std::nullopt;
    constexpr Box kLetter{0, 0, 612, 792};
    for (int i = 0; i < count; ++i) {
        const qpdf_oh page = qpdf_get_page_n(pdf, size_t(i));
        std::optional<Box> box = mediaBox(pdf, page);
        if (!box) qpdf_oh_replace_key(pdf, page, "/MediaBox", qpdf_oh_parse(pdf, "[0 0 612 792]"));
        qpdf_oh_replace_key(pdf, page, "/CropBox", qpdf_oh_get_key(pdf, page, "/MediaBox"));
        qpdf_oh_replace_key(pdf, page, "/Rotate", qpdf_oh_new_integer(pdf, 0));
        qpdf_oh_release_all(pdf);
        if (qpdf_has_error(pdf)) return std::nullopt;
        boxes.push_back(box.value_or(kLetter));
    }
    if (qpdf_init_write_memory(pdf) & QPDF_ERRORS) return std::nullopt;
    // Streams go across as they are; only the page dictionaries change.
    // The copy is never stored, so it needs no lock of its own.
    qpdf_set_decode_level(pdf, qpdf_dl_none);
    qpdf_set_compress_streams(pdf, QPDF_FALSE);
    qpdf_set_preserve_encryption(pdf, QPDF_FALSE);
    if ((qpdf_write(pdf) & QPDF_ERRORS) || !qpdf_get_buffer(pdf)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(qpdf_get_buffer(pdf)), qpdf_get_buffer_length(pdf));
}

// The document at the path, read through the one size-capped reader; no
// document when it is not a regular file, too large, or not a PDF that both
// qpdf and poppler can open.
Opened open(const fs::path& path) {
    Opened opened;
    auto bytes = FileText::read(path, kMaxDocumentBytes);
    if (!bytes) return opened;
    auto copy = mediaBoxCopy(*bytes, opened.boxes);
    bytes.reset();
    if (!copy) {
        opened.boxes.clear();
        return opened;
    }
    auto* held = new std::string(std::move(*copy));
    GBytes* data = g_bytes_new_with_free_func(held->data(), held->size(),
                                              [](gpointer text) { delete static_cast<std::string*>(text); }, held);
    GError* error = nullptr;
    opened.document.reset(poppler_document_new_from_bytes(data, nullptr, &error));
    g_bytes_unref(data);
    if (error) g_error_free(error);
    return opened;
}

Page page(PopplerDocument* document, int index) {
    if (index < 0 || index >= poppler_document_get_n_pages(document)) return nullptr;
    return Page(poppler_document_get_page(document, index));
}

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

// The footer of a page whose media box is drawn with its top-left corner at
// the surface's origin, y running down. Its geometry is in page space, up
// from the box's bottom edge: the right end follows the box's right edge,
// the left end stays at x = 48 of page space wherever the box begins.
void drawFooter(cairo_t* cr, cairo_scaled_font_t* font, const Box& box, int page, int total) {
    const double baseline = box.height() - kBaseline;
    const double left = kMargin - box.minX;
    const double right = box.width() - kMargin;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    cairo_set_line_width(cr, 0.5);
    cairo_move_to(cr, left, baseline - kRuleAboveBaseline);
    cairo_line_to(cr, right, baseline - kRuleAboveBaseline);
    cairo_stroke(cr);
    cairo_restore(cr);

    showText(cr, font, kTitle, left, baseline);
    const std::string label = Decimal::text(page) + " / " + Decimal::text(total);
    showText(cr, font, label, right - textWidth(cr, font, label), baseline);
}

// A length in points as the platform writes a floating-point number: the
// shortest text that reads back the same, with ".0" on whole numbers, and
// without an exponent from 1 up to 2^53 (1000000000000.0, not 1e+12).
std::string pointText(double value) {
    char buffer[64];
    const bool full = std::fabs(value) >= 1 && std::fabs(value) < 9007199254740992.0;
    auto r = full ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                  : std::to_chars(buffer, buffer + sizeof buffer, value);
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

// Whole, at an offset, going on after a short write or an interrupted one;
// false with errno set.
bool writeAllAt(int fd, const char* data, size_t size, off_t at) {
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(fd, data + written, size - written, at + off_t(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        written += size_t(n);
    }
    return true;
}

std::optional<std::string> readAll(int fd, off_t size) {
    std::string bytes(size_t(size), '\0');
    size_t read = 0;
    while (read < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + read, bytes.size() - read, off_t(read));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return std::nullopt;
        }
        read += size_t(n);
    }
    return bytes;
}

// Makes sure the file has room for size bytes before any of them is written:
// an error number, 0 when it has.
int reserve(int fd, off_t size) {
#ifdef __APPLE__
    fstore_t store{};
    store.fst_flags = F_ALLOCATEALL;
    store.fst_posmode = F_PEOFPOSMODE;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno;
    if (size <= st.st_size) return 0;
    store.fst_length = size - st.st_size;
    return ::fcntl(fd, F_PREALLOCATE, &store) == -1 ? errno : 0;
#else
    return ::posix_fallocate(fd, 0, size);
#endif
}

// The document's bytes written back over the file itself, once the whole new
// document is ready: its other names (hard links) keep naming it. The file is
// never emptied first: room for the new document is reserved, the new bytes
// written over the old ones and the file cut to their length only then. Should
// a write still fail, the old bytes are put back, so a failure leaves the
// document as it was, not cut short.
void writeInPlace(const fs::path& pdf, const std::string& bytes) {
    FileHandle file(::open(pdf.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) throw std::runtime_error(std::strerror(errno));
    const int fd = file.get();
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw std::runtime_error(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw std::runtime_error(std::strerror(EINVAL));
    std::optional<std::string> original = readAll(fd, st.st_size);
    if (!original) throw std::runtime_error(std::strerror(errno));

    if (int error = reserve(fd, off_t(bytes.size())); error != 0) {
        // Nothing of the document was written; any room taken goes again.
        (void)::ftruncate(fd, st.st_size);
        throw std::runtime_error(std::strerror(error));
    }
    const bool written = writeAllAt(fd, bytes.data(), bytes.size(), 0) && ::ftruncate(fd, off_t(bytes.size())) == 0 &&
                         ::fsync(fd) == 0;
    if (!written) {
        const int error = errno;
        if (writeAllAt(fd, original->data(), original->size(), 0)) (void)::ftruncate(fd, st.st_size);
        (void)::fsync(fd);
        throw std::runtime_error(std::strerror(error));
    }
    if (!file.close()) throw std::runtime_error(std::strerror(errno));
}

}  // namespace

int stamp(const fs::path& given) {
    // Through a link, the document it names is stamped and the link stays as
    // it is.
    std::error_code ec;
    fs::path pdf = fs::canonical(given, ec);
    if (ec) pdf = given;
    Opened opened = open(pdf);
    const int total = opened.document ? int(opened.boxes.size()) : 0;
    Page first = total >= 1 ? page(opened.document.get(), 0) : nullptr;
    if (!first) throw Error(Error::unreadable, "not a readable PDF");
    // A file the user may not write is left alone, never replaced.
    if (::faccessat(AT_FDCWD, pdf.c_str(), W_OK, AT_EACCESS) != 0) throw std::runtime_error(std::strerror(errno));

    std::string output;
    Surface surface(cairo_pdf_surface_create_for_stream(appendTo, &output, opened.boxes[0].width(),
                                                        opened.boxes[0].height()));
    Context cr(surface ? cairo_create(surface.get()) : nullptr);
    if (!surface || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS || !cr ||
        cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw Error(Error::noContext, "could not create a PDF context");

    const Font font(footerFont());
    for (int i = 0; i < total; ++i) {
        Page current = i == 0 ? std::move(first) : page(opened.document.get(), i);
        if (!current) continue;  // a page poppler cannot give is left out
        const Box& box = opened.boxes[size_t(i)];
        cairo_pdf_surface_set_size(surface.get(), box.width(), box.height());
        cairo_save(cr.get());
        // The printing road hands cairo the text with its glyphs, so the
        // redrawn pages keep text that can be searched and copied.
        poppler_page_render_for_printing(current.get(), cr.get());
        cairo_restore(cr.get());
        if (i >= 1) drawFooter(cr.get(), font.get(), box, i + 1, total);
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

    Opened opened = open(pdf);
    if (!opened.document) {
        out << "cannot read " << pdf.native() << '\n';
        return true;
    }
    AtomicFile::makeFolders(folder);  // a failure shows when the pages are written
    const int count = int(opened.boxes.size());
    out << "pages: " << Decimal::text(count) << '\n';
    Box shown;
    if (Page first = page(opened.document.get(), 0)) shown = opened.boxes[0];
    out << "size:  (" << pointText(shown.width()) << ", " << pointText(shown.height()) << ")\n" << std::flush;

    for (int i = 0; i < count; ++i) {
        Page current = page(opened.document.get(), i);
        if (!current) continue;
        const double width = opened.boxes[size_t(i)].width(), height = opened.boxes[size_t(i)].height();
        char name[32];
        std::snprintf(name, sizeof name, "page-%02d.png", i + 1);

        // A sheet wider than an image can be (cairo's limit is 32767 pixels)
        // asks for one a pixel too wide, which cairo refuses as too big.
        auto pixels = [](double points) { return int(std::min(std::ceil(2 * points), 32768.0)); };
        Surface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels(width), pixels(height)));
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
