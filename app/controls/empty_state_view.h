#pragma once
// What a screen shows when there is nothing to list: a symbol on a tinted
// circle, a title, a message and, when given, one action button.
#include <QColor>
#include <functional>
#include <optional>

#include <QWidget>

#include "app/controls/symbols.h"

class PrimaryButton;

class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    struct Action {
        QString title;
        std::function<void()> handler;
    };

    EmptyStateView(Symbol icon, const QString& title, const QString& message, const QColor& tint,
                   std::optional<Action> action, QWidget* parent = nullptr);

    // The action's button; null without an action.
    PrimaryButton* actionButton() const { return button_; }

private:
    PrimaryButton* button_ = nullptr;
};
