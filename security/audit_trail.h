#pragma once
// The audit trail: who did what to the processor and to access control, and when, kept in the
// security database's AuditLog table.

#include <string>
#include <vector>

class SqlDatabase;

struct TuilAuditEntry {
    std::string Time; // local time, "YYYY-MM-DD HH:MM:SS"
    std::string UserName;
    std::string Action;
    std::string Detail;
};

class TuilAuditTrail {
public:
    explicit TuilAuditTrail(SqlDatabase& database) : db_(database) {}

    // Adds an entry. An entry that cannot be written (the database closed or read-only) is
    // dropped: recording must never stop the processor or a login. Returns whether it was kept.
    bool Record(const std::string& user, const std::string& action, const std::string& detail = {});
    // Every entry, newest first.
    std::vector<TuilAuditEntry> Entries() const;

private:
    SqlDatabase& db_;
};
