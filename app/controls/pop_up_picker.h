#pragma once
// A pop-up picker: the chosen one of a short list of choices on a white
// rounded bezel with the up-and-down chevron at its end; pressed (a click,
// Space, Return or an arrow key) it opens the menu of the choices with the
// chosen one ticked and current, so the arrows and Return pick another and
// Escape leaves it as it was. Only the user's choice is announced
// (activated); a value shown from elsewhere is set quietly.
#include <QAbstractButton>
#include <QPointer>
#include <QStringList>

class QMenu;

class PopUpPicker : public QAbstractButton {
    Q_OBJECT
public:
    // Named by what it picks ("At"), as its label says.
    PopUpPicker(const QStringList& choices, int current, const QString& name, QWidget* parent = nullptr);

    int count() const { return int(choices_.size()); }
    int currentIndex() const { return current_; }
    QString currentText() const;
    QString itemText(int index) const;
    // Shows a choice without announcing it (out of range: nothing).
    void setCurrentIndex(int index);

    // Opens the menu of choices under the picker (nothing while disabled).
    void showMenu();
    // The menu while it is open.
    QMenu* menu() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    // The user picked a choice (the one already shown too).
    void activated(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList choices_;
    int current_;
    QPointer<QMenu> menu_;
};
