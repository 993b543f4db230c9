#pragma once
// The sidebar: the disk header, then one section per sidebar group with a row
// per module in sidebar order, and the status footer below the scrolling
// list. The selected row follows the state's module both ways: a click
// selects the module, a module chosen elsewhere moves the highlight.
#include <QAbstractButton>
#include <QWidget>
#include <vector>

#include "app/state/app_state.h"

class DiskHeaderRow;
class FooterStatus;
class QScrollArea;
class SystemServices;
class TextLabel;

class SidebarRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit SidebarRow(ModuleID module, QWidget* parent = nullptr);

    ModuleID module() const { return module_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ModuleID module_;
    bool selected_ = false;
};

class SidebarView : public QWidget {
    Q_OBJECT
public:
    SidebarView(AppState& state, SystemServices& services, QWidget* parent = nullptr);

    // The rows in sidebar order, and the section titles in order.
    const std::vector<SidebarRow*>& rows() const { return rows_; }
    QStringList sectionTitles() const;
    DiskHeaderRow* diskHeader() const { return disk_; }
    FooterStatus* footer() const { return footer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void highlight(std::optional<ModuleID> module);

    AppState& state_;
    std::vector<SidebarRow*> rows_;
    std::vector<TextLabel*> sections_;
    DiskHeaderRow* disk_;
    FooterStatus* footer_;
    QScrollArea* scroll_;
};
