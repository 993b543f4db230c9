#include "app/controls/results_model.h"

#include <utility>

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

ResultsModel::ResultsModel(QObject* parent)
    : QAbstractItemModel(parent), report_(std::make_shared<const ScanReport>()) {}

ResultsModel::Counts ResultsModel::count(size_t category) const {
    Counts n;
    const std::vector<ScanItem>& items = report_->categories[category].items;
    const std::vector<bool>& ticks = shown_[category];
    for (size_t i = 0; i < items.size() && i < ticks.size(); ++i) {
        const ScanItem& item = items[i];
        n.totalBytes += item.size;
        const bool selectable = item.safety != Safety::protected_;
        if (selectable) ++n.selectable;
        if (ticks[i]) {
            ++n.selected;
            n.selectedBytes += item.size;
            if (selectable) ++n.selectedSelectable;
        }
    }
    return n;
}

bool ResultsModel::sameShape(const ScanReport& next) const {
    if (next.categories.size() != shown_.size()) return false;
    const bool sameObject = &next == report_.get();
    for (size_t c = 0; c < shown_.size(); ++c) {
        const ScanCategory& theirs = next.categories[c];
        if (theirs.items.size() != shown_[c].size()) return false;
        if (sameObject) continue;
        const ScanCategory& mine = report_->categories[c];
        if (mine.id != theirs.id) return false;
        for (size_t i = 0; i < mine.items.size(); ++i)
            if (!(mine.items[i].id == theirs.items[i].id)) return false;
    }
    return true;
}

void ResultsModel::setReport(const ScanReport& report) { setReport(std::make_shared<const ScanReport>(report)); }

void ResultsModel::setReport(std::shared_ptr<const ScanReport> report) {
    if (!report) report = std::make_shared<const ScanReport>();
    if (!sameShape(*report)) {
        beginResetModel();
        report_ = std::move(report);
        shown_.clear();
        counts_.clear();
        shown_.reserve(report_->categories.size());
        counts_.reserve(report_->categories.size());
        for (const ScanCategory& c : report_->categories) {
            std::vector<bool> ticks(c.items.size());
            for (size_t i = 0; i < c.items.size(); ++i) ticks[i] = c.items[i].isSelected;
            shown_.push_back(std::move(ticks));
            counts_.push_back(count(shown_.size() - 1));
        }
        endResetModel();
        return;
    }
    // Against what is shown: the ticks as last told, the rest as the report
    // shown held it (nothing else, when it is the same object again).
    const std::shared_ptr<const ScanReport> before = std::exchange(report_, std::move(report));
    const bool sameObject = before == report_;
    for (size_t c = 0; c < shown_.size(); ++c) {
        const ScanCategory& mine = before->categories[c];
        const ScanCategory& theirs = report_->categories[c];
        const bool textChanged = !sameObject && (mine.title != theirs.title || mine.detail != theirs.detail);
        int first = -1, last = -1;
        for (size_t i = 0; i < shown_[c].size(); ++i) {
            const ScanItem& b = theirs.items[i];
            bool changed = shown_[c][i] != b.isSelected;
            if (!sameObject) {
                const ScanItem& a = mine.items[i];
                changed = changed || a.size != b.size || a.safety != b.safety || a.name != b.name || a.detail != b.detail;
            }
            if (!changed) continue;
            shown_[c][i] = b.isSelected;
            if (first < 0) first = int(i);
            last = int(i);
        }
        if (first < 0 && !textChanged) continue;
        counts_[c] = count(c);
        const QModelIndex header = index(int(c), 0);
        if (first >= 0) Q_EMIT dataChanged(index(first, 0, header), index(last, 0, header));
        Q_EMIT dataChanged(header, header);
    }
}

void ResultsModel::setItemSelected(int category, int item, bool selected) {
    if (category < 0 || size_t(category) >= categoryCount()) return;
    if (item < 0 || size_t(item) >= itemCount(size_t(category))) return;
    std::vector<bool>::reference tick = shown_[size_t(category)][size_t(item)];
    if (tick == selected) return;
    tick = selected;
    const ScanItem* it = this->item(index(item, 0, index(category, 0)));
    if (!it) return;
    Counts& n = counts_[size_t(category)];
    const int step = selected ? 1 : -1;
    n.selected += step;
    n.selectedBytes += selected ? it->size : -it->size;
    if (it->safety != Safety::protected_) n.selectedSelectable += step;
    const QModelIndex header = index(category, 0);
    const QModelIndex row = index(item, 0, header);
    Q_EMIT dataChanged(row, row);
    Q_EMIT dataChanged(header, header);
}

const ScanCategory* ResultsModel::category(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() != kCategoryTag) return nullptr;
    if (size_t(index.row()) >= report_->categories.size()) return nullptr;
    return &report_->categories[size_t(index.row())];
}

const ScanItem* ResultsModel::item(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kCategoryTag) return nullptr;
    const size_t c = size_t(index.internalId() - 1);
    if (c >= report_->categories.size() || size_t(index.row()) >= report_->categories[c].items.size()) return nullptr;
    return &report_->categories[c].items[size_t(index.row())];
}

bool ResultsModel::isSelected(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kCategoryTag) return false;
    const size_t c = size_t(index.internalId() - 1);
    return c < categoryCount() && size_t(index.row()) < itemCount(c) && shown_[c][size_t(index.row())];
}

bool ResultsModel::categoryOn(int c) const {
    const Counts& n = counts_[size_t(c)];
    const int items = int(itemCount(size_t(c)));
    return items != 0 && n.selected == items;
}

bool ResultsModel::categoryMixed(int c) const {
    const Counts& n = counts_[size_t(c)];
    return n.selected > 0 && n.selected < int(itemCount(size_t(c)));
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
        if (size_t(row) >= categoryCount()) return {};
        return createIndex(row, 0, kCategoryTag);
    }
    if (parent.internalId() != kCategoryTag || parent.row() < 0 || size_t(parent.row()) >= categoryCount())
        return {};
    if (size_t(row) >= itemCount(size_t(parent.row()))) return {};
    return createIndex(row, 0, quintptr(parent.row()) + 1);
}

QModelIndex ResultsModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kCategoryTag) return {};
    return createIndex(int(child.internalId() - 1), 0, kCategoryTag);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(categoryCount());
    if (parent.column() != 0 || parent.internalId() != kCategoryTag) return 0;
    return int(itemCount(size_t(parent.row())));
}

int ResultsModel::columnCount(const QModelIndex&) const { return 1; }

bool ResultsModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    if (index.internalId() == kCategoryTag) return f | Qt::ItemIsUserCheckable;
    const ScanItem* it = item(index);
    if (it && it->safety != Safety::protected_) f |= Qt::ItemIsUserCheckable;
    return f | Qt::ItemNeverHasChildren;
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
            case ItemCountRole: return int(itemCount(size_t(row)));
            case MixedRole: return categoryMixed(row);
            case Qt::AccessibleDescriptionRole:
            case CheckboxValueRole: return Checkbox::accessibilityValue(categoryOn(row), categoryMixed(row), false);
            default: return {};
        }
    }
    const ScanItem* it = item(index);
    if (!it) return {};
    const bool disabled = it->safety == Safety::protected_;
    const bool ticked = isSelected(index);
    switch (role) {
        case Qt::DisplayRole: return qs(it->name);
        case Qt::AccessibleTextRole: return ResultsText::itemLabel(*it);
        case Qt::CheckStateRole: return ticked ? Qt::Checked : Qt::Unchecked;
        case KindRole: return int(RowKind::item);
        case BytesRole: return qint64(it->size);
        case SafetyRole: return int(it->safety);
        case DetailRole: return qs(it->detail);
        case MixedRole: return false;
        case Qt::AccessibleDescriptionRole:
        case CheckboxValueRole: return Checkbox::accessibilityValue(ticked, false, disabled);
        default: return {};
    }
}
