#include "app/controls/coverage_list.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

namespace CoverageText {

QString checked(const std::vector<CoverageEntry>& entries) {
    qsizetype done = 0;
    for (const CoverageEntry& e : entries)
        if (e.status == CoverageEntry::Status::checked) ++done;
    return QStringLiteral("Checked %1 of %2 location%3")
        .arg(done)
        .arg(qsizetype(entries.size()))
        .arg(entries.size() == 1 ? QString() : QStringLiteral("s"));
}

QString unreadable(const std::vector<CoverageEntry>& entries) {
    qsizetype n = 0;
    for (const CoverageEntry& e : entries)
        if (e.status == CoverageEntry::Status::unreadable) ++n;
    if (n == 0) return {};
    return QStringLiteral("\u00B7 %1 unreadable").arg(n);
}

QString status(const CoverageEntry& entry) {
    switch (entry.status) {
        case CoverageEntry::Status::checked: return QStringLiteral("checked \u00B7 %1").arg(entry.itemCount);
        case CoverageEntry::Status::missing: return QStringLiteral("not present");
        case CoverageEntry::Status::unreadable: return QStringLiteral("cannot read");
        case CoverageEntry::Status::ignored: return QStringLiteral("ignored");
    }
    return {};
}

}  // namespace CoverageText

namespace {

Symbol statusSymbol(CoverageEntry::Status s) {
    switch (s) {
        case CoverageEntry::Status::checked: return "checkmark.circle.fill";
        case CoverageEntry::Status::missing: return "minus.circle";
        case CoverageEntry::Status::unreadable: return "exclamationmark.triangle.fill";
        case CoverageEntry::Status::ignored: return "eye.slash";
    }
    return "minus.circle";
}

QColor statusColor(CoverageEntry::Status s) {
    switch (s) {
        case CoverageEntry::Status::checked: return Theme::color(Theme::green);
        case CoverageEntry::Status::unreadable: return Theme::color(Theme::amber);
        default: return Theme::secondary();
    }
}

// The header: the checklist symbol, the counts, and the chevron at the end.
class Header : public QAbstractButton {
public:
    explicit Header(const CoverageList& list) : list_(list) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFocusPolicy(Qt::TabFocus);
    }
    QSize sizeHint() const override {
        return {200, int(std::ceil(QFontMetricsF(Fonts::text(11.5)).height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(rect());
        double x = 0;
        Painters::symbol(p, QRectF(x, 0, 14, r.height()), "checklist", 11, Theme::secondary());
        x += 14 + 8;
        const QString checked = CoverageText::checked(list_.entries());
        QFont font = Fonts::text(11.5);
        p.setFont(font);
        p.setPen(Theme::secondary());
        p.drawText(QRectF(x, 0, r.width() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter, checked);
        x += QFontMetricsF(font).horizontalAdvance(checked) + 8;
        const QString unreadable = CoverageText::unreadable(list_.entries());
        if (!unreadable.isEmpty()) {
            p.setFont(Fonts::text(11.5, QFont::Medium));
            p.setPen(Theme::color(Theme::amber));
            p.drawText(QRectF(x, 0, r.width() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter, unreadable);
        }
        // Pointing right while closed, down while open, turning as it moves.
        p.translate(r.right() - 7, r.center().y());
        p.rotate(-90 + 90 * list_.openFraction());
        Painters::symbol(p, QRectF(-7, -7, 14, 14), "chevron.down", 9, Theme::tertiary());
    }

private:
    const CoverageList& list_;
};

// The places, one line each: status symbol, label, status text. The gap
// under the header is the rows' own, so that it opens and closes with them.
class Rows : public QWidget {
public:
    static constexpr int kGap = 8;
    explicit Rows(const CoverageList& list) : list_(list) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    static double rowHeight() { return std::ceil(QFontMetricsF(Fonts::text(10.5)).height()); }
    QSize sizeHint() const override {
        const size_t n = list_.entries().size();
        return {200, kGap + (n == 0 ? 2 : int(2 + n * rowHeight() + (n - 1) * 3))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double h = rowHeight();
        const QFont label = Fonts::text(10.5), status = Fonts::text(10);
        double y = kGap + 2;
        for (const CoverageEntry& e : list_.entries()) {
            const QString statusText = CoverageText::status(e);
            const double statusW = QFontMetricsF(status).horizontalAdvance(statusText);
            Painters::symbol(p, QRectF(0, y, 12, h), statusSymbol(e.status), 9, statusColor(e.status));
            p.setFont(status);
            p.setPen(Theme::tertiary());
            p.drawText(QRectF(width() - statusW, y, statusW, h), Qt::AlignRight | Qt::AlignVCenter, statusText);
            Painters::elidedText(p, QRectF(12 + 8, y, std::max(0.0, width() - statusW - 6 - 8 - 20), h),
                                 QString::fromStdString(e.label), label, Theme::primary(),
                                 Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideRight);
            y += h + 3;
        }
    }

private:
    const CoverageList& list_;
};

}  // namespace

CoverageList::CoverageList(std::vector<CoverageEntry> entries, bool expanded, QWidget* parent)
    : CardBackground(12, 16, parent),
      entries_(std::move(entries)),
      expanded_(expanded),
      motion_(this, Motion::DisclosureSpring::curve(), expanded ? 1 : 0, [this](double open) { showOpening(open); }) {
    setObjectName(QStringLiteral("CoverageList"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(0);
    header_ = new Header(*this);
    header_->setObjectName(QStringLiteral("coverageHeader"));
    rows_ = new Rows(*this);
    stack->addWidget(header_);
    stack->addWidget(rows_);
    rows_->setObjectName(QStringLiteral("coverageRows"));
    motion_.setSettled([this] { showOpening(motion_.value()); });
    showOpening(motion_.value());
    header_->setAccessibleName(CoverageText::checked(entries_));
    connect(header_, &QAbstractButton::clicked, this, [this] { setExpanded(!expanded_, true); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CoverageList::setEntries(std::vector<CoverageEntry> entries) {
    entries_ = std::move(entries);
    header_->setAccessibleName(CoverageText::checked(entries_));
    rows_->updateGeometry();
    update();
}

void CoverageList::setExpanded(bool expanded, bool animated) {
    if (expanded == expanded_) return;
    expanded_ = expanded;
    if (animated)
        motion_.moveTo(expanded ? 1 : 0);
    else
        motion_.jumpTo(expanded ? 1 : 0);
}

// The rows shown as far as the list is open, revealed from the top; whole
// and still once open, gone once closed.
void CoverageList::showOpening(double open) {
    if (!motion_.isMoving()) {
        rows_->setMaximumHeight(QWIDGETSIZE_MAX);
        rows_->setVisible(open >= 1);
    } else {
        rows_->setMaximumHeight(std::max(0, int(std::lround(open * rows_->sizeHint().height()))));
        rows_->setVisible(true);
    }
    rows_->update();
    header_->update();
}
