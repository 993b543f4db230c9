#pragma once
// One statistic on a card: a symbol and a title, the value in large figures,
// and an optional caption below. A new value rolls in (see NumericLabel).
#include <QColor>
#include <optional>

#include "app/controls/card_background.h"
#include "app/controls/symbols.h"

class NumericLabel;
class TextLabel;

class StatCard : public CardBackground {
    Q_OBJECT
public:
    StatCard(const QString& title, const QString& value, std::optional<QString> caption, const QColor& tint,
             Symbol icon, QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);
    std::optional<QString> caption() const;
    void setCaption(const std::optional<QString>& caption);

private:
    NumericLabel* value_;
    TextLabel* caption_;
};
