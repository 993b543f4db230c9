#include "app/shell/banner_stage.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <algorithm>

#include "app/controls/motion.h"
#include "app/shell/banner_view.h"

namespace {

// The banner's shadow, drawn with the banner faded as a whole (a widget has
// one effect: the fade joins the shadow it already has).
class FadingShadow : public QGraphicsDropShadowEffect {
public:
    explicit FadingShadow(const QGraphicsDropShadowEffect* like) {
        if (!like) {
            setBlurRadius(0);
            setOffset(0, 0);
            return;
        }
        setColor(like->color());
        setBlurRadius(like->blurRadius());
        setOffset(like->offset());
    }
    double opacity() const { return opacity_; }
    void setOpacity(double opacity) {
        if (opacity == opacity_) return;
        opacity_ = opacity;
        update();
    }

protected:
    void draw(QPainter* painter) override {
        if (opacity_ <= 0) return;
        painter->save();
        painter->setOpacity(painter->opacity() * opacity_);
        QGraphicsDropShadowEffect::draw(painter);
        painter->restore();
    }

private:
    double opacity_ = 1;
};

}  // namespace

// What the stage keeps of one banner, with the banner (its child) so that it
// goes when the banner goes.
class BannerStage::Entry : public QObject {
public:
    Entry(BannerStage& stage, BannerView* banner, Kind kind)
        : QObject(banner),
          banner(banner),
          fade(new FadingShadow(qobject_cast<QGraphicsDropShadowEffect*>(banner->graphicsEffect()))),
          kind(kind),
          motion(banner, Motion::BannerSpring::curve(), 0, [&stage, this](double) { stage.moved(*this); }) {
        banner->setGraphicsEffect(fade);
        motion.setSettled([&stage, this] { stage.settled(*this); });
    }

    BannerView* banner;
    FadingShadow* fade;
    Kind kind;
    QRectF from;   // a replacement's start: where the banner it replaces was
    QRectF place;  // where the capsule is drawn now
    Motion::Tween motion;
};

BannerStage::BannerStage(AppState& state, QWidget& host) : state_(state), host_(host) {}

BannerStage::Entry* BannerStage::make(const AppState::Banner& banner, Kind kind) {
    auto* view = new BannerView(state_, banner, &host_);
    return new Entry(*this, view, kind);
}

BannerStage::Entry* BannerStage::entryOf(const BannerView& banner) const {
    if (current_ && current_->banner == &banner) return current_;
    for (const auto* list : {&under_, &leaving_})
        for (Entry* e : *list)
            if (e->banner == &banner) return e;
    return nullptr;
}

BannerView* BannerStage::current() const { return current_ ? current_->banner : nullptr; }

std::vector<BannerView*> BannerStage::shown() const {
    std::vector<BannerView*> all;
    for (Entry* e : leaving_) all.push_back(e->banner);
    for (Entry* e : under_) all.push_back(e->banner);
    if (current_) all.push_back(current_->banner);
    return all;
}

QRectF BannerStage::placeOf(const BannerView& banner) const {
    const Entry* e = entryOf(banner);
    return e ? e->place : QRectF();
}

double BannerStage::opacityOf(const BannerView& banner) const {
    const Entry* e = entryOf(banner);
    return e ? e->fade->opacity() : 0;
}

bool BannerStage::isMoving() const {
    if (current_ && current_->motion.isMoving()) return true;
    return std::any_of(leaving_.begin(), leaving_.end(), [](Entry* e) { return e->motion.isMoving(); });
}

void BannerStage::follow() {
    const std::optional<AppState::Banner>& banner = state_.banner();
    if (current_ && banner && current_->banner->banner().id == banner->id) return;
    Entry* previous = current_;
    current_ = nullptr;
    if (previous && !banner) {
        // Out the way it came in, from wherever it is now.
        previous->banner->setAttribute(Qt::WA_TransparentForMouseEvents);
        if (previous->kind == Kind::replacing) {
            previous->kind = Kind::entering;
            previous->motion.jumpTo(1);
        }
        previous->kind = Kind::leaving;
        leaving_.push_back(previous);
        for (Entry* e : under_) drop(e);
        under_.clear();
        previous->motion.moveTo(0);
        place();
        return;
    }
    if (!banner) return;
    if (previous) {
        // The new banner starts where the old one is and moves to its own
        // place and size; the old ones stay under it, where it is, until it
        // has settled.
        under_.push_back(previous);
        for (Entry* e : under_) {
            e->banner->setAttribute(Qt::WA_TransparentForMouseEvents);
            e->motion.jumpTo(e->motion.value());
        }
        current_ = make(*banner, Kind::replacing);
        current_->from = previous->place;
    } else {
        current_ = make(*banner, Kind::entering);
    }
    current_->banner->show();
    current_->motion.jumpTo(0);
    current_->motion.moveTo(1);
    place();
}

QRectF BannerStage::restingPlace(const BannerView& banner) const {
    const int room = std::max(0, host_.width() - 40);
    const int w = std::min(banner.sizeHint().width(), room);
    const int h = banner.hasHeightForWidth() ? banner.heightForWidth(w) : banner.sizeHint().height();
    return QRectF((host_.width() - w) / 2, kTop, w, h);
}

// Puts the banner where its motion has got to. On the way in or out it is
// above its resting place by the share still left of the distance that takes
// it past the top edge, and as transparent; a replacement is between the old
// place and its own; the banners under a replacement are where it is.
void BannerStage::moved(Entry& entry) {
    const double t = entry.motion.value();
    const QRectF rest = restingPlace(*entry.banner);
    QRectF at = rest;
    double opacity = std::clamp(t, 0.0, 1.0);
    if (entry.kind == Kind::replacing) {
        auto mix = [t](double a, double b) { return a + (b - a) * t; };
        at = QRectF(mix(entry.from.x(), rest.x()), mix(entry.from.y(), rest.y()),
                    mix(entry.from.width(), rest.width()), mix(entry.from.height(), rest.height()));
    } else {
        at.translate(0, -(1 - t) * rest.bottom());
    }
    auto put = [](Entry& e, const QRectF& capsule) {
        e.place = capsule;
        e.banner->setGeometry(capsule.toRect());
    };
    put(entry, at);
    entry.fade->setOpacity(opacity);
    if (&entry == current_)
        for (Entry* e : under_) put(*e, at);
}

void BannerStage::settled(Entry& entry) {
    if (&entry == current_) {
        entry.kind = Kind::entering;  // at rest it is placed like any banner
        for (Entry* e : under_) drop(e);
        under_.clear();
        moved(entry);
        return;
    }
    auto it = std::find(leaving_.begin(), leaving_.end(), &entry);
    if (it == leaving_.end()) return;
    leaving_.erase(it);
    drop(&entry);
}

// Off the screen at once, deleted once the motion that called here has
// returned (its entry goes with it).
void BannerStage::drop(Entry* entry) {
    entry->banner->hide();
    entry->banner->deleteLater();
}

void BannerStage::place() {
    for (Entry* e : leaving_) {
        moved(*e);
        e->banner->raise();
    }
    for (Entry* e : under_) e->banner->raise();
    if (current_) {
        moved(*current_);
        current_->banner->raise();
    }
}
