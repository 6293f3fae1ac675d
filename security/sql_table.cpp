#include "sql_table.h"

#include <algorithm>
#include <cctype>
#include <sqlite3.h>

namespace {

bool equalText(const std::string& a, const std::string& b, bool ignoreCase)
{
    if (!ignoreCase)
        return a == b;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string quoteName(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void bindValue(SqlStatement& statement, int index, const SqlValue& value)
{
    if (const auto* i = std::get_if<long long>(&value))
        statement.bindInteger(index, *i);
    else if (const auto* d = std::get_if<double>(&value))
        statement.bindReal(index, *d);
    else if (const auto* s = std::get_if<std::string>(&value))
        statement.bindText(index, *s);
    else
        statement.bindNull(index);
}

} // namespace

void postOrCancel(SqlTable& table)
{
    try {
        table.Post();
    } catch (...) {
        table.Cancel();
        throw;
    }
}

std::string sqlValueText(const SqlValue& value)
{
    if (const auto* i = std::get_if<long long>(&value))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&value)) {
        std::string text = std::to_string(*d);
        return text;
    }
    if (const auto* s = std::get_if<std::string>(&value))
        return *s;
    return {};
}

SqlTable::SqlTable(SqlDatabase& database, std::string tableName) : db_(database), name_(std::move(tableName)) {}

SqlTable::~SqlTable()
{
    Close();
    if (master_)
        master_->details_.erase(std::remove(master_->details_.begin(), master_->details_.end(), this),
                                master_->details_.end());
    for (SqlTable* detail : details_)
        detail->master_ = nullptr;
}

void SqlTable::Open()
{
    if (Active())
        return;
    SqlStatement query(db_.handle(), "SELECT rowid, * FROM " + quoteName(name_) + " ORDER BY rowid");
    std::vector<std::string> columns;
    std::vector<std::string> types;
    for (int c = 1; c < query.columnCount(); ++c) {
        columns.push_back(query.columnName(c));
        types.push_back(query.columnDeclType(c));
    }
    std::vector<Row> rows;
    while (query.step()) {
        Row row{query.columnInteger(0), {}};
        for (int c = 1; c < query.columnCount(); ++c) {
            switch (query.columnType(c)) {
            case SQLITE_INTEGER: row.values.emplace_back(query.columnInteger(c)); break;
            case SQLITE_FLOAT: row.values.emplace_back(query.columnReal(c)); break;
            case SQLITE_NULL: row.values.emplace_back(std::monostate{}); break;
            default: row.values.emplace_back(query.columnText(c)); break;
            }
        }
        rows.push_back(std::move(row));
    }
    columns_ = std::move(columns);
    declTypes_ = std::move(types);
    rows_ = std::move(rows);
    state_ = State::Browse;
    db_.AttachCloseListener(this, [this] { Close(); });
    Rebuild(std::nullopt);
}

void SqlTable::Close()
{
    if (!Active())
        return;
    db_.DetachCloseListener(this);
    state_ = State::Inactive;
    rows_.clear();
    visible_.clear();
    cursor_ = 0;
    for (SqlTable* detail : details_)
        detail->Rebuild(std::nullopt);
}

bool SqlTable::RowVisible(const Row& row) const
{
    if (filtered_ && !filterColumn_.empty()) {
        const int c = ColumnIndex(filterColumn_);
        if (c < 0 || !equalText(sqlValueText(row.values[c]), filterValue_, true))
            return false;
    }
    if (master_) {
        if (!master_->Active() || master_->Eof())
            return false;
        const int c = ColumnIndex(detailColumn_);
        if (c < 0 || sqlValueText(row.values[c]) != master_->AsString(masterColumn_))
            return false;
    }
    return true;
}

void SqlTable::Rebuild(std::optional<long long> keepRowid)
{
    visible_.clear();
    if (Active()) {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (RowVisible(rows_[i]))
                visible_.push_back(i);
        if (master_) {
            const int c = ColumnIndex(detailColumn_);
            std::stable_sort(visible_.begin(), visible_.end(), [this, c](std::size_t a, std::size_t b) {
                return sqlValueText(rows_[a].values[c]) < sqlValueText(rows_[b].values[c]);
            });
        }
    }
    cursor_ = 0;
    if (keepRowid) {
        for (std::size_t i = 0; i < visible_.size(); ++i)
            if (rows_[visible_[i]].rowid == *keepRowid)
                cursor_ = i;
    }
    CursorMoved();
}

void SqlTable::CursorMoved()
{
    for (SqlTable* detail : details_)
        detail->Rebuild(std::nullopt);
}

void SqlTable::RequireBrowse() const
{
    if (state_ == State::Inactive)
        throw EDatabaseError(name_ + ": Cannot perform this operation on a closed dataset");
}

void SqlTable::RequireRecord() const
{
    RequireBrowse();
    if (state_ == State::Browse && Eof())
        throw EDatabaseError(name_ + ": Either BOF or EOF is True, or the current record has been deleted");
}

void SqlTable::First()
{
    RequireBrowse();
    if (state_ != State::Browse)
        Post();
    cursor_ = 0;
    CursorMoved();
}

void SqlTable::Next()
{
    RequireBrowse();
    if (state_ != State::Browse)
        Post();
    if (cursor_ < visible_.size())
        ++cursor_;
    CursorMoved();
}

bool SqlTable::Eof() const
{
    return cursor_ >= visible_.size();
}

int SqlTable::ColumnIndex(const std::string& column) const
{
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (equalText(columns_[i], column, true))
            return static_cast<int>(i);
    return -1;
}

bool SqlTable::Locate(const std::vector<std::string>& columns, const std::vector<std::string>& values, bool ignoreCase)
{
    RequireBrowse();
    std::vector<int> indices;
    for (const auto& column : columns) {
        const int c = ColumnIndex(column);
        if (c < 0)
            throw EDatabaseError(name_ + ": Field '" + column + "' not found");
        indices.push_back(c);
    }
    if (state_ != State::Browse)
        Post();
    for (std::size_t i = 0; i < visible_.size(); ++i) {
        const Row& row = rows_[visible_[i]];
        bool match = true;
        for (std::size_t k = 0; k < indices.size() && match; ++k)
            match = equalText(sqlValueText(row.values[indices[k]]), values[k], ignoreCase);
        if (match) {
            cursor_ = i;
            CursorMoved();
            return true;
        }
    }
    return false;
}

bool SqlTable::Locate(const std::string& column, const std::string& value, bool ignoreCase)
{
    return Locate(std::vector<std::string>{column}, std::vector<std::string>{value}, ignoreCase);
}

void SqlTable::Append()
{
    RequireBrowse();
    if (state_ != State::Browse)
        Post();
    editRow_ = Row{0, std::vector<SqlValue>(columns_.size())};
    state_ = State::Insert;
}

void SqlTable::Edit()
{
    RequireRecord();
    if (state_ != State::Browse)
        return;
    editRow_ = rows_[visible_[cursor_]];
    state_ = State::Edit;
}

void SqlTable::Post()
{
    RequireBrowse();
    if (state_ == State::Browse)
        return;
    std::string sql;
    if (state_ == State::Insert) {
        std::string names;
        std::string marks;
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            names += (c ? ", " : "") + quoteName(columns_[c]);
            marks += (c ? ", ?" : "?") + std::to_string(c + 1);
        }
        sql = "INSERT INTO " + quoteName(name_) + " (" + names + ") VALUES (" + marks + ")";
    } else {
        std::string sets;
        for (std::size_t c = 0; c < columns_.size(); ++c)
            sets += (c ? ", " : "") + quoteName(columns_[c]) + " = ?" + std::to_string(c + 1);
        sql = "UPDATE " + quoteName(name_) + " SET " + sets + " WHERE rowid = ?" + std::to_string(columns_.size() + 1);
    }
    SqlStatement statement(db_.handle(), sql);
    for (std::size_t c = 0; c < columns_.size(); ++c)
        bindValue(statement, static_cast<int>(c + 1), editRow_.values[c]);
    if (state_ == State::Edit)
        statement.bindInteger(static_cast<int>(columns_.size() + 1), editRow_.rowid);
    statement.step();

    if (state_ == State::Insert) {
        editRow_.rowid = db_.LastInsertRowId();
        rows_.push_back(editRow_);
    } else {
        for (auto& row : rows_)
            if (row.rowid == editRow_.rowid)
                row = editRow_;
    }
    const long long rowid = editRow_.rowid;
    state_ = State::Browse;
    Rebuild(rowid);
}

void SqlTable::Cancel()
{
    if (state_ == State::Edit || state_ == State::Insert)
        state_ = State::Browse;
}

void SqlTable::Delete()
{
    RequireRecord();
    if (state_ != State::Browse) {
        Cancel();
        return;
    }
    const long long rowid = rows_[visible_[cursor_]].rowid;
    SqlStatement statement(db_.handle(), "DELETE FROM " + quoteName(name_) + " WHERE rowid = ?1");
    statement.bindInteger(1, rowid);
    statement.step();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [rowid](const Row& r) { return r.rowid == rowid; }),
                rows_.end());
    const std::size_t position = cursor_;
    Rebuild(std::nullopt);
    cursor_ = std::min(position, visible_.size());
    CursorMoved();
}

bool SqlTable::HasField(const std::string& column) const
{
    return ColumnIndex(column) >= 0;
}

bool SqlTable::IsBooleanField(const std::string& column) const
{
    const int c = ColumnIndex(column);
    return c >= 0 && equalText(declTypes_[c], "BOOLEAN", true);
}

const SqlValue& SqlTable::CurrentValue(int column) const
{
    if (state_ == State::Edit || state_ == State::Insert)
        return editRow_.values[column];
    RequireRecord();
    return rows_[visible_[cursor_]].values[column];
}

SqlValue& SqlTable::EditValue(const std::string& column)
{
    if (state_ != State::Edit && state_ != State::Insert)
        throw EDatabaseError(name_ + ": Dataset not in edit or insert mode");
    const int c = ColumnIndex(column);
    if (c < 0)
        throw EDatabaseError(name_ + ": Field '" + column + "' not found");
    return editRow_.values[c];
}

bool SqlTable::IsNull(const std::string& column) const
{
    const int c = ColumnIndex(column);
    if (c < 0)
        throw EDatabaseError(name_ + ": Field '" + column + "' not found");
    return std::holds_alternative<std::monostate>(CurrentValue(c));
}

std::string SqlTable::AsString(const std::string& column) const
{
    const int c = ColumnIndex(column);
    if (c < 0)
        throw EDatabaseError(name_ + ": Field '" + column + "' not found");
    return sqlValueText(CurrentValue(c));
}

long long SqlTable::AsInteger(const std::string& column) const
{
    const int c = ColumnIndex(column);
    if (c < 0)
        throw EDatabaseError(name_ + ": Field '" + column + "' not found");
    const SqlValue& value = CurrentValue(c);
    if (const auto* i = std::get_if<long long>(&value))
        return *i;
    if (const auto* d = std::get_if<double>(&value))
        return static_cast<long long>(*d);
    if (const auto* s = std::get_if<std::string>(&value)) {
        try {
            return std::stoll(*s);
        } catch (const std::exception&) {
            throw EDatabaseError("'" + *s + "' is not a valid integer value");
        }
    }
    return 0;
}

bool SqlTable::AsBoolean(const std::string& column) const
{
    return AsInteger(column) != 0;
}

void SqlTable::SetString(const std::string& column, const std::string& value)
{
    EditValue(column) = value;
}

void SqlTable::SetInteger(const std::string& column, long long value)
{
    EditValue(column) = value;
}

void SqlTable::SetBoolean(const std::string& column, bool value)
{
    EditValue(column) = static_cast<long long>(value ? 1 : 0);
}

void SqlTable::SetNull(const std::string& column)
{
    EditValue(column) = std::monostate{};
}

void SqlTable::SetFilter(const std::string& column, const std::string& value)
{
    filterColumn_ = column;
    filterValue_ = value;
    if (filtered_)
        Rebuild(std::nullopt);
}

void SqlTable::SetFiltered(bool filtered)
{
    if (filtered_ == filtered)
        return;
    filtered_ = filtered;
    Rebuild(std::nullopt);
}

void SqlTable::ClearFilter()
{
    filterColumn_.clear();
    filterValue_.clear();
    Rebuild(std::nullopt);
}

void SqlTable::SetMaster(SqlTable* master, const std::string& masterColumn, const std::string& detailColumn)
{
    if (master_)
        master_->details_.erase(std::remove(master_->details_.begin(), master_->details_.end(), this),
                                master_->details_.end());
    master_ = master;
    masterColumn_ = masterColumn;
    detailColumn_ = detailColumn;
    if (master_)
        master_->details_.push_back(this);
    Rebuild(std::nullopt);
}
