#include "app/controls/system_services.h"

#include "app/state/executor.h"
#include "engine/admin.h"

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
        const std::string command = std::string(kOpener) + " " + Admin::quote(address);
        executor_->run([command] { Admin::run(command, false); });
    }

private:
    std::shared_ptr<Executor> executor_;
};

}  // namespace

std::unique_ptr<SystemServices> SystemServices::desktop(std::shared_ptr<Executor> executor) {
    return std::make_unique<DesktopServices>(std::move(executor));
}
