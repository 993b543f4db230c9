#include "platform/locale_text.h"

#include <unicode/gregocal.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/decimal.h"

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#endif

namespace LocaleText {
namespace {

std::mutex overrideLock;
std::optional<std::string> overrideLocale;

// ICU's locale for an identifier; English for none or the POSIX locale, whose
// ICU counterpart writes numbers without grouping.
icu::Locale icuLocale(const std::string& locale) {
    if (locale.empty() || locale == "C" || locale == "POSIX") return icu::Locale("en", "US");
    icu::Locale out = icu::Locale::createFromName(locale.c_str());
    return out.isBogus() ? icu::Locale("en", "US") : out;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string fromVariables() {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string_view locale(value);
        locale = locale.substr(0, std::min(locale.find('.'), locale.find('@')));
        if (locale == "C" || locale == "POSIX") return "";
        return std::string(locale);
    }
    return "";
}

}  // namespace

std::string user() {
    {
        std::lock_guard guard(overrideLock);
        if (overrideLocale) return *overrideLocale;
    }
#ifdef __APPLE__
    std::string out;
    if (CFLocaleRef current = CFLocaleCopyCurrent()) {
        char buffer[128];
        if (CFStringGetCString(CFLocaleGetIdentifier(current), buffer, sizeof buffer, kCFStringEncodingUTF8))
            out = buffer;
        CFRelease(current);
    }
    return out;
#else
    return fromVariables();
#endif
}

void setForTesting(std::optional<std::string> locale) {
    std::lock_guard guard(overrideLock);
    overrideLocale = std::move(locale);
}

std::string grouped(int64_t value, const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(icu::NumberFormat::createInstance(icuLocale(locale), status));
    if (U_FAILURE(status) || !format) return Decimal::text(value);
    format->setGroupingUsed(true);
    icu::UnicodeString text;
    format->format(int64_t(value), text);
    return utf8(text);
}

std::string abbreviatedDate(int year, int month, int day, const std::string& locale) {
    const icu::Locale where = icuLocale(locale);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> patterns(
        icu::DateTimePatternGenerator::createInstance(where, status));
    if (U_FAILURE(status) || !patterns) return "";
    // Year, abbreviated month and day, in the locale's own order and words.
    const icu::UnicodeString pattern = patterns->getBestPattern(icu::UnicodeString("yMMMd"), status);
    icu::SimpleDateFormat format(pattern, where, status);
    if (U_FAILURE(status)) return "";
    // The day is a calendar day, not an instant: written in UTC on both sides.
    format.adoptTimeZone(icu::TimeZone::createTimeZone("UTC"));
    // The day is given in the Gregorian calendar; the locale's own (Buddhist
    // in Thai, say) writes it in its years.
    icu::GregorianCalendar calendar(icu::TimeZone::createTimeZone("UTC"), where, status);
    if (U_FAILURE(status)) return "";
    calendar.clear();
    calendar.set(year, month - 1, day);
    const UDate when = calendar.getTime(status);
    if (U_FAILURE(status)) return "";
    icu::UnicodeString text;
    format.format(when, text);
    return utf8(text);
}

}  // namespace LocaleText
