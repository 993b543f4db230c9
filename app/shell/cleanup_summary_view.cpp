#include "app/shell/cleanup_summary_view.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "app/controls/accessibility.h"
#include "app/controls/buttons.h"
#include "app/controls/fonts.h"
#include "app/controls/progress_ring.h"
#include "app/controls/qstring.h"
#include "app/controls/results_model.h"
#include "app/controls/sheet_keys.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "app/shell/shell_accessibility.h"

namespace SummaryText {

QString reclaimedFrom(int64_t removedCount) {
    return QStringLiteral("reclaimed from %1 item%2").arg(removedCount).arg(removedCount == 1 ? "" : "s");
}

QStringList spaceNotes(const CleanupSummary& s) {
    QStringList lines;
    if (s.trashedBytes > 0)
        lines << ResultsText::size(s.trashedBytes) +
                     QStringLiteral(" of that went to the Trash \u2014 the space is freed when you empty it.");
    if (s.measuredReclaimed) {
        const int64_t d = *s.measuredReclaimed;
        if (d >= 0)
            lines << QStringLiteral("Volume free space increased by ") + ResultsText::size(d) + QStringLiteral(".");
        else
            // The magnitude of the most negative figure does not fit; it is
            // shown as the largest one that does.
            lines << QStringLiteral("Volume free space decreased by ") +
                         ResultsText::size(d == INT64_MIN ? INT64_MAX : -d) +
                         QStringLiteral(" \u2014 other activity was writing to the disk.");
    }
    return lines;
}

QString failureHeading(size_t failures) {
    return QStringLiteral("%1 item%2 could not be removed").arg(qulonglong(failures)).arg(failures == 1 ? "" : "s");
}

QString moreFailures(size_t failures) {
    if (failures <= kListedFailures) return {};
    return QStringLiteral("\u2026and %1 more of the same.").arg(qulonglong(failures - kListedFailures));
}

}  // namespace SummaryText

namespace {

// A box of lines on a faintly tinted rounded rectangle.
class TintedBox : public QWidget {
public:
    TintedBox(const QColor& tint, int spacing) : tint_(tint) {
        auto* stack = new QVBoxLayout(this);
        stack->setContentsMargins(12, 12, 12, 12);
        stack->setSpacing(spacing);
    }
    QVBoxLayout* stack() { return static_cast<QVBoxLayout*>(layout()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        p.fillPath(path, Theme::faded(tint_, 0.1));
    }

private:
    QColor tint_;
};

TextLabel* wrapped(const QString& text, const QFont& font, const QColor& color) {
    auto* label = new TextLabel(text, font, color);
    label->setWordWrap(true);
    return label;
}

// A symbol and a text beside it, the text wrapping.
QWidget* symbolLine(Symbol s, double symbolSize, const QColor& symbolColor, TextLabel* text) {
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);
    h->addWidget(new SymbolView(s, symbolSize, symbolColor), 0, Qt::AlignTop);
    h->addWidget(text, 1);
    return row;
}

// The failures and notes: as tall as they are while the sheet has room, and
// scrolling inside the sheet when it has not, so the figures above and Done
// below always show and no line is ever drawn over another.
class SummaryBody : public QScrollArea {
public:
    SummaryBody(QWidget* content, int width) : width_(width) {
        setWidget(content);
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, this));
        viewport()->setAutoFillBackground(false);
        content->setAutoFillBackground(false);
        setFixedWidth(width);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override {
        const QWidget* content = widget();
        const int h = content->hasHeightForWidth() ? content->heightForWidth(width_) : content->sizeHint().height();
        return {width_, h};
    }
    QSize minimumSizeHint() const override { return {width_, std::min(sizeHint().height(), 56)}; }

private:
    int width_;
};

}  // namespace

CleanupSummaryView::CleanupSummaryView(const CleanupSummary& summary, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), dismiss_(std::move(dismiss)) {
    setObjectName(QStringLiteral("CleanupSummaryView"));
    setFixedWidth(kWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // No stop of its own: the focus goes to its controls, and its keys reach
    // it from them.
    ShellAccessibility::install();
    setAccessibleName(QStringLiteral("Cleanup summary: ") + qs(summary.title));
    setAccessibleDescription(Accessibility::spoken(ResultsText::size(summary.reclaimed) + QLatin1Char(' ') +
                                                   SummaryText::reclaimedFrom(summary.removedCount)));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(26, 16, 26, 20);
    stack->setSpacing(14);

    // The badge: a full green ring with a checkmark, 6 below the top.
    auto* badge = new QWidget;
    auto* badgeBox = new QVBoxLayout(badge);
    badgeBox->setContentsMargins(0, 6, 0, 0);
    auto* ring = new ProgressRing(88, 1, 11, Theme::color(Theme::green), Theme::color(Theme::teal), Theme::primary(0.08));
    ring->setAccessibleName(QStringLiteral("Cleanup finished"));
    auto* check = new SymbolView("checkmark", 32, Theme::color(Theme::green), 0, ring);
    check->move((ring->width() - check->width()) / 2, (ring->height() - check->height()) / 2);
    badgeBox->addWidget(ring, 0, Qt::AlignHCenter);
    stack->addWidget(badge, 0, Qt::AlignHCenter);

    auto* figures = new QVBoxLayout;
    figures->setSpacing(5);
    auto* title = new TextLabel(qs(summary.title), Fonts::text(12.5, QFont::Medium), Theme::secondary());
    title->setObjectName(QStringLiteral("title"));
    auto* reclaimed = new TextLabel(ResultsText::size(summary.reclaimed), Fonts::text(32, QFont::DemiBold), Theme::primary());
    reclaimed->setObjectName(QStringLiteral("reclaimed"));
    auto* from = new TextLabel(SummaryText::reclaimedFrom(summary.removedCount), Fonts::text(12), Theme::secondary());
    from->setObjectName(QStringLiteral("reclaimedFrom"));
    for (QLabel* l : {static_cast<QLabel*>(title), static_cast<QLabel*>(reclaimed), static_cast<QLabel*>(from)})
        figures->addWidget(l, 0, Qt::AlignHCenter);
    stack->addLayout(figures);

    const QStringList notes = SummaryText::spaceNotes(summary);
    if (!notes.isEmpty()) {
        auto* space = new QWidget;
        space->setObjectName(QStringLiteral("spaceNotes"));
        space->setMaximumWidth(380);
        auto* lines = new QVBoxLayout(space);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(3);
        for (const QString& line : notes) {
            auto* l = wrapped(line, Fonts::text(10.5), Theme::tertiary());
            l->setAlignment(Qt::AlignHCenter);
            l->setFixedWidth(380);
            lines->addWidget(l);
        }
        stack->addWidget(space, 0, Qt::AlignHCenter);
    }

    const int inner = kWidth - 2 * 26;
    if (!summary.failures.empty() || !summary.notes.empty()) {
        auto* content = new QWidget;
        auto* details = new QVBoxLayout(content);
        details->setContentsMargins(0, 0, 0, 0);
        details->setSpacing(12);
        if (!summary.failures.empty()) {
            auto* box = new TintedBox(Theme::color(Theme::amber), 6);
            box->setObjectName(QStringLiteral("failures"));
            box->setFixedWidth(inner);
            auto* heading = new TextLabel(SummaryText::failureHeading(summary.failures.size()),
                                          Fonts::text(11.5, QFont::DemiBold), Theme::color(Theme::amber));
            heading->setObjectName(QStringLiteral("failureHeading"));
            box->stack()->addWidget(symbolLine("exclamationmark.triangle.fill", 11.5, Theme::color(Theme::amber), heading));
            for (size_t i = 0; i < summary.failures.size() && i < SummaryText::kListedFailures; ++i) {
                auto* line = wrapped(qs(summary.failures[i]), Fonts::text(10.5), Theme::secondary());
                line->setObjectName(QStringLiteral("failure"));
                box->stack()->addWidget(line);
            }
            const QString more = SummaryText::moreFailures(summary.failures.size());
            if (!more.isEmpty()) {
                auto* l = new TextLabel(more, Fonts::text(10.5), Theme::tertiary());
                l->setObjectName(QStringLiteral("moreFailures"));
                box->stack()->addWidget(l);
            }
            auto* fda = wrapped(QStringLiteral("Items that need Full Disk Access can be retried after granting it in "
                                               "System Settings \u2192 Privacy & Security."),
                                Fonts::text(10.5), Theme::tertiary());
            fda->setObjectName(QStringLiteral("fullDiskAccessHint"));
            box->stack()->addWidget(fda);
            details->addWidget(box);
        }
        if (!summary.notes.empty()) {
            auto* box = new TintedBox(Theme::color(Theme::green), 5);
            box->setObjectName(QStringLiteral("notes"));
            box->setFixedWidth(inner);
            for (const std::string& note : summary.notes) {
                auto* text = wrapped(qs(note), Fonts::text(11), Theme::secondary());
                text->setObjectName(QStringLiteral("note"));
                box->stack()->addWidget(symbolLine("checkmark.circle", 11, Theme::secondary(), text));
            }
            details->addWidget(box);
        }
        body_ = new SummaryBody(content, inner);
        body_->setObjectName(QStringLiteral("details"));
        stack->addWidget(body_);
    }

    done_ = new PrimaryButton(QStringLiteral("Done"), "checkmark", Theme::color(Theme::green), true,
                              [this] { if (dismiss_) dismiss_(); });
    done_->setObjectName(QStringLiteral("done"));
    stack->addWidget(done_, 0, Qt::AlignHCenter);
    // Done is the default (Return) and the cancel action (Escape) at once.
    SheetKeys::install(this, done_, [this] { if (dismiss_) dismiss_(); });
}

// Exactly 440 wide and as tall as its content needs at that width.
QSize CleanupSummaryView::sizeHint() const {
    const QLayout* l = layout();
    return {kWidth, l->hasHeightForWidth() ? l->totalHeightForWidth(kWidth) : l->totalSizeHint().height()};
}

void CleanupSummaryView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath sheet;
    sheet.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(sheet, Theme::windowBackground());
}
