#pragma once
// A segmented picker: a row of titled segments on a rounded track, exactly
// one chosen. Each segment is a button of its own (its title its accessible
// name), so a click or assistive technology picks it like any button. The
// same control is the tab bar of a tab view: each segment a symbol over its
// title, the chosen one in the accent colour on a faint tile, announced as
// the page tabs they are.
#include <QAbstractButton>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <vector>

#include "app/controls/symbols.h"

class SegmentedControl;

// One segment: a checkable button, checked while it is the chosen one.
class SegmentButton : public QAbstractButton {
    Q_OBJECT
public:
    SegmentButton(const QString& title, std::optional<Symbol> symbol, SegmentedControl& owner, int index);
    QSize sizeHint() const override;
    // A tab of a tab bar rather than a segment of a picker.
    bool isTab() const { return symbol_.has_value(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paintSegment(QPainter& p, bool chosen);
    void paintTab(QPainter& p, bool chosen);

    SegmentedControl& owner_;
    int index_;
    std::optional<Symbol> symbol_;
};

class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    // A picker of titled segments.
    SegmentedControl(const QStringList& titles, int selected, QWidget* parent = nullptr);

    // A tab bar: a symbol and a title per tab.
    struct Tab {
        QString title;
        Symbol symbol;
    };
    SegmentedControl(const std::vector<Tab>& tabs, int selected, QWidget* parent = nullptr);

    bool isTabBar() const { return tabBar_; }
    int selected() const { return selected_; }
    // Chooses a segment (out of range: nothing); announced when it changes.
    void setSelected(int index);
    QAbstractButton* segment(int index) const;
    int count() const { return int(segments_.size()); }

    QSize sizeHint() const override;

Q_SIGNALS:
    void selectedChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void add(const QString& title, std::optional<Symbol> symbol);

    std::vector<QAbstractButton*> segments_;
    int selected_;
    bool tabBar_;
};
