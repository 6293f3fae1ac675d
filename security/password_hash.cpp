#include "password_hash.h"

#include "security_error.h"

#include <sodium.h>

namespace {

void initialiseSodium()
{
    // Safe to call again; it only fails when the system offers no source of randomness.
    if (sodium_init() < 0)
        throw EuilSecurityError("The system offers no source of random numbers for password hashing");
}

} // namespace

std::string hashPassword(const std::string& password)
{
    initialiseSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw EuilSecurityError("Not enough memory to store the password");
    return hash;
}

bool isPasswordHash(const std::string& stored)
{
    return stored.rfind(crypto_pwhash_STRPREFIX, 0) == 0;
}

bool verifyPasswordHash(const std::string& hash, const std::string& password)
{
    initialiseSodium();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}
