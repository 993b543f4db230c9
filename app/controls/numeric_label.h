#pragma once
// A line of figures whose changes roll: the characters that differ from the
// text shown before go up and out of the line while the new ones come up
// from below, fading across (upward, as a counter counting up), and the
// characters both texts begin with stay where they are. text() is the new
// text from the moment it is set.
#include "app/controls/motion.h"
#include "app/controls/text_label.h"

class NumericLabel : public TextLabel {
    Q_OBJECT
public:
    NumericLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

    // Shows the new text, rolling from the one shown.
    void setValue(const QString& text);
    // While a change rolls: the text it leaves and how far it has come (0 to 1).
    bool isRolling() const { return motion_.isMoving(); }
    QString outgoing() const { return outgoing_; }
    double rollProgress() const { return motion_.value(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString outgoing_;
    Motion::Tween motion_;
};
