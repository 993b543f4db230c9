#pragma once
// The screen of the six catalog-driven cleanup modules (System Junk, Mail
// Attachments, Trash Bins, Photos, Music, Large & Old Files): scan, look
// through what was found card by card, remove what is ticked. System Junk
// also thins the ticked universal binaries after a confirmation. A hint card
// names the places the scan was refused, or asks for Full Disk Access.
#include <optional>

#include "screens/scan_screen.h"

class CoverageList;
class EmptyStateView;
class PermissionHint;
class PrimaryButton;
class SecondaryButton;

class JunkModuleView : public ModuleScreen {
    Q_OBJECT
public:
    JunkModuleView(const ScreenContext& context, ModuleID module, QWidget* parent = nullptr);

    // The scan was started by this screen at least once.
    bool hasScanned() const { return hasScanned_; }
    // The places the scan was refused, joined by " · "; else, without Full
    // Disk Access, the sentence asking for it; else none.
    std::optional<QString> permissionHint() const;
    // Mail Attachments and Large & Old Files move to the Trash; the rest delete.
    static bool movesToTrash(ModuleID module);
    // "Thin 2 universal binaries?"
    static QString thinTitle(size_t count);
    static const char* const kThinMessage;

    SecondaryButton* scanButton() const { return scanButton_; }
    PrimaryButton* thinButton() const { return thinButton_; }
    PrimaryButton* removeButton() const { return removeButton_; }
    EmptyStateView* emptyState() const { return emptyState_; }
    CoverageList* coverage() const { return coverage_; }
    PermissionHint* hint() const { return hint_; }

protected:
    void showEvent(QShowEvent* event) override;
    void present(const ScanReport& report, bool scanning) override;

private:
    void scan();
    void thin();
    void presentHint();
    void presentEmpty(const ScanReport& report);

    bool hasScanned_ = false;
    SecondaryButton* scanButton_;
    PrimaryButton* thinButton_ = nullptr;
    PrimaryButton* removeButton_;
    QWidget* hintBox_;
    PermissionHint* hint_ = nullptr;
    EmptyStateView* emptyState_ = nullptr;
    CoverageList* coverage_ = nullptr;
    std::optional<bool> emptyShownScanned_;
};
