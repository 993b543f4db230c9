// Every symbol name the window uses maps to a glyph the installed symbol font
// really has.
#include <QRawFont>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/controls/fonts.h"
#include "app/controls/symbols.h"
#include "engine/module_id.h"
#include "support/window/window_test.h"

class SymbolsTest : public WindowTest {};

TEST_F(SymbolsTest, EveryGlyphOfTheTableIsInTheSymbolFont) {
    QRawFont font = QRawFont::fromFont(Fonts::symbols(16));
    ASSERT_TRUE(font.isValid());
    ASSERT_EQ(font.familyName(), QString(Fonts::kSymbolFamily));
    std::set<std::string_view> names;
    for (const Symbols::Entry& e : Symbols::kTable) {
        EXPECT_TRUE(names.insert(e.name).second) << "listed twice: " << e.name;
        EXPECT_TRUE(font.supportsCharacter(QChar(e.glyph))) << e.name << " -> " << e.materialName;
    }
}

TEST_F(SymbolsTest, EveryModuleSymbolResolves) {
    for (ModuleID m : Modules::allCases())
        EXPECT_TRUE(Symbols::lookup(Modules::icon(m))) << Modules::rawValue(m) << ": " << Modules::icon(m);
}

TEST_F(SymbolsTest, AnUnknownNameIsNotFoundAndDrawsAsTheMissingSymbol) {
    EXPECT_FALSE(Symbols::lookup("no.such.symbol"));
    EXPECT_EQ(Symbols::named("no.such.symbol"), Symbols::kMissing);
    EXPECT_EQ(Symbols::named("trash.fill").glyph, Symbol("trash.fill").glyph);
}

// Names written as Symbol literals are checked by the compiler; names looked
// up at run time from a literal are checked here, in every source folder of
// the window.
TEST_F(SymbolsTest, EveryNameLookedUpInTheCodeResolves) {
    const std::filesystem::path source = VESSILTANE_SOURCE_DIR;
    const QRegularExpression call(R"re(Symbols::(?:named|lookup)\(\s*"([^"]*)")re");
    int found = 0;
    for (const char* folder : {"app", "screens", "diagnostics"}) {
        if (!std::filesystem::exists(source / folder)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(source / folder)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            auto it = call.globalMatch(QString::fromStdString(text.str()));
            while (it.hasNext()) {
                const std::string name = it.next().captured(1).toStdString();
                ++found;
                EXPECT_TRUE(Symbols::lookup(name)) << entry.path() << ": " << name;
            }
        }
    }
    SUCCEED() << found << " names looked up by literal";
}
