#pragma once
// The disk map screen: measures the home folder or the whole startup volume
// on request (in the state's background work), then shows one folder at a
// time as bands, largest first, each with its share of the folder, its size
// and a proportional bar. Tapping a band opens it; the breadcrumb above leads
// back. The tree, the path and the measuring live in the state, so the map
// survives leaving the screen.
#include <QAbstractButton>
#include <QColor>
#include <QWidget>

#include "app/shell/screen_catalog.h"

class QScrollArea;
class QStackedLayout;
class QVBoxLayout;
class TextLabel;

class DiskMapView : public QWidget {
    Q_OBJECT
public:
    explicit DiskMapView(const ScreenContext& context, QWidget* parent = nullptr);

    // The folder in view: the last node of the path, null before a measure.
    SpaceNodeRef current() const;

private:
    void showMeasuring();
    void showMap();

    AppState& state_;
    QWidget* stop_;
    QWidget* measureButtons_;
    QStackedLayout* body_;
    QWidget* empty_;
    QWidget* map_;
    QWidget* crumbs_ = nullptr;
    QVBoxLayout* mapStack_;
    QWidget* progressRow_;
    TextLabel* progressMessage_;
    QVBoxLayout* bandColumn_;
    QWidget* bands_ = nullptr;
};

// One child of the folder in view, drawn as a card: a folder or document
// symbol, the name, its share of the folder in whole percent, its size and a
// bar of that share (never narrower than 3 points); a chevron when it can be
// opened. The whole band is the button.
class NodeBand : public QAbstractButton {
    Q_OBJECT
public:
    NodeBand(SpaceNodeRef folder, SpaceNodeRef node, QWidget* parent = nullptr);

    const SpaceNodeRef& node() const { return node_; }
    // The node's size over the folder's, 0 when the folder is empty.
    static double share(const SpaceNode& folder, const SpaceNode& node);
    // The share in whole percent, cut toward zero: "37%".
    static QString percentage(double share);
    // The bar's width in an available width: the share of it, at least 3 points.
    static double barWidth(double available, double share);
    // The band's colour, chosen by the name: the same name, the same colour.
    static QColor tint(const std::string& name);
    // Whether the node opens onto something: a folder with members.
    static bool opens(const SpaceNode& node);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SpaceNodeRef folder_;
    SpaceNodeRef node_;
};
