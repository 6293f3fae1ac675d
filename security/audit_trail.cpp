#include "audit_trail.h"

#include "sql_database.h"

bool TuilAuditTrail::Record(const std::string& user, const std::string& action, const std::string& detail)
{
    if (!db_.Connected())
        return false;
    try {
        SqlStatement insert(db_.handle(),
                            "INSERT INTO AuditLog (Time, UserName, Action, Detail)"
                            " VALUES (datetime('now', 'localtime'), ?1, ?2, ?3)");
        insert.bindText(1, user);
        insert.bindText(2, action);
        insert.bindText(3, detail);
        insert.step();
        return true;
    } catch (const EDatabaseError&) {
        return false;
    }
}

std::vector<TuilAuditEntry> TuilAuditTrail::Entries() const
{
    std::vector<TuilAuditEntry> entries;
    SqlStatement query(db_.handle(), "SELECT Time, UserName, Action, Detail FROM AuditLog ORDER BY rowid DESC");
    while (query.step())
        entries.push_back({query.columnText(0), query.columnText(1), query.columnText(2), query.columnText(3)});
    return entries;
}
