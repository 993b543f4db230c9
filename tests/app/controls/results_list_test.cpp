// The result list: a report's categories and items as one tree view over the
// results model, ticks asked of the report's owner, cards that open and
// close, and a category of 50,000 items without a widget per item.
#include <QAbstractItemModelTester>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/theme.h"
#include "app/state/app_state.h"
#include "app/state/manual_executor.h"
#include "support/window/window_test.h"

namespace {

ScanItem item(std::string name, int64_t size, Safety safety, bool selected, std::string detail = "~/Library/Caches/") {
    ScanItem it;
    it.url = "/tmp/" + name;
    it.name = std::move(name);
    it.detail = std::move(detail);
    it.size = size;
    it.safety = safety;
    it.isSelected = selected;
    return it;
}

ScanCategory category(std::string id, std::vector<ScanItem> items) {
    ScanCategory c;
    c.title = "Title of " + id;
    c.detail = "Detail of " + id;
    c.id = std::move(id);
    c.items = std::move(items);
    return c;
}

// Plays the report's owner: applies what the list asks for to its report and
// hands the list the result, as the application state does.
struct Owner {
    ScanReport report;
    ResultsList* list = nullptr;

    void attach(ResultsList& l) {
        list = &l;
        QObject::connect(&l, &ResultsList::toggleRequested, [this](ModuleID, const Uuid& id, int c, int i) {
            report.toggle(id);
            list->resultsModel()->setItemSelected(c, i, report.categories[size_t(c)].items[size_t(i)].isSelected);
        });
        QObject::connect(&l, &ResultsList::selectionRequested,
                         [this](ModuleID, bool selected, const std::string& id) {
                             report.setSelection(selected, id);
                             list->setReport(report);
                         });
        l.setReport(report);
    }
};

}  // namespace

class ResultsListTest : public WindowTest {};

TEST_F(ResultsListTest, ModelStaysConsistentAsReportsAreReplacedAndTicked) {
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ScanReport r;
    r.categories = {category("a", {item("one", 10, Safety::safe, true), item("two.log", 20, Safety::review, false)}),
                    category("b", {item("three", 30, Safety::protected_, false)})};
    model.setReport(r);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 2);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setItemSelected(0, 1, true);
    EXPECT_EQ(changed.count(), 2);  // the row and its card's header
    EXPECT_EQ(model.index(0, 0).data(ResultsModel::SelectedBytesRole).toLongLong(), 30);

    // The same categories and items: updated in place, one range per card.
    r.categories[0].items[0].isSelected = false;
    r.categories[0].items[1].isSelected = false;
    changed.clear();
    model.setReport(r);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(model.index(0, 0).data(ResultsModel::SelectedCountRole).toInt(), 0);

    // Other items: a new model.
    r.categories[1].items.push_back(item("four", 40, Safety::safe, true));
    model.setReport(r);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.index(1, 0).data(ResultsModel::BytesRole).toLongLong(), 70);
    model.setReport(ScanReport{});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ResultsListTest, CategoryCheckboxCyclesAndAProtectedItemNeverBlocksClearing) {
    struct Row {
        const char* name;
        std::vector<ScanItem> items;
        // (on, mixed) at the start and after each of three activations.
        std::vector<std::pair<bool, bool>> looks;
    } rows[] = {
        {"nothing selected", {item("a", 1, Safety::safe, false), item("b", 2, Safety::review, false)},
         {{false, false}, {true, false}, {false, false}, {true, false}}},
        {"some selected", {item("a", 1, Safety::safe, true), item("b", 2, Safety::review, false)},
         {{false, true}, {true, false}, {false, false}, {true, false}}},
        {"with a protected item", {item("a", 1, Safety::safe, false), item("p", 2, Safety::protected_, false)},
         {{false, false}, {false, true}, {false, false}, {false, true}}},
        {"only protected items", {item("p", 1, Safety::protected_, false), item("q", 2, Safety::protected_, false)},
         {{false, false}, {false, false}, {false, false}, {false, false}}},
        {"empty", {}, {{false, false}, {false, false}, {false, false}, {false, false}}},
    };
    for (Row& row : rows) {
        ResultsList list(ModuleID::systemJunk);
        Owner owner;
        owner.report.categories = {category("c", row.items)};
        owner.attach(list);
        ResultsModel& model = *list.resultsModel();
        for (size_t step = 0; step < row.looks.size(); ++step) {
            EXPECT_EQ(model.categoryOn(0), row.looks[step].first) << row.name << " step " << step;
            EXPECT_EQ(model.categoryMixed(0), row.looks[step].second) << row.name << " step " << step;
            model.activateCheckbox(model.index(0, 0));
        }
        for (const ScanItem& it : owner.report.categories[0].items)
            EXPECT_FALSE(it.safety == Safety::protected_ && it.isSelected) << row.name;
    }
}

TEST_F(ResultsListTest, RowsAnnounceTheirCheckboxAndProtectedRowsCannotBeTicked) {
    ResultsModel model;
    ScanReport r;
    r.categories = {category("c", {item("Cache.db", 0, Safety::review, false), item("Keep", 5, Safety::protected_, false)})};
    model.setReport(r);
    const QModelIndex header = model.index(0, 0), review = model.index(0, 0, header), kept = model.index(1, 0, header);
    EXPECT_EQ(header.data(Qt::AccessibleTextRole).toString(), "Select all in Title of c");
    EXPECT_EQ(review.data(Qt::AccessibleTextRole).toString(), "Cache.db, Review, 0 KB");
    EXPECT_EQ(kept.data(ResultsModel::CheckboxValueRole).toString(), "Unavailable");
    EXPECT_EQ(review.data(ResultsModel::CheckboxValueRole).toString(), "Not selected");
    EXPECT_FALSE(model.flags(kept) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model.flags(review) & Qt::ItemIsUserCheckable);
    QSignalSpy toggles(&model, &ResultsModel::toggleRequested);
    model.activateCheckbox(kept);
    EXPECT_EQ(toggles.count(), 0);
    model.activateCheckbox(review);
    ASSERT_EQ(toggles.count(), 1);
    EXPECT_EQ(toggles.at(0).at(0).value<Uuid>(), r.categories[0].items[0].id);
}

TEST_F(ResultsListTest, TextsAndKindSymbols) {
    EXPECT_EQ(ResultsText::itemCount(1), "1 item");
    EXPECT_EQ(ResultsText::itemCount(0), "0 items");
    EXPECT_EQ(ResultsText::itemCount(2), "2 items");
    EXPECT_EQ(ResultsText::size(0), "0 KB");
    EXPECT_EQ(ResultsText::size(-5), "0 KB");
    struct Row {
        ScanItem item;
        Symbol kind;
    } rows[] = {
        {item("Caches", 0, Safety::safe, false, "~/Library/Caches/"), "folder"},
        {item("Cache.db", 0, Safety::safe, false, "~/Library"), "doc"},
        {item("Cache", 0, Safety::safe, false, "~/Library"), "doc"},
        {item("Cache.db", 10, Safety::safe, false, "~/Library"), "doc"},
        {item("Cache", 10, Safety::safe, false, "~/Library"), "folder"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ResultsText::kindSymbol(row.item), row.kind) << row.item.name << " " << row.item.size;
}

TEST_F(ResultsListTest, ClicksOnARowsCheckboxAndACardsButton) {
    ResultsList list(ModuleID::systemJunk);
    Owner owner;
    owner.report.categories = {
        category("one", {item("single", 10, Safety::safe, false)}),
        category("many", {item("a", 1, Safety::safe, false), item("b", 2, Safety::protected_, false),
                          item("c", 3, Safety::review, false)}),
    };
    owner.attach(list);
    render(list, QSize(700, 500));
    ResultsModel& model = *list.resultsModel();
    ResultsDelegate& delegate = *list.resultsDelegate();
    auto click = [&](const QModelIndex& index, QRectF (ResultsDelegate::*where)(const QRect&, const QModelIndex&) const) {
        const QRectF r = (delegate.*where)(list.visualRect(index), index);
        ASSERT_FALSE(r.isEmpty());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r.center().toPoint());
    };

    // A card of one item opens like any other and shows the item it holds:
    // what a removal would take is always there to see.
    click(model.index(0, 0), &ResultsDelegate::expandButtonRect);
    ASSERT_TRUE(list.isCategoryExpanded(0));
    render(list, QSize(700, 500));
    const QModelIndex single = model.index(0, 0, model.index(0, 0));
    EXPECT_EQ(single.data(Qt::DisplayRole).toString(), "single");
    EXPECT_TRUE(list.viewport()->rect().intersects(list.visualRect(single)));
    click(single, &ResultsDelegate::checkboxRect);
    EXPECT_TRUE(owner.report.categories[0].items[0].isSelected);
    click(model.index(0, 0), &ResultsDelegate::expandButtonRect);
    EXPECT_FALSE(list.isCategoryExpanded(0));

    click(model.index(1, 0), &ResultsDelegate::expandButtonRect);
    EXPECT_TRUE(list.isCategoryExpanded(1));
    render(list, QSize(700, 500));
    const QModelIndex many = model.index(1, 0);
    click(model.index(2, 0, many), &ResultsDelegate::checkboxRect);
    EXPECT_TRUE(owner.report.categories[1].items[2].isSelected);
    click(model.index(1, 0, many), &ResultsDelegate::checkboxRect);
    EXPECT_FALSE(owner.report.categories[1].items[1].isSelected);
    click(model.index(0, 0), &ResultsDelegate::checkboxRect);
    EXPECT_FALSE(owner.report.categories[0].items[0].isSelected);

    // A new report of the same categories keeps the open card open, even
    // when its items changed.
    owner.report.categories[1].items.push_back(item("d", 4, Safety::safe, true));
    list.setReport(owner.report);
    EXPECT_TRUE(list.isCategoryExpanded(1));
    click(model.index(1, 0), &ResultsDelegate::expandButtonRect);
    EXPECT_FALSE(list.isCategoryExpanded(1));
}

TEST_F(ResultsListTest, TotalTurnsToTheTintWithASelectedByte) {
    const QColor tint = Theme::color(Modules::tint(ModuleID::systemJunk));
    auto tintedPixels = [&](bool selected) {
        ResultsList list(ModuleID::systemJunk);
        ScanReport r;
        r.categories = {category("c", {item("a", 1, Safety::safe, selected), item("b", 5000000, Safety::safe, false)})};
        list.setReport(r);
        QImage img = render(list, QSize(600, 120));
        // The right half of the header, where the total is.
        int n = 0;
        for (double x = 300; x < 560; x += 0.5)
            for (double y = 10; y < 50; y += 0.5)
                if (testing_support::near(pixel(img, {x, y}), tint, 30)) ++n;
        return n;
    };
    EXPECT_EQ(tintedPixels(false), 0);
    EXPECT_GT(tintedPixels(true), 20);
}

TEST_F(ResultsListTest, FiftyThousandItemsExpandScrollAndTickWithoutAWidgetEach) {
    ResultsList list(ModuleID::largeOldFiles);
    Owner owner;
    std::vector<ScanItem> items;
    items.reserve(50000);
    for (int i = 0; i < 50000; ++i) items.push_back(item("file" + std::to_string(i) + ".bin", 1000 + i, Safety::safe, false));
    owner.report.categories = {category("big", std::move(items))};
    owner.attach(list);
    render(list, QSize(700, 600));
    const int widgetsBefore = int(list.findChildren<QWidget*>().size());
    list.setCategoryExpanded(0, true);
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
    render(list, QSize(700, 600));
    EXPECT_GT(list.verticalScrollBar()->maximum(), 50000 * 30);
    EXPECT_EQ(int(list.findChildren<QWidget*>().size()), widgetsBefore);

    ResultsModel& model = *list.resultsModel();
    const QModelIndex last = model.index(49999, 0, model.index(0, 0));
    const QRect row = list.visualRect(last);
    ASSERT_TRUE(list.viewport()->rect().intersects(row));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.resultsDelegate()->checkboxRect(row, last).center().toPoint());
    EXPECT_TRUE(owner.report.categories[0].items[49999].isSelected);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(model.index(0, 0).data(ResultsModel::SelectedBytesRole).toLongLong(), 1000 + 49999);
}

// Bound to the application state, the list shows the module's stored report
// and ticks go into it.
class BoundResultsListTest : public ResultsListTest {};

TEST_F(BoundResultsListTest, TicksGoIntoTheStatesReportAndComeBack) {
    auto executor = std::make_shared<ManualExecutor>();
    AppState state(executor, {"vessiltane"});
    for (const char* name : {"old.dmg", "notes.txt", "photo.jpg"})
        testing_support::writeFile(home() / ".Trash" / name, std::string(5000, 'x'));
    ResultsList list(ModuleID::trashBins);
    list.bind(state);
    state.scanTrash();
    executor->settle();
    const ScanReport& report = state.report(ModuleID::trashBins);
    ASSERT_FALSE(report.categories.empty());
    ResultsModel& model = *list.resultsModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    // The list shows the state's own report: nothing copied.
    EXPECT_EQ(&model.categories(), &report.categories);
    ASSERT_EQ(model.rowCount(), int(report.categories.size()));
    const int items = int(report.categories[0].items.size());
    ASSERT_GE(items, 2);
    render(list, QSize(700, 500));
    list.setCategoryExpanded(0, true);
    render(list, QSize(700, 500));

    const QModelIndex first = model.index(0, 0, model.index(0, 0));
    const bool before = report.categories[0].items[0].isSelected;
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.resultsDelegate()->checkboxRect(list.visualRect(first), first).center().toPoint());
    EXPECT_EQ(state.report(ModuleID::trashBins).categories[0].items[0].isSelected, !before);
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), before ? Qt::Unchecked : Qt::Checked);

    // The category's box clears or selects everything, through the state.
    model.activateCheckbox(model.index(0, 0));
    const bool all = state.report(ModuleID::trashBins).categories[0].items[1].isSelected;
    for (const ScanItem& it : state.report(ModuleID::trashBins).categories[0].items) EXPECT_EQ(it.isSelected, all);
    EXPECT_EQ(model.index(0, 0).data(ResultsModel::SelectedCountRole).toInt(), all ? items : 0);
    EXPECT_TRUE(list.isCategoryExpanded(0));
    // Every category at once, the state's report changed in place: ranges, not a new model.
    state.setSelection(!all, std::nullopt, ModuleID::trashBins);
    EXPECT_EQ(model.index(0, 0).data(ResultsModel::SelectedCountRole).toInt(), all ? 0 : items);
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), all ? Qt::Unchecked : Qt::Checked);
    EXPECT_EQ(reset.count(), 0);

    // A new scan is a new report; the list lets go of the old one.
    const std::weak_ptr<const ScanReport> old = state.sharedReport(ModuleID::trashBins);
    state.scanTrash();
    executor->settle();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_TRUE(old.expired());
    EXPECT_EQ(&model.categories(), &state.report(ModuleID::trashBins).categories);
}
