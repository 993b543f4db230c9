#pragma once
// The extensions' screen: plug-ins, preference panes, Spotlight importers and
// browser add-ons in the shared result list, and Remove, which moves the
// ticked ones to the Trash. A fixed hint says Safari extensions are listed but
// never removed here, and opens Safari's extension settings. It scans once on
// its first appearance, even over a report Smart Scan left.
#include "screens/scan_screen.h"

class EmptyStateView;
class PermissionHint;
class PrimaryButton;
class SecondaryButton;

class ExtensionsView : public ModuleScreen {
    Q_OBJECT
public:
    explicit ExtensionsView(const ScreenContext& context, QWidget* parent = nullptr);

    bool hasScanned() const { return hasScanned_; }

    SecondaryButton* scanButton() const { return scanButton_; }
    PrimaryButton* removeButton() const { return removeButton_; }
    PermissionHint* hint() const { return hint_; }
    EmptyStateView* emptyState() const { return emptyState_; }

protected:
    void showEvent(QShowEvent* event) override;
    void present(const ScanReport& report, bool scanning) override;

private:
    bool hasScanned_ = false;
    SecondaryButton* scanButton_;
    PrimaryButton* removeButton_;
    PermissionHint* hint_;
    EmptyStateView* emptyState_;
};
