#include "sql_database.h"

#include <algorithm>
#include <sqlite3.h>

namespace {

[[noreturn]] void fail(sqlite3* db, int code)
{
    throw EDatabaseError(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

} // namespace

SqlStatement::SqlStatement(sqlite3* db, const std::string& sql) : db_(db)
{
    if (!db_)
        throw EDatabaseError("Connection is not open");
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(stmt_);
}

void SqlStatement::bindNull(int index)
{
    if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK)
        fail(db_, rc);
}

void SqlStatement::bindInteger(int index, long long value)
{
    if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK)
        fail(db_, rc);
}

void SqlStatement::bindReal(int index, double value)
{
    if (const int rc = sqlite3_bind_double(stmt_, index, value); rc != SQLITE_OK)
        fail(db_, rc);
}

void SqlStatement::bindText(int index, const std::string& value)
{
    const int rc = sqlite3_bind_text(stmt_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

bool SqlStatement::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(db_, rc);
}

int SqlStatement::columnCount() const
{
    return sqlite3_column_count(stmt_);
}

std::string SqlStatement::columnName(int column) const
{
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
}

std::string SqlStatement::columnDeclType(int column) const
{
    const char* type = sqlite3_column_decltype(stmt_, column);
    return type ? type : "";
}

int SqlStatement::columnType(int column) const
{
    return sqlite3_column_type(stmt_, column);
}

long long SqlStatement::columnInteger(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

double SqlStatement::columnReal(int column) const
{
    return sqlite3_column_double(stmt_, column);
}

std::string SqlStatement::columnText(int column) const
{
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column)) : "";
}

SqlDatabase::~SqlDatabase()
{
    Close();
}

void SqlDatabase::Open(const std::string& path, OpenMode mode)
{
    Close();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (mode == OpenMode::CreateFile)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        throw EDatabaseError(message + ": " + path);
    }
    sqlite3_busy_timeout(db, 2000);
    // Reading the schema proves that the file is a database.
    char* error = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        sqlite3_close(db);
        throw EDatabaseError(message + ": " + path);
    }
    db_ = db;
    path_ = path;
}

void SqlDatabase::Close()
{
    if (!db_)
        return;
    auto listeners = closeListeners_;
    for (auto& [owner, onClose] : listeners)
        onClose();
    sqlite3_close(db_);
    db_ = nullptr;
}

void SqlDatabase::Execute(const std::string& sql)
{
    if (!db_)
        throw EDatabaseError("Connection is not open");
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw EDatabaseError(message);
    }
}

long long SqlDatabase::LastInsertRowId() const
{
    return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

bool SqlDatabase::TableExists(const std::string& table)
{
    SqlStatement query(handle(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    query.bindText(1, table);
    return query.step();
}

sqlite3* SqlDatabase::handle() const
{
    if (!db_)
        throw EDatabaseError("Connection is not open");
    return db_;
}

void SqlDatabase::AttachCloseListener(void* owner, std::function<void()> onClose)
{
    closeListeners_.emplace_back(owner, std::move(onClose));
}

void SqlDatabase::DetachCloseListener(void* owner)
{
    closeListeners_.erase(std::remove_if(closeListeners_.begin(), closeListeners_.end(),
                                         [owner](const auto& entry) { return entry.first == owner; }),
                          closeListeners_.end());
}
