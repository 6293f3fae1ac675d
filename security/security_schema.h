#pragma once
// The security database's file: six tables of users, grants, groups, memberships and
// permissions.

#include <filesystem>

// Creates a new database file, readable and writable by its owner only, holding the six
// tables and one enabled user "admin" with an empty password. Fails if the file exists.
void createSecurityDatabase(const std::filesystem::path& file);
