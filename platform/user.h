#pragma once
// The logged-in user as the system sees it. The uid names the user's trash
// folders on other volumes and the launchd domain; tests may replace it.
#include <sys/types.h>

#include <optional>

namespace User {

uid_t uid();
void setUidForTesting(std::optional<uid_t> uid);

}  // namespace User
