#pragma once
// A thin owner of one SQLite connection, and its prepared statements.

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Errors of the database layer; the text is SQLite's own message.
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SqlStatement {
public:
    SqlStatement(sqlite3* db, const std::string& sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    void bindNull(int index);
    void bindInteger(int index, long long value);
    void bindReal(int index, double value);
    void bindText(int index, const std::string& value);

    // Advances to the next result row; false when done.
    bool step();

    int columnCount() const;
    std::string columnName(int column) const;
    std::string columnDeclType(int column) const;
    int columnType(int column) const; // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL
    long long columnInteger(int column) const;
    double columnReal(int column) const;
    std::string columnText(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqlDatabase {
public:
    enum class OpenMode { ExistingFile, CreateFile };

    SqlDatabase() = default;
    ~SqlDatabase();
    SqlDatabase(const SqlDatabase&) = delete;
    SqlDatabase& operator=(const SqlDatabase&) = delete;

    // Opens the file; the connection is checked at once, so a file that is not a database
    // fails here rather than at the first query.
    void Open(const std::string& path, OpenMode mode = OpenMode::ExistingFile);
    void Close();
    bool Connected() const { return db_ != nullptr; }
    const std::string& FileName() const { return path_; }

    void Execute(const std::string& sql);
    long long LastInsertRowId() const;
    bool TableExists(const std::string& table);

    sqlite3* handle() const;

    // Tables built on this connection close with it.
    void AttachCloseListener(void* owner, std::function<void()> onClose);
    void DetachCloseListener(void* owner);

private:
    sqlite3* db_ = nullptr;
    std::string path_;
    std::vector<std::pair<void*, std::function<void()>>> closeListeners_;
};
