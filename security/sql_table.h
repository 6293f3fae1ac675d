#pragma once
// A table of the security database as the access-control code uses it: opened as an editable
// snapshot of its rows, walked with First/Next/Eof, searched by column values, edited in place
// (Append or Edit, then Post or Cancel), optionally filtered on one column or shown as the
// detail of a master table.

#include "sql_database.h"

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

using SqlValue = std::variant<std::monostate, long long, double, std::string>;

class SqlTable {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    SqlTable(SqlDatabase& database, std::string tableName);
    ~SqlTable();
    SqlTable(const SqlTable&) = delete;
    SqlTable& operator=(const SqlTable&) = delete;

    const std::string& TableName() const { return name_; }
    SqlDatabase& Database() const { return db_; }

    void Open();
    void Close();
    bool Active() const { return state_ != State::Inactive; }
    State CurrentState() const { return state_; }

    void First();
    void Next();
    bool Eof() const;
    bool IsEmpty() const { return visible_.empty(); }
    int RecordCount() const { return static_cast<int>(visible_.size()); }

    // Moves to the first visible row whose columns equal the values; false (cursor unchanged)
    // when there is none.
    bool Locate(const std::vector<std::string>& columns, const std::vector<std::string>& values, bool ignoreCase);
    bool Locate(const std::string& column, const std::string& value, bool ignoreCase);

    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

    bool HasField(const std::string& column) const;
    bool IsBooleanField(const std::string& column) const;
    bool IsNull(const std::string& column) const;
    std::string AsString(const std::string& column) const;
    long long AsInteger(const std::string& column) const;
    bool AsBoolean(const std::string& column) const;
    void SetString(const std::string& column, const std::string& value);
    void SetInteger(const std::string& column, long long value);
    void SetBoolean(const std::string& column, bool value);
    void SetNull(const std::string& column);

    // Shows only the rows whose column equals the value (ignoring letter case) while filtered.
    void SetFilter(const std::string& column, const std::string& value);
    void SetFiltered(bool filtered);
    void ClearFilter();

    // Shows only the rows whose detail column equals the master's current value of the master
    // column, ordered by the detail column; follows every move of the master's cursor.
    void SetMaster(SqlTable* master, const std::string& masterColumn, const std::string& detailColumn);

private:
    struct Row {
        long long rowid;
        std::vector<SqlValue> values;
    };

    int ColumnIndex(const std::string& column) const;
    const SqlValue& CurrentValue(int column) const;
    SqlValue& EditValue(const std::string& column);
    void RequireBrowse() const;
    void RequireRecord() const;
    void Rebuild(std::optional<long long> keepRowid);
    bool RowVisible(const Row& row) const;
    void CursorMoved();

    SqlDatabase& db_;
    std::string name_;
    State state_ = State::Inactive;
    std::vector<std::string> columns_;
    std::vector<std::string> declTypes_;
    std::vector<Row> rows_;
    std::vector<std::size_t> visible_;
    std::size_t cursor_ = 0;
    Row editRow_;

    std::string filterColumn_;
    std::string filterValue_;
    bool filtered_ = false;

    SqlTable* master_ = nullptr;
    std::string masterColumn_;
    std::string detailColumn_;
    std::vector<SqlTable*> details_;
};

// Writes the table's pending change; a change that cannot be written is dropped before the error
// passes on, so that the table is never left half-edited.
void postOrCancel(SqlTable& table);

// Text of a value as the bindings compare it.
std::string sqlValueText(const SqlValue& value);
