#pragma once
// The sidebar's foot: the running scan's message over a progress bar; else,
// without Full Disk Access, a line saying so with a Fix link to the setting;
// else nothing.
#include <QWidget>

#include "engine/scan_model.h"

class QAbstractButton;
class SystemServices;
class TextLabel;

class FooterStatus : public QWidget {
    Q_OBJECT
public:
    enum class Shows { progress, accessOff, nothing };
    static Shows shows(const ScanProgress& progress, bool hasFullDiskAccess);
    // The bar's filled part: never less than 2 % while a scan runs.
    static double barFraction(double fraction);

    explicit FooterStatus(SystemServices& services, QWidget* parent = nullptr);

    void display(const ScanProgress& progress, bool hasFullDiskAccess);
    Shows showing() const { return showing_; }
    QAbstractButton* fixButton() const { return fix_; }
    QString message() const;
    double barValue() const;

private:
    Shows showing_ = Shows::nothing;
    QWidget* progress_;
    QWidget* bar_;
    TextLabel* message_;
    QWidget* access_;
    QAbstractButton* fix_;
};
