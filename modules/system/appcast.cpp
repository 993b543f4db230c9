#include "modules/system/appcast.h"

#include <expat.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <array>
#include <climits>
#include <memory>
#include <vector>

#include "modules/system/updater.h"
#include "modules/system/web_link.h"
#include "platform/unicode.h"

namespace Appcast {
namespace {

// Feeds are a handful of levels deep; anything far deeper is not a feed and
// would only cost memory.
constexpr int kMaxDepth = 256;

// One feed item as collected.
struct RawItem {
    std::string version;
    std::optional<std::string> downloadURL;
    std::optional<std::string> releaseNotesURL;
    std::optional<std::string> published;
    std::optional<std::string> channel;
};

// Element names are matched without regard to case.
std::string lowerName(const char* name) {
    std::string out(name);
    bool ascii = true;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
        else if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return ascii ? out : Unicode::lower(name);
}

const char* attribute(const char** attributes, std::string_view name) {
    for (size_t i = 0; attributes[i]; i += 2)
        if (name == attributes[i]) return attributes[i + 1];
    return nullptr;
}

// Collects the items of one feed from the parser's events.
struct Delegate {
    XML_Parser parser = nullptr;
    std::vector<RawItem> items;
    std::optional<RawItem> current;
    std::string text;
    bool inCdata = false;
    int depth = 0;
    bool tooDeep = false;

    void start(const char* rawName, const char** attributes) {
        if (++depth > kMaxDepth) {
            tooDeep = true;
            XML_StopParser(parser, XML_FALSE);
            return;
        }
        text.clear();
        std::string name = lowerName(rawName);
        if (name == "item") {
            current = RawItem{};
            return;
        }
        if (!current) return;
        if (name == "enclosure") {
            for (const char* key : {"sparkle:shortVersionString", "sparkle:version", "version"}) {
                const char* value = attribute(attributes, key);
                if (!value) continue;
                if (*value) current->version = value;
                break;
            }
            if (!current->downloadURL)
                if (const char* url = attribute(attributes, "url")) current->downloadURL = WebLink::parse(url);
        } else if (name == "link") {
            if (const char* href = attribute(attributes, "href"))
                if (auto link = WebLink::parse(href)) current->releaseNotesURL = std::move(link);
        }
    }

    void characters(const char* data, int length) {
        // Text inside CDATA sections is not part of an element's text.
        if (!inCdata) text.append(data, size_t(length));
    }

    void end(const char* rawName) {
        --depth;
        if (!current) {
            text.clear();
            return;
        }
        std::string value = Unicode::trimmed(text);
        text.clear();
        std::string name = lowerName(rawName);
        if (name == "sparkle:shortversionstring" || name == "shortversionstring") {
            if (!value.empty()) current->version = std::move(value);
        } else if (name == "sparkle:version") {
            if (!value.empty() && current->version.empty()) current->version = std::move(value);
        } else if (name == "sparkle:channel" || name == "channel") {
            if (!value.empty()) current->channel = std::move(value);
        } else if (name == "pubdate") {
            if (!value.empty()) current->published = std::move(value);
        } else if (name == "item") {
            if (!current->version.empty() || current->downloadURL) items.push_back(std::move(*current));
            current.reset();
        }
    }
};

void XMLCALL onStart(void* context, const XML_Char* name, const XML_Char** attributes) {
    static_cast<Delegate*>(context)->start(name, attributes);
}
void XMLCALL onCharacters(void* context, const XML_Char* data, int length) {
    static_cast<Delegate*>(context)->characters(data, length);
}
void XMLCALL onEnd(void* context, const XML_Char* name) { static_cast<Delegate*>(context)->end(name); }
void XMLCALL onCdataStart(void* context) { static_cast<Delegate*>(context)->inCdata = true; }
void XMLCALL onCdataEnd(void* context) { static_cast<Delegate*>(context)->inCdata = false; }

// Documents in a single-byte encoding the parser does not know itself
// (windows-1252, say) are read through the encoding's table.
int XMLCALL onUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(name, &status), &ucnv_close);
    if (U_FAILURE(status) || !converter || ucnv_getMaxCharSize(converter.get()) != 1) return XML_STATUS_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return XML_STATUS_ERROR;
    for (int byte = 0; byte < 256; ++byte) {
        char in = char(byte);
        UChar out[2] = {};
        status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(converter.get(), out, 2, &in, 1, &status);
        info->map[byte] = U_SUCCESS(status) && n == 1 && !U16_IS_SURROGATE(out[0]) ? int(out[0]) : -1;
        ucnv_reset(converter.get());
    }
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

// Runs the parser over the whole body; nothing when the document is not
// well-formed XML from start to end.
std::optional<std::vector<RawItem>> collectItems(std::string_view body) {
    if (body.size() > size_t(INT_MAX)) return std::nullopt;
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr), &XML_ParserFree);
    if (!parser) return std::nullopt;
    Delegate delegate;
    delegate.parser = parser.get();
    XML_SetUserData(parser.get(), &delegate);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onCharacters);
    XML_SetCdataSectionHandler(parser.get(), onCdataStart, onCdataEnd);
    XML_SetUnknownEncodingHandler(parser.get(), onUnknownEncoding, nullptr);
    if (XML_Parse(parser.get(), body.data(), int(body.size()), XML_TRUE) != XML_STATUS_OK || delegate.tooDeep)
        return std::nullopt;
    return std::move(delegate.items);
}

const icu::RegexPattern* prereleasePattern() {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError where;
        std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(
            icu::UnicodeString::fromUTF8("(?i)(?:^|[-_.0-9])(rc|alpha|beta|preview|nightly)\\d*(?:$|[-_.0-9])"), 0,
            where, status));
        return U_SUCCESS(status) ? std::move(p) : nullptr;
    }();
    return pattern.get();
}

bool isPrerelease(const RawItem& item) {
    if (item.channel) {
        std::string channel = Unicode::lower(Unicode::trimmed(*item.channel));
        if (!channel.empty() && channel != "stable" && channel != "release") return true;
    }
    if (!item.version.empty() && looksLikePrerelease(item.version)) return true;
    std::string file = item.downloadURL ? WebLink::lastPathComponent(*item.downloadURL) : std::string();
    return !file.empty() && looksLikePrerelease(file);
}

// ICU formatters are not safe to share between threads, so each thread that
// reads dates builds its own set once.
const std::vector<std::unique_ptr<icu::SimpleDateFormat>>& dateFormatters() {
    thread_local const std::vector<std::unique_ptr<icu::SimpleDateFormat>> formatters = [] {
        std::vector<std::unique_ptr<icu::SimpleDateFormat>> out;
        const icu::Locale posix("en_US_POSIX");
        // The day is "d", not "dd": feeds write "5 Nov" and " 5 Nov" as often as
        // "05 Nov", and a strict "dd" refuses the first two. Strict reading
        // stays: a lenient one takes "09 Jan 2013 ..." through the numeric form
        // as a date in year 14, and accepts a time without its zone.
        for (const char* format :
             {"EEE, d MMM yyyy HH:mm:ss Z", "EEE, d MMM yyyy HH:mm:ss zzz", "yyyy-MM-d'T'HH:mm:ssZ"}) {
            UErrorCode status = U_ZERO_ERROR;
            auto f = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(format), posix, status);
            if (U_FAILURE(status)) continue;
            f->setLenient(false);
            // Every text read names its own zone, so the formatter's zone never
            // enters the result; a fixed one spares looking up the machine's.
            f->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
            out.push_back(std::move(f));
        }
        return out;
    }();
    return formatters;
}

}  // namespace

std::optional<Clock::TimePoint> parseDate(std::string_view text) {
    if (text.empty() || text.size() > 256 || !Unicode::isValidUtf8(text)) return std::nullopt;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    for (const auto& formatter : dateFormatters()) {
        icu::ParsePosition position(0);
        UDate when = formatter->parse(u, position);
        if (position.getErrorIndex() >= 0 || position.getIndex() != u.length()) continue;
        // A date the clock cannot hold (centuries away) is not a date for this feed.
        using std::chrono::milliseconds;
        const double earliest = double(std::chrono::ceil<milliseconds>(Clock::TimePoint::min()).time_since_epoch().count());
        const double latest = double(std::chrono::floor<milliseconds>(Clock::TimePoint::max()).time_since_epoch().count());
        if (!(when > earliest && when < latest)) return std::nullopt;
        return Clock::TimePoint(std::chrono::duration_cast<Clock::TimePoint::duration>(milliseconds(int64_t(when))));
    }
    return std::nullopt;
}

bool looksLikePrerelease(std::string_view text) {
    const icu::RegexPattern* pattern = prereleasePattern();
    if (!pattern || !Unicode::isValidUtf8(text)) return false;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(u, status));
    if (U_FAILURE(status) || !matcher) return false;
    bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

std::optional<Entry> parse(std::string_view body, bool includePrereleases) {
    auto items = collectItems(body);
    if (!items) return std::nullopt;
    const RawItem* best = nullptr;
    for (const RawItem& item : *items) {
        if (item.version.empty() || (!includePrereleases && isPrerelease(item))) continue;
        if (!best || Updater::compareVersions(best->version, item.version) == Updater::Order::ascending) best = &item;
    }
    if (!best) return std::nullopt;
    Entry entry{best->version, best->downloadURL, best->releaseNotesURL, std::nullopt};
    if (best->published) entry.published = parseDate(*best->published);
    return entry;
}

}  // namespace Appcast
