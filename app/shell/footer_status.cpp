#include "app/shell/footer_status.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

namespace {

// A slim bar: the track, and the accent filling the given part of it.
class ProgressBar : public QWidget {
public:
    ProgressBar() { setFixedHeight(5); }
    void setFraction(double f) {
        fraction_ = f;
        update();
    }
    double fraction() const { return fraction_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(rect());
        QPainterPath track, fill;
        track.addRoundedRect(r, r.height() / 2, r.height() / 2);
        p.fillPath(track, Theme::primary(0.1));
        QRectF part = r;
        part.setWidth(r.width() * std::clamp(fraction_, 0.0, 1.0));
        fill.addRoundedRect(part, r.height() / 2, r.height() / 2);
        p.fillPath(fill, Theme::color(Theme::accent));
    }

private:
    double fraction_ = 0;
};

}  // namespace

FooterStatus::Shows FooterStatus::shows(const ScanProgress& progress, bool hasFullDiskAccess) {
    if (progress.isRunning) return Shows::progress;
    if (!hasFullDiskAccess) return Shows::accessOff;
    return Shows::nothing;
}

double FooterStatus::barFraction(double fraction) { return std::max(fraction, 0.02); }

FooterStatus::FooterStatus(SystemServices& services, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FooterStatus"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 8, 12, 10);
    stack->setSpacing(0);

    progress_ = new QWidget;
    auto* progressBox = new QVBoxLayout(progress_);
    progressBox->setContentsMargins(0, 0, 0, 0);
    progressBox->setSpacing(5);
    message_ = new TextLabel(QString(), Fonts::text(10.5), Theme::secondary());
    message_->setObjectName(QStringLiteral("progressMessage"));
    message_->setElide(Qt::ElideRight);
    bar_ = new ProgressBar;
    progressBox->addWidget(message_);
    progressBox->addWidget(bar_);
    stack->addWidget(progress_);

    access_ = new QWidget;
    auto* accessRow = new QHBoxLayout(access_);
    accessRow->setContentsMargins(0, 0, 0, 0);
    accessRow->setSpacing(6);
    accessRow->addWidget(new SymbolView("lock.fill", 10, Theme::color(Theme::amber)));
    auto* off = new TextLabel(QStringLiteral("Full Disk Access off"), Fonts::text(10.5), Theme::secondary());
    off->setObjectName(QStringLiteral("accessOff"));
    accessRow->addWidget(off);
    accessRow->addStretch(1);
    fix_ = new LinkButton(QStringLiteral("Fix"));
    fix_->setObjectName(QStringLiteral("fix"));
    accessRow->addWidget(fix_);
    stack->addWidget(access_);
    connect(fix_, &QAbstractButton::clicked, this, [&services] { services.openURL(SystemLinks::kFullDiskAccess); });

    display(ScanProgress{}, true);
}

void FooterStatus::display(const ScanProgress& progress, bool hasFullDiskAccess) {
    showing_ = shows(progress, hasFullDiskAccess);
    progress_->setVisible(showing_ == Shows::progress);
    access_->setVisible(showing_ == Shows::accessOff);
    setVisible(showing_ != Shows::nothing);
    if (showing_ == Shows::progress) {
        message_->setText(QString::fromStdString(progress.message));
        static_cast<ProgressBar*>(bar_)->setFraction(barFraction(progress.fraction));
    }
}

QString FooterStatus::message() const { return message_->text(); }

double FooterStatus::barValue() const { return static_cast<ProgressBar*>(bar_)->fraction(); }
