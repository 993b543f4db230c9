#pragma once
// A short text on a capsule: a tinted fill when filled, a tinted border when
// not; normal or compact size.
#include <QColor>
#include <QWidget>

class Pill : public QWidget {
    Q_OBJECT
public:
    Pill(const QString& text, const QColor& tint, bool filled, bool compact, QWidget* parent = nullptr);

    QString text() const { return text_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor tint_;
    bool filled_;
    bool compact_;
};
