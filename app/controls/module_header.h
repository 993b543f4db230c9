#pragma once
// The head of every module screen: the module's symbol tile, its title and
// subtitle, and at the right end what the screen puts there (its buttons).
#include <QMargins>
#include <QWidget>

#include "engine/module_id.h"

class QHBoxLayout;

class ModuleHeader : public QWidget {
    Q_OBJECT
public:
    // trailing may be null; the header takes ownership of it.
    explicit ModuleHeader(ModuleID module, QWidget* trailing = nullptr, QWidget* parent = nullptr);

    // Where every screen places its header: 22 points from the sides, 18 from
    // the top, 12 above what follows. A screen that scrolls as one column
    // starts the column 18 points down, so its header sits where the others' do.
    static constexpr QMargins kInsets{22, 18, 22, 12};

    ModuleID module() const { return module_; }
    QWidget* trailing() const { return trailing_; }

private:
    ModuleID module_;
    QWidget* trailing_;
};
