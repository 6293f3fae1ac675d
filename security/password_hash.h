#pragma once
// Stored passwords: salted Argon2id hashes in libsodium's self-describing text form, so that the
// database file never holds a password a reader could use.

#include <string>

// The stored form of a password: a new salt every time, so two hashes of one password differ.
std::string hashPassword(const std::string& password);

// Whether a stored value is such a hash rather than a password kept as typed (older databases).
bool isPasswordHash(const std::string& stored);

// Whether the password is the one the hash was made from.
bool verifyPasswordHash(const std::string& hash, const std::string& password);
