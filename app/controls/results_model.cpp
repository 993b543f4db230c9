#include "app/controls/results_model.h"

#include "app/controls/checkbox.h"
#include "app/controls/qstring.h"
#include "engine/byte_format.h"

namespace {

// Item indexes carry their category's row + 1; category indexes carry 0.
constexpr quintptr kCategoryTag = 0;

}  // namespace

namespace ResultsText {

QString size(int64_t bytes) { return QString::fromStdString(ByteFormat::string(bytes)); }

QString itemCount(int count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

QString itemLabel(const ScanItem& item) {
    const std::string_view word = Safeties::title(item.safety);
    return qs(item.name) + QStringLiteral(", ") + QString::fromLatin1(word.data(), qsizetype(word.size())) +
           QStringLiteral(", ") + size(item.size);
}

QString categoryLabel(const ScanCategory& category) { return QStringLiteral("Select all in ") + qs(category.title); }

Symbol kindSymbol(const ScanItem& item) {
    if (!item.detail.empty() && item.detail.back() == '/') return "folder";
    if (item.size <= 0) return "doc";
    return item.name.find('.') != std::string::npos ? Symbol("doc") : Symbol("folder");
}

}  // namespace ResultsText

ResultsModel::ResultsModel(QObject* parent) : QAbstractItemModel(parent) {}

ResultsModel::Counts ResultsModel::count(const ScanCategory& c) {
    Counts n;
    for (const ScanItem& item : c.items) {
        n.totalBytes += item.size;
        const bool selectable = item.safety != Safety::protected_;
        if (selectable) ++n.selectable;
        if (item.isSelected) {
            ++n.selected;
            n.selectedBytes += item.size;
            if (selectable) ++n.selectedSelectable;
        }
    }
    return n;
}

bool ResultsModel::sameShape(const ScanReport& report) const {
    if (report.categories.size() != categories_.size()) return false;
    for (size_t c = 0; c < categories_.size(); ++c) {
        const ScanCategory& mine = categories_[c];
        const ScanCategory& theirs = report.categories[c];
        if (mine.id != theirs.id || mine.items.size() != theirs.items.size()) return false;
        for (size_t i = 0; i < mine.items.size(); ++i)
            if (!(mine.items[i].id == theirs.items[i].id)) return false;
    }
    return true;
}

void ResultsModel::setReport(const ScanReport& report) {
    if (!sameShape(report)) {
        beginResetModel();
        categories_ = report.categories;
        counts_.clear();
        counts_.reserve(categories_.size());
        for (const ScanCategory& c : categories_) counts_.push_back(count(c));
        endResetModel();
        return;
    }
    for (size_t c = 0; c < categories_.size(); ++c) {
        ScanCategory& mine = categories_[c];
        const ScanCategory& theirs = report.categories[c];
        const bool textChanged = mine.title != theirs.title || mine.detail != theirs.detail;
        int first = -1, last = -1;
        for (size_t i = 0; i < mine.items.size(); ++i) {
            ScanItem& a = mine.items[i];
            const ScanItem& b = theirs.items[i];
            if (a.isSelected == b.isSelected && a.size == b.size && a.safety == b.safety && a.name == b.name &&
                a.detail == b.detail)
                continue;
            a = b;
            if (first < 0) first = int(i);
            last = int(i);
        }
        if (textChanged) {
            mine.title = theirs.title;
            mine.detail = theirs.detail;
        }
        if (first < 0 && !textChanged) continue;
        counts_[c] = count(mine);
        const QModelIndex header = index(int(c), 0);
        if (first >= 0) Q_EMIT dataChanged(index(first, 0, header), index(last, 0, header));
        Q_EMIT dataChanged(header, header);
    }
}

void ResultsModel::setItemSelected(int category, int item, bool selected) {
    if (category < 0 || size_t(category) >= categories_.size()) return;
    std::vector<ScanItem>& items = categories_[size_t(category)].items;
    if (item < 0 || size_t(item) >= items.size()) return;
    ScanItem& it = items[size_t(item)];
    if (it.isSelected == selected) return;
    it.isSelected = selected;
    Counts& n = counts_[size_t(category)];
    const int step = selected ? 1 : -1;
    n.selected += step;
    n.selectedBytes += selected ? it.size : -it.size;
    if (it.safety != Safety::protected_) n.selectedSelectable += step;
    const QModelIndex header = index(category, 0);
    const QModelIndex row = index(item, 0, header);
    Q_EMIT dataChanged(row, row);
    Q_EMIT dataChanged(header, header);
}

const ScanCategory* ResultsModel::category(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() != kCategoryTag) return nullptr;
    return &categories_[size_t(index.row())];
}

const ScanItem* ResultsModel::item(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kCategoryTag) return nullptr;
    return &categories_[size_t(index.internalId() - 1)].items[size_t(index.row())];
}

bool ResultsModel::categoryOn(int c) const {
    const Counts& n = counts_[size_t(c)];
    const int items = int(categories_[size_t(c)].items.size());
    return items != 0 && n.selected == items;
}

bool ResultsModel::categoryMixed(int c) const {
    const Counts& n = counts_[size_t(c)];
    return n.selected > 0 && n.selected < int(categories_[size_t(c)].items.size());
}

bool ResultsModel::categoryActivationValue(int c) const {
    const Counts& n = counts_[size_t(c)];
    if (categoryOn(c)) return false;
    return !(n.selectable > 0 && n.selectedSelectable == n.selectable);
}

void ResultsModel::activateCheckbox(const QModelIndex& index) {
    if (const ScanCategory* c = category(index)) {
        Q_EMIT selectionRequested(categoryActivationValue(index.row()), c->id);
    } else if (const ScanItem* it = item(index)) {
        if (it->safety == Safety::protected_) return;
        Q_EMIT toggleRequested(it->id, int(index.internalId() - 1), index.row());
    }
}

QModelIndex ResultsModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) {
        if (size_t(row) >= categories_.size()) return {};
        return createIndex(row, 0, kCategoryTag);
    }
    if (parent.internalId() != kCategoryTag || parent.row() < 0 || size_t(parent.row()) >= categories_.size())
        return {};
    if (size_t(row) >= categories_[size_t(parent.row())].items.size()) return {};
    return createIndex(row, 0, quintptr(parent.row()) + 1);
}

QModelIndex ResultsModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kCategoryTag) return {};
    return createIndex(int(child.internalId() - 1), 0, kCategoryTag);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(categories_.size());
    if (parent.column() != 0 || parent.internalId() != kCategoryTag) return 0;
    return int(categories_[size_t(parent.row())].items.size());
}

int ResultsModel::columnCount(const QModelIndex&) const { return 1; }

bool ResultsModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    if (const ScanItem* it = item(index)) {
        if (it->safety != Safety::protected_) f |= Qt::ItemIsUserCheckable;
        f |= Qt::ItemNeverHasChildren;
    } else {
        f |= Qt::ItemIsUserCheckable;
    }
    return f;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (const ScanCategory* c = category(index)) {
        const int row = index.row();
        const Counts& n = counts_[size_t(row)];
        switch (role) {
            case Qt::DisplayRole: return qs(c->title);
            case Qt::AccessibleTextRole: return ResultsText::categoryLabel(*c);
            case Qt::CheckStateRole:
                return categoryOn(row) ? Qt::Checked : categoryMixed(row) ? Qt::PartiallyChecked : Qt::Unchecked;
            case KindRole: return int(RowKind::category);
            case BytesRole: return qint64(n.totalBytes);
            case DetailRole: return qs(c->detail);
            case SelectedCountRole: return n.selected;
            case SelectedBytesRole: return qint64(n.selectedBytes);
            case ItemCountRole: return int(c->items.size());
            case MixedRole: return categoryMixed(row);
            case Qt::AccessibleDescriptionRole:
            case CheckboxValueRole: return Checkbox::accessibilityValue(categoryOn(row), categoryMixed(row), false);
            default: return {};
        }
    }
    const ScanItem* it = item(index);
    const bool disabled = it->safety == Safety::protected_;
    switch (role) {
        case Qt::DisplayRole: return qs(it->name);
        case Qt::AccessibleTextRole: return ResultsText::itemLabel(*it);
        case Qt::CheckStateRole: return it->isSelected ? Qt::Checked : Qt::Unchecked;
        case KindRole: return int(RowKind::item);
        case BytesRole: return qint64(it->size);
        case SafetyRole: return int(it->safety);
        case DetailRole: return qs(it->detail);
        case MixedRole: return false;
        case Qt::AccessibleDescriptionRole:
        case CheckboxValueRole: return Checkbox::accessibilityValue(it->isSelected, false, disabled);
        default: return {};
    }
}
