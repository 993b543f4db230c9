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

ActingFor::ActingFor(uid_t u) : previous_(overrideUid.exchange((long long)u)) {}

ActingFor::~ActingFor() { overrideUid.store(previous_); }

}  // namespace User
