#pragma once
// The tri-state check box. It shows a value it does not own: the binding reads
// it and writes it, and activating the box (click, space) writes the negation
// of what it reads, unless the box is disabled. Mixed shows a minus (on still
// wins the fill and the glyph).
#include <QAbstractButton>
#include <QColor>
#include <functional>
#include <memory>

struct BoolBinding {
    std::function<bool()> get;
    std::function<void(bool)> set;

    // A value of the caller's own, starting at initial.
    static BoolBinding local(bool initial);
};

class Checkbox : public QAbstractButton {
    Q_OBJECT
public:
    Checkbox(BoolBinding isOn, const QColor& tint, bool disabled, bool mixed, const QString& label,
             QWidget* parent = nullptr);

    bool isOn() const;
    bool isMixed() const { return mixed_; }
    bool isDisabled() const { return disabled_; }
    QString label() const { return label_; }
    void setMixed(bool mixed);
    void setDisabled(bool disabled);
    // Redraws after the bound value changed elsewhere.
    void refresh();

    // What assistive technology hears: "Unavailable", "Partially selected",
    // "Selected" or "Not selected", in that order of precedence.
    static QString accessibilityValue(bool on, bool mixed, bool disabled);
    QString accessibilityValue() const { return accessibilityValue(isOn(), mixed_, disabled_); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void activate();
    // The painted box, centred in the widget.
    QRectF box() const;

    BoolBinding binding_;
    QColor tint_;
    bool disabled_;
    bool mixed_;
    QString label_;
};
