#include "app/controls/file_chooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <algorithm>

namespace {

class FilesAndFolders final : public QFileDialog {
public:
    FilesAndFolders(const QString& prompt, QWidget* over) : QFileDialog(over), prompt_(prompt) {
        setOption(QFileDialog::DontUseNativeDialog, true);
        // Existing files, so a file can be accepted; a folder is taken too (accept below).
        setFileMode(QFileDialog::ExistingFiles);
        setDirectory(QDir::homePath());
        setLabelText(QFileDialog::Accept, prompt_);
        // While a folder is selected the dialog renames its accept button
        // "Open", for going into the folder; here the folder is chosen as it
        // is, so the button keeps the prompt. These connections come after
        // the dialog's own, so they run after it renamed the button.
        auto keepPrompt = [this] {
            if (QPushButton* button = FileChooser::acceptButton(*this)) button->setText(prompt_);
        };
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            connect(name, &QLineEdit::textChanged, this, keepPrompt);
        for (auto* view : findChildren<QAbstractItemView*>())
            if (QItemSelectionModel* selection = view->selectionModel())
                connect(selection, &QItemSelectionModel::selectionChanged, this, keepPrompt);
        connect(this, &QFileDialog::currentChanged, this, keepPrompt);
        connect(this, &QFileDialog::directoryEntered, this, keepPrompt);
    }

    void accept() override {
        // What is selected exists, files and folders alike: that is the
        // choice. Anything else (a typed name that is not there, "..") is the
        // dialog's own business.
        const QStringList selected = selectedFiles();
        if (!selected.isEmpty() &&
            std::all_of(selected.begin(), selected.end(), [](const QString& path) { return QFileInfo::exists(path); })) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    QString prompt_;
};

}  // namespace

namespace FileChooser {

std::unique_ptr<QFileDialog> make(const std::string& prompt, QWidget* over) {
    return std::make_unique<FilesAndFolders>(QString::fromStdString(prompt), over);
}

QPushButton* acceptButton(const QFileDialog& dialog) {
    auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return box ? box->button(QDialogButtonBox::Open) : nullptr;
}

std::vector<std::filesystem::path> chosen(const QFileDialog& dialog) {
    std::vector<std::filesystem::path> paths;
    if (dialog.result() != QDialog::Accepted) return paths;
    for (const QString& file : dialog.selectedFiles()) paths.emplace_back(file.toStdString());
    return paths;
}

}  // namespace FileChooser
