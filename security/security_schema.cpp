#include "security_schema.h"

#include "sql_database.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* kSchema = R"sql(
BEGIN;
CREATE TABLE Users (LoginName TEXT, FullName TEXT, Password TEXT, AccessCount INTEGER, CreatedDate DATE,
                    CreatedTime TIME, Enabled BOOLEAN, LastAccess DATE, LastAccTime TIME);
CREATE TABLE UserAccess (UserName TEXT, Permission TEXT);
CREATE TABLE Groups (GroupName TEXT, GroupID TEXT);
CREATE TABLE GroupAccess (GroupName TEXT, Permission TEXT);
CREATE TABLE GroupMembers (GroupName TEXT, UserName TEXT);
CREATE TABLE Permissions (Permission TEXT, Action INTEGER, Items TEXT, FormName TEXT);
INSERT INTO Users (LoginName, FullName, Password, AccessCount, CreatedDate, CreatedTime, Enabled)
  VALUES ('admin', 'Administrator', '', 0, date('now', 'localtime'), time('now', 'localtime'), 1);
INSERT INTO Permissions (Permission, Action, Items, FormName) VALUES
  ('Start/Stop', 0, 'btnPlay,btnStop', 'frmQEX'),
  ('Bypass', 0, 'btnBypass', 'frmQEX'),
  ('Parameters', 0, 'btnView', 'frmQEX'),
  ('Preferences', 0, 'btnPref', 'frmQEX'),
  ('Exit', 0, 'btnClose', 'frmQEX'),
  ('User management', 0, 'Usermanagement1', 'frmQEX');
INSERT INTO Groups (GroupName, GroupID) VALUES ('Administrators', 'Full control of the processor');
INSERT INTO GroupAccess (GroupName, Permission) SELECT 'Administrators', Permission FROM Permissions;
INSERT INTO GroupMembers (GroupName, UserName) VALUES ('Administrators', 'admin');
COMMIT;
)sql";

constexpr const char* kAuditLog =
    "CREATE TABLE IF NOT EXISTS AuditLog (Time TEXT, UserName TEXT, Action TEXT, Detail TEXT)";

} // namespace

void createSecurityDatabase(const std::filesystem::path& file)
{
    // Built under a private temporary name (owner-only, which SQLite's journal follows) and
    // given its name only once complete, so that an interrupted creation never leaves a file
    // that looks like a database.
    std::string building = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(building.data());
    if (fd < 0)
        throw EDatabaseError("Cannot create file \"" + file.string() + "\". " + std::strerror(errno));
    ::close(fd);
    try {
        {
            SqlDatabase db;
            db.Open(building, SqlDatabase::OpenMode::ExistingFile);
            db.Execute(kSchema);
            ensureAuditLog(db);
        }
        // A link fails when the name is taken: an existing database is never replaced.
        if (::link(building.c_str(), file.c_str()) != 0)
            throw EDatabaseError("Cannot create file \"" + file.string() + "\". " + std::strerror(errno));
    } catch (...) {
        ::unlink(building.c_str());
        throw;
    }
    ::unlink(building.c_str());
}

void ensureAuditLog(SqlDatabase& database)
{
    database.Execute(kAuditLog);
}
