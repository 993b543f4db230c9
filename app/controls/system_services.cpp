#include "app/controls/system_services.h"

#include <QMessageBox>
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

    bool confirm(const Confirmation& confirmation, QWidget* over) override {
        QMessageBox box(over);
        box.setIcon(confirmation.destructive ? QMessageBox::Warning : QMessageBox::Question);
        box.setText(QString::fromStdString(confirmation.title));
        box.setInformativeText(QString::fromStdString(confirmation.message));
        QPushButton* go = box.addButton(QString::fromStdString(confirmation.confirmButton),
                                        confirmation.destructive ? QMessageBox::DestructiveRole
                                                                 : QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.exec();
        return box.clickedButton() == go;
    }

    std::vector<std::filesystem::path> chooseFilesAndFolders(const std::string& prompt, QWidget* over) override {
        std::unique_ptr<QFileDialog> dialog = FileChooser::make(prompt, over);
        dialog->exec();
        return FileChooser::chosen(*dialog);
    }

private:
    void open(std::string command) {
        executor_->run([command = std::move(command)] { Admin::run(command, false); });
    }

    std::shared_ptr<Executor> executor_;
};

}  // namespace

std::unique_ptr<SystemServices> SystemServices::desktop(std::shared_ptr<Executor> executor) {
    return std::make_unique<DesktopServices>(std::move(executor));
}
