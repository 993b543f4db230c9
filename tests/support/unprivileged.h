#pragma once
// Sessions and CI run as root, where permission checks never fail. Tests about
// permissions run their body in a forked child that gives up root first.
#include <functional>
#include <string>

namespace testing_support {

// The uid and gid a child drops to (nobody).
constexpr unsigned kUnprivilegedId = 65534;

// Runs body in a forked child with an unprivileged uid. The body returns an
// empty string on success or a description of what went wrong, which is
// returned here (with a note when the child crashed).
std::string inUnprivilegedChild(const std::function<std::string()>& body);

// The same, with the privileged batch as the system runs it: a batch the
// child starts is run as root by this process (the child hands over the path
// of its script as it would to the authorization tool, and gets the output and
// status back), while the child goes on without privileges.
std::string inUnprivilegedChildWithRootBatches(const std::function<std::string()>& body);

}  // namespace testing_support
