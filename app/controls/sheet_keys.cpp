#include "app/controls/sheet_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPointer>

namespace SheetKeys {
namespace {

class Keys : public QObject {
public:
    Keys(QWidget* sheet, QAbstractButton* defaultButton, std::function<void()> cancel)
        : QObject(sheet), default_(defaultButton), cancel_(std::move(cancel)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~(Qt::KeypadModifier)) return false;
        switch (key->key()) {
            case Qt::Key_Escape:
                if (!cancel_) return false;
                cancel_();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (!default_ || !default_->isVisibleTo(default_->window()) || !default_->isEnabled()) return false;
                default_->click();
                return true;
            default:
                return false;
        }
    }

private:
    QPointer<QAbstractButton> default_;
    std::function<void()> cancel_;
};

}  // namespace

void install(QWidget* sheet, QAbstractButton* defaultButton, std::function<void()> cancel) {
    sheet->installEventFilter(new Keys(sheet, defaultButton, std::move(cancel)));
}

}  // namespace SheetKeys
