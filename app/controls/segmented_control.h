#pragma once
// A segmented picker: a row of titled segments on a rounded track, exactly
// one chosen. Each segment is a button of its own (its title its accessible
// name), so a click or assistive technology picks it like any button.
#include <QAbstractButton>
#include <QStringList>
#include <QWidget>
#include <vector>

class SegmentedControl;

// One segment: a checkable button, checked while it is the chosen one.
class SegmentButton : public QAbstractButton {
    Q_OBJECT
public:
    SegmentButton(const QString& title, SegmentedControl& owner, int index);
    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    SegmentedControl& owner_;
    int index_;
};

class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    SegmentedControl(const QStringList& titles, int selected, QWidget* parent = nullptr);

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
    std::vector<QAbstractButton*> segments_;
    int selected_;
};
