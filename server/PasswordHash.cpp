#include "server/PasswordHash.h"

#include <sodium.h>

namespace tolvar::server {

HashCost HashCost::Interactive()
{
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

HashCost HashCost::Minimum()
{
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

bool InitialisePasswordHashing()
{
    return sodium_init() >= 0;
}

std::optional<std::string> HashPassword(std::string_view password, HashCost cost)
{
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), cost.opsLimit, cost.memLimit) != 0)
        return std::nullopt;
    return std::string(out);
}

bool VerifyPassword(const std::string& hash, std::string_view password)
{
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

} // namespace tolvar::server
