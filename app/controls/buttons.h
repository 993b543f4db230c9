#pragma once
// The two action buttons: a symbol and a title on a capsule. The primary one
// is filled with its tint (white text, a tinted shadow) and can be disabled;
// the secondary one is a faint outlined capsule. Both call their action when
// activated. A secondary button may be a title alone, at the settings
// forms' text size ("Reveal in Finder"); it fades while disabled.
#include <QAbstractButton>
#include <QColor>
#include <functional>

#include "app/controls/symbols.h"

class CapsuleButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Look {
        double spacing;
        double iconSize;
        QFont::Weight iconWeight;
        double titleSize;
        QFont::Weight titleWeight;
        double hPadding;
        double vPadding;
    };

    Symbol icon() const { return icon_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    CapsuleButton(const QString& title, Symbol icon, Look look, std::function<void()> action, QWidget* parent);
    // The capsule's fill (and border), under the label.
    virtual void paintCapsule(QPainter& p, const QRectF& capsule) = 0;
    virtual QColor foreground() const = 0;
    void paintEvent(QPaintEvent* event) override;

private:
    // The symbol's advance; none without a symbol.
    double iconWidth() const;

    Symbol icon_;
    Look look_;
};

class PrimaryButton : public CapsuleButton {
    Q_OBJECT
public:
    PrimaryButton(const QString& title, Symbol icon, const QColor& tint, bool enabled, std::function<void()> action,
                  QWidget* parent = nullptr);

    QColor tint() const { return tint_; }
    void setTint(const QColor& tint);

protected:
    void paintCapsule(QPainter& p, const QRectF& capsule) override;
    QColor foreground() const override;
    void changeEvent(QEvent* event) override;

private:
    QColor tint_;
};

class SecondaryButton : public CapsuleButton {
    Q_OBJECT
public:
    SecondaryButton(const QString& title, Symbol icon, std::function<void()> action, QWidget* parent = nullptr);
    // The title alone, at 12 points.
    SecondaryButton(const QString& title, std::function<void()> action, QWidget* parent = nullptr);

protected:
    void paintCapsule(QPainter& p, const QRectF& capsule) override;
    QColor foreground() const override;
};
