#include "app/shell/disk_header_row.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "app/controls/fonts.h"
#include "app/controls/progress_ring.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"

namespace DiskHeader {

double usedFraction(const std::optional<FS::VolumeStats>& v) {
    if (!v || v->total <= 0) return 0;
    return double(std::max<int64_t>(v->total - v->free, 0)) / double(v->total);
}

std::pair<QColor, QColor> ringColors(double u) {
    if (u > 0.9) return {Theme::color(Theme::rose), Theme::color(Theme::rose, 0.7)};
    if (u > 0.75) return {Theme::color(Theme::amber), Theme::color(Theme::amber, 0.7)};
    return {Theme::color(Theme::accentSoft), Theme::color(Theme::accent)};
}

QString freeLine(const std::optional<FS::VolumeStats>& v) {
    return QString::fromStdString(ByteFormat::compact(v ? v->free : 0)) + QStringLiteral(" free");
}

QString totalLine(const FS::VolumeStats& v) {
    return QStringLiteral("of ") + QString::fromStdString(ByteFormat::compact(v.total));
}

QString volumeName(const std::optional<std::string>& name) {
    if (!name || name->empty()) return QStringLiteral("Startup Disk");
    return QString::fromStdString(*name);
}

}  // namespace DiskHeader

DiskHeaderRow::DiskHeaderRow(const QString& volumeName, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DiskHeaderRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 6, 0, 6);
    row->setSpacing(12);
    const auto colours = DiskHeader::ringColors(0);
    ring_ = new ProgressRing(46, 0, 6, colours.first, colours.second, Theme::primary(0.08));
    ring_->setAccessibleName(QStringLiteral("Disk used"));
    auto* drive = new SymbolView("internaldrive.fill", 14, Theme::secondary(), 0, ring_);
    drive->move((ring_->width() - drive->width()) / 2, (ring_->height() - drive->height()) / 2);
    row->addWidget(ring_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    name_ = new TextLabel(volumeName, Fonts::text(12.5, QFont::DemiBold), Theme::primary());
    name_->setObjectName(QStringLiteral("volumeName"));
    name_->setElide(Qt::ElideRight);
    free_ = new TextLabel(QString(), Fonts::text(11), Theme::secondary());
    free_->setObjectName(QStringLiteral("freeLine"));
    total_ = new TextLabel(QString(), Fonts::text(10.5), Theme::tertiary());
    total_->setObjectName(QStringLiteral("totalLine"));
    texts->addWidget(name_);
    texts->addWidget(free_);
    texts->addWidget(total_);
    row->addLayout(texts, 1);
    display(std::nullopt);
}

void DiskHeaderRow::display(const std::optional<FS::VolumeStats>& volume) {
    const double used = DiskHeader::usedFraction(volume);
    const auto colours = DiskHeader::ringColors(used);
    ring_->setProgress(used);
    ring_->setGradient(colours.first, colours.second);
    free_->setText(DiskHeader::freeLine(volume));
    total_->setVisible(volume.has_value());
    if (volume) total_->setText(DiskHeader::totalLine(*volume));
}
