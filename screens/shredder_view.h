#pragma once
// The shredder's screen: the user gathers files and folders (dropped anywhere
// on the screen, or picked in the open panel), ticks the ones to destroy and
// confirms; the shredder then overwrites and deletes them off the main thread
// and the window's summary sheet reports what happened.
//
// The list is the screen's own and starts empty each time the screen is made.
// Entries start unticked; the confirmation counts and names only the ticked
// ones, and nothing is shredded that is not ticked at the moment Shred is
// confirmed. A dropped folder's size is measured in the background, so a
// large one never freezes the window. Leaving the screen while a shred runs
// is safe: the work goes on and its summary still opens, as long as the
// application's state lives.
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class PrimaryButton;
class QLabel;
class QStackedLayout;
class QVBoxLayout;
class SecondaryButton;
class SystemServices;

class ShredderView : public QWidget {
    Q_OBJECT
public:
    struct Entry {
        ScanItem item;          // review, unticked, detail the path with "~" for the home
        bool measured = false;  // the size is known (measured off the main thread)
    };

    explicit ShredderView(const ScreenContext& context, QWidget* parent = nullptr);
    ~ShredderView() override;

    const std::vector<Entry>& entries() const { return entries_; }
    bool running() const { return running_; }
    QString message() const { return message_; }

    // Adds each path not listed yet, in order, unticked, and measures it in
    // the background.
    void append(const std::vector<std::filesystem::path>& urls);
    // The open panel ("Add"); what it returns is appended.
    void choose();
    // The Shred button: nothing ticked raises "Nothing is selected."; else it
    // asks, naming the ticked entries, and shreds them when the user agrees.
    void requestShred();
    // Ticks or clears the entry with that id (none: nothing).
    void setSelected(const Uuid& id, bool selected);

    SecondaryButton* chooseButton() const { return choose_; }
    // Null while the list is empty.
    PrimaryButton* shredButton() const { return shred_; }

    // "Shred 1 item", "Shred 3 items": the ticked entries, what a press shreds.
    static QString shredTitle(size_t ticked);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void run(std::vector<ScanItem> ticked);
    void measure(const ScanItem& item);
    void finish(const std::vector<std::string>& shreddedPaths);
    void refresh();
    void rebuildRows();
    // The Shred button's title and whether it can be pressed, from the ticks.
    void refreshShredButton();

    AppState& state_;
    SystemServices& services_;
    Lifeline lifeline_;
    std::vector<Entry> entries_;
    bool running_ = false;
    QString message_;

    QWidget* trailing_;
    SecondaryButton* choose_;
    PrimaryButton* shred_ = nullptr;
    QStackedLayout* pages_;
    QWidget* dropZone_;
    QWidget* listPage_;
    QVBoxLayout* rows_;
    QWidget* strip_;
    QLabel* stripText_;
};
