#pragma once
// The logged-in user as the system sees it. The uid names the user's trash
// folders on other volumes and the launchd domain; tests may replace it.
#include <sys/types.h>

#include <optional>

namespace User {

uid_t uid();
void setUidForTesting(std::optional<uid_t> uid);

// While one lives, uid() is the given user's: the privileged side runs as root
// for the user who asked, whose trash folders are the ones that are theirs.
class ActingFor {
public:
    explicit ActingFor(uid_t uid);
    ~ActingFor();
    ActingFor(const ActingFor&) = delete;
    ActingFor& operator=(const ActingFor&) = delete;

private:
    long long previous_;
};

}  // namespace User
