#pragma once
// Where the state's banner floats: centred at the top of the window, 10
// points down. A banner comes in from above the top edge while fading in and
// goes out the same way; a banner that replaces another starts at the other's
// place and size and grows or shrinks to its own while it fades in over the
// old one. Each of these moves with the banner spring. A banner on its way
// out, or under its replacement, takes no clicks.
#include <QRectF>
#include <vector>

#include "app/state/app_state.h"

class BannerView;
class QWidget;

class BannerStage {
public:
    // host: the widget the banners float over (their parent).
    BannerStage(AppState& state, QWidget& host);
    BannerStage(const BannerStage&) = delete;
    BannerStage& operator=(const BannerStage&) = delete;

    // Shows the state's banner now: in, replaced or out.
    void follow();
    // Places every banner for the host's size, over the host's other children.
    void place();

    // The banner shown (or coming in); null when there is none.
    BannerView* current() const;
    // The banners on the screen, the current one last: those going out and
    // those under a replacement too.
    std::vector<BannerView*> shown() const;
    // Where a banner's capsule is drawn now, within the host, and how opaque.
    QRectF placeOf(const BannerView& banner) const;
    double opacityOf(const BannerView& banner) const;
    // Whether a banner is still on its way in, out or to its new size.
    bool isMoving() const;

    static constexpr int kTop = 10;

private:
    class Entry;
    enum class Kind { entering, replacing, leaving };

    Entry* make(const AppState::Banner& banner, Kind kind);
    Entry* entryOf(const BannerView& banner) const;
    // The capsule's place at rest.
    QRectF restingPlace(const BannerView& banner) const;
    void moved(Entry& entry);
    void settled(Entry& entry);
    static void drop(Entry* entry);

    AppState& state_;
    QWidget& host_;
    Entry* current_ = nullptr;
    std::vector<Entry*> under_;    // beneath the current banner while it replaces them
    std::vector<Entry*> leaving_;  // going out
};
