#pragma once
// The head of every module screen: the module's symbol tile, its title and
// subtitle, and at the right end what the screen puts there (its buttons).
#include <QWidget>

#include "engine/module_id.h"

class QHBoxLayout;

class ModuleHeader : public QWidget {
    Q_OBJECT
public:
    // trailing may be null; the header takes ownership of it.
    explicit ModuleHeader(ModuleID module, QWidget* trailing = nullptr, QWidget* parent = nullptr);

    ModuleID module() const { return module_; }
    QWidget* trailing() const { return trailing_; }

private:
    ModuleID module_;
    QWidget* trailing_;
};
