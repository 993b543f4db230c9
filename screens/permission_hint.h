#pragma once
// The screens' hint card: an icon and a sentence in a faintly tinted rounded
// card, with one link-style button. Without an action of its own the button
// opens the Full Disk Access pane of System Settings.
#include <QColor>
#include <QWidget>
#include <functional>

#include "app/controls/symbols.h"

class LinkButton;
class SystemServices;

class PermissionHint : public QWidget {
    Q_OBJECT
public:
    PermissionHint(const QString& text, const QString& actionTitle, std::function<void()> action,
                   const QColor& tint, Symbol icon, SystemServices& services, QWidget* parent = nullptr);

    LinkButton* button() const { return button_; }
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor tint_;
    LinkButton* button_;
};
