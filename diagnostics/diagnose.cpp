// "--diagnose": how the scanner classifies five System Junk categories on
// this machine: what it found, what it would select and what it leaves for
// the user to decide.

#include <algorithm>
#include <array>

#include "diagnostics/diagnostics.h"
#include "engine/byte_format.h"
#include "engine/catalog.h"
#include "engine/command_line.h"
#include "engine/fs.h"
#include "engine/scanner.h"
#include "platform/decimal.h"

namespace Diagnostics {

bool handleIfRequested(const Arguments& arguments, std::ostream& out, std::ostream&) {
    if (!CommandLine::contains(arguments, "--diagnose")) return false;
    constexpr std::array<std::string_view, 5> wanted = {"user-caches", "system-caches", "user-logs", "system-logs",
                                                        "downloads"};
    std::vector<JunkCategory> categories;
    for (auto& category : Catalog::systemJunk())
        if (std::find(wanted.begin(), wanted.end(), category.id) != wanted.end()) categories.push_back(category);
    ScanToken token;
    ScanReport report = Scanner::scan(categories, token, [](double, const std::string&) {});

    for (const auto& category : report.categories) {
        int64_t total = 0;
        for (const auto& item : category.items) total += item.size;
        out << category.title << '\n';
        out << "  total " << ByteFormat::string(total) << " \u00B7 selected "
            << ByteFormat::string(category.selectedSize()) << " \u00B7 " << Decimal::text(category.selectedCount())
            << "/" << Decimal::text(category.items.size()) << " items selected\n";
        for (size_t i = 0; i < category.items.size() && i < 4; ++i)
            out << "    [" << Safeties::title(category.items[i].safety) << "] " << category.items[i].detail << '\n';
        if (category.items.size() <= 4) continue;
        std::vector<const ScanItem*> undecided;
        for (const auto& item : category.items)
            if (item.safety != Safety::safe) undecided.push_back(&item);
        if (undecided.empty()) continue;
        out << "    \u2026 " << Decimal::text(undecided.size()) << " not auto-selected, e.g. ";
        for (size_t i = 0; i < undecided.size() && i < 4; ++i) {
            if (i) out << ", ";
            out << undecided[i]->name << " (" << Safeties::title(undecided[i]->safety) << ")";
        }
        out << '\n';
    }

    int selected = 0, elevated = 0;
    for (const auto& category : report.categories)
        for (const auto& item : category.items)
            if (item.isSelected) {
                ++selected;
                if (FS::requiresElevation(item.url)) ++elevated;
            }
    out << "\nselected: " << Decimal::text(selected) << " items, " << Decimal::text(elevated)
        << " of them requiring administrator rights\n";
    return true;
}

}  // namespace Diagnostics
