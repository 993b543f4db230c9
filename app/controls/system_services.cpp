#include "app/controls/system_services.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "app/controls/file_chooser.h"
#include "app/state/executor.h"
#include "engine/admin.h"

namespace SystemLinks {

bool isSystemSettings(const std::string& address) {
    return address.rfind("x-apple.systempreferences:", 0) == 0;
}

}  // namespace SystemLinks

namespace {

#ifdef __APPLE__
constexpr const char* kOpener = "/usr/bin/open";
#else
constexpr const char* kOpener = "xdg-open";
#endif

class DesktopServices final : public SystemServices {
public:
    explicit DesktopServices(std::shared_ptr<Executor> executor) : executor_(std::move(executor)) {}

    void openURL(const std::string& address) override {
        if (address.empty()) return;
#ifndef __APPLE__
        if (SystemLinks::isSystemSettings(address)) return;
#endif
        open(std::string(kOpener) + " " + Admin::quote(address));
    }

    void reveal(const std::filesystem::path& path) override {
        if (path.empty()) return;
#ifdef __APPLE__
        open(std::string(kOpener) + " -R " + Admin::quote(path.string()));
#else
        // The desktop's file managers have no common way to select an entry:
        // the folder holding it opens.
        open(std::string(kOpener) + " " + Admin::quote(path.parent_path().string()));
#endif
    }

    void confirm(const Confirmation& confirmation, QWidget* over, Answered answered) override {
        auto* box = new QMessageBox(over);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setIcon(confirmation.destructive ? QMessageBox::Warning : QMessageBox::Question);
        box->setText(QString::fromStdString(confirmation.title));
        box->setInformativeText(QString::fromStdString(confirmation.message));
        QPushButton* go = box->addButton(QString::fromStdString(confirmation.confirmButton),
                                         confirmation.destructive ? QMessageBox::DestructiveRole
                                                                  : QMessageBox::AcceptRole);
        QPushButton* cancel = box->addButton(QMessageBox::Cancel);
        box->setDefaultButton(cancel);
        whenFinished(box, over, [box, go, answered = std::move(answered)] {
            if (answered) answered(box->clickedButton() == go);
        });
    }

    void chooseFilesAndFolders(const std::string& prompt, QWidget* over, Chosen chosen) override {
        QFileDialog* dialog = FileChooser::make(prompt, over).release();
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        whenFinished(dialog, over, [dialog, chosen = std::move(chosen)] {
            if (chosen) chosen(FileChooser::chosen(*dialog));
        });
    }

private:
    // Opens the dialog window-modal (no nested loop) and runs answer once it
    // is finished, unless the widget that asked is gone by then. A dialog
    // finishes once; it closes and deletes itself after answering.
    template <class Answer>
    static void whenFinished(QDialog* dialog, QWidget* over, Answer answer) {
        QObject::connect(dialog, &QDialog::finished, dialog,
                         [asker = QPointer<QWidget>(over), hadAsker = over != nullptr, answer = std::move(answer)] {
                             if (hadAsker && !asker) return;
                             answer();
                         },
                         Qt::SingleShotConnection);
        dialog->open();
    }

    void open(std::string command) {
        executor_->run([command = std::move(command)] { Admin::run(command, false); });
    }

    std::shared_ptr<Executor> executor_;
};

}  // namespace

std::unique_ptr<SystemServices> SystemServices::desktop(std::shared_ptr<Executor> executor) {
    return std::make_unique<DesktopServices>(std::move(executor));
}
