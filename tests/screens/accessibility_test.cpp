// What assistive technology finds in the window, walked through the
// accessibility interfaces (never the widgets' members): every screen built
// from the sample home, with each control it shows named by what it shows or
// does now, in full unit words, never by a symbol's identifier, with the
// role and the state of its kind.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QRegularExpression>
#include <QTest>
#include <optional>
#include <set>

#include <QApplication>
#include <QLineEdit>
#include <QListView>

#include "app/controls/accessibility.h"
#include "app/controls/buttons.h"
#include "app/controls/focus_ring.h"
#include "app/controls/results_list.h"
#include "app/controls/symbols.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/sidebar_view.h"
#include "screen_test.h"
#include "screens/junk_module_view.h"
#include "screens/screen_catalog.h"
#include "screens/uninstaller_view.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

struct Control {
    QAccessibleInterface* iface;
    QAccessible::Role role;
    QString name;
    QAccessible::State state;
    QString where;  // the names on the way down, for messages
};

bool interactive(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Button:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ListItem:
        case QAccessible::TreeItem:
        case QAccessible::PageTab:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::Link:
        case QAccessible::Slider:
        case QAccessible::SpinBox:
            return true;
        default:
            return false;
    }
}

// Everything shown, depth first.
void collect(QAccessibleInterface* iface, const QString& where, std::vector<Control>& out, int depth = 0) {
    if (!iface || !iface->isValid() || depth > 80) return;
    const QAccessible::State state = iface->state();
    if (state.invisible) return;
    const QString name = iface->text(QAccessible::Name);
    out.push_back({iface, iface->role(), name, state, where});
    const QString below = where + " / " + (name.isEmpty() ? QString::number(int(iface->role())) : name);
    for (int i = 0; i < iface->childCount(); ++i) collect(iface->child(i), below, out, depth + 1);
}

bool isSymbolName(const QString& name) {
    for (const auto& entry : Symbols::kTable)
        if (name == QString::fromLatin1(entry.name.data(), qsizetype(entry.name.size()))) return true;
    return false;
}

// A size left in its short form: "1.9M", "940 KB", "0 KB".
bool hasShortUnit(const QString& name) {
    static const QRegularExpression shortUnit(QStringLiteral("\\d ?(B|K|M|G|T|KB|MB|GB|TB)\\b"));
    return shortUnit.match(name).hasMatch();
}

}  // namespace

class AccessibilityTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        const std::string command = std::string("'") + VESSILTANE_SOURCE_DIR + "/scripts/sample-home' '" +
                                    home().string() + "' >/dev/null";
        ASSERT_EQ(home().string().find('\''), std::string::npos);
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "scripts/sample-home failed";
        remakeState();
        catalog = Screens::catalog();
        view = std::make_unique<ContentView>(state(), services, &catalog, &context());
        view->resize(1200, 800);
        view->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        view.reset();
        ScreenTest::TearDown();
    }

    std::vector<Control> controls() {
        std::vector<Control> all;
        collect(QAccessible::queryAccessibleInterface(view.get()), QString(), all);
        return all;
    }

    // Every interactive control shown: a role, a name of what it shows or
    // does (not a symbol's identifier, sizes in full words), and the states
    // of its kind.
    void checkAll(const QString& screen) {
        std::map<QAccessibleInterface*, int> checkedRadios;
        int sidebarItems = 0, selectedSidebarItems = 0;
        for (const Control& c : controls()) {
            // A list is named by what it lists, or a reader says only "tree".
            if (c.role == QAccessible::Tree || c.role == QAccessible::List || c.role == QAccessible::Table) {
                EXPECT_FALSE(c.name.trimmed().isEmpty()) << (screen + ": " + c.where).toStdString() << " role "
                                                         << int(c.role);
            }
            if (!interactive(c.role)) continue;
            const QString at = screen + ": " + c.where + " / " + c.name;
            EXPECT_FALSE(c.name.trimmed().isEmpty()) << at.toStdString() << " role " << int(c.role);
            EXPECT_FALSE(isSymbolName(c.name)) << at.toStdString();
            if (c.role != QAccessible::EditableText) {
                EXPECT_FALSE(hasShortUnit(c.name)) << at.toStdString();
            }
            if (c.role == QAccessible::CheckBox) {
                EXPECT_TRUE(c.state.checkable) << at.toStdString();
            }
            if (c.role == QAccessible::RadioButton) {
                EXPECT_TRUE(c.state.checkable) << at.toStdString();
                if (c.state.checked) ++checkedRadios[c.iface->parent()];
                else checkedRadios.try_emplace(c.iface->parent(), 0);
            }
            if (c.role == QAccessible::ListItem && c.iface->parent() &&
                c.where.contains(QStringLiteral("Modules"))) {
                ++sidebarItems;
                EXPECT_TRUE(c.state.selectable) << at.toStdString();
                selectedSidebarItems += c.state.selected;
            }
        }
        for (const auto& [group, checked] : checkedRadios)
            EXPECT_EQ(checked, 1) << screen.toStdString() << ": a segmented control with " << checked << " chosen";
        EXPECT_EQ(sidebarItems, 16) << screen.toStdString();
        EXPECT_EQ(selectedSidebarItems, state().module() ? 1 : 0) << screen.toStdString();
    }

    std::optional<Control> find(QAccessible::Role role, const QString& name) {
        for (const Control& c : controls())
            if (c.role == role && c.name == name) return c;
        return std::nullopt;
    }

    ScreenCatalog catalog;
    std::unique_ptr<ContentView> view;
};

TEST_F(AccessibilityTest, EveryScreenOfTheSampleHomeNamesItsControlsByWhatTheyShowOrDo) {
    checkAll("dashboard");
    for (ModuleID module : Modules::allCases()) {
        state().setModule(module);
        state().rescanCurrent();
        settle();
        QCoreApplication::processEvents();
        checkAll(QString::fromStdString(std::string(Modules::rawValue(module))));
    }
    // The uninstaller's other mode, and the dashboard after its scan.
    state().setModule(ModuleID::uninstaller);
    settle();
    const std::optional<Control> orphans = find(QAccessible::RadioButton, "Orphaned Files");
    ASSERT_TRUE(orphans);
    orphans->iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    settle();
    checkAll("uninstaller, orphaned files");
    EXPECT_TRUE(find(QAccessible::RadioButton, "Orphaned Files")->state.checked);
    EXPECT_FALSE(find(QAccessible::RadioButton, "Applications")->state.checked);
    state().setModule(ModuleID::smartScan);
    state().smartScanAll();
    settle();
    checkAll("smart scan, scanned");
}

TEST_F(AccessibilityTest, ANameFollowsTheTextAButtonShowsNow) {
    // The junk screen scans as it opens: its header's button then reads Rescan.
    state().setModule(ModuleID::systemJunk);
    settle();
    EXPECT_TRUE(find(QAccessible::Button, "Rescan"));
    EXPECT_FALSE(find(QAccessible::Button, "Scan"));
    // Remove says how much, in words, and says the new amount once a
    // category is unticked.
    auto removeName = [&] {
        static const QRegularExpression pattern(QStringLiteral("^Remove [0-9.]+ (bytes|kilobytes|megabytes|gigabytes)$"));
        for (const Control& c : controls())
            if (c.role == QAccessible::Button && pattern.match(c.name).hasMatch()) return c.name;
        return QString();
    };
    const QString before = removeName();
    ASSERT_FALSE(before.isEmpty());
    const ScanReport& report = state().report(ModuleID::systemJunk);
    ASSERT_GE(report.categories.size(), 2u);
    state().setSelection(false, report.categories.front().id, ModuleID::systemJunk);
    const QString after = removeName();
    EXPECT_FALSE(after.isEmpty());
    EXPECT_NE(after, before);
    EXPECT_EQ(Accessibility::spoken("Remove 1.9M"), "Remove 1.9 megabytes");
    EXPECT_EQ(Accessibility::spoken("Clean 1 B, 940 KB of 2.34 GB"), "Clean 1 byte, 940 kilobytes of 2.34 gigabytes");
    EXPECT_EQ(Accessibility::spoken("Thin 3 apps"), "Thin 3 apps");

    // The result list: a card's checkbox and its show/hide button, then the
    // items once it opens, each a checkbox saying what it is and its state.
    std::optional<Control> show;
    for (const Control& c : controls())
        if (!show && c.role == QAccessible::Button && c.name.startsWith("Show ")) show = c;
    ASSERT_TRUE(show);
    const QString title = show->name.mid(5);
    QAccessibleInterface* card = show->iface->parent();
    ASSERT_TRUE(card);
    EXPECT_EQ(card->role(), QAccessible::TreeItem);
    EXPECT_EQ(card->text(QAccessible::Name), title);
    EXPECT_FALSE(card->state().expanded);
    QAccessibleInterface* box = card->child(0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    EXPECT_EQ(box->text(QAccessible::Name), "Select all in " + title);
    show->iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(card->state().expanded);
    EXPECT_EQ(card->child(1)->text(QAccessible::Name), "Hide " + title);
    ASSERT_GE(card->childCount(), 3);
    QAccessibleInterface* item = card->child(2);
    EXPECT_EQ(item->role(), QAccessible::CheckBox);
    EXPECT_TRUE(item->text(QAccessible::Name).contains(QRegularExpression(", (Safe|Review|Protected), [0-9.]+ ")))
        << item->text(QAccessible::Name).toStdString();
    // Unticking the item through its interface unticks it in the state, and
    // the checkbox of the card reads partly selected.
    const bool wasOn = item->state().checked;
    item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    settle();
    EXPECT_NE(item->state().checked, wasOn);
    if (card->childCount() > 3) {
        EXPECT_TRUE(box->state().checkStateMixed);
        EXPECT_EQ(box->text(QAccessible::Value), "Partially selected");
    }
}

TEST_F(AccessibilityTest, RingsTellTheirValueAndBannersAreAlerts) {
    const std::optional<Control> disk = find(QAccessible::ProgressBar, "Disk used");
    ASSERT_TRUE(disk);
    QAccessibleValueInterface* value = disk->iface->valueInterface();
    ASSERT_TRUE(value);
    EXPECT_GE(value->currentValue().toInt(), 0);
    EXPECT_LE(value->currentValue().toInt(), 100);
    EXPECT_TRUE(disk->iface->text(QAccessible::Value).endsWith("%"));

    state().showBanner("Quit Safari before cleaning its history.", true);
    QCoreApplication::processEvents();
    const std::optional<Control> banner = find(QAccessible::AlertMessage, "Quit Safari before cleaning its history.");
    ASSERT_TRUE(banner);
    // Its symbol says it is an error; no symbol anywhere is read by its identifier.
    EXPECT_TRUE(find(QAccessible::Graphic, "Error"));
    for (const Control& c : controls()) EXPECT_FALSE(isSymbolName(c.name)) << c.where.toStdString();
}

TEST_F(AccessibilityTest, TabReadsEachScreenTopDownThenGoesIntoTheSidebarAndShiftTabBack) {
    view->activateWindow();
    QCoreApplication::processEvents();
    auto* sidebar = view->sidebar();
    auto tabFrom = [&](QWidget* start, int presses, bool forward = true) {
        start->setFocus(Qt::OtherFocusReason);
        std::vector<QWidget*> visited;
        for (int i = 0; i < presses; ++i) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus) break;
            if (forward) QTest::keyClick(focus, Qt::Key_Tab);
            else QTest::keyClick(focus, Qt::Key_Backtab, Qt::ShiftModifier);
            visited.push_back(QApplication::focusWidget());
        }
        return visited;
    };

    // The junk screen adds its header's buttons after its list is made: Tab
    // still reads the header first.
    state().setModule(ModuleID::systemJunk);
    settle();
    auto* junk = qobject_cast<JunkModuleView*>(view->router()->screen());
    ASSERT_TRUE(junk);
    ASSERT_TRUE(junk->results()->isVisible());
    const std::vector<QWidget*> reading = {junk->scanButton(), junk->removeButton(), junk->results(), sidebar,
                                           junk->scanButton()};
    EXPECT_EQ(tabFrom(sidebar, 5), reading);
    EXPECT_TRUE(FocusRing::fromKeyboard(junk->scanButton()));
    const std::vector<QWidget*> back = {sidebar, junk->results(), junk->removeButton(), junk->scanButton(), sidebar};
    EXPECT_EQ(tabFrom(junk->scanButton(), 5, false), back);

    // Two columns side by side: the whole list column, then the details.
    state().setModule(ModuleID::uninstaller);
    settle();
    auto* uninstaller = qobject_cast<UninstallerView*>(view->router()->screen());
    ASSERT_TRUE(uninstaller);
    ASSERT_FALSE(state().apps().empty());
    state().select(state().apps().front());
    settle();
    QCoreApplication::processEvents();
    const std::vector<QWidget*> order = tabFrom(sidebar, 12);
    auto at = [&](QWidget* w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
    EXPECT_LT(at(uninstaller->searchField()), at(uninstaller->appList()));
    EXPECT_LT(at(uninstaller->appList()), at(uninstaller->uninstallButton()));
    EXPECT_LT(at(uninstaller->uninstallButton()), std::ptrdiff_t(order.size()));
    // Every stop of the screen comes before the sidebar's.
    EXPECT_TRUE(order.front() && view->router()->isAncestorOf(order.front()));
}

TEST_F(AccessibilityTest, TheHeadersFocusGoesFromRescanToStopAndBackAsTheScanRuns) {
    view->activateWindow();
    state().setModule(ModuleID::systemJunk);
    settle();
    QCoreApplication::processEvents();
    auto* junk = qobject_cast<JunkModuleView*>(view->router()->screen());
    ASSERT_TRUE(junk);
    ASSERT_TRUE(junk->scanButton()->isVisible());
    view->sidebar()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(view->sidebar(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), junk->scanButton());
    // Space presses Rescan; the button gives way to Stop, and so does the focus.
    QTest::keyClick(junk->scanButton(), Qt::Key_Space);
    ASSERT_TRUE(junk->isScanning());
    EXPECT_EQ(QApplication::focusWidget(), junk->scanStatus()->stopButton());
    EXPECT_TRUE(FocusRing::fromKeyboard(junk->scanStatus()->stopButton()));
    settle();
    QCoreApplication::processEvents();
    ASSERT_FALSE(junk->isScanning());
    EXPECT_EQ(QApplication::focusWidget(), junk->scanButton());
    EXPECT_TRUE(FocusRing::fromKeyboard(junk->scanButton()));
    settle();
}
