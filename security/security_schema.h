#pragma once
// The security database's file: six tables of users, grants, groups, memberships and
// permissions, and the audit trail.

#include <filesystem>

class SqlDatabase;

// Creates a new database file, readable and writable by its owner only, holding the tables, one
// enabled user "admin" with an empty password, the permissions that restrict the main window's
// controls, and a group "Administrators" that holds them all with "admin" as its member.
// Fails if the file exists.
void createSecurityDatabase(const std::filesystem::path& file);

// Adds the audit trail's table to a database made before it existed; other tables stay as they are.
void ensureAuditLog(SqlDatabase& database);
