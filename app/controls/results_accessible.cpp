#include "app/controls/results_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QItemSelectionModel>
#include <QPointer>
#include <map>
#include <tuple>

#include "app/controls/accessibility.h"
#include "app/controls/checkbox.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"

namespace ResultsAccessible {
namespace {

enum class Part { category, checkbox, expand, item };

class Element;

// Where a child stands among an interface's children, and which child lies
// at a point of the screen.
int indexAmong(const QAccessibleInterface* parent, const QAccessibleInterface* child) {
    for (int n = 0; n < parent->childCount(); ++n)
        if (parent->child(n) == child) return n;
    return -1;
}

QAccessibleInterface* childAtPoint(const QAccessibleInterface* parent, int x, int y) {
    for (int n = 0; n < parent->childCount(); ++n)
        if (QAccessibleInterface* c = parent->child(n); c && c->rect().contains(x, y)) return c;
    return nullptr;
}

// The interfaces of one list's painted parts, made as they are asked for and
// let go whenever the rows change (a new report of other categories or
// items), so none outlives what it describes. Opening or closing a card
// changes no part: its items are only reachable, or not.
class Elements : public QObject {
public:
    explicit Elements(ResultsList* list) : QObject(list), list_(list) {
        setObjectName(QStringLiteral("ResultsAccessibleElements"));
        QAbstractItemModel* model = list->model();
        connect(model, &QAbstractItemModel::modelReset, this, &Elements::clear);
        connect(model, &QAbstractItemModel::layoutChanged, this, &Elements::clear);
        connect(model, &QAbstractItemModel::rowsInserted, this, &Elements::clear);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &Elements::clear);
        connect(model, &QAbstractItemModel::dataChanged, this, &Elements::announceChanges);
        connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, &Elements::announceFocus);
    }
    ~Elements() override { clear(); }

    static Elements* of(ResultsList* list) {
        if (auto* e = list->findChild<Elements*>(QStringLiteral("ResultsAccessibleElements"),
                                                  Qt::FindDirectChildrenOnly))
            return e;
        return new Elements(list);
    }

    QAccessibleInterface* get(Part part, int category, int item);

    void clear() {
        const auto ids = std::move(ids_);
        ids_.clear();
        for (const auto& [key, id] : ids) QAccessible::deleteAccessibleInterface(id);
    }

private:
    // A tick changed: the checkboxes of the rows it touched say so.
    void announceChanges(const QModelIndex& from, const QModelIndex& to) {
        if (!QAccessible::isActive()) return;
        const QModelIndex parent = from.parent();
        for (int row = from.row(); row <= to.row(); ++row) {
            const auto key = parent.isValid() ? std::make_tuple(int(Part::item), parent.row(), row)
                                              : std::make_tuple(int(Part::checkbox), row, -1);
            auto it = ids_.find(key);
            if (it == ids_.end()) continue;
            QAccessible::State changed;
            changed.checked = true;
            changed.checkStateMixed = true;
            QAccessibleStateChangeEvent event(QAccessible::accessibleInterface(it->second), changed);
            QAccessible::updateAccessibility(&event);
        }
    }

    // The keyboard moved to another row: it has the focus now.
    void announceFocus(const QModelIndex& current) {
        if (!QAccessible::isActive() || !list_->hasFocus() || !current.isValid()) return;
        QAccessibleInterface* element = current.parent().isValid()
                                            ? get(Part::item, current.parent().row(), current.row())
                                            : get(Part::category, current.row(), -1);
        if (!element) return;
        QAccessibleEvent event(element, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }

    ResultsList* list_;
    std::map<std::tuple<int, int, int>, QAccessible::Id> ids_;
};

class Element : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    Element(ResultsList* list, Part part, int category, int item)
        : list_(list), part_(part), category_(category), item_(item) {}

    bool isValid() const override {
        if (!list_) return false;
        const ResultsModel* m = model();
        if (category_ < 0 || category_ >= m->rowCount()) return false;
        return part_ != Part::item || item_ < m->rowCount(m->index(category_, 0));
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }

    QAccessibleInterface* parent() const override {
        if (!list_) return nullptr;
        if (part_ == Part::category) return QAccessible::queryAccessibleInterface(list_);
        return Elements::of(list_)->get(Part::category, category_, -1);
    }
    int childCount() const override {
        if (part_ != Part::category || !isValid()) return 0;
        const int items = model()->rowCount(index());
        return 1 + (items > 0 ? 1 : 0) + (list_->isExpanded(index()) ? items : 0);
    }
    QAccessibleInterface* child(int n) const override {
        if (n < 0 || n >= childCount()) return nullptr;
        Elements* elements = Elements::of(list_);
        if (n == 0) return elements->get(Part::checkbox, category_, -1);
        if (n == 1) return elements->get(Part::expand, category_, -1);
        return elements->get(Part::item, category_, n - 2);
    }
    int indexOfChild(const QAccessibleInterface* child) const override { return indexAmong(this, child); }
    QAccessibleInterface* childAt(int x, int y) const override { return childAtPoint(this, x, y); }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        const QModelIndex i = index();
        const ResultsModel* m = model();
        switch (part_) {
            case Part::category:
                if (t == QAccessible::Name) return i.data(Qt::DisplayRole).toString();
                if (t == QAccessible::Description)
                    return Accessibility::spoken(ResultsText::size(i.data(ResultsModel::BytesRole).toLongLong()) +
                                                 QStringLiteral(", ") +
                                                 ResultsText::itemCount(i.data(ResultsModel::ItemCountRole).toInt()));
                return {};
            case Part::checkbox:
                if (t == QAccessible::Name) return i.data(Qt::AccessibleTextRole).toString();
                if (t == QAccessible::Value)
                    return Checkbox::accessibilityValue(m->categoryOn(category_), m->categoryMixed(category_), false);
                return {};
            case Part::expand:
                if (t == QAccessible::Name)
                    return (list_->isExpanded(i) ? QStringLiteral("Hide ") : QStringLiteral("Show ")) +
                           i.data(Qt::DisplayRole).toString();
                return {};
            case Part::item:
                if (t == QAccessible::Name) return Accessibility::spoken(i.data(Qt::AccessibleTextRole).toString());
                if (t == QAccessible::Value) return i.data(ResultsModel::CheckboxValueRole).toString();
                if (t == QAccessible::Description) return i.data(ResultsModel::DetailRole).toString();
                return {};
        }
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QModelIndex i = index();
        const QRect row = list_->visualRect(i);
        QRectF r = row;
        if (part_ == Part::checkbox) r = list_->resultsDelegate()->checkboxRect(row, i);
        if (part_ == Part::expand) r = list_->resultsDelegate()->expandButtonRect(row, i);
        const QRect local = r.toAlignedRect();
        return {list_->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::Role role() const override {
        switch (part_) {
            case Part::category: return QAccessible::TreeItem;
            case Part::checkbox:
            case Part::item: return QAccessible::CheckBox;
            case Part::expand: return QAccessible::Button;
        }
        return QAccessible::NoRole;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const QModelIndex i = index();
        const ResultsModel* m = model();
        const bool current = list_->hasFocus() && list_->currentIndex() == i;
        s.invisible = !list_->isVisible() || list_->visualRect(i).isEmpty();
        switch (part_) {
            case Part::category:
                s.focusable = true;
                s.focused = current;
                s.expandable = m->rowCount(i) > 0;
                s.expanded = list_->isExpanded(i);
                break;
            case Part::checkbox:
                s.checkable = true;
                s.checked = m->categoryOn(category_);
                s.checkStateMixed = m->categoryMixed(category_);
                break;
            case Part::expand:
                s.expandable = true;
                s.expanded = list_->isExpanded(i);
                break;
            case Part::item: {
                const ScanItem* item = m->item(i);
                s.focusable = true;
                s.focused = current;
                s.checkable = true;
                s.checked = m->isSelected(i);
                s.disabled = item && item->safety == Safety::protected_;
                break;
            }
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override {
        if (!isValid()) return {};
        switch (part_) {
            case Part::checkbox: return {toggleAction()};
            case Part::item: return state().disabled ? QStringList() : QStringList{toggleAction()};
            case Part::expand: return {pressAction()};
            case Part::category: return {};
        }
        return {};
    }
    void doAction(const QString& name) override {
        if (!isValid()) return;
        if ((part_ == Part::checkbox || part_ == Part::item) && name == toggleAction())
            list_->resultsModel()->activateCheckbox(index());
        if (part_ == Part::expand && name == pressAction())
            list_->setCategoryExpanded(category_, !list_->isCategoryExpanded(category_));
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    const ResultsModel* model() const { return list_->resultsModel(); }
    QModelIndex index() const {
        const QModelIndex category = model()->index(category_, 0);
        return part_ == Part::item ? model()->index(item_, 0, category) : category;
    }

    QPointer<ResultsList> list_;
    Part part_;
    int category_;
    int item_;
};

QAccessibleInterface* Elements::get(Part part, int category, int item) {
    const auto key = std::make_tuple(int(part), category, item);
    if (auto it = ids_.find(key); it != ids_.end()) return QAccessible::accessibleInterface(it->second);
    auto* element = new Element(list_, part, category, item);
    if (!element->isValid()) {
        delete element;
        return nullptr;
    }
    ids_[key] = QAccessible::registerAccessibleInterface(element);
    return element;
}

// The list itself: a tree whose children are the categories (not the view's
// scroll bars and viewport).
class AccessibleResults : public QAccessibleWidget {
public:
    explicit AccessibleResults(ResultsList* list) : QAccessibleWidget(list, QAccessible::Tree) {}
    ResultsList* list() const { return static_cast<ResultsList*>(widget()); }

    int childCount() const override { return list()->resultsModel()->rowCount(); }
    QAccessibleInterface* child(int n) const override {
        return Elements::of(list())->get(Part::category, n, -1);
    }
    int indexOfChild(const QAccessibleInterface* child) const override { return indexAmong(this, child); }
    QAccessibleInterface* childAt(int x, int y) const override { return childAtPoint(this, x, y); }
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = list()->currentIndex();
        if (!list()->hasFocus() || !current.isValid()) return nullptr;
        Elements* elements = Elements::of(list());
        if (current.parent().isValid()) return elements->get(Part::item, current.parent().row(), current.row());
        return elements->get(Part::category, current.row(), -1);
    }
};

}  // namespace

QAccessibleInterface* make(ResultsList* list) { return new AccessibleResults(list); }

}  // namespace ResultsAccessible
