#pragma once
// The dialog that chooses files and folders for the window (the shredder's
// "Choose Files…", the ignore list's "Add Folder…"). The platform's own
// dialogs choose either files or folders, never both, so this is Qt's own:
// it opens in the home folder, takes several items at once, a file or a
// folder alike, and its accept button reads the prompt ("Add", "Ignore").
#include <QFileDialog>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QPushButton;

namespace FileChooser {

std::unique_ptr<QFileDialog> make(const std::string& prompt, QWidget* over);

// The button that accepts the choice.
QPushButton* acceptButton(const QFileDialog& dialog);

// What the accepted dialog chose, in its order.
std::vector<std::filesystem::path> chosen(const QFileDialog& dialog);

}  // namespace FileChooser
