#include "security_schema.h"

#include "sql_database.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
COMMIT;
)sql";

} // namespace

void createSecurityDatabase(const std::filesystem::path& file)
{
    // Create the file first with owner-only permissions; SQLite's journal follows them.
    const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EDatabaseError("Cannot create file \"" + file.string() + "\". " + std::strerror(errno));
    ::close(fd);
    try {
        SqlDatabase db;
        db.Open(file.string(), SqlDatabase::OpenMode::ExistingFile);
        db.Execute(kSchema);
    } catch (...) {
        std::filesystem::remove(file);
        throw;
    }
}
