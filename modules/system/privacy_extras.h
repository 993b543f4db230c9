#pragma once
// Two lists the privacy screen reads from the system: which applications hold
// which privacy permissions (the user's permission database, read with the
// sqlite3 tool), and which Wi-Fi networks the Mac remembers (networksetup).
// Neither reports an error: what cannot be read is simply missing.
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct PermissionGrant {
    std::string id;           // client + "|" + service
    std::string client;       // bundle identifier as stored in the database
    std::string service;      // such as "kTCCServiceCamera"
    std::string displayName;  // the service's label
    bool isGranted = false;

    // A grant is its id: the same client and service are the same grant.
    friend bool operator==(const PermissionGrant& a, const PermissionGrant& b) { return a.id == b.id; }
};

template <>
struct std::hash<PermissionGrant> {
    size_t operator()(const PermissionGrant& g) const noexcept { return std::hash<std::string>{}(g.id); }
};

namespace PrivacyExtras {

// The labels of the services the screen names; others are shown by their
// identifier without "kTCCService".
const std::map<std::string, std::string>& serviceNames();
std::string displayName(const std::string& service);

// The user's recorded permissions held by applications (clients given as
// paths are left out), ordered by label and then by client. Empty when the
// database is missing, its folder cannot be listed or the tool fails; no tool
// runs when the database cannot be reached.
std::vector<PermissionGrant> permissions();

// The remembered Wi-Fi network names of en0, in the tool's order; empty on
// any failure.
std::vector<std::string> preferredNetworks();

// Resets the grant's permission with tccutil, the service and client quoted
// as single arguments; whether the tool succeeded.
bool revoke(const PermissionGrant& grant);

}  // namespace PrivacyExtras
