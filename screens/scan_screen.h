#pragma once
// What the screens that scan one module share: when a screen counts as
// scanning (the progress runs and the active scan is its module), the header's
// running state (a small spinner, the progress message and Stop), the
// placeholder shown while a first scan runs, and the byte sum that decides
// whether an action button is shown at all (from 1 byte on; below it the
// button is absent, not disabled).
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string_view>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class SecondaryButton;
class TextLabel;

namespace ScanScreen {

// The sum of the selected items' sizes over every category.
int64_t selectedBytes(const ScanReport& report);
// Text the engine and the module table hold, as the widgets take it.
QString text(std::string_view utf8);

}  // namespace ScanScreen

// The header's controls while the screen's module scans: a small spinner, the
// progress message (one line, at most 200 points, right-aligned) and Stop,
// which cancels the current scan's token under its lock (the stopped scan
// still stores what it found) and ends the scan state at once.
class ScanStatus : public QWidget {
    Q_OBJECT
public:
    explicit ScanStatus(AppState& state, QWidget* parent = nullptr);
    QString message() const;
    SecondaryButton* stopButton() const { return stop_; }

private:
    TextLabel* message_;
    SecondaryButton* stop_;
};

// The content while a scan runs and nothing is listed yet: a large spinner
// over the progress message, centred, 60 points above and below.
class ScanningPlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit ScanningPlaceholder(AppState& state, QWidget* parent = nullptr);
    QString message() const;

private:
    TextLabel* message_;
};

class QHBoxLayout;
class QVBoxLayout;
class ResultsList;

// The frame of a screen that scans one module and lists its report: the
// module header with the screen's controls at its right end (the scan status
// while the module scans, the screen's buttons otherwise), notes under the
// header, then the content: the result list when the report has a category,
// the scanning placeholder while the module scans, else the screen's empty
// column. It redraws on every change of the progress, the active scan and the
// module's report.
class ModuleScreen : public QWidget {
    Q_OBJECT
public:
    ModuleID module() const { return module_; }
    bool isScanning() const;

    ScanStatus* scanStatus() const { return status_; }
    ResultsList* results() const { return results_; }
    ScanningPlaceholder* placeholder() const { return placeholder_; }
    // The content shown when nothing is listed and no scan runs.
    QWidget* emptyColumn() const { return empty_; }

protected:
    ModuleScreen(const ScreenContext& context, ModuleID module, QWidget* parent);

    // A header control, after those added before; hidden while the module scans.
    void addHeaderControl(QWidget* control);
    // A note under the header (and the notes before it), padded 22 at the
    // sides and bottom below.
    void addNote(QWidget* note, int bottom);
    QVBoxLayout* emptyLayout() const { return emptyLayout_; }
    // What the screen adds to the redraw: its buttons' texts and visibility
    // (shown only while idle), its notes and its empty column.
    virtual void present(const ScanReport& report, bool scanning) = 0;
    // Starts the frame's redraw; the constructor of the screen calls it last.
    void refresh();

    const ScreenContext& context_;
    AppState& state_;

private:
    ModuleID module_;
    QHBoxLayout* controls_;
    QVBoxLayout* notes_;
    std::vector<QWidget*> idleControls_;
    ScanStatus* status_;
    ResultsList* results_;
    ScanningPlaceholder* placeholder_;
    QWidget* empty_;
    QVBoxLayout* emptyLayout_;
};
