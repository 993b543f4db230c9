#include "platform/user.h"

#include <unistd.h>

#include <atomic>

namespace User {
namespace {
std::atomic<long long> overrideUid{-1};
}

uid_t uid() {
    long long o = overrideUid.load();
    return o >= 0 ? uid_t(o) : ::getuid();
}

void setUidForTesting(std::optional<uid_t> u) { overrideUid.store(u ? (long long)*u : -1); }

}  // namespace User
