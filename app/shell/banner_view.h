#pragma once
// The window's transient message: a capsule with a success or error symbol,
// the text, and a button that dismisses whatever banner is current. The state
// clears each banner 4.5 seconds after it was raised unless another replaced
// it; this view only shows it.
#include <QWidget>

#include "app/state/app_state.h"

class QAbstractButton;
class TextLabel;
class SymbolView;

class BannerView : public QWidget {
    Q_OBJECT
public:
    BannerView(AppState& state, const AppState::Banner& banner, QWidget* parent = nullptr);

    const AppState::Banner& banner() const { return banner_; }
    QAbstractButton* dismissButton() const { return dismiss_; }
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    AppState& state_;
    AppState::Banner banner_;
    QAbstractButton* dismiss_;
    TextLabel* text_;
};
