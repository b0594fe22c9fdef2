#pragma once
// argon2id password hashes through libsodium. Only the hash string is ever
// kept; it carries its own salt and cost, so a hash made at any cost verifies.
// Blocking and slow by design (tenths of a second at interactive cost): call
// on a worker thread, never on the network loop. Any thread.

#include "server/ServerConfig.h"

#include <optional>
#include <string>
#include <string_view>

namespace tolvar::server {

// Initialises libsodium once; false when it cannot run.
bool InitialisePasswordHashing();

// The encoded hash, or nothing when memory runs out.
std::optional<std::string> HashPassword(std::string_view password, HashCost cost);

bool VerifyPassword(const std::string& hash, std::string_view password);

} // namespace tolvar::server
