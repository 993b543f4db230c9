#include "screens/shredder_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QStackedLayout>
#include <QUrl>
#include <QVBoxLayout>
#include <set>

#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/checkbox.h"
#include "app/controls/divider.h"
#include "app/controls/fonts.h"
#include "app/controls/module_header.h"
#include "app/controls/painters.h"
#include "app/controls/qstring.h"
#include "app/controls/scroll_column.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "platform/locations.h"

namespace {

// The same place however it was written: "." and ".." resolved, no trailing separator.
std::filesystem::path normalised(const std::filesystem::path& path) {
    std::filesystem::path p = path.lexically_normal();
    std::string text = p.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// The caution card: what overwriting can and cannot promise on flash storage.
class ShredderBanner : public QWidget {
public:
    ShredderBanner() {
        setObjectName(QStringLiteral("ShredderBanner"));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(13, 10, 13, 10);
        row->setSpacing(10);
        row->addWidget(new SymbolView("exclamationmark.triangle.fill", 13, Theme::color(Theme::amber)), 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        auto* title = new TextLabel(QStringLiteral("Overwriting helps, but is not a guarantee on an SSD"),
                                    Fonts::text(11.5, QFont::DemiBold), Theme::primary());
        auto* body = new TextLabel(
            QStringLiteral("Contents are overwritten before deletion, which defeats ordinary file recovery. On flash "
                           "storage the drive controller may keep the original blocks regardless \u2014 full-disk "
                           "encryption, on by default on modern Macs, is what actually protects erased data. "
                           "Deletion here cannot be undone."),
            Fonts::text(11), Theme::secondary());
        body->setWordWrap(true);
        texts->addWidget(title);
        texts->addWidget(body);
        row->addLayout(texts, 1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        p.fillPath(shape, Theme::color(Theme::amber, 0.10));
        p.setPen(QPen(Theme::color(Theme::amber, 0.26), 1));
        p.drawPath(shape);
    }
};

// The scissors on a faint rose circle.
class ScissorsBadge : public QWidget {
public:
    ScissorsBadge() { setFixedSize(78, 78); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::color(Theme::rose, 0.10));
        p.drawEllipse(QRectF(rect()));
        Painters::symbol(p, QRectF(rect()), "scissors", 28, Theme::color(Theme::rose));
    }
};

// The empty list: an invitation to drop, inside a dashed outline.
class DropZone : public QWidget {
public:
    explicit DropZone(std::function<void()> choose) {
        setObjectName(QStringLiteral("dropZone"));
        setMinimumHeight(320);
        auto* stack = new QVBoxLayout(this);
        stack->setContentsMargins(44, 44, 44, 44);
        stack->setSpacing(14);
        stack->addStretch(1);
        stack->addWidget(new ScissorsBadge, 0, Qt::AlignHCenter);
        stack->addWidget(new TextLabel(QStringLiteral("Drop files here"), Fonts::text(16, QFont::DemiBold),
                                       Theme::primary()),
                         0, Qt::AlignHCenter);
        auto* hint = new TextLabel(
            QStringLiteral("Drop anything here, or choose files, to overwrite its contents before deleting it."),
            Fonts::text(12.5), Theme::secondary());
        hint->setWordWrap(true);
        hint->setAlignment(Qt::AlignCenter);
        hint->setMaximumWidth(400);
        hint->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        // Centred, as wide as the space allows up to 400.
        auto* hintRow = new QHBoxLayout;
        hintRow->addStretch(1);
        hintRow->addWidget(hint, 100);
        hintRow->addStretch(1);
        stack->addLayout(hintRow);
        stack->addSpacing(4);
        auto* button = new PrimaryButton(QStringLiteral("Choose Files"), "folder", Theme::color(Theme::rose), true,
                                         std::move(choose));
        stack->addWidget(button, 0, Qt::AlignHCenter);
        stack->addStretch(1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        // The 1.5-point line lies inside the outline's bounds.
        const QRectF outline = QRectF(rect()).adjusted(22.75, 22.75, -22.75, -22.75);
        QPen pen(Theme::color(Theme::rose, 0.35), 1.5);
        pen.setDashPattern({7 / 1.5, 5 / 1.5});  // in line widths
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(outline, 16, 16);
    }
};

// The material strip under the list while a shred runs.
class ProgressStrip : public QWidget {
public:
    ProgressStrip() { setAutoFillBackground(false); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Theme::windowBackground());
        p.fillRect(rect(), Theme::material());
        p.fillRect(QRectF(0, 0, width(), 1), Theme::primary(0.08));
    }
};

QString sizeText(const ShredderView::Entry& entry) {
    return entry.measured ? qs(ByteFormat::string(entry.item.size)) : QStringLiteral("Measuring\u2026");
}

// What the confirmation says after its warning: the ticked entries by name.
std::string namesOf(const std::vector<ScanItem>& ticked) {
    constexpr size_t kNamed = 8;
    std::string text;
    for (size_t i = 0; i < ticked.size() && i < kNamed; ++i) text += "\n" + ticked[i].name;
    if (ticked.size() > kNamed) text += "\n\u2026and " + std::to_string(ticked.size() - kNamed) + " more";
    return text;
}

}  // namespace

ShredderView::ShredderView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("ShredderView"));
    setWindowTitle(QStringLiteral("Shredder"));
    setAcceptDrops(true);
    setMinimumSize(780, 560);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    trailing_ = new QWidget;
    auto* buttons = new QHBoxLayout(trailing_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(9);
    choose_ = new SecondaryButton(QStringLiteral("Choose Files\u2026"), "folder", [this] { choose(); });
    buttons->addWidget(choose_);
    auto* header = new ModuleHeader(ModuleID::shredder, trailing_);
    auto* headerBox = new QVBoxLayout;
    headerBox->setContentsMargins(22, 18, 22, 12);
    headerBox->addWidget(header);
    column->addLayout(headerBox);

    auto* bannerBox = new QVBoxLayout;
    bannerBox->setContentsMargins(22, 0, 22, 12);
    bannerBox->addWidget(new ShredderBanner);
    column->addLayout(bannerBox);

    pages_ = new QStackedLayout;
    dropZone_ = new DropZone([this] { choose(); });
    pages_->addWidget(dropZone_);

    listPage_ = new QWidget;
    auto* overlay = new QGridLayout(listPage_);
    overlay->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    auto* contentBox = new QVBoxLayout(content);
    contentBox->setContentsMargins(22, 0, 22, 20);
    auto* card = new CardBackground(0, 16);
    rows_ = new QVBoxLayout(card);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    contentBox->addWidget(card);
    contentBox->addStretch(1);
    QScrollArea* scroll = Controls::scrollColumn(content);
    scroll->setObjectName(QStringLiteral("shredderList"));
    overlay->addWidget(scroll, 0, 0);

    strip_ = new ProgressStrip;
    strip_->setObjectName(QStringLiteral("progressStrip"));
    auto* stripRow = new QHBoxLayout(strip_);
    stripRow->setContentsMargins(12, 12, 12, 12);
    stripRow->setSpacing(10);
    stripRow->addWidget(new BusyIndicator(BusyIndicator::Size::small));
    stripText_ = new TextLabel(QString(), Fonts::text(11.5), Theme::primary());
    stripText_->setObjectName(QStringLiteral("progressMessage"));
    stripRow->addWidget(stripText_, 1);
    overlay->addWidget(strip_, 0, 0, Qt::AlignBottom);
    strip_->hide();
    pages_->addWidget(listPage_);

    column->addLayout(pages_, 1);
    refresh();
}

ShredderView::~ShredderView() { lifeline_.end(); }

QString ShredderView::shredTitle(size_t ticked) {
    return ticked == 1 ? QStringLiteral("Shred 1 item") : QStringLiteral("Shred %1 items").arg(ticked);
}

void ShredderView::append(const std::vector<std::filesystem::path>& urls) {
    bool added = false;
    for (const std::filesystem::path& given : urls) {
        if (given.empty() || !given.is_absolute()) continue;
        const std::filesystem::path url = normalised(given);
        bool listed = false;
        for (const Entry& e : entries_) listed = listed || e.item.url == url;
        if (listed) continue;
        Entry entry;
        entry.item.url = url;
        entry.item.name = url.filename().empty() ? url.string() : url.filename().string();
        entry.item.detail = Locations::abbreviateTilde(url.string());
        entry.item.safety = Safety::review;
        entry.item.isSelected = false;
        // What is there when it is chosen is what may be shredded.
        entry.item.measured = measureObject(url);
        entries_.push_back(entry);
        measure(entry.item);
        added = true;
    }
    if (added) refresh();
}

void ShredderView::measure(const ScanItem& item) {
    state_.measure(item.url, lifeline_.receiver(), [this, id = item.id](int64_t size) {
        for (Entry& entry : entries_) {
            if (entry.item.id != id) continue;
            entry.item.size = size;
            entry.measured = true;
        }
        rebuildRows();
    });
}

void ShredderView::choose() {
    services_.chooseFilesAndFolders("Add", this, [this](std::vector<std::filesystem::path> chosen) {
        if (!chosen.empty()) append(chosen);
    });
}

void ShredderView::setSelected(const Uuid& id, bool selected) {
    for (Entry& e : entries_)
        if (e.item.id == id) e.item.isSelected = selected;
    refreshShredButton();
}

void ShredderView::requestShred() {
    if (running_ || entries_.empty()) return;
    std::vector<ScanItem> ticked;
    for (const Entry& e : entries_)
        if (e.item.isSelected) ticked.push_back(e.item);
    // Asking to confirm shredding nothing would only puzzle.
    if (ticked.empty()) {
        state_.showBanner("Nothing is selected.", true);
        return;
    }
    SystemServices::Confirmation ask;
    ask.title = "Shred " + std::to_string(ticked.size()) + " item(s)?";
    ask.message = "Contents will be overwritten before deletion. This cannot be undone.\n" + namesOf(ticked);
    ask.confirmButton = "Shred";
    ask.destructive = true;
    // What is shredded is what the user agreed to, even if ticks change meanwhile.
    services_.confirm(ask, this, [this, ticked = std::move(ticked)](bool goAhead) mutable {
        if (goAhead && !running_) run(std::move(ticked));
    });
}

void ShredderView::run(std::vector<ScanItem> ticked) {
    running_ = true;
    message_.clear();
    refresh();
    state_.shred(
        std::move(ticked), lifeline_.receiver(),
        [this](const std::string& message) {
            message_ = qs(message);
            stripText_->setText(message_);
        },
        [this](const std::vector<std::string>& shreddedPaths) { finish(shreddedPaths); });
}

void ShredderView::finish(const std::vector<std::string>& shreddedPaths) {
    running_ = false;
    const std::set<std::string> gone(shreddedPaths.begin(), shreddedPaths.end());
    std::erase_if(entries_, [&](const Entry& e) { return gone.count(e.item.url.string()) > 0; });
    refresh();
}

void ShredderView::refresh() {
    if (entries_.empty()) {
        if (shred_) {
            shred_->hide();
            shred_->deleteLater();
            shred_ = nullptr;
        }
    } else {
        if (!shred_) {
            shred_ = new PrimaryButton(QString(), "scissors", Theme::color(Theme::rose), true, [this] { requestShred(); });
            trailing_->layout()->addWidget(shred_);
            shred_->show();
        }
    }
    refreshShredButton();
    strip_->setVisible(running_);
    if (!running_) stripText_->clear();
    pages_->setCurrentWidget(entries_.empty() ? dropZone_ : listPage_);
    rebuildRows();
}

void ShredderView::refreshShredButton() {
    if (!shred_) return;
    // A destructive button says what it does: the ticked entries are what
    // goes, not every listed one.
    size_t ticked = 0;
    for (const Entry& e : entries_) ticked += e.item.isSelected ? 1 : 0;
    shred_->setText(shredTitle(ticked));
    shred_->setEnabled(!running_ && ticked > 0);
    shred_->updateGeometry();
}

void ShredderView::rebuildRows() {
    while (QLayoutItem* item = rows_->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("shredderRow"));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(14, 8, 14, 8);
        line->setSpacing(12);
        const Uuid id = entry.item.id;
        BoolBinding ticked{[this, id] {
                               for (const Entry& e : entries_)
                                   if (e.item.id == id) return e.item.isSelected;
                               return false;
                           },
                           [this, id](bool on) { setSelected(id, on); }};
        const QString name = qs(entry.item.name);
        line->addWidget(new Checkbox(std::move(ticked), Theme::color(Theme::rose), false, false,
                                     name + QStringLiteral(", ") + sizeText(entry)));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* nameLabel = new TextLabel(name, Fonts::text(12), Theme::primary());
        nameLabel->setElide(Qt::ElideRight);
        auto* detail = new TextLabel(qs(entry.item.detail), Fonts::text(10), Theme::tertiary());
        detail->setElide(Qt::ElideMiddle);
        texts->addWidget(nameLabel);
        texts->addWidget(detail);
        line->addLayout(texts, 1);
        line->addSpacing(8);
        auto* size = new TextLabel(sizeText(entry), Fonts::text(11.5), Theme::secondary());
        size->setObjectName(QStringLiteral("size"));
        line->addWidget(size);
        rows_->addWidget(row);
        row->show();
        if (i + 1 < entries_.size()) {
            // Inset past the checkbox.
            auto* divider = new Divider(0.3, 42);
            rows_->addWidget(divider);
            divider->show();
        }
    }
}

void ShredderView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ShredderView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ShredderView::dropEvent(QDropEvent* event) {
    std::vector<std::filesystem::path> urls;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) urls.emplace_back(url.toLocalFile().toStdString());
    // The drop counts as taken even when nothing in it was a file.
    event->acceptProposedAction();
    append(urls);
}
